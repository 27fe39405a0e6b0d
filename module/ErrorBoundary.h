// The COM boundary: every interface method wraps its body as
//
//     try { ...; return S_OK; } TRN_CATCH_RETURN(L".\\M4aConverter")
//
// The handler turns whatever escaped into the method's HRESULT and writes
// one trace entry through the module logger. Nothing ever leaves it.
#pragma once

#include <objbase.h>

#include <string>

namespace trn {

// The system's message for hr, or a short fallback text.
std::wstring HresultErrorText(HRESULT hr);

// "(0x<hex>:<error text>)".
std::wstring HresultText(HRESULT hr);

// Must be called from inside a catch block: classifies the exception in
// flight, logs it with the source position and returns the method's HRESULT.
HRESULT HandleBoundaryException(const wchar_t* source, int line) noexcept;

}  // namespace trn

#define TRN_CATCH_RETURN(source) \
    catch (...) { return ::trn::HandleBoundaryException((source), __LINE__); }
