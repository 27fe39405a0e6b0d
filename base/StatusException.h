// Exception kinds that travel inside the module until the COM boundary turns
// them into HRESULTs. A refused request or a failed platform status is thrown
// as the bare HRESULT itself.
#pragma once

#include "base/PortableTypes.h"

namespace log4tarn {
// Raised by the MP4 audio parser after it has written its own failure entry.
struct Exception {
    HRESULT m_hr;
};
}  // namespace log4tarn

// Raised by framework routines (strings, arrays, locks).
class CAtlException {
public:
    explicit CAtlException(HRESULT hr = E_FAIL) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT m_hr;
};

[[noreturn]] inline void TrnThrowHr(HRESULT hr) { throw hr; }

// Throws the status of a failed call as it is.
#define TRN_THROW_IF_FAILED(expr)                   \
    do {                                            \
        const HRESULT trn_hr_ = (expr);             \
        if (FAILED(trn_hr_)) ::TrnThrowHr(trn_hr_); \
    } while (0)

// Throws hr when the condition holds.
#define TRN_THROW_HR_IF(hr, cond)   \
    do {                            \
        if (cond) ::TrnThrowHr(hr); \
    } while (0)
