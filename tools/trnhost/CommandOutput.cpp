#include "CommandOutput.h"

#include "tools/common/Json.h"

namespace trnhost {

using trntools::JsonString;

const char* Flag(VARIANT_BOOL value) {
    if (value == VARIANT_TRUE) return "true";
    if (value == VARIANT_FALSE) return "false";
    return "other";
}

std::wstring WideFlag(VARIANT_BOOL value) {
    const std::string text = Flag(value);
    return std::wstring(text.begin(), text.end());
}

std::wstring Padded(const std::wstring& text, size_t width) {
    return text.size() >= width ? text + L" " : text + std::wstring(width - text.size(), L' ');
}

std::string FormatJson(size_t index, const OfferedFormat& f) {
    return "{\"index\":" + std::to_string(index) + ",\"name\":" + JsonString(f.ShortName()) +
           ",\"profile\":" + JsonString(f.profile) + ",\"mimeType\":" + JsonString(f.mimeType) +
           ",\"timeSeekable\":" + Flag(f.timeSeekable) + ",\"converted\":" + Flag(f.converted) +
           ",\"byteSeekable\":" + Flag(f.byteSeekable);
}

std::string ErrorJson(const HostError& error) {
    return "\"hr\":" + JsonString(HresultHex(error.hr())) + ",\"message\":" + JsonString(HresultText(error.hr())) +
           ",\"exit\":" + std::to_string(static_cast<int>(error.kind()));
}

std::wstring PropertiesText(const PropertyList& properties) {
    std::wstring out;
    for (const auto& p : properties) out += L" " + p.first + L"=" + p.second;
    return out;
}

}  // namespace trnhost
