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
    // The sink served by server (its InprocServer32 path), with the
    // threading model given (null for none).
    CSinkRegistration(const std::wstring& server, const wchar_t* threadingModel);
    // The sink created as the class other (TreatAs).
    explicit CSinkRegistration(REFCLSID other);
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
    void Apply(const wchar_t* subkey, const std::wstring& value, const wchar_t* threadingModel);

    bool m_bOk = false;
    volatile LONG m_lRestored = 0;
    std::wstring m_strSubkey;  // below the class key: "InprocServer32" or "TreatAs"
    bool m_bUserKeyWritten = false;
    bool m_bMachineChanged = false;
    bool m_bMachineHadKey = false;
    std::wstring m_strMachineValue;
    bool m_bMachineHadModel = false;
    std::wstring m_strMachineModel;
};

}  // namespace sinktest
