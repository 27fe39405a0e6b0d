// Minimal streaming JSON writer: one object per line, commas handled here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonWriter {
public:
    JsonWriter& BeginObject() {
        Value();
        m_out += '{';
        m_first.push_back(true);
        return *this;
    }
    JsonWriter& EndObject() {
        m_out += '}';
        m_first.pop_back();
        return *this;
    }
    JsonWriter& BeginArray() {
        Value();
        m_out += '[';
        m_first.push_back(true);
        return *this;
    }
    JsonWriter& EndArray() {
        m_out += ']';
        m_first.pop_back();
        return *this;
    }

    JsonWriter& Key(const std::string& key) {
        Separator();
        AppendString(key);
        m_out += ':';
        m_afterKey = true;
        return *this;
    }
    JsonWriter& String(const std::string& value) {
        Value();
        AppendString(value);
        return *this;
    }
    JsonWriter& Number(uint64_t value) {
        Value();
        m_out += std::to_string(value);
        return *this;
    }
    JsonWriter& Bool(bool value) {
        Value();
        m_out += value ? "true" : "false";
        return *this;
    }
    JsonWriter& Null() {
        Value();
        m_out += "null";
        return *this;
    }
    // A value that is already JSON text.
    JsonWriter& Raw(const std::string& json) {
        Value();
        m_out += json;
        return *this;
    }

    const std::string& Text() const { return m_out; }

private:
    void Separator() {
        if (!m_first.empty()) {
            if (!m_first.back()) m_out += ',';
            m_first.back() = false;
        }
    }
    // A value right after its key needs no separator; array elements do.
    void Value() {
        if (m_afterKey)
            m_afterKey = false;
        else
            Separator();
    }
    void AppendString(const std::string& s) {
        static const char kHex[] = "0123456789abcdef";
        m_out += '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += char(c);
            } else if (c < 0x20 || c >= 0x7F) {
                // Bytes outside printable ASCII are shown by value.
                m_out += "\\u00";
                m_out += kHex[c >> 4];
                m_out += kHex[c & 15];
            } else {
                m_out += char(c);
            }
        }
        m_out += '"';
    }

    std::string m_out;
    std::vector<bool> m_first;
    bool m_afterKey = false;
};
