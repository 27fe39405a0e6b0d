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

}  // namespace

void ThrowHostError(HRESULT hr) {
    IErrorInfo* info = nullptr;
    if (::GetErrorInfo(0, &info) != S_OK) info = nullptr;
    // The exception takes over the reference GetErrorInfo gave.
    throw _com_error(hr, info, false);
}

void CreateHostObject(REFCLSID clsid, REFIID iid, void** object) {
    *object = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void());
    if (FAILED(hr)) throw _com_error(hr);
    hr = ::OleRun(unknown.get());
    if (FAILED(hr)) throw _com_error(hr);
    hr = unknown->QueryInterface(iid, object);
    if (FAILED(hr)) {
        *object = nullptr;
        if (hr != E_NOINTERFACE) throw _com_error(hr);
    }
}

std::wstring BstrToString(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

bool BstrEqual(BSTR a, BSTR b) noexcept {
    if (a == nullptr || b == nullptr) return a == b;
    const UINT length = ::SysStringLen(a);
    return length == ::SysStringLen(b) && std::wmemcmp(a, b, length) == 0;
}

CHostMediaFormat CHostMediaFormat::Create() {
    ComPtr<IMediaFormat> format;
    CreateHostObject(CLSID_HostMediaFormat, IID_IMediaFormat, format.put_void());
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

CHostMediaProperty CHostMediaProperty::Create() {
    ComPtr<IMediaProperty> property;
    CreateHostObject(CLSID_HostMediaProperty, IID_IMediaProperty, property.put_void());
    return CHostMediaProperty(std::move(property));
}

IMediaProperty* CHostMediaProperty::Checked() const {
    if (!m_p) throw _com_error(E_POINTER);
    return m_p.get();
}

void CHostMediaProperty::PutName(const wchar_t* text) const { PutText(Checked(), &IMediaProperty::put_Name, text); }
void CHostMediaProperty::PutValue(const wchar_t* text) const { PutText(Checked(), &IMediaProperty::put_Value, text); }

}  // namespace trn
