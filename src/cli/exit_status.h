#pragma once
// Exit statuses of vokctl.

enum ExitStatus {
    kSuccess = 0,
    kLinkFailure = 1,
    kUsage = 2,       // also a file that cannot be read or written, and verify's invalid file
    kInvalidFile = 3, // also a load with failed writes, values that differ (verify, diff)
};
