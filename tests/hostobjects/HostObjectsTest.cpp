// The stand-in host classes as the product uses them: created by CLSID
// through the registry, filled, read back, failing on request, and shared
// between threads.
#include <gtest/gtest.h>

#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/TrnInterfaces.h"

namespace {

const wchar_t kFaultVariable[] = L"TRN_HOSTOBJ_FAIL";
// The platform's free-threaded unmarshaler; MinGW's uuid library carries a
// different value under CLSID_InProcFreeMarshaler.
const CLSID kInProcFreeMarshaler = {0x0000033A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// TRN_HOSTOBJ_FAIL for one scope.
class ScopedFault {
public:
    explicit ScopedFault(const wchar_t* spec) { ::SetEnvironmentVariableW(kFaultVariable, spec); }
    ~ScopedFault() { ::SetEnvironmentVariableW(kFaultVariable, nullptr); }
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;
};

class Apartment {
public:
    explicit Apartment(DWORD model) : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~Apartment() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT Status() const { return m_hr; }

private:
    HRESULT m_hr;
};

// The product's way: IUnknown with CLSCTX_ALL, OleRun, then the interface.
template <class T>
HRESULT CreateHostObject(REFCLSID clsid, REFIID iid, ComPtr<T>& out) {
    ComPtr<IUnknown> unknown;
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void());
    if (SUCCEEDED(hr)) hr = ::OleRun(unknown.get());
    if (SUCCEEDED(hr)) hr = unknown->QueryInterface(iid, out.put_void());
    return hr;
}

UniqueBstr Bstr(const std::wstring& text) { return UniqueBstr(::SysAllocStringLen(text.data(), UINT(text.size()))); }

std::wstring Text(const UniqueBstr& value) { return std::wstring(value.get(), ::SysStringLen(value.get())); }

// The thread's error information, as "source|description".
std::wstring ThreadErrorInfo() {
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.put()) != S_OK || !info) return L"<none>";
    UniqueBstr source, description;
    info->GetSource(source.put());
    info->GetDescription(description.put());
    return Text(source) + L"|" + Text(description);
}

typedef HRESULT(STDAPICALLTYPE* CanUnloadFn)();

HRESULT HostDllCanUnloadNow() {
    HMODULE dll = ::GetModuleHandleW(L"HostMediaObjects.dll");
    if (dll == nullptr) return E_UNEXPECTED;
    auto canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_UNEXPECTED;
}

class HostObjectsTest : public ::testing::Test {
protected:
    HostObjectsTest() : m_apartment(COINIT_APARTMENTTHREADED) {}
    void SetUp() override { ASSERT_EQ(S_OK, m_apartment.Status()); }

    ComPtr<IMediaFormat> NewFormat() {
        ComPtr<IMediaFormat> format;
        EXPECT_EQ(S_OK, CreateHostObject(CLSID_HostMediaFormat, IID_IMediaFormat, format));
        return format;
    }
    ComPtr<IMediaProperty> NewProperty() {
        ComPtr<IMediaProperty> property;
        EXPECT_EQ(S_OK, CreateHostObject(CLSID_HostMediaProperty, IID_IMediaProperty, property));
        return property;
    }

    Apartment m_apartment;
};

