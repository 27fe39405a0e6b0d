// The host's sink class registered as a test needs it, for the life of one
// object. The per-user class key is written, which Windows reads before the
// machine's; Wine's COM reads only the machine's classes, so where the
// per-user key does not show through HKEY_CLASSES_ROOT the machine key is
// changed instead and put back at the end.
#pragma once

#include <windows.h>

#include <string>

namespace sinktest {

class CSinkRegistration {
public:
    // server: the InprocServer32 path; threadingModel: null for none.
    CSinkRegistration(const std::wstring& server, const wchar_t* threadingModel);
    ~CSinkRegistration() { Restore(); }
    CSinkRegistration(const CSinkRegistration&) = delete;
    CSinkRegistration& operator=(const CSinkRegistration&) = delete;

    // True when COM now sees the registration asked for.
    bool ok() const { return m_bOk; }
    // Puts everything back; may be called again, and from another thread
    // while the test is stuck.
    void Restore();

    // The server the sink is registered with now (empty when none).
    static std::wstring RegisteredServer();

private:
    bool m_bOk = false;
    bool m_bUserKeyWritten = false;
    bool m_bMachineChanged = false;
    volatile LONG m_lRestored = 0;
    std::wstring m_strMachineServer;
    std::wstring m_strMachineModel;
    bool m_bMachineHadModel = false;
};

}  // namespace sinktest
