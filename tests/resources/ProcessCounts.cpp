#include "tests/resources/ProcessCounts.h"

namespace restest {

ProcessCounts WaitForThreadsAtMost(ULONG limit, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    ProcessCounts counts = CountThisProcess();
    while (counts.ok && counts.threads > limit && ::GetTickCount() - start < timeoutMs) {
        ::Sleep(20);
        counts = CountThisProcess();
    }
    return counts;
}

ProcessCounts WaitForThreadsToSettle(DWORD quietMs, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    DWORD changed = start;
    ProcessCounts counts = CountThisProcess();
    while (counts.ok && ::GetTickCount() - changed < quietMs && ::GetTickCount() - start < timeoutMs) {
        ::Sleep(20);
        const ProcessCounts now = CountThisProcess();
        if (now.threads != counts.threads) changed = ::GetTickCount();
        counts = now;
    }
    return counts;
}

}  // namespace restest
