// The platform's registry-script engine (the ATL registrar) and the calls
// that run this module's scripts through it.
#pragma once

#include <objbase.h>

struct IRegistrar : public IUnknown {
    STDMETHOD(AddReplacement)(LPCOLESTR key, LPCOLESTR item) = 0;
    STDMETHOD(ClearReplacements)() = 0;
    STDMETHOD(ResourceRegisterSz)(LPCOLESTR resFileName, LPCOLESTR id, LPCOLESTR type) = 0;
    STDMETHOD(ResourceUnregisterSz)(LPCOLESTR resFileName, LPCOLESTR id, LPCOLESTR type) = 0;
    STDMETHOD(FileRegister)(LPCOLESTR fileName) = 0;
    STDMETHOD(FileUnregister)(LPCOLESTR fileName) = 0;
    STDMETHOD(StringRegister)(LPCOLESTR data) = 0;
    STDMETHOD(StringUnregister)(LPCOLESTR data) = 0;
    STDMETHOD(ResourceRegister)(LPCOLESTR resFileName, UINT id, LPCOLESTR type) = 0;
    STDMETHOD(ResourceUnregister)(LPCOLESTR resFileName, UINT id, LPCOLESTR type) = 0;
};

namespace trn {

// Runs the REGISTRY resource `resourceId` of this module in register or
// unregister mode, with the module's replacements and "MODULE".
HRESULT UpdateRegistryFromResource(UINT resourceId, bool doRegister) noexcept;

// Module handle of this DLL (or of the test executable that links the code)
// into module; on failure the platform's status, and module stays null.
HRESULT ThisModuleHandle(HMODULE* module) noexcept;

}  // namespace trn
