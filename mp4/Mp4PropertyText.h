// Text decoding and encoding for metadata strings. Wide strings hold UTF-16 on
// Windows and UTF-32 elsewhere; both give the same text for the same bytes.
#pragma once

#include "base/PortableTypes.h"
#include "mp4/Mp4PropertyBytes.h"

#include <string>
#include <vector>

// Encoding state of the text reader.
enum Mp4TextState : BYTE {
    MP4_TEXT_UTF8 = 0,
    MP4_TEXT_UTF16BE = 1,
    MP4_TEXT_UTF16LE = 2,
    MP4_TEXT_UNKNOWN = 255,
};

// Encodings on writing.
enum Mp4TextMode {
    MP4_WRITE_UTF8 = 0,
    MP4_WRITE_UTF16BE = 1,
    MP4_WRITE_UTF16LE = 2,
};

// Decodes bytes; invalid sequences become U+FFFD, never a failure.
std::wstring Mp4DecodeUtf8(const BYTE* pb, size_t cb);
std::wstring Mp4DecodeUtf16(const BYTE* pb, size_t cUnits, bool bBigEndian);
// Encodes a wide string; unpaired surrogates and out-of-range values become U+FFFD.
std::string Mp4EncodeUtf8(const std::wstring& text);
std::vector<WORD> Mp4EncodeUtf16(const std::wstring& text);

// Reads one terminated text at the cursor and updates the state. A byte-order
// mark selects UTF-16; without one the text is UTF-16 when the state already
// says so and UTF-8 otherwise. E_INVALIDARG when the terminator is missing.
HRESULT Mp4ReadText(CMp4ByteCursor& cursor, BYTE& state, std::wstring& text);

// Appends a text with its terminator in the given mode.
void Mp4WriteText(std::vector<BYTE>& out, const std::wstring& text, Mp4TextMode mode, bool bByteOrderMark);
