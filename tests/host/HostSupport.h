// What a test acting as the media server needs: the registered server and
// the stand-in host classes, reached only through CoCreateInstance and the
// interfaces, plus readers for the lists the server hands out.
#pragma once

#include <objbase.h>
#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/TrnInterfaces.h"

namespace hosttest {

// Arguments of the test binary: the server DLL and the sample folder (Unix
// paths, as CTest passes them).
void SetArguments(int argc, char** argv);
const std::wstring& ServerDllPath();
// A committed sample as a Windows path.
std::wstring SamplePath(const wchar_t* name);
// A Unix path as the prefix's Windows path (Z:\...).
std::wstring WindowsPath(const std::string& unixPath);

// Runs the platform's regsvr32 /s on the server; true on success.
bool RegisterServer();
// The same for another DLL, given by its Windows path.
bool RegisterDll(const std::wstring& windowsPath);

// Facts of a sample from ffprobe's record.
struct SampleFacts {
    std::wstring name;
    long rate = 0;
    long channels = 0;
    long timescale = 0;
    long long durationTicks = 0;
};
std::vector<SampleFacts> ReadSampleRecord();

// Joined to the process's multithreaded apartment for its lifetime.
class ComScope {
public:
    ComScope() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};

struct FormatFacts {
    std::wstring profile;
    std::wstring mimeType;
    VARIANT_BOOL timeSeekable = 0;
    VARIANT_BOOL converted = 0;
    VARIANT_BOOL byteSeekable = 0;
    bool operator==(const FormatFacts& o) const {
        return profile == o.profile && mimeType == o.mimeType && timeSeekable == o.timeSeekable &&
               converted == o.converted && byteSeekable == o.byteSeekable;
    }
};
std::string Describe(const FormatFacts& facts);

// The four entries of the server, by their usual short names.
FormatFacts Lpcm44100();
FormatFacts Lpcm48000();
FormatFacts Native3gpp();
FormatFacts NativeMp4();

ComPtr<ITrnMediaTranscoderInfo> CreateInfo();
// A stand-in host format object holding facts (the profile is left unset
// when empty).
ComPtr<IMediaFormat> MakeFormat(const FormatFacts& facts);
// A VT_BSTR source variant that owns its text.
class SourceVariant {
public:
    explicit SourceVariant(const std::wstring& path);
    ~SourceVariant() { ::VariantClear(&m_v); }
    SourceVariant(const SourceVariant&) = delete;
    SourceVariant& operator=(const SourceVariant&) = delete;
    const VARIANT& get() const { return m_v; }

private:
    VARIANT m_v;
};

// The object's reference count, read with an AddRef and a Release (the host
// classes answer their exact count).
ULONG ReferenceCount(IUnknown* object);
// The reference counts of a list's objects, read in place (the list keeps
// its own); 0 for an element that holds no object.
std::vector<ULONG> ElementReferenceCounts(SAFEARRAY* list);

// Reads (and destroys) a list of format objects.
std::vector<FormatFacts> TakeFormatList(SAFEARRAY* list);
// Reads (and destroys) a list of property objects as (name, value) pairs.
std::vector<std::pair<std::wstring, std::wstring>> TakePropertyList(SAFEARRAY* list);

// Error information on this thread: (source, description); empty when none.
std::pair<std::wstring, std::wstring> TakeErrorInfo();

// Sets TRN_HOSTOBJ_FAIL for one scope.
class HostFault {
public:
    explicit HostFault(const wchar_t* spec) { ::SetEnvironmentVariableW(L"TRN_HOSTOBJ_FAIL", spec); }
    ~HostFault() { ::SetEnvironmentVariableW(L"TRN_HOSTOBJ_FAIL", nullptr); }
    HostFault(const HostFault&) = delete;
    HostFault& operator=(const HostFault&) = delete;
};

// A scratch copy of a sample, deleted at the end of the scope.
class ScratchCopy {
public:
    ScratchCopy(const wchar_t* sample, const wchar_t* extension);
    ~ScratchCopy() { ::DeleteFileW(m_path.c_str()); }
    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;
    const std::wstring& path() const { return m_path; }
    std::vector<unsigned char> Read() const;
    void Write(const std::vector<unsigned char>& bytes) const;

private:
    std::wstring m_path;
};

// Offset of the first box of this type within bytes, or npos.
size_t FindBox(const std::vector<unsigned char>& bytes, const char* type);
uint32_t ReadBe32(const std::vector<unsigned char>& bytes, size_t at);
void WriteBe32(std::vector<unsigned char>& bytes, size_t at, uint32_t value);
// Offset of the esds average bitrate field (ES and decoder configuration
// descriptors as ffmpeg writes them), or npos.
size_t FindEsdsAverageBitrate(const std::vector<unsigned char>& bytes);
// Offset of the mdhd duration field (version 0), or npos.
size_t FindMdhdDuration(const std::vector<unsigned char>& bytes);

}  // namespace hosttest
