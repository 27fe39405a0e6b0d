// UTF-8 for the tools' output: from wide text, and decoded one sequence at a
// time from bytes that claim to be UTF-8. No platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trntools {

const uint32_t kReplacementCharacter = 0xFFFD;

// UTF-8 of UTF-16 (Windows) or UTF-32 wide text. Unpaired surrogates and
// values past U+10FFFF become U+FFFD.
std::string Utf8(const std::wstring& text);

// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Decodes the sequence at data[0..size) (size > 0): true with its code point
// and length when it is well formed. A malformed one (overlong, a surrogate,
// past U+10FFFF, cut short) gives false, U+FFFD and the length of its longest
// valid start, at least 1, so that one bad byte never swallows good ones.
bool DecodeUtf8(const char* data, size_t size, uint32_t& codePoint, size_t& length);

}  // namespace trntools
