#include "tests/resources/ProcessCounts.h"

namespace restest {

ProcessCounts CountThisProcess() {
    ProcessCounts counts;
    static_cast<trntools::ProcessCounts&>(counts) = trntools::CountThisProcess();
    counts.privateBytes = PrivateBytes();
    return counts;
}

SIZE_T PrivateBytes() {
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    SIZE_T total = 0;
    const char* at = static_cast<const char*>(system.lpMinimumApplicationAddress);
    const char* const end = static_cast<const char*>(system.lpMaximumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (at < end && ::VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

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
