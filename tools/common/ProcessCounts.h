// Threads and handles of this process as the system counts them: the
// process list and the handle list of NtQuerySystemInformation
// (GetProcessHandleCount is a stub under Wine); and its committed private
// memory. Windows only.
#pragma once

#include <windows.h>

namespace trntools {

struct ProcessCounts {
    bool ok = false;
    ULONG threads = 0;
    ULONG handles = 0;
    SIZE_T privateBytes = 0;
};

// ok is false when the system would not say.
ProcessCounts CountThisProcess();

// Committed private memory of this process, summed over VirtualQuery's
// regions: the same figure on Windows and under Wine.
SIZE_T PrivateBytes();

}  // namespace trntools
