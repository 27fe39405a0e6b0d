// A stand-in host executable: loads the server from its DLL, opens a
// transcoder on the given source and prints the HRESULT of Open.
// Usage: trn_test_host DLL SOURCE
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/TrnInterfaces.h"

namespace {

// Answers nothing but IUnknown; Open refuses the source before asking it.
class NullFormat : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        *ppv = ::IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
};

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: trn_test_host DLL SOURCE\n");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HRESULT hr = E_FAIL;
    {
        UniqueHmodule dll(::LoadLibraryW(argv[1]));
        if (!dll) {
            fwprintf(stderr, L"cannot load %ls\n", argv[1]);
            return 2;
        }
        auto getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(dll.get(), "DllGetClassObject")));
        ComPtr<IClassFactory> factory;
        ComPtr<ITrnMediaTranscoder> transcoder;
        hr = getClassObject(CLSID_M4aConverter, IID_IClassFactory, factory.put_void());
        if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_ITrnMediaTranscoder, transcoder.put_void());
        if (SUCCEEDED(hr)) {
            NullFormat format;
            VARIANT source;
            ::VariantInit(&source);
            source.vt = VT_BSTR;
            source.bstrVal = ::SysAllocString(argv[2]);
            hr = transcoder->Open(source, reinterpret_cast<IMediaFormat*>(&format));
            ::VariantClear(&source);
        }
    }
    wprintf(L"0x%08lX\n", static_cast<unsigned long>(hr));
    ::CoUninitialize();
    return 0;
}
