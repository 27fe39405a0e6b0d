#include "tests/host/HostSupport.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace hosttest {
namespace {

std::wstring g_serverDll;
std::wstring g_samples;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

template <class Fn>
void ForEachObject(SAFEARRAY* list, Fn&& fn) {
    UniqueSafeArray owner(list);
    if (!list) return;
    LONG lower = 0, upper = -1;
    ::SafeArrayGetLBound(list, 1, &lower);
    ::SafeArrayGetUBound(list, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        UniqueVariant element;
        if (FAILED(::SafeArrayGetElement(list, &i, element.get())) || element.get()->vt != VT_UNKNOWN) {
            fn(static_cast<IUnknown*>(nullptr));
            continue;
        }
        fn(element.get()->punkVal);
    }
}

}  // namespace

void SetArguments(int argc, char** argv) {
    if (argc > 1) g_serverDll = WindowsPath(argv[1]);
    if (argc > 2) g_samples = WindowsPath(argv[2]);
}

const std::wstring& ServerDllPath() { return g_serverDll; }

std::wstring SamplePath(const wchar_t* name) { return g_samples + L"\\" + name; }

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

bool RegisterServer() { return RegisterDll(g_serverDll); }

bool RegisterDll(const std::wstring& windowsPath) {
    std::wstring command = L"regsvr32.exe /s \"" + windowsPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    return code == 0;
}

std::vector<SampleFacts> ReadSampleRecord() {
    std::vector<SampleFacts> facts;
    FILE* file = _wfopen(SamplePath(L"ffprobe.txt").c_str(), L"r");
    if (!file) return facts;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
        std::istringstream in(line);
        std::string name;
        SampleFacts f;
        if (in >> name >> f.rate >> f.channels >> f.timescale >> f.durationTicks) {
            f.name = Widen(name);
            facts.push_back(f);
        }
    }
    std::fclose(file);
    return facts;
}

std::string Describe(const FormatFacts& f) {
    std::ostringstream out;
    out << "{" << Narrow(f.profile) << ", " << Narrow(f.mimeType) << ", ts=" << f.timeSeekable
        << ", conv=" << f.converted << ", bs=" << f.byteSeekable << "}";
    return out.str();
}

FormatFacts Lpcm44100() {
    return {L"LPCM", L"audio/L16;rate=44100;channels=2", VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE};
}
FormatFacts Lpcm48000() {
    return {L"LPCM", L"audio/L16;rate=48000;channels=2", VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE};
}
FormatFacts Native3gpp() { return {L"", L"audio/3gpp", VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE}; }
FormatFacts NativeMp4() { return {L"", L"audio/mp4", VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE}; }

ComPtr<ITrnMediaTranscoderInfo> CreateInfo() {
    ComPtr<ITrnMediaTranscoderInfo> info;
    ::CoCreateInstance(CLSID_M4aConverterInfo, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoderInfo,
                       info.put_void());
    return info;
}

ComPtr<IMediaFormat> MakeFormat(const FormatFacts& facts) {
    ComPtr<IMediaFormat> format;
    if (FAILED(::CoCreateInstance(CLSID_HostMediaFormat, nullptr, CLSCTX_ALL, IID_IMediaFormat, format.put_void())))
        return format;
    if (!facts.profile.empty()) {
        UniqueBstr profile(::SysAllocString(facts.profile.c_str()));
        format->put_ProfileName(profile.get());
    }
    UniqueBstr mime(::SysAllocString(facts.mimeType.c_str()));
    format->put_MimeType(mime.get());
    format->put_TimeSeekable(facts.timeSeekable);
    format->put_Converted(facts.converted);
    format->put_ByteSeekable(facts.byteSeekable);
    return format;
}

SourceVariant::SourceVariant(const std::wstring& path) {
    ::VariantInit(&m_v);
    m_v.vt = VT_BSTR;
    m_v.bstrVal = ::SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
}

ULONG ReferenceCount(IUnknown* object) {
    if (!object) return 0;
    object->AddRef();
    return object->Release();
}

std::vector<ULONG> ElementReferenceCounts(SAFEARRAY* list) {
    std::vector<ULONG> counts;
    VARTYPE type = VT_EMPTY;
    if (!list || ::SafeArrayGetDim(list) != 1 || FAILED(::SafeArrayGetVartype(list, &type)) || type != VT_VARIANT)
        return counts;
    VARIANT* elements = nullptr;
    if (FAILED(::SafeArrayAccessData(list, reinterpret_cast<void**>(&elements)))) return counts;
    for (ULONG i = 0; i < list->rgsabound[0].cElements; ++i)
        counts.push_back(elements[i].vt == VT_UNKNOWN ? ReferenceCount(elements[i].punkVal) : 0);
    ::SafeArrayUnaccessData(list);
    return counts;
}

