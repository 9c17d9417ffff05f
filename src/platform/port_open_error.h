#pragma once
// Why a port did not open: the channel reports it by result, the fronts turn
// it into the second line of their open failure message.

enum class PortOpenError {
    None,
    AlreadyOpen,       // this channel holds a port already
    NoSuchPort,        // no device of that name
    PermissionDenied,  // the device exists, the user may not open it
    Busy,              // another program holds the port
    NotSerialPort,     // the name is not a terminal device
    SpeedRefused,      // the port does not take the baud rate
    BadTcpAddress,     // a tcp:// name that is not tcp://HOST:PORT
    NameNotResolved,   // the host name of a tcp:// port has no address
    ConnectionRefused, // nobody listens at that address and port
    Unreachable,       // no route to the host or its network
    ConnectTimedOut,   // the connection was not made within its time-out
    Rs485Refused,      // the driver does not take RS-485 mode; see systemError
    LinesRefused,      // the driver does not let DTR or RTS be held; see systemError
    Failed,            // any other system error; see systemError
};

struct PortOpenFailure {
    PortOpenError error = PortOpenError::None;
    int systemError = 0; // errno of the failed call, 0 when none
};
