#include "tests/resources/ProcessCounts.h"

#include <winternl.h>

#include <vector>

namespace restest {
namespace {

typedef NTSTATUS(NTAPI* QuerySystemInformationFn)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);

const NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

}  // namespace

ProcessCounts CountThisProcess() {
    ProcessCounts counts;
    const QuerySystemInformationFn query = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return counts;
    std::vector<unsigned char> buffer(256 * 1024);
    NTSTATUS status;
    for (;;) {
        ULONG needed = 0;
        status = query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kInfoLengthMismatch) break;
        buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
    }
    if (status < 0) return counts;
    const ULONG_PTR self = ::GetCurrentProcessId();
    for (size_t at = 0; at < buffer.size();) {
        const SYSTEM_PROCESS_INFORMATION* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[at]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == self) {
            counts.ok = true;
            counts.threads = entry->NumberOfThreads;
            counts.handles = entry->HandleCount;
            return counts;
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
    }
    return counts;
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

}  // namespace restest
