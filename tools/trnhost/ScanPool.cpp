#include "ScanPool.h"

namespace trnhost {
namespace {

ScanResult ScanOne(Server& server, const std::wstring& path) {
    ScanResult r;
    HRESULT hr = server.TryFormatsFor(path, r.offered);
    if (FAILED(hr)) {
        r.failure = hr;
        r.reason = L"GetFormatsForSource " + HresultHex(hr) + L" " + HresultText(hr);
    } else if (r.offered.empty()) {
        r.reason = L"no format offered";
    } else {
        for (const OfferedFormat& f : r.offered) {
            r.properties.emplace_back();
            hr = server.TryPropertiesFor(path, f, r.properties.back());
            if (FAILED(hr)) {
                r.failure = hr;
                r.reason = L"GetProperties " + HresultHex(hr) + L" " + HresultText(hr);
                break;
            }
        }
    }
    // Host objects are not needed once read.
    for (OfferedFormat& f : r.offered) f.object.reset();
    return r;
}

}  // namespace

unsigned DefaultJobs() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const unsigned n = info.dwNumberOfProcessors;
    return n < 1 ? 1 : n > 8 ? 8 : n;
}

ScanPool::ScanPool(const std::vector<std::wstring>& files, bool progid, unsigned jobs)
    : m_files(files), m_results(files.size()), m_done(files.size(), false), m_progid(progid) {
    ::InitializeConditionVariable(&m_changed);
    for (unsigned j = 0; j < jobs && j < files.size(); ++j) {
        UniqueHandle thread(::CreateThread(nullptr, 0, &ScanPool::WorkerMain, this, 0, nullptr));
        if (!thread) {
            if (m_workers.empty()) Check(HRESULT_FROM_WIN32(::GetLastError()), L"CreateThread");
            break;
        }
        m_workers.push_back(std::move(thread));
    }
}

ScanPool::~ScanPool() {
    for (const UniqueHandle& t : m_workers) ::WaitForSingleObject(t.get(), INFINITE);
}

ScanResult ScanPool::Take(size_t i) {
    {
        CriticalSectionGuard guard(m_lock.Get());
        while (!m_done[i] && !m_failed) ::SleepConditionVariableCS(&m_changed, &m_lock.Get(), INFINITE);
        if (!m_done[i]) throw *m_error;
    }
    // Written once, under the lock, before it was marked done.
    ScanResult r = std::move(m_results[i]);
    m_results[i] = ScanResult();
    return r;
}

DWORD WINAPI ScanPool::WorkerMain(void* context) {
    static_cast<ScanPool*>(context)->Work();
    return 0;
}

void ScanPool::Work() {
    try {
        const ComApartment apartment;
        Server server(m_progid);
        for (;;) {
            size_t i;
            {
                CriticalSectionGuard guard(m_lock.Get());
                if (m_next >= m_files.size() || m_failed) return;
                i = m_next++;
            }
            ScanResult r = ScanOne(server, m_files[i]);
            CriticalSectionGuard guard(m_lock.Get());
            m_results[i] = std::move(r);
            m_done[i] = true;
            ::WakeAllConditionVariable(&m_changed);
        }
    } catch (const HostError& error) {
        Fail(error);
    } catch (...) {
        Fail(HostError(FailureKind::Failure, E_OUTOFMEMORY, L"scan worker"));
    }
}

// The first failure is the one reported; the others stop their workers too.
void ScanPool::Fail(const HostError& error) {
    CriticalSectionGuard guard(m_lock.Get());
    if (!m_error) m_error.reset(new HostError(error));
    m_failed = true;
    ::WakeAllConditionVariable(&m_changed);
}

}  // namespace trnhost
