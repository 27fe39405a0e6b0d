#include "Server.h"

#include <oleauto.h>

#include "Errors.h"
#include "Media.h"
#include "base/UniqueResource.h"

namespace trnhost {
namespace {

const wchar_t kInfoProgId[] = L"TrnM4aTranscoder.M4aConverterInfo.1";

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

// Calls fn on each element's object, then destroys the list.
template <class Fn>
HRESULT ForEachObject(SAFEARRAY* list, Fn&& fn) {
    const UniqueSafeArray owner(list);
    if (!list) return S_OK;
    if (::SafeArrayGetDim(list) != 1) return E_UNEXPECTED;
    LONG lower = 0, upper = -1;
    HRESULT hr = ::SafeArrayGetLBound(list, 1, &lower);
    if (SUCCEEDED(hr)) hr = ::SafeArrayGetUBound(list, 1, &upper);
    if (FAILED(hr)) return hr;
    for (LONG i = lower; i <= upper; ++i) {
        UniqueVariant element;
        hr = ::SafeArrayGetElement(list, &i, element.get());
        if (FAILED(hr)) return hr;
        if (element.get()->vt != VT_UNKNOWN || !element.get()->punkVal) return E_UNEXPECTED;
        hr = fn(element.get()->punkVal);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT ReadFormatList(SAFEARRAY* list, std::vector<OfferedFormat>& out) {
    out.clear();
    return ForEachObject(list, [&out](IUnknown* object) {
        OfferedFormat f;
        HRESULT hr = object->QueryInterface(IID_IMediaFormat, f.object.put_void());
        if (FAILED(hr)) return hr;
        UniqueBstr profile, mime;
        if (FAILED(hr = f.object->get_ProfileName(profile.put())) || FAILED(hr = f.object->get_MimeType(mime.put())) ||
            FAILED(hr = f.object->get_TimeSeekable(&f.timeSeekable)) ||
            FAILED(hr = f.object->get_Converted(&f.converted)) ||
            FAILED(hr = f.object->get_ByteSeekable(&f.byteSeekable)))
            return hr;
        f.profile = BstrText(profile.get());
        f.mimeType = BstrText(mime.get());
        out.push_back(std::move(f));
        return S_OK;
    });
}

HRESULT ReadPropertyList(SAFEARRAY* list, PropertyList& out) {
    out.clear();
    return ForEachObject(list, [&out](IUnknown* object) {
        ComPtr<IMediaProperty> property;
        HRESULT hr = object->QueryInterface(IID_IMediaProperty, property.put_void());
        if (FAILED(hr)) return hr;
        UniqueBstr name, value;
        if (FAILED(hr = property->get_Name(name.put())) || FAILED(hr = property->get_Value(value.put()))) return hr;
        out.emplace_back(BstrText(name.get()), BstrText(value.get()));
        return S_OK;
    });
}

std::wstring OfferedNames(const std::vector<OfferedFormat>& offered) {
    std::wstring names;
    for (size_t i = 0; i < offered.size(); ++i) {
        if (i) names += L", ";
        const std::wstring name = offered[i].ShortName();
        names += std::to_wstring(i) + L" " + (name.empty() ? offered[i].mimeType : name);
    }
    return names;
}

}  // namespace

ComApartment::ComApartment() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {
    if (FAILED(m_hr)) ThrowCall(m_hr, L"CoInitializeEx");
}

ComApartment::~ComApartment() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
}

std::wstring OfferedFormat::ShortName() const { return ShortFormatName(profile, mimeType); }

Server::Server(bool byProgId) {
    CLSID clsid = CLSID_M4aConverterInfo;
    std::wstring what = L"CoCreateInstance(CM4aConverterInfo)";
    if (byProgId) {
        what = std::wstring(L"CoCreateInstance(") + kInfoProgId + L")";
        const HRESULT hr = ::CLSIDFromProgID(kInfoProgId, &clsid);
        if (FAILED(hr)) ThrowCall(hr, L"CLSIDFromProgID(" + std::wstring(kInfoProgId) + L")");
    }
    const HRESULT hr =
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoderInfo, m_info.put_void());
    if (FAILED(hr)) ThrowCall(hr, what);
    if (!m_info) ThrowCall(E_NOINTERFACE, what);
}

HRESULT Server::TryFormatsFor(const std::wstring& path, std::vector<OfferedFormat>& out) {
    out.clear();
    const PathVariant source(path);
    SAFEARRAY* list = nullptr;
    const HRESULT hr = m_info->GetFormatsForSource(source.get(), &list);
    if (FAILED(hr)) {
        if (list) ::SafeArrayDestroy(list);
        return hr;
    }
    return ReadFormatList(list, out);
}

std::vector<OfferedFormat> Server::FormatsFor(const std::wstring& path) {
    std::vector<OfferedFormat> out;
    Check(TryFormatsFor(path, out), L"GetFormatsForSource(" + path + L")");
    return out;
}

std::vector<OfferedFormat> Server::SupportedFormats() {
    SAFEARRAY* list = nullptr;
    Check(m_info->GetSupportedFormats(&list), L"GetSupportedFormats");
    std::vector<OfferedFormat> out;
    Check(ReadFormatList(list, out), L"GetSupportedFormats");
    return out;
}

HRESULT Server::TryPropertiesFor(const std::wstring& path, const OfferedFormat& format, PropertyList& out) {
    out.clear();
    const PathVariant source(path);
    SAFEARRAY* list = nullptr;
    const HRESULT hr = m_info->GetProperties(source.get(), format.object.get(), &list);
    if (FAILED(hr)) {
        if (list) ::SafeArrayDestroy(list);
        return hr;
    }
    return ReadPropertyList(list, out);
}

PropertyList Server::PropertiesFor(const std::wstring& path, const OfferedFormat& format) {
    PropertyList out;
    Check(TryPropertiesFor(path, format, out), L"GetProperties(" + path + L", " + format.mimeType + L")");
    return out;
}

ComPtr<ITrnMediaTranscoder> Server::CreateTranscoder() {
    ComPtr<ITrnMediaTranscoder> transcoder;
    Check(m_info->CreateTranscoder(transcoder.put()), L"CreateTranscoder");
    if (!transcoder) ThrowCall(E_POINTER, L"CreateTranscoder");
    return transcoder;
}

PathVariant::PathVariant(const std::wstring& path) {
    ::VariantInit(&m_v);
    m_v.vt = VT_BSTR;
    m_v.bstrVal = ::SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    if (!m_v.bstrVal) throw HostError(FailureKind::Failure, E_OUTOFMEMORY, L"SysAllocStringLen");
}

PathVariant::~PathVariant() { ::VariantClear(&m_v); }

HostError NothingOffered(Server& server, const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        const HRESULT hr = HRESULT_FROM_WIN32(error ? error : ERROR_FILE_NOT_FOUND);
        return HostError(KindOf(hr) == FailureKind::MissingFile ? FailureKind::MissingFile : FailureKind::Failure, hr,
                         path);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return HostError(FailureKind::Unsupported, HRESULT_FROM_WIN32(ERROR_DIRECTORY), path);
    // The server's own refusal: properties in the LPCM format it always lists.
    HRESULT hr = E_INVALIDARG;
    const std::vector<OfferedFormat> all = server.SupportedFormats();
    if (!all.empty()) {
        PropertyList ignored;
        const HRESULT refusal = server.TryPropertiesFor(path, all.front(), ignored);
        if (FAILED(refusal)) hr = refusal;
    }
    HostError error(FailureKind::Unsupported, hr, path + L": unsupported file, no format offered");
    return error;
}

FormatChoice FormatOperand(const std::wstring& operand) {
    FormatChoice choice;
    if (!ParseFormatChoice(operand, choice)) {
        HostError error(FailureKind::BadFormat, E_INVALIDARG, L"bad format name \"" + operand + L"\"");
        error.hint = L"use lpcm44, lpcm48, mp4, 3gpp or an index";
        throw error;
    }
    return choice;
}

const OfferedFormat& ChooseFormat(Server& server, const std::wstring& path, const std::vector<OfferedFormat>& offered,
                                  const std::wstring& operand) {
    const FormatChoice choice = FormatOperand(operand);
    if (offered.empty()) throw NothingOffered(server, path);
    for (size_t i = 0; i < offered.size(); ++i)
        if (choice.byIndex ? i == choice.index : offered[i].ShortName() == choice.name) return offered[i];
    HostError error(FailureKind::BadFormat, E_INVALIDARG, L"format " + operand + L" not offered for " + path);
    error.hint = L"offered: " + OfferedNames(offered);
    throw error;
}

}  // namespace trnhost
