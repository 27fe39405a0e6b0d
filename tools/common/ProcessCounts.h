// Threads and handles of this process as the system counts them: the
// process list and the handle list of NtQuerySystemInformation
// (GetProcessHandleCount is a stub under Wine). Windows only.
#pragma once

#include <windows.h>

namespace trntools {

struct ProcessCounts {
    bool ok = false;
    ULONG threads = 0;
    ULONG handles = 0;
};

// ok is false when the system would not say.
ProcessCounts CountThisProcess();

}  // namespace trntools
