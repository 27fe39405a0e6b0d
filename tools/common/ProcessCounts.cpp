#include "tools/common/ProcessCounts.h"

#include <winternl.h>

#include <cstddef>
#include <vector>

namespace trntools {
namespace {

typedef NTSTATUS(NTAPI* QuerySystemInformationFn)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);

const NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
const SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);

// One entry of the system-wide handle list.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

// Fills buffer with the answer to one class of the query, growing it a
// bounded number of times: the lists change while they are asked for.
bool Query(QuerySystemInformationFn query, SYSTEM_INFORMATION_CLASS what, std::vector<unsigned char>& buffer) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        ULONG needed = 0;
        const NTSTATUS status = query(what, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kInfoLengthMismatch) return status >= 0;
        buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
    }
    return false;
}

}  // namespace

ProcessCounts CountThisProcess() {
    ProcessCounts counts;
    const QuerySystemInformationFn query = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return counts;
    std::vector<unsigned char> buffer(256 * 1024);
    if (!Query(query, SystemProcessInformation, buffer)) return counts;
    const ULONG_PTR self = ::GetCurrentProcessId();
    // Every entry read lies inside the buffer, whatever the offsets say.
    for (size_t at = 0; at + sizeof(SYSTEM_PROCESS_INFORMATION) <= buffer.size();) {
        const SYSTEM_PROCESS_INFORMATION* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[at]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == self) {
            counts.ok = true;
            counts.threads = entry->NumberOfThreads;
            counts.handles = entry->HandleCount;
            break;
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
    }
    // Wine's process list gives the size of the handle table, which grows in
    // powers of two; the handle list counts the handles themselves.
    if (counts.ok && Query(query, kSystemHandleInformation, buffer) && buffer.size() >= sizeof(HandleList)) {
        const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
        const size_t room = (buffer.size() - offsetof(HandleList, entries)) / sizeof(HandleEntry);
        ULONG mine = 0;
        for (size_t i = 0; i < list->count && i < room; ++i)
            if (list->entries[i].ownerPid == self) ++mine;
        if (mine > 0) counts.handles = mine;
    }
    if (counts.ok) counts.privateBytes = PrivateBytes();
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

}  // namespace trntools
