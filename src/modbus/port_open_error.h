#pragma once
// Why a port did not open: the channel reports it by result, the fronts turn
// it into the second line of their open failure message.

enum class PortOpenError {
    None,
    AlreadyOpen,      // this channel holds a port already
    NoSuchPort,       // no device of that name
    PermissionDenied, // the device exists, the user may not open it
    Busy,             // another program holds the port
    NotSerialPort,    // the name is not a terminal device
    SpeedRefused,     // the port does not take the baud rate
    Failed,           // any other system error; see systemError
};

struct PortOpenFailure {
    PortOpenError error = PortOpenError::None;
    int systemError = 0; // errno of the failed call, 0 when none
};
