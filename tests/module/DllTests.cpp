// Drives the built DLL through its exports, as a host and regsvr32 would.
#include <gtest/gtest.h>

#include <objbase.h>
#include <olectl.h>

#include <string>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/TrnInterfaces.h"

namespace {

std::wstring g_dllPath;

typedef HRESULT(STDAPICALLTYPE* CanUnloadFn)();
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* RegisterFn)();

class DllTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll.reset(::LoadLibraryW(g_dllPath.c_str()));
        ASSERT_TRUE(m_dll.valid()) << "cannot load the DLL";
        m_canUnload = Proc<CanUnloadFn>("DllCanUnloadNow");
        m_getClassObject = Proc<GetClassObjectFn>("DllGetClassObject");
        m_register = Proc<RegisterFn>("DllRegisterServer");
        m_unregister = Proc<RegisterFn>("DllUnregisterServer");
        ASSERT_TRUE(m_canUnload && m_getClassObject && m_register && m_unregister);
    }

    template <class Fn>
    Fn Proc(const char* name) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m_dll.get(), name)));
    }

    ComPtr<IClassFactory> Factory(REFCLSID clsid) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, m_getClassObject(clsid, IID_IClassFactory, factory.put_void()));
        return factory;
    }

    UniqueHmodule m_dll;
    CanUnloadFn m_canUnload = nullptr;
    GetClassObjectFn m_getClassObject = nullptr;
    RegisterFn m_register = nullptr;
    RegisterFn m_unregister = nullptr;
};

// A minimal controlling unknown for aggregation tests.
class OuterObject : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (::IsEqualIID(iid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, ppv) : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    ULONG refs = 1;
    IUnknown* inner = nullptr;
};

TEST_F(DllTest, CanUnloadCountsObjectsClassObjectsAndServerLocks) {
    EXPECT_EQ(S_OK, m_canUnload());
    {
        ComPtr<IClassFactory> factory = Factory(CLSID_M4aConverter);
        ASSERT_TRUE(factory);
        EXPECT_EQ(S_FALSE, m_canUnload()) << "an extra class-object reference keeps the server";
    }
    EXPECT_EQ(S_OK, m_canUnload()) << "the map's own reference must not keep the server";

    ComPtr<IUnknown> object;
    {
        ComPtr<IClassFactory> factory = Factory(CLSID_M4aConverterInfo);
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    }
    EXPECT_EQ(S_FALSE, m_canUnload());
    object.reset();
    EXPECT_EQ(S_OK, m_canUnload());

    {
        ComPtr<IClassFactory> factory = Factory(CLSID_M4aConverter);
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        factory.reset();
        EXPECT_EQ(S_FALSE, m_canUnload());
        factory = Factory(CLSID_M4aConverter);
        EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    }
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(DllTest, ClassObjectLookup) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_getClassObject(IID_IMediaFormat, IID_IClassFactory, unknown.put_void()));
    EXPECT_EQ(E_POINTER, m_getClassObject(CLSID_M4aConverter, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_NOINTERFACE, m_getClassObject(CLSID_M4aConverter, IID_IDispatch, unknown.put_void()));
    EXPECT_FALSE(unknown);
    // Both requests give the same cached class object.
    ComPtr<IClassFactory> a = Factory(CLSID_M4aConverter);
    ComPtr<IClassFactory> b = Factory(CLSID_M4aConverter);
    EXPECT_EQ(a.get(), b.get());
}

