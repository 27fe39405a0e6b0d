#include "tools/common/Json.h"

#include "tools/common/Utf8.h"

namespace trntools {

void AppendJsonString(std::string& out, const std::string& utf8) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (size_t at = 0; at < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[at]);
        if (c >= 0x80) {
            uint32_t codePoint = 0;
            size_t length = 0;
            if (DecodeUtf8(utf8.data() + at, utf8.size() - at, codePoint, length))
                out.append(utf8, at, length);
            else
                AppendUtf8(out, kReplacementCharacter);
            at += length;
            continue;
        }
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            out += "\\u00";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
        ++at;
    }
    out.push_back('"');
}

std::string JsonString(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    AppendJsonString(out, utf8);
    return out;
}

std::string JsonString(const std::wstring& text) { return JsonString(Utf8(text)); }

JsonWriter& JsonWriter::BeginObject() {
    Value();
    m_out += '{';
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    m_out += '}';
    m_first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Value();
    m_out += '[';
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    m_out += ']';
    m_first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(const std::string& key) {
    Separator();
    AppendJsonString(m_out, key);
    m_out += ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(const std::string& utf8) {
    Value();
    AppendJsonString(m_out, utf8);
    return *this;
}

JsonWriter& JsonWriter::Number(uint64_t value) {
    Value();
    m_out += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Value();
    m_out += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Value();
    m_out += "null";
    return *this;
}

JsonWriter& JsonWriter::Raw(const std::string& json) {
    Value();
    m_out += json;
    return *this;
}

void JsonWriter::Separator() {
    if (!m_first.empty()) {
        if (!m_first.back()) m_out += ',';
        m_first.back() = false;
    }
}

// A value right after its key needs no separator; array elements do.
void JsonWriter::Value() {
    if (m_afterKey)
        m_afterKey = false;
    else
        Separator();
}

}  // namespace trntools