TEST_F(HostObjectsTest, FormatReadsBackWhatWasPut) {
    ComPtr<IMediaFormat> format = NewFormat();
    ASSERT_TRUE(format);
    UniqueBstr text;
    VARIANT_BOOL flag = 7;

    // Nothing set yet: empty texts (not null) and false flags.
    ASSERT_EQ(S_OK, format->get_MimeType(text.put()));
    EXPECT_TRUE(text.get() != nullptr);
    EXPECT_EQ(0u, ::SysStringLen(text.get()));
    ASSERT_EQ(S_OK, format->get_ProfileName(text.put()));
    EXPECT_TRUE(text.get() != nullptr);
    EXPECT_EQ(0u, ::SysStringLen(text.get()));
    EXPECT_EQ(S_OK, format->get_TimeSeekable(&flag));
    EXPECT_EQ(VARIANT_FALSE, flag);

    EXPECT_EQ(S_OK, format->put_MimeType(Bstr(L"audio/L16;rate=48000;channels=2").get()));
    EXPECT_EQ(S_OK, format->put_ProfileName(Bstr(L"LPCM").get()));
    EXPECT_EQ(S_OK, format->put_TimeSeekable(VARIANT_TRUE));
    EXPECT_EQ(S_OK, format->put_Converted(VARIANT_TRUE));
    EXPECT_EQ(S_OK, format->put_ByteSeekable(VARIANT_FALSE));

    ASSERT_EQ(S_OK, format->get_MimeType(text.put()));
    EXPECT_EQ(L"audio/L16;rate=48000;channels=2", Text(text));
    ASSERT_EQ(S_OK, format->get_ProfileName(text.put()));
    EXPECT_EQ(L"LPCM", Text(text));
    EXPECT_EQ(S_OK, format->get_TimeSeekable(&flag));
    EXPECT_EQ(VARIANT_TRUE, flag);
    EXPECT_EQ(S_OK, format->get_Converted(&flag));
    EXPECT_EQ(VARIANT_TRUE, flag);
    EXPECT_EQ(S_OK, format->get_ByteSeekable(&flag));
    EXPECT_EQ(VARIANT_FALSE, flag);

    // A second put replaces; a null text reads back empty; the length is
    // kept, embedded nulls included.
    EXPECT_EQ(S_OK, format->put_MimeType(Bstr(L"audio/mp4").get()));
    ASSERT_EQ(S_OK, format->get_MimeType(text.put()));
    EXPECT_EQ(L"audio/mp4", Text(text));
    EXPECT_EQ(S_OK, format->put_ProfileName(nullptr));
    ASSERT_EQ(S_OK, format->get_ProfileName(text.put()));
    EXPECT_TRUE(text.get() != nullptr);
    EXPECT_EQ(0u, ::SysStringLen(text.get()));
    const std::wstring withNull(L"a\0b", 3);
    EXPECT_EQ(S_OK, format->put_ProfileName(Bstr(withNull).get()));
    ASSERT_EQ(S_OK, format->get_ProfileName(text.put()));
    EXPECT_EQ(withNull, Text(text));
}

TEST_F(HostObjectsTest, FlagsAreStoredVerbatim) {
    ComPtr<IMediaFormat> format = NewFormat();
    ASSERT_TRUE(format);
    const VARIANT_BOOL values[] = {1, 0x7FFF, VARIANT_TRUE, VARIANT_FALSE, -2};
    for (VARIANT_BOOL value : values) {
        VARIANT_BOOL time = 0, converted = 0, bytes = 0;
        EXPECT_EQ(S_OK, format->put_TimeSeekable(value));
        EXPECT_EQ(S_OK, format->put_Converted(VARIANT_BOOL(value + 1)));
        EXPECT_EQ(S_OK, format->put_ByteSeekable(VARIANT_BOOL(value + 2)));
        EXPECT_EQ(S_OK, format->get_TimeSeekable(&time));
        EXPECT_EQ(S_OK, format->get_Converted(&converted));
        EXPECT_EQ(S_OK, format->get_ByteSeekable(&bytes));
        EXPECT_EQ(value, time);
        EXPECT_EQ(VARIANT_BOOL(value + 1), converted);
        EXPECT_EQ(VARIANT_BOOL(value + 2), bytes);
    }
}

