// The server as a media server reaches it: the info object created through
// COM, the format and property lists it hands out, and transcoders.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Errors.h"
#include "Media.h"
#include "base/ComPtr.h"
#include "module/TrnInterfaces.h"

namespace trnhost {

// Joined to the multithreaded apartment for its lifetime (the server's
// objects aggregate the free-threaded marshaler, so any apartment serves).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

// One entry of a format list: the host object the server filled, and what it holds.
struct OfferedFormat {
    ComPtr<IMediaFormat> object;
    std::wstring profile;
    std::wstring mimeType;
    VARIANT_BOOL timeSeekable = 0;
    VARIANT_BOOL converted = 0;
    VARIANT_BOOL byteSeekable = 0;
    std::wstring ShortName() const;
};

class Server {
public:
    // Creates the info object by CLSID, or by its ProgID; throws HostError.
    explicit Server(bool byProgId);

    // GetFormatsForSource; throws HostError on a failed call.
    std::vector<OfferedFormat> FormatsFor(const std::wstring& path);
    // Its HRESULT and list, for callers that go on after a failure.
    HRESULT TryFormatsFor(const std::wstring& path, std::vector<OfferedFormat>& out);
    std::vector<OfferedFormat> SupportedFormats();
    // GetProperties for one offered entry.
    PropertyList PropertiesFor(const std::wstring& path, const OfferedFormat& format);
    HRESULT TryPropertiesFor(const std::wstring& path, const OfferedFormat& format, PropertyList& out);
    ComPtr<ITrnMediaTranscoder> CreateTranscoder();

private:
    ComPtr<ITrnMediaTranscoderInfo> m_info;
};

// A VT_BSTR variant holding a path, cleared at the end of its scope.
class PathVariant {
public:
    explicit PathVariant(const std::wstring& path);
    ~PathVariant();
    PathVariant(const PathVariant&) = delete;
    PathVariant& operator=(const PathVariant&) = delete;
    const VARIANT& get() const { return m_v; }

private:
    VARIANT m_v;
};

// A FORMAT operand read; throws the HostError for one that can name no
// format, so that commands refuse it before the server is asked anything.
FormatChoice FormatOperand(const std::wstring& operand);

// Finds the entry a FORMAT operand names among the offered ones; throws
// HostError (bad format name, format not offered, unsupported file).
const OfferedFormat& ChooseFormat(Server& server, const std::wstring& path, const std::vector<OfferedFormat>& offered,
                                  const std::wstring& operand);

// The HostError for a file the server offers nothing for: missing when it
// does not exist, else unsupported with the status the server refuses it with.
HostError NothingOffered(Server& server, const std::wstring& path);

}  // namespace trnhost
