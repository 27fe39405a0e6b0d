// What the resource tests watch in this process: threads and handles as the
// tools count them, and committed private memory.
#pragma once

#include <windows.h>

#include "tools/common/ProcessCounts.h"

namespace restest {

using trntools::CountThisProcess;
using trntools::PrivateBytes;
using trntools::ProcessCounts;

// Threads exit a little after the call that ends them: polls until the
// count is at most limit or timeoutMs has passed, and returns the last count.
ProcessCounts WaitForThreadsAtMost(ULONG limit, DWORD timeoutMs);

// Where no limit is known: polls until the thread count has not changed for
// quietMs, or timeoutMs has passed, and returns the last count.
ProcessCounts WaitForThreadsToSettle(DWORD quietMs, DWORD timeoutMs);

}  // namespace restest