TEST_F(HostObjectsTest, PropertyReadsBackWhatWasPutAndObjectsAreSeparate) {
    ComPtr<IMediaProperty> first = NewProperty();
    ComPtr<IMediaProperty> second = NewProperty();
    ASSERT_TRUE(first && second);
    UniqueBstr text;
    ASSERT_EQ(S_OK, first->get_Value(text.put()));
    EXPECT_TRUE(text.get() != nullptr);
    EXPECT_EQ(0u, ::SysStringLen(text.get()));

    EXPECT_EQ(S_OK, first->put_Name(Bstr(L"duration").get()));
    EXPECT_EQ(S_OK, first->put_Value(Bstr(L"00:03:25.000").get()));
    EXPECT_EQ(S_OK, second->put_Name(Bstr(L"bitrate").get()));
    ASSERT_EQ(S_OK, first->get_Name(text.put()));
    EXPECT_EQ(L"duration", Text(text));
    ASSERT_EQ(S_OK, first->get_Value(text.put()));
    EXPECT_EQ(L"00:03:25.000", Text(text));
    ASSERT_EQ(S_OK, second->get_Name(text.put()));
    EXPECT_EQ(L"bitrate", Text(text));
    ASSERT_EQ(S_OK, second->get_Value(text.put()));
    EXPECT_EQ(0u, ::SysStringLen(text.get()));
}

TEST_F(HostObjectsTest, GettersRefuseNullOutPointers) {
    ComPtr<IMediaFormat> format = NewFormat();
    ComPtr<IMediaProperty> property = NewProperty();
    ASSERT_TRUE(format && property);
    EXPECT_EQ(E_POINTER, format->get_MimeType(nullptr));
    EXPECT_EQ(E_POINTER, format->get_ProfileName(nullptr));
    EXPECT_EQ(E_POINTER, format->get_TimeSeekable(nullptr));
    EXPECT_EQ(E_POINTER, format->get_Converted(nullptr));
    EXPECT_EQ(E_POINTER, format->get_ByteSeekable(nullptr));
    EXPECT_EQ(E_POINTER, property->get_Name(nullptr));
    EXPECT_EQ(E_POINTER, property->get_Value(nullptr));
}

TEST_F(HostObjectsTest, EachClassAnswersItsInterfaceTheMarshalerAndErrorInfo) {
    ComPtr<IMediaFormat> format = NewFormat();
    ComPtr<IMediaProperty> property = NewProperty();
    ASSERT_TRUE(format && property);

    ComPtr<IUnknown> identity, again;
    ASSERT_EQ(S_OK, format->QueryInterface(IID_IUnknown, identity.put_void()));
    ComPtr<IMarshal> marshal;
    ASSERT_EQ(S_OK, format->QueryInterface(IID_IMarshal, marshal.put_void()));
    ASSERT_EQ(S_OK, marshal->QueryInterface(IID_IUnknown, again.put_void()));
    EXPECT_EQ(identity.get(), again.get()) << "the marshaler must be aggregated";
    CLSID unmarshaler = {};
    EXPECT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IMediaFormat, format.get(), MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL,
                                               &unmarshaler));
    EXPECT_TRUE(::IsEqualCLSID(kInProcFreeMarshaler, unmarshaler));

    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(S_OK, property->QueryInterface(IID_ISupportErrorInfo, errors.put_void()));
    EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_IMediaProperty));
    EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_IMediaFormat));

    ComPtr<IMediaProperty> wrong;
    EXPECT_EQ(E_NOINTERFACE, format->QueryInterface(IID_IMediaProperty, wrong.put_void()));
    EXPECT_FALSE(wrong);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(E_NOINTERFACE, property->QueryInterface(IID_IDispatch, dispatch.put_void()));

    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, ::CoCreateInstance(CLSID_HostMediaFormat, identity.get(), CLSCTX_ALL, IID_IUnknown,
                                                        aggregated.put_void()));
}

