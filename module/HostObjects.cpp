#include "module/HostObjects.h"

#include <comdef.h>

#include <cwchar>

namespace trn {
namespace {

// A text for a setter; running out of memory is raised like a host failure.
UniqueBstr AllocText(const wchar_t* text) {
    UniqueBstr bstr(::SysAllocString(text ? text : L""));
    if (!bstr) throw _com_error(E_OUTOFMEMORY);
    return bstr;
}

// Error information left by an earlier call must not be taken for the
// host's: the slot is emptied before each host call.
void ClearThreadErrorInfo() noexcept { ::SetErrorInfo(0, nullptr); }

template <class Itf>
UniqueBstr GetText(Itf* object, HRESULT (STDMETHODCALLTYPE Itf::*getter)(BSTR*)) {
    UniqueBstr value;
    ClearThreadErrorInfo();
    CheckHost((object->*getter)(value.put()));
    return value;
}

template <class Itf>
void PutText(Itf* object, HRESULT (STDMETHODCALLTYPE Itf::*setter)(BSTR), const wchar_t* text) {
    const UniqueBstr value = AllocText(text);
    ClearThreadErrorInfo();
    CheckHost((object->*setter)(value.get()));
}

VARIANT_BOOL GetFlag(IMediaFormat* object, HRESULT (STDMETHODCALLTYPE IMediaFormat::*getter)(VARIANT_BOOL*)) {
    VARIANT_BOOL value = VARIANT_FALSE;
    ClearThreadErrorInfo();
    CheckHost((object->*getter)(&value));
    return value;
}

void PutFlag(IMediaFormat* object, HRESULT (STDMETHODCALLTYPE IMediaFormat::*setter)(VARIANT_BOOL),
             VARIANT_BOOL value) {
    ClearThreadErrorInfo();
    CheckHost((object->*setter)(value));
}

// The free-threaded marshaler's unmarshal class. MinGW's uuid library gives
// CLSID_InProcFreeMarshaler another value, which no marshaler answers.
const CLSID kClsidInProcFreeMarshaler = {0x0000033A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Whether object aggregates the free-threaded marshaler, so that a pointer
// to it is good in every apartment of the process.
bool IsFreeThreaded(IUnknown* object) noexcept {
    ComPtr<IMarshal> marshal;
    if (FAILED(object->QueryInterface(IID_IMarshal, marshal.put_void())) || !marshal) return false;
    CLSID unmarshaler = CLSID_NULL;
    if (FAILED(
            marshal->GetUnmarshalClass(IID_IUnknown, object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL, &unmarshaler)))
        return false;
    return ::IsEqualCLSID(unmarshaler, kClsidInProcFreeMarshaler) != FALSE;
}

}  // namespace

void ThrowHostError(HRESULT hr) {
    IErrorInfo* info = nullptr;
    if (::GetErrorInfo(0, &info) != S_OK) info = nullptr;
    // The exception takes over the reference GetErrorInfo gave.
    throw _com_error(hr, info, false);
}

void CHostClass::Create(REFIID iid, void** object) {
    *object = nullptr;
    if (!m_factory) {
        CLSID actual = m_clsid;
        if (::CoGetTreatAsClass(m_clsid, &actual) != S_OK) actual = m_clsid;
        const HRESULT hr = ::CoGetClassObject(actual, CLSCTX_ALL, nullptr, IID_IClassFactory, m_factory.put_void());
        if (FAILED(hr)) {
            m_factory.reset();
            throw _com_error(hr);
        }
        m_agile = IsFreeThreaded(m_factory.get());
    }
    ComPtr<IUnknown> unknown;
    HRESULT hr = m_factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void());
    if (FAILED(hr)) throw _com_error(hr);
    hr = ::OleRun(unknown.get());
    if (FAILED(hr)) throw _com_error(hr);
    hr = unknown->QueryInterface(iid, object);
    if (FAILED(hr)) {
        *object = nullptr;
        if (hr != E_NOINTERFACE) throw _com_error(hr);
    }
}

void CHostClass::EndCall() noexcept {
    if (!m_agile) m_factory.reset();
}

std::wstring BstrToString(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

bool BstrEqual(BSTR a, BSTR b) noexcept {
    if (a == nullptr || b == nullptr) return a == b;
    const UINT length = ::SysStringLen(a);
    return length == ::SysStringLen(b) && std::wmemcmp(a, b, length) == 0;
}

CHostMediaFormat CHostMediaFormat::Create(CHostClass& formats) {
    ComPtr<IMediaFormat> format;
    formats.Create(IID_IMediaFormat, format.put_void());
    return CHostMediaFormat(std::move(format));
}

IMediaFormat* CHostMediaFormat::Checked() const {
    if (!m_p) throw _com_error(E_POINTER);
    return m_p.get();
}

UniqueBstr CHostMediaFormat::GetMimeTypeBstr() const { return GetText(Checked(), &IMediaFormat::get_MimeType); }
UniqueBstr CHostMediaFormat::GetProfileNameBstr() const { return GetText(Checked(), &IMediaFormat::get_ProfileName); }
std::wstring CHostMediaFormat::GetMimeType() const { return BstrToString(GetMimeTypeBstr().get()); }
std::wstring CHostMediaFormat::GetProfileName() const { return BstrToString(GetProfileNameBstr().get()); }
VARIANT_BOOL CHostMediaFormat::GetTimeSeekable() const { return GetFlag(Checked(), &IMediaFormat::get_TimeSeekable); }
VARIANT_BOOL CHostMediaFormat::GetConverted() const { return GetFlag(Checked(), &IMediaFormat::get_Converted); }
VARIANT_BOOL CHostMediaFormat::GetByteSeekable() const { return GetFlag(Checked(), &IMediaFormat::get_ByteSeekable); }

void CHostMediaFormat::PutMimeType(const wchar_t* text) const { PutText(Checked(), &IMediaFormat::put_MimeType, text); }
void CHostMediaFormat::PutProfileName(const wchar_t* text) const {
    PutText(Checked(), &IMediaFormat::put_ProfileName, text);
}
void CHostMediaFormat::PutTimeSeekable(VARIANT_BOOL value) const {
    PutFlag(Checked(), &IMediaFormat::put_TimeSeekable, value);
}
void CHostMediaFormat::PutConverted(VARIANT_BOOL value) const {
    PutFlag(Checked(), &IMediaFormat::put_Converted, value);
}
void CHostMediaFormat::PutByteSeekable(VARIANT_BOOL value) const {
    PutFlag(Checked(), &IMediaFormat::put_ByteSeekable, value);
}

CHostMediaProperty CHostMediaProperty::Create(CHostClass& properties) {
    ComPtr<IMediaProperty> property;
    properties.Create(IID_IMediaProperty, property.put_void());
    return CHostMediaProperty(std::move(property));
}

IMediaProperty* CHostMediaProperty::Checked() const {
    if (!m_p) throw _com_error(E_POINTER);
    return m_p.get();
}

void CHostMediaProperty::PutName(const wchar_t* text) const { PutText(Checked(), &IMediaProperty::put_Name, text); }
void CHostMediaProperty::PutValue(const wchar_t* text) const { PutText(Checked(), &IMediaProperty::put_Value, text); }

}  // namespace trn
