// The COM boundary: every interface method wraps its body as
//
//     try { ...; return S_OK; } TRN_CATCH_RETURN(L".\\M4aConverter")
//
// The handler turns whatever escaped into the method's HRESULT and writes
// one trace entry through the module logger. Nothing ever leaves it.
#pragma once

#include <objbase.h>

#include <string>

#include "base/HresultText.h"

namespace trn {

// Must be called from inside a catch block: classifies the exception in
// flight, logs it with the source position and returns the method's HRESULT.
HRESULT HandleBoundaryException(const wchar_t* source, int line) noexcept;

}  // namespace trn

#define TRN_CATCH_RETURN(source)                                   \
    catch (...) {                                                  \
        return ::trn::HandleBoundaryException((source), __LINE__); \
    }