TEST_F(HostObjectsTest, InjectedGetterAndSetterFailuresCarryErrorInfo) {
    ComPtr<IMediaFormat> format = NewFormat();
    ComPtr<IMediaProperty> property = NewProperty();
    ASSERT_TRUE(format && property);
    EXPECT_EQ(S_OK, format->put_MimeType(Bstr(L"audio/mp4").get()));
    UniqueBstr text;
    {
        ScopedFault fault(L"IMediaFormat.get_MimeType=0x80070005:Format store locked");
        ::SetErrorInfo(0, nullptr);
        EXPECT_EQ(HRESULT(0x80070005), format->get_MimeType(text.put()));
        EXPECT_EQ(nullptr, text.get());
        EXPECT_EQ(L"HostMediaObjects|Format store locked", ThreadErrorInfo());
        // Only the named method fails.
        EXPECT_EQ(S_OK, format->get_ProfileName(text.put()));
        EXPECT_EQ(S_OK, format->put_MimeType(Bstr(L"audio/3gpp").get()));
    }
    ASSERT_EQ(S_OK, format->get_MimeType(text.put())) << "the variable is read on every call";
    EXPECT_EQ(L"audio/3gpp", Text(text));

    {
        // Several entries; a failed setter leaves the value as it was.
        ScopedFault fault(
            L"IMediaFormat.put_Converted=0x8007000E:no room;"
            L"IMediaProperty.put_Value=-2147467259:Property store closed;"
            L"IMediaFormat.get_ByteSeekable=0x80004005");
        VARIANT_BOOL flag = 5;
        EXPECT_EQ(HRESULT(0x8007000E), format->put_Converted(VARIANT_TRUE));
        EXPECT_EQ(L"HostMediaObjects|no room", ThreadErrorInfo());
        EXPECT_EQ(S_OK, format->get_Converted(&flag));
        EXPECT_EQ(VARIANT_FALSE, flag);
        EXPECT_EQ(E_FAIL, format->get_ByteSeekable(&flag));
        EXPECT_EQ(L"HostMediaObjects|", ThreadErrorInfo());
        EXPECT_EQ(S_OK, property->put_Name(Bstr(L"size").get()));
        EXPECT_EQ(E_FAIL, property->put_Value(Bstr(L"1234").get()));
        EXPECT_EQ(L"HostMediaObjects|Property store closed", ThreadErrorInfo());
        ASSERT_EQ(S_OK, property->get_Value(text.put()));
        EXPECT_EQ(0u, ::SysStringLen(text.get()));
    }
    {
        // Success codes and names that only start like a method are no faults.
        ScopedFault fault(L"IMediaFormat.get_Mime=0x80004005;IMediaFormat.get_MimeType=0x00000001");
        EXPECT_EQ(S_OK, format->get_MimeType(text.put()));
    }
}

TEST_F(HostObjectsTest, InjectedQueryInterfaceFailureReachesTheCreator) {
    {
        ScopedFault fault(L"IMediaFormat.QueryInterface=0x80004002");
        ComPtr<IMediaFormat> format;
        EXPECT_EQ(E_NOINTERFACE, CreateHostObject(CLSID_HostMediaFormat, IID_IMediaFormat, format));
        EXPECT_FALSE(format);
        EXPECT_EQ(E_NOINTERFACE,
                  ::CoCreateInstance(CLSID_HostMediaFormat, nullptr, CLSCTX_ALL, IID_IMediaFormat, format.put_void()));
        // The other class is untouched.
        ComPtr<IMediaProperty> property;
        EXPECT_EQ(S_OK, CreateHostObject(CLSID_HostMediaProperty, IID_IMediaProperty, property));
    }
    {
        ScopedFault fault(L"IMediaProperty.QueryInterface=0x8000FFFF");
        ComPtr<IMediaProperty> property;
        EXPECT_EQ(E_UNEXPECTED, CreateHostObject(CLSID_HostMediaProperty, IID_IMediaProperty, property));
        EXPECT_FALSE(property);
    }
    ComPtr<IMediaFormat> format;
    EXPECT_EQ(S_OK, CreateHostObject(CLSID_HostMediaFormat, IID_IMediaFormat, format));
}

