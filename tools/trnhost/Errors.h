// Failures of trnhost: what kind (it decides the exit code), the HRESULT and
// where it arose; reported as one line on standard error.
#pragma once

#include <windows.h>

#include <string>

namespace trnhost {

enum class FailureKind {
    Failure = 1,  // a server, platform or output call failed
    Usage = 2,
    MissingFile = 3,
    Unsupported = 4,
    BadFormat = 5,
    Unregistered = 6,  // the server or the host classes it creates
};

class HostError {
public:
    HostError(FailureKind kind, HRESULT hr, std::wstring context)
        : m_kind(kind), m_hr(hr), m_context(std::move(context)) {}
    FailureKind kind() const { return m_kind; }
    HRESULT hr() const { return m_hr; }
    const std::wstring& context() const { return m_context; }
    // Error information a server call left on this thread, if any.
    std::wstring detail;
    // A hint for the user after the status text.
    std::wstring hint;

private:
    FailureKind m_kind;
    HRESULT m_hr;
    std::wstring m_context;
};

// The platform's message for an HRESULT, on one line without the final
// period; "unknown error" when it has none.
std::wstring HresultText(HRESULT hr);
// "0x80070002"
std::wstring HresultHex(HRESULT hr);

// The kind a failed server call falls under.
FailureKind KindOf(HRESULT hr);

// Throws a HostError for a failed call, with the thread's error information.
[[noreturn]] void ThrowCall(HRESULT hr, const std::wstring& context);
inline void Check(HRESULT hr, const std::wstring& context) {
    if (FAILED(hr)) ThrowCall(hr, context);
}

// The one line: "trnhost: CONTEXT: 0x8007... TEXT (detail) - hint".
std::wstring FailureLine(const HostError& error);

}  // namespace trnhost
