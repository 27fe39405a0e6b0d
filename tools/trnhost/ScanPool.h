// The workers of trnhost scan: files are handed out one at a time to
// threads, each with its own info object (one object serialises its calls),
// and the results are taken in file order.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Server.h"
#include "base/UniqueResource.h"

namespace trnhost {

// What the library scan learns of one file.
struct ScanResult {
    std::vector<OfferedFormat> offered;  // host objects already released
    std::vector<PropertyList> properties;
    std::wstring reason;  // empty unless refused
    HRESULT failure = S_OK;
};

// One worker per processor, at most eight.
unsigned DefaultJobs();

class ScanPool {
public:
    // Starts up to jobs workers (no more than there are files); throws
    // HostError when not one can start. files must outlive the pool.
    ScanPool(const std::vector<std::wstring>& files, bool progid, unsigned jobs);
    // Waits for every worker.
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    // Waits for the result of file i and hands it over; throws the failure
    // of a worker that could not go on before it.
    ScanResult Take(size_t i);

private:
    static DWORD WINAPI WorkerMain(void* context);
    void Work();
    void Fail(const HostError& error);

    const std::vector<std::wstring>& m_files;
    std::vector<ScanResult> m_results;
    std::vector<bool> m_done;
    bool m_progid;
    CriticalSection m_lock;
    CONDITION_VARIABLE m_changed;
    size_t m_next = 0;
    bool m_failed = false;
    std::unique_ptr<HostError> m_error;
    std::vector<UniqueHandle> m_workers;
};

}  // namespace trnhost
