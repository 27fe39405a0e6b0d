// Failures on request, for tests of the error hand-back. The environment
// variable TRN_HOSTOBJ_FAIL is read on every call, so a test may change it
// in-process with SetEnvironmentVariableW. It holds entries separated by ';':
//
//   IMediaFormat.get_MimeType=0x80070005:Format store locked
//
// The named getter or setter of either interface then sets error information
// (source "HostMediaObjects", the text after ':' as description) and returns
// the HRESULT without doing its work. "IMediaFormat.QueryInterface" and
// "IMediaProperty.QueryInterface" make QueryInterface for that interface
// answer the HRESULT (no error information), and "IClassFactory.IMarshal"
// makes the class objects answer it for IMarshal, so that they are no longer
// free-threaded. Only failure codes count.
#pragma once

#include <objbase.h>

#include <string>

namespace hostobj {

// The injected failure for the method ("Interface.method"), or S_OK.
HRESULT InjectedFault(const wchar_t* method, std::wstring* description) noexcept;

// As InjectedFault, and on failure the error information is set on the
// calling thread for the interface iid.
HRESULT RaiseInjectedFault(const wchar_t* method, REFIID iid) noexcept;

}  // namespace hostobj
