#include "mp4/Mp4PropertyText.h"

#include <gtest/gtest.h>

namespace {

std::wstring Decode8(const std::vector<BYTE>& b) { return Mp4DecodeUtf8(b.data(), b.size()); }

HRESULT Read(const std::vector<BYTE>& bytes, BYTE& state, std::wstring& text, size_t& consumed) {
    CMp4ByteCursor cursor(bytes.data(), bytes.size());
    HRESULT hr = Mp4ReadText(cursor, state, text);
    consumed = cursor.Position();
    return hr;
}

}  // namespace

TEST(PropertyText, Utf8GivesTheSameCodePointsOnEveryPlatform) {
    // "é€😀": two, three and four byte sequences.
    std::vector<BYTE> bytes = {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80};
    EXPECT_EQ(std::wstring(L"\u00E9\u20AC\U0001F600"), Decode8(bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Mp4EncodeUtf8(L"\u00E9\u20AC\U0001F600"));
}

TEST(PropertyText, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(std::wstring(L"a\uFFFDb"), Decode8({'a', 0xFF, 'b'}));
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD"), Decode8({0xC0, 0x80}));                          // overlong
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD\uFFFD"), Decode8({0xED, 0xA0, 0x80}));              // surrogate
    EXPECT_EQ(std::wstring(L"x\uFFFD"), Decode8({'x', 0xE2}));                                // truncated at the end
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD\uFFFD\uFFFD"), Decode8({0xF4, 0x90, 0x80, 0x80}));  // past U+10FFFF
}

TEST(PropertyText, Utf16PairsSurrogatesAndReplacesLoneOnes) {
    std::vector<BYTE> be = {0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x41};
    EXPECT_EQ(std::wstring(L"\U0001F600A"), Mp4DecodeUtf16(be.data(), 3, true));
    std::vector<BYTE> le = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00};
    EXPECT_EQ(std::wstring(L"\U0001F600A"), Mp4DecodeUtf16(le.data(), 3, false));
    std::vector<BYTE> lone = {0xDC, 0x00, 0x00, 0x42, 0xD8, 0x00};
    EXPECT_EQ(std::wstring(L"\uFFFDB\uFFFD"), Mp4DecodeUtf16(lone.data(), 3, true));
    std::vector<WORD> units = Mp4EncodeUtf16(L"\U0001F600");
    ASSERT_EQ(2u, units.size());
    EXPECT_EQ(0xD83D, units[0]);
    EXPECT_EQ(0xDE00, units[1]);
}

TEST(PropertyText, ReaderPicksEncodingFromMarkAndUpdatesState) {
    std::wstring text;
    size_t consumed = 0;
    BYTE state = MP4_TEXT_UNKNOWN;
    ASSERT_EQ(S_OK, Read({0xFE, 0xFF, 0x00, 'H', 0x00, 'i', 0x00, 0x00, 'x'}, state, text, consumed));
    EXPECT_EQ(L"Hi", text);
    EXPECT_EQ(8u, consumed);
    EXPECT_EQ(MP4_TEXT_UTF16BE, state);

    state = MP4_TEXT_UNKNOWN;
    ASSERT_EQ(S_OK, Read({0xFF, 0xFE, 'H', 0x00, 0x00, 0x00}, state, text, consumed));
    EXPECT_EQ(L"H", text);
    EXPECT_EQ(MP4_TEXT_UTF16LE, state);

    state = MP4_TEXT_UNKNOWN;
    ASSERT_EQ(S_OK, Read({'a', 'b', 0x00, 'c'}, state, text, consumed));
    EXPECT_EQ(L"ab", text);
    EXPECT_EQ(3u, consumed);
    EXPECT_EQ(MP4_TEXT_UTF8, state);
}

TEST(PropertyText, EmptyTextsFollowTheState) {
    std::wstring text = L"old";
    size_t consumed = 0;
    BYTE state = MP4_TEXT_UTF8;
    ASSERT_EQ(S_OK, Read({0x00, 0x00}, state, text, consumed));
    EXPECT_EQ(L"", text);
    EXPECT_EQ(1u, consumed);

    state = MP4_TEXT_UTF16LE;
    ASSERT_EQ(S_OK, Read({0x00, 0x00, 'x'}, state, text, consumed));
    EXPECT_EQ(2u, consumed);
    EXPECT_EQ(MP4_TEXT_UTF16LE, state);

    // Inside a UTF-16 frame a later text may come without its mark.
    state = MP4_TEXT_UTF16LE;
    ASSERT_EQ(S_OK, Read({'O', 0x00, 'K', 0x00, 0x00, 0x00}, state, text, consumed));
    EXPECT_EQ(L"OK", text);
}

TEST(PropertyText, MissingTerminatorFailsWithoutReadingPastTheEnd) {
    std::wstring text;
    size_t consumed = 0;
    BYTE state = MP4_TEXT_UNKNOWN;
    EXPECT_EQ(E_INVALIDARG, Read({'a', 'b', 'c'}, state, text, consumed));
    EXPECT_EQ(0u, consumed);
    state = MP4_TEXT_UNKNOWN;
    // An odd byte after the last unit is no terminator.
    EXPECT_EQ(E_INVALIDARG, Read({0xFE, 0xFF, 0x00, 'a', 0x00}, state, text, consumed));
    state = MP4_TEXT_UNKNOWN;
    EXPECT_EQ(E_INVALIDARG, Read({}, state, text, consumed));
    EXPECT_EQ(MP4_TEXT_UNKNOWN, state);
}

TEST(PropertyText, WritingModes) {
    std::vector<BYTE> out;
    Mp4WriteText(out, L"A\u00E9", MP4_WRITE_UTF8, false);
    EXPECT_EQ((std::vector<BYTE>{'A', 0xC3, 0xA9, 0}), out);
    out.clear();
    Mp4WriteText(out, L"A", MP4_WRITE_UTF16BE, true);
    EXPECT_EQ((std::vector<BYTE>{0xFE, 0xFF, 0, 'A', 0, 0}), out);
    out.clear();
    Mp4WriteText(out, L"A", MP4_WRITE_UTF16LE, true);
    EXPECT_EQ((std::vector<BYTE>{0xFF, 0xFE, 'A', 0, 0, 0}), out);
    out.clear();
    Mp4WriteText(out, L"A", MP4_WRITE_UTF16BE, false);
    EXPECT_EQ((std::vector<BYTE>{0, 'A', 0, 0}), out);
}
