// JSON for the tools' output: string literals, and a writer of one-line
// documents that places the commas. Text goes out as UTF-8: valid UTF-8 is
// kept as it is, each malformed sequence (and each unpaired surrogate of
// wide text) becomes U+FFFD, so the output is always valid JSON. The quote,
// the backslash and control characters are escaped. No platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trntools {

// Appends a JSON string literal, quotes included, of text meant as UTF-8.
void AppendJsonString(std::string& out, const std::string& utf8);
std::string JsonString(const std::string& utf8);
// Of UTF-16 (Windows) or UTF-32 wide text.
std::string JsonString(const std::wstring& text);

// One JSON document written front to back; commas are placed here.
class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(const std::string& key);
    JsonWriter& String(const std::string& utf8);
    JsonWriter& Number(uint64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    // A value that is already JSON text.
    JsonWriter& Raw(const std::string& json);

    const std::string& Text() const { return m_out; }

private:
    void Separator();
    void Value();

    std::string m_out;
    std::vector<bool> m_first;
    bool m_afterKey = false;
};

}  // namespace trntools