std::vector<FormatFacts> TakeFormatList(SAFEARRAY* list) {
    std::vector<FormatFacts> out;
    ForEachObject(list, [&out](IUnknown* object) {
        FormatFacts f;
        ComPtr<IMediaFormat> format;
        if (object) object->QueryInterface(IID_IMediaFormat, format.put_void());
        if (!format) {
            f.mimeType = L"<no IMediaFormat>";
            out.push_back(f);
            return;
        }
        UniqueBstr profile, mime;
        format->get_ProfileName(profile.put());
        format->get_MimeType(mime.put());
        f.profile = BstrText(profile.get());
        f.mimeType = BstrText(mime.get());
        format->get_TimeSeekable(&f.timeSeekable);
        format->get_Converted(&f.converted);
        format->get_ByteSeekable(&f.byteSeekable);
        out.push_back(f);
    });
    return out;
}

std::vector<std::pair<std::wstring, std::wstring>> TakePropertyList(SAFEARRAY* list) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    ForEachObject(list, [&out](IUnknown* object) {
        ComPtr<IMediaProperty> property;
        if (object) object->QueryInterface(IID_IMediaProperty, property.put_void());
        if (!property) {
            out.emplace_back(L"<no IMediaProperty>", L"");
            return;
        }
        UniqueBstr name, value;
        property->get_Name(name.put());
        property->get_Value(value.put());
        out.emplace_back(BstrText(name.get()), BstrText(value.get()));
    });
    return out;
}

std::pair<std::wstring, std::wstring> TakeErrorInfo() {
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.put()) != S_OK || !info) return {};
    UniqueBstr source, description;
    info->GetSource(source.put());
    info->GetDescription(description.put());
    return {BstrText(source.get()), BstrText(description.get())};
}

ScratchCopy::ScratchCopy(const wchar_t* sample, const wchar_t* extension) {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"trn", 0, name);
    ::DeleteFileW(name);
    m_path = std::wstring(name) + extension;
    ::CopyFileW(SamplePath(sample).c_str(), m_path.c_str(), FALSE);
}

std::vector<unsigned char> ScratchCopy::Read() const {
    std::vector<unsigned char> bytes;
    FILE* file = _wfopen(m_path.c_str(), L"rb");
    if (!file) return bytes;
    unsigned char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

void ScratchCopy::Write(const std::vector<unsigned char>& bytes) const {
    FILE* file = _wfopen(m_path.c_str(), L"wb");
    if (!file) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

size_t FindBox(const std::vector<unsigned char>& bytes, const char* type) {
    for (size_t i = 4; i + 4 <= bytes.size(); ++i)
        if (std::memcmp(&bytes[i], type, 4) == 0) return i - 4;
    return std::string::npos;
}

uint32_t ReadBe32(const std::vector<unsigned char>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

void WriteBe32(std::vector<unsigned char>& b, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<unsigned char>(value >> (24 - 8 * k));
}

size_t FindEsdsAverageBitrate(const std::vector<unsigned char>& bytes) {
    size_t at = FindBox(bytes, "esds");
    if (at == std::string::npos) return at;
    at += 12;  // box header, version and flags
    auto skipDescriptorHeader = [&bytes](size_t& p, unsigned char tag) {
        if (p >= bytes.size() || bytes[p] != tag) return false;
        ++p;
        for (int k = 0; k < 4 && p < bytes.size(); ++k)
            if ((bytes[p++] & 0x80) == 0) break;
        return true;
    };
    if (!skipDescriptorHeader(at, 0x03)) return std::string::npos;
    at += 3;  // ES_ID and flags (ffmpeg sets none)
    if (!skipDescriptorHeader(at, 0x04)) return std::string::npos;
    at += 1 + 1 + 3 + 4;  // object type, stream type, buffer size, max bitrate
    return at + 4 <= bytes.size() ? at : std::string::npos;
}

size_t FindMdhdDuration(const std::vector<unsigned char>& bytes) {
    const size_t at = FindBox(bytes, "mdhd");
    if (at == std::string::npos || bytes[at + 8] != 0) return std::string::npos;
    return at + 8 + 4 + 4 + 4 + 4;  // header, version/flags, creation, modification, timescale
}

}  // namespace hosttest
