// Threads and handles of this process as the system counts them, from
// NtQuerySystemInformation: GetProcessHandleCount is a stub under Wine.
// Private bytes are the committed private pages of the address space.
#pragma once

#include <windows.h>

namespace restest {

struct ProcessCounts {
    bool ok = false;
    ULONG threads = 0;
    ULONG handles = 0;
    SIZE_T privateBytes = 0;
};

ProcessCounts CountThisProcess();

// Committed private memory of this process, summed over VirtualQuery's
// regions: the same figure on Windows and under Wine.
SIZE_T PrivateBytes();

// Threads exit a little after the call that ends them: polls until the
// count is at most limit or timeoutMs has passed, and returns the last count.
ProcessCounts WaitForThreadsAtMost(ULONG limit, DWORD timeoutMs);

// Where no limit is known: polls until the thread count has not changed for
// quietMs, or timeoutMs has passed, and returns the last count.
ProcessCounts WaitForThreadsToSettle(DWORD quietMs, DWORD timeoutMs);

}  // namespace restest