TEST_F(DllTest, CreateInstanceRefusesAggregationForOtherInterfaces) {
    for (const CLSID* clsid : {&CLSID_M4aConverter, &CLSID_M4aConverterInfo}) {
        ComPtr<IClassFactory> factory = Factory(*clsid);
        OuterObject outer;
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_ITrnMediaTranscoder, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    }
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(DllTest, InterfacesAnsweredByBothCoclasses) {
    const struct {
        const CLSID* clsid;
        const IID* own;
    } classes[] = {{&CLSID_M4aConverter, &IID_ITrnMediaTranscoder},
                   {&CLSID_M4aConverterInfo, &IID_ITrnMediaTranscoderInfo}};
    for (const auto& c : classes) {
        ComPtr<IClassFactory> factory = Factory(*c.clsid);
        ComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, *c.own, object.put_void()));
        ComPtr<IUnknown> other;
        EXPECT_EQ(S_OK, object.query_to(IID_IMarshal, other)) << "free-threaded marshaler";
        EXPECT_EQ(S_OK, object.query_to(IID_IUnknown, other));
        EXPECT_EQ(S_OK, object.query_to(*c.own, other));
        EXPECT_EQ(E_NOINTERFACE, object.query_to(IID_IDispatch, other));
        EXPECT_FALSE(other);
        EXPECT_EQ(E_NOINTERFACE, object.query_to(IID_ISupportErrorInfo, other));
        EXPECT_EQ(E_NOINTERFACE, object.query_to(*(c.own == &IID_ITrnMediaTranscoder ? &IID_ITrnMediaTranscoderInfo
                                                                                     : &IID_ITrnMediaTranscoder),
                                                 other));
    }
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(DllTest, AggregatedObjectDelegatesToItsOuterUnknown) {
    ComPtr<IClassFactory> factory = Factory(CLSID_M4aConverter);
    OuterObject outer;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
    ASSERT_NE(nullptr, outer.inner);
    factory.reset();
    EXPECT_EQ(S_FALSE, m_canUnload());
    {
        ComPtr<ITrnMediaTranscoder> transcoder;
        ASSERT_EQ(S_OK, outer.QueryInterface(IID_ITrnMediaTranscoder, transcoder.put_void()));
        EXPECT_EQ(2u, outer.refs) << "the contained object counts on the outer unknown";
        IUnknown* identity = nullptr;
        ASSERT_EQ(S_OK, transcoder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
        identity->Release();
        ComPtr<IUnknown> marshal;
        EXPECT_EQ(S_OK, transcoder.query_to(IID_IMarshal, marshal));
    }
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(0u, outer.inner->Release());
    outer.inner = nullptr;
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(DllTest, InfoObjectHandsOutTranscoders) {
    ComPtr<IClassFactory> factory = Factory(CLSID_M4aConverterInfo);
    ComPtr<ITrnMediaTranscoderInfo> info;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ITrnMediaTranscoderInfo, info.put_void()));
    factory.reset();
    EXPECT_EQ(E_POINTER, info->CreateTranscoder(nullptr));
    ComPtr<ITrnMediaTranscoder> transcoder;
    ASSERT_EQ(S_OK, info->CreateTranscoder(transcoder.put()));
    ASSERT_TRUE(transcoder);
    EXPECT_EQ(S_OK, info->SetContext(nullptr));
    info.reset();
    EXPECT_EQ(S_FALSE, m_canUnload()) << "the transcoder outlives the info object";
    transcoder.reset();
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(DllTest, CarriesItsNameAndVersion) {
    wchar_t name[64] = {};
    ASSERT_GT(::LoadStringW(m_dll.get(), 100, name, 64), 0);
    EXPECT_STREQ(L"TrnM4aTranscoder", name);

    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(g_dllPath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(g_dllPath.c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(::VerQueryValueW(&block[0], L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);
    wchar_t* text = nullptr;
    UINT textSize = 0;
    ASSERT_TRUE(::VerQueryValueW(&block[0], L"\\StringFileInfo\\041104b0\\OriginalFilename",
                                 reinterpret_cast<void**>(&text), &textSize));
    EXPECT_STREQ(L"TrnM4aTranscoder.dll", text);
}

std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* value) {
    UniqueHkey handle;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return L"<missing key>";
    wchar_t data[512] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(handle.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return L"<missing value>";
    return type == REG_SZ ? std::wstring(data) : L"<not a string>";
}

bool KeyExists(const std::wstring& key) {
    UniqueHkey handle;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.put()) == ERROR_SUCCESS;
}

const wchar_t kAppId[] = L"{1A13599F-F117-4F1B-AEAC-0F8D865164A9}";

void ExpectClassKeys(const std::wstring& name, const std::wstring& clsid) {
    const std::wstring progId = L"TrnM4aTranscoder." + name;
    const std::wstring description = name + L" Class";
    const std::wstring clsidKey = L"CLSID\\" + clsid;
    EXPECT_EQ(description, ReadString(HKEY_CLASSES_ROOT, progId + L".1", nullptr));
    EXPECT_EQ(clsid, ReadString(HKEY_CLASSES_ROOT, progId + L".1\\CLSID", nullptr));
    EXPECT_EQ(description, ReadString(HKEY_CLASSES_ROOT, progId, nullptr));
    EXPECT_EQ(clsid, ReadString(HKEY_CLASSES_ROOT, progId + L"\\CLSID", nullptr));
    EXPECT_EQ(progId + L".1", ReadString(HKEY_CLASSES_ROOT, progId + L"\\CurVer", nullptr));
    EXPECT_EQ(description, ReadString(HKEY_CLASSES_ROOT, clsidKey, nullptr));
    EXPECT_EQ(kAppId, ReadString(HKEY_CLASSES_ROOT, clsidKey, L"AppID"));
    EXPECT_EQ(progId + L".1", ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr));
    EXPECT_EQ(progId, ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\VersionIndependentProgID", nullptr));
    EXPECT_EQ(L"{9D252559-1BA7-4DF2-8759-A84527F778AD}",
              ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\TypeLib", nullptr));
    EXPECT_EQ(L"Both", ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel"));
    const std::wstring server = ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr);
    EXPECT_NE(std::wstring::npos, server.find(L"TrnM4aTranscoder.dll")) << std::string(server.begin(), server.end());
}

TEST_F(DllTest, RegistersAndUnregistersItsKeys) {
    const LCID locale = ::GetThreadLocale();
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(S_OK, m_register()) << "round " << round;
        EXPECT_EQ(locale, ::GetThreadLocale()) << "the thread locale is given back";
        EXPECT_EQ(L"TrnM4aTranscoder", ReadString(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kAppId, nullptr));
        EXPECT_EQ(kAppId, ReadString(HKEY_CLASSES_ROOT, L"AppID\\TrnM4aTranscoder.DLL", L"AppID"));
        ExpectClassKeys(L"M4aConverter", L"{826A02A1-BA00-440A-B3E3-C3CBA845DF15}");
        ExpectClassKeys(L"M4aConverterInfo", L"{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}");
    }

    ASSERT_EQ(S_OK, m_unregister());
    EXPECT_EQ(locale, ::GetThreadLocale());
    for (const wchar_t* key :
         {L"CLSID\\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}", L"CLSID\\{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}",
          L"TrnM4aTranscoder.M4aConverter", L"TrnM4aTranscoder.M4aConverter.1", L"TrnM4aTranscoder.M4aConverterInfo",
          L"TrnM4aTranscoder.M4aConverterInfo.1", L"AppID\\{1A13599F-F117-4F1B-AEAC-0F8D865164A9}",
          L"AppID\\TrnM4aTranscoder.DLL"}) {
        EXPECT_FALSE(KeyExists(key)) << std::string(key, key + wcslen(key));
    }
    EXPECT_TRUE(KeyExists(L"AppID"));
    EXPECT_TRUE(KeyExists(L"CLSID"));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s PATH-TO-DLL\n", argv[0]);
        return 2;
    }
    std::string path = argv[1];
    if (!path.empty() && path[0] == '/') {
        // A Unix path from the build: reach it through Wine's drive for "/".
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    g_dllPath.assign(path.begin(), path.end());
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
