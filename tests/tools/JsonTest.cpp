// The tools' UTF-8 and JSON output: names beyond ASCII come out as
// themselves, and no input, however broken, makes the output invalid.
#include <gtest/gtest.h>

#include <string>

#include "tools/common/Json.h"
#include "tools/common/Utf8.h"

using namespace trntools;

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

// Whether text is well-formed UTF-8 without raw control characters, as a
// JSON string's inside must be (escapes aside).
bool IsCleanUtf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        size_t length = 0;
        if (!DecodeUtf8(text.data() + at, text.size() - at, c, length) || c < 0x20) return false;
        at += length;
    }
    return true;
}

// The inside of a JSON string literal holds no unescaped quote.
bool QuotesAreEscaped(const std::string& literal) {
    if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') return false;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        if (literal[i] == '\\')
            ++i;
        else if (literal[i] == '"')
            return false;
    }
    return true;
}

TEST(Text, Utf8AndJson) {
    EXPECT_EQ("\"a\\\\b\\\"c\\u001f\"", JsonString(L"a\\b\"c\x1f"));
    EXPECT_EQ("\"Z:\\\\M\xc3\xbcsik\\u000a\"", JsonString(L"Z:\\M\u00fcsik\n"));
    EXPECT_EQ("\xe2\x82\xac", Utf8(L"\u20ac"));
    // One wide character beyond 16 bits (UTF-32); Windows has pairs for it.
    if (sizeof(wchar_t) == 4) {
        EXPECT_EQ("\xf0\x9f\x8e\xb5", Utf8(std::wstring(1, static_cast<wchar_t>(0x1F3B5))));
    }
}

TEST(JsonString, KeepsValidUtf8AsItIs) {
    const std::string name = "Caf\xC3\xA9 \xE2\x80\x93 \xC3\x84rger \xE2\x99\xAB.m4a";  // Café – Ärger ♫.m4a
    EXPECT_EQ("\"" + name + "\"", JsonString(name));
    EXPECT_EQ("\"" + name + "\"", JsonString(L"Caf\u00e9 \u2013 \u00c4rger \u266b.m4a"));
    // The first and last code points of each length, U+FFFD itself, and DEL.
    for (const char* kept : {"\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF",
                             "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBD", "\x7F"})
        EXPECT_EQ(std::string("\"") + kept + "\"", JsonString(std::string(kept))) << kept;
}

TEST(JsonString, EscapesQuoteBackslashAndControls) {
    EXPECT_EQ("\"\\\"\\\\/\"", JsonString(std::string("\"\\/")));
    EXPECT_EQ("\"\\u0000\\u0009\\u000a\\u000d\\u001b\"", JsonString(std::string("\0\t\n\r\x1b", 5)));
    EXPECT_EQ("\"\"", JsonString(std::string()));
}

TEST(JsonString, ReplacesEachMalformedSequenceWithOneReplacement) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\x80z", "a" + kFffd + "z"},  // a lone continuation byte
        {"a\xC3", "a" + kFffd},         // cut short at the end
        {"\xC3(", kFffd + "("},         // cut short by ASCII
        {"\xE2\x99", kFffd},            // three bytes, two present
        {"\xF0\x9F\x8E"
         "x",
         kFffd + "x"},                                              // four bytes, three present
        {"\xC0\xAF", kFffd + kFffd},                                // overlong '/'
        {"\xE0\x80\xAF", kFffd + kFffd + kFffd},                    // overlong, three bytes
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},                    // a surrogate (U+D800)
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},        // past U+10FFFF
        {"\xF5\x80", kFffd + kFffd},                                // a lead no sequence starts with
        {"\xFF\xFE", kFffd + kFffd},                                // a UTF-16 byte order mark
        {"\xE9t\xE9.m4a", kFffd + "t" + kFffd + ".m4a"},            // Latin-1
        {"\xC3\xA9\xA9\xC3\xA9", "\xC3\xA9" + kFffd + "\xC3\xA9"},  // good text on both sides survives
    };
    for (const Case& c : cases) EXPECT_EQ("\"" + c.out + "\"", JsonString(c.in)) << JsonString(c.out);
}

TEST(JsonString, AnyBytesGiveAValidLiteral) {
    // Every pair of bytes; then three- and four-byte leads with second bytes at
    // the edges of their ranges, cut short by a quote.
    std::string in(2, '\0');
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            in[0] = static_cast<char>(a);
            in[1] = static_cast<char>(b);
            const std::string out = JsonString(in);
            ASSERT_TRUE(IsCleanUtf8(out)) << a << " " << b;
            ASSERT_TRUE(QuotesAreEscaped(out)) << a << " " << b;
        }
    }
    for (unsigned lead = 0xE0; lead < 0x100; ++lead) {
        for (unsigned second : {0x7Fu, 0x80u, 0x8Fu, 0x90u, 0x9Fu, 0xA0u, 0xBFu, 0xC0u}) {
            const std::string bytes = {static_cast<char>(lead), static_cast<char>(second), '\x80', '"', '\x80'};
            const std::string out = JsonString(bytes);
            ASSERT_TRUE(IsCleanUtf8(out)) << lead << " " << second;
            ASSERT_TRUE(QuotesAreEscaped(out)) << lead << " " << second;
        }
    }
}

TEST(WideText, UnpairedSurrogatesBecomeReplacements) {
    const wchar_t high = static_cast<wchar_t>(0xD83C), low = static_cast<wchar_t>(0xDFB5);
    EXPECT_EQ("a" + kFffd + "b", Utf8(std::wstring{L'a', high, L'b'}));
    EXPECT_EQ("a" + kFffd, Utf8(std::wstring{L'a', high}));
    EXPECT_EQ(kFffd + "b", Utf8(std::wstring{low, L'b'}));
    EXPECT_EQ(kFffd + kFffd, Utf8(std::wstring{low, high}));  // the wrong order pairs nothing
    if (sizeof(wchar_t) == 2) {
        EXPECT_EQ("\xF0\x9F\x8E\xB5", Utf8(std::wstring{high, low}));  // U+1F3B5
    } else {
        EXPECT_EQ(kFffd + kFffd, Utf8(std::wstring{high, low}));  // UTF-32 has no pairs
    }
    EXPECT_EQ("\"" + kFffd + "\"", JsonString(std::wstring{high}));
}

TEST(JsonWriter, PlacesCommasAndEscapesKeys) {
    JsonWriter json;
    json.BeginObject();
    json.Key("n").Number(18446744073709551615ull);
    json.Key("list").BeginArray().String("x").Null().Bool(true).BeginObject().EndObject().EndArray();
    json.Key("empty").BeginArray().EndArray();
    json.Key("k\"\xC3").Raw("[1]");
    json.Key("inner").BeginObject().Key("b").Bool(false).EndObject();
    json.EndObject();
    EXPECT_EQ(
        "{\"n\":18446744073709551615,\"list\":[\"x\",null,true,{}],\"empty\":[],\"k\\\"\xEF\xBF\xBD\":[1],"
        "\"inner\":{\"b\":false}}",
        json.Text());
}

}  // namespace
