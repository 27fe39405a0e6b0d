// Threads and handles of this process, for the server's status: the
// system's process list and handle list (GetProcessHandleCount is a stub
// under Wine).
#pragma once

#include <windows.h>

namespace trnhost {

struct ProcessCounts {
    bool ok = false;
    ULONG threads = 0;
    ULONG handles = 0;
};

ProcessCounts CountThisProcess();

}  // namespace trnhost