TEST_F(HostObjectsTest, DllCanUnloadOnlyWhenNothingIsLeft) {
    ComPtr<IMediaFormat> format = NewFormat();
    ASSERT_TRUE(format);
    EXPECT_EQ(S_FALSE, HostDllCanUnloadNow()) << "a live object keeps the DLL";
    format.reset();
    EXPECT_EQ(S_OK, HostDllCanUnloadNow());

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_HostMediaProperty, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       factory.put_void()));
    EXPECT_EQ(S_FALSE, HostDllCanUnloadNow()) << "a class object keeps the DLL";
    ComPtr<IMediaProperty> property;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IMediaProperty, property.put_void()));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.reset();
    property.reset();
    EXPECT_EQ(S_FALSE, HostDllCanUnloadNow()) << "a server lock keeps the DLL";
    ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_HostMediaProperty, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       factory.put_void()));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.reset();
    EXPECT_EQ(S_OK, HostDllCanUnloadNow());
}

// Eight threads, each in the multithreaded apartment, share one format
// object created here and create property objects of their own.
struct SharedFormat {
    IStream* marshaled[8];
    IMediaFormat* original;
    LONG wrong;
};

struct ThreadArgs {
    SharedFormat* shared;
    int index;
};

const wchar_t* const kMimeTypes[] = {L"audio/mp4", L"audio/3gpp", L"audio/L16;rate=44100;channels=2",
                                     L"audio/L16;rate=48000;channels=2"};

bool IsKnownMimeType(const std::wstring& text) {
    for (const wchar_t* known : kMimeTypes) {
        if (text == known) return true;
    }
    return false;
}

DWORD WINAPI FormatWorker(void* param) {
    ThreadArgs* args = static_cast<ThreadArgs*>(param);
    SharedFormat* shared = args->shared;
    Apartment apartment(COINIT_MULTITHREADED);
    ComPtr<IMediaFormat> format;
    if (FAILED(apartment.Status()) ||
        FAILED(::CoGetInterfaceAndReleaseStream(shared->marshaled[args->index], IID_IMediaFormat, format.put_void()))) {
        ::InterlockedIncrement(&shared->wrong);
        return 1;
    }
    // The free-threaded marshaler hands every apartment the object itself.
    if (format.get() != shared->original) ::InterlockedIncrement(&shared->wrong);
    for (int i = 0; i < 300; ++i) {
        UniqueBstr text;
        VARIANT_BOOL flag = 0;
        const VARIANT_BOOL mine = VARIANT_BOOL(args->index + 1);
        if (FAILED(format->put_MimeType(Bstr(kMimeTypes[(i + args->index) % 4]).get())) ||
            FAILED(format->get_MimeType(text.put())) || !IsKnownMimeType(Text(text)) ||
            FAILED(format->put_TimeSeekable(mine)) || FAILED(format->get_TimeSeekable(&flag)) || flag < 1 || flag > 8) {
            ::InterlockedIncrement(&shared->wrong);
        }
        ComPtr<IMediaProperty> property;
        const std::wstring value = std::to_wstring(args->index * 1000 + i);
        if (FAILED(CreateHostObject(CLSID_HostMediaProperty, IID_IMediaProperty, property)) ||
            FAILED(property->put_Value(Bstr(value).get())) || FAILED(property->get_Value(text.put())) ||
            Text(text) != value) {
            ::InterlockedIncrement(&shared->wrong);
        }
    }
    return 0;
}

TEST_F(HostObjectsTest, ManyThreadsShareOneFormatAndCreateTheirOwnProperties) {
    ComPtr<IMediaFormat> format = NewFormat();
    ASSERT_TRUE(format);
    SharedFormat shared = {};
    shared.original = format.get();
    ThreadArgs args[8];
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IMediaFormat, format.get(), &shared.marshaled[i]));
        args[i] = {&shared, i};
    }
    std::vector<UniqueHandle> threads;
    HANDLE raw[8];
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back(::CreateThread(nullptr, 0, FormatWorker, &args[i], 0, nullptr));
        ASSERT_TRUE(threads.back().valid());
        raw[i] = threads.back().get();
    }
    // Only a hang guard: a cross-apartment call would need this thread to pump.
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(8, raw, TRUE, 120000));
    EXPECT_EQ(0, shared.wrong);
    format.reset();
    EXPECT_EQ(S_OK, HostDllCanUnloadNow());
}

}  // namespace
