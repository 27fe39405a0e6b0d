// What trnhost serve reads from a request: the head, byte ranges, DLNA time
// seeks and the item a path names, with the hostile and malformed variants
// a server on a network meets; and the serve command line.
#include <gtest/gtest.h>

#include <cstring>

#include "Args.h"
#include "Dlna.h"
#include "Http.h"
#include "Views.h"

using namespace trnhost;
using namespace trnhost::dlna;
using namespace trnhost::http;

namespace {

int Parse(const std::string& head, Request& request) {
    std::string reason;
    const int status = ParseRequestHead(head, request, reason);
    if (status) {
        EXPECT_FALSE(reason.empty()) << head;
    }
    return status;
}

TEST(RequestHead, ReadsWhatCurlAndFfmpegSend) {
    Request r;
    ASSERT_EQ(0, Parse("GET /media/lpcm44/a%20b%2Fc.m4a?x=1 HTTP/1.1\r\nHost: 127.0.0.1:8200\r\n"
                       "User-Agent: curl/7.88.1\r\nAccept: */*\r\nRANGE:   bytes=10-  \r\n\r\n",
                       r));
    EXPECT_EQ("GET", r.method);
    EXPECT_EQ("/media/lpcm44/a%20b%2Fc.m4a?x=1", r.target);
    EXPECT_EQ("/media/lpcm44/a b/c.m4a", r.path);
    EXPECT_EQ(1, r.minorVersion);
    ASSERT_NE(nullptr, r.Header("range"));
    EXPECT_EQ("bytes=10-", *r.Header("range"));
    EXPECT_EQ(nullptr, r.Header("timeseekrange.dlna.org"));
    EXPECT_TRUE(r.KeepAlive());
    // Bare LF line ends, as some clients write them.
    ASSERT_EQ(0, Parse("HEAD / HTTP/1.1\nHost: x\nConnection: keep-alive, Close\n\n", r));
    EXPECT_EQ("HEAD", r.method);
    EXPECT_FALSE(r.KeepAlive());
    ASSERT_EQ(0, Parse("GET / HTTP/1.0\r\n\r\n", r));
    EXPECT_FALSE(r.KeepAlive());
    ASSERT_EQ(0, Parse("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", r));
    EXPECT_TRUE(r.KeepAlive());
    ASSERT_EQ(0, Parse("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", r));
}

TEST(RequestHead, RefusesMalformedRequests) {
    Request r;
    for (const char* bad :
         {"GET\r\n\r\n", "GET /\r\n\r\n", "GET  / HTTP/1.1\r\nHost: x\r\n\r\n",
          "GET / HTTP/1.1 extra\r\nHost: x\r\n\r\n", "GET / HTTP/1\r\nHost: x\r\n\r\n",
          "GET / HTTP/1.x\r\nHost: x\r\n\r\n", "GET / http/1.1\r\nHost: x\r\n\r\n",
          "GET http://h/ HTTP/1.1\r\nHost: x\r\n\r\n", "G(T / HTTP/1.1\r\nHost: x\r\n\r\n",
          "GET /a\x01 HTTP/1.1\r\nHost: x\r\n\r\n", "GET /%zz HTTP/1.1\r\nHost: x\r\n\r\n",
          "GET /a%00b HTTP/1.1\r\nHost: x\r\n\r\n", "GET /%4 HTTP/1.1\r\nHost: x\r\n\r\n", "\r\n", ""})
        EXPECT_EQ(400, Parse(bad, r)) << bad;
    EXPECT_EQ(505, Parse("GET / HTTP/2.0\r\nHost: x\r\n\r\n", r));
    // Headers: folding, no colon, a bad name, a stray CR, ambiguous repeats,
    // no Host in 1.1, and bodies nothing here would read.
    for (const char* bad :
         {"GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", "GET / HTTP/1.1\r\nHost: x\r\nNoColon\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: x\r\nBad Name: v\r\n\r\n", "GET / HTTP/1.1\r\nHost: x\r\n: v\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: x\rY: z\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: x\r\nRange: bytes=0-\r\nrange: bytes=5-\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", "GET / HTTP/1.1\r\nAccept: */*\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"})
        EXPECT_EQ(400, Parse(bad, r)) << bad;
}

TEST(RequestHead, BoundsSizeAndCount) {
    Request r;
    std::string many = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (size_t i = 0; i < kMaxHeaderCount; ++i) many += "X-" + std::to_string(i) + ": y\r\n";
    EXPECT_EQ(400, Parse(many + "\r\n", r));  // one more than allowed, with Host
    std::string big = "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(kMaxHeadBytes, 'a') + "\r\n\r\n";
    EXPECT_EQ(400, Parse(big, r));
    std::string fits = "GET / HTTP/1.1\r\nHost: x\r\nX-Big: ";
    fits += std::string(kMaxHeadBytes - fits.size() - 4, 'a') + "\r\n\r\n";
    EXPECT_EQ(kMaxHeadBytes, fits.size());
    EXPECT_EQ(0, Parse(fits, r));
}

TEST(RequestHead, FindsTheEndOfAHead) {
    const std::string crlf = "GET / HTTP/1.1\r\nHost: x\r\n\r\nNEXT";
    EXPECT_EQ(crlf.size() - 4, FindHeadEnd(crlf.data(), crlf.size()));
    const std::string lf = "GET / HTTP/1.1\nHost: x\n\nNEXT";
    EXPECT_EQ(lf.size() - 4, FindHeadEnd(lf.data(), lf.size()));
    for (const char* partial : {"GET / HTTP/1.1\r\nHost: x\r\n", "GET / HTTP/1.1\r\nHost: x\r\n\r", "GET"})
        EXPECT_EQ(0u, FindHeadEnd(partial, std::strlen(partial))) << partial;
    const std::string lead = "\r\n\r\nGET";
    EXPECT_EQ(4u, SkipEmptyLines(lead.data(), lead.size()));
}

TEST(ByteRanges, ServesOpenClosedAndSuffixRanges) {
    ByteRange r;
    ASSERT_EQ(RangeResult::Part, ParseByteRange("bytes=1000-", 6933, r));
    EXPECT_EQ(1000u, r.first);
    EXPECT_EQ(6932u, r.last);
    ASSERT_EQ(RangeResult::Part, ParseByteRange("bytes=10-19", 6933, r));
    EXPECT_EQ(10u, r.first);
    EXPECT_EQ(19u, r.last);
    ASSERT_EQ(RangeResult::Part, ParseByteRange("Bytes=6900-99999", 6933, r));
    EXPECT_EQ(6932u, r.last);
    ASSERT_EQ(RangeResult::Part, ParseByteRange("bytes=-100", 6933, r));
    EXPECT_EQ(6833u, r.first);
    ASSERT_EQ(RangeResult::Part, ParseByteRange("bytes=-100000", 6933, r));
    EXPECT_EQ(0u, r.first);
    // Several ranges are answered with the whole content, unless one is malformed.
    EXPECT_EQ(RangeResult::Whole, ParseByteRange("bytes=0-1, 5-9", 6933, r));
    EXPECT_EQ(RangeResult::Malformed, ParseByteRange("bytes=0-1, 9-5", 6933, r));
    EXPECT_TRUE(IsWholeFromStart("bytes=0-"));
    EXPECT_FALSE(IsWholeFromStart("bytes=0-100"));
    EXPECT_FALSE(IsWholeFromStart("bytes=1-"));
}

TEST(ByteRanges, RefusesMalformedAndUnsatisfiableOnes) {
    ByteRange r;
    for (const char* bad : {"", "bytes", "bytes=", "bytes=-", "bytes=a-", "bytes=5", "bytes=5-4", "items=0-",
                            "bytes=0-1x", "bytes=+5-", "bytes=--5", "bytes=5--", "bytes 0-"})
        EXPECT_EQ(RangeResult::Malformed, ParseByteRange(bad, 6933, r)) << bad;
    EXPECT_EQ(RangeResult::Unsatisfiable, ParseByteRange("bytes=6933-", 6933, r));
    EXPECT_EQ(RangeResult::Unsatisfiable, ParseByteRange("bytes=-0", 6933, r));
    EXPECT_EQ(RangeResult::Unsatisfiable, ParseByteRange("bytes=0-", 0, r));
    // Numbers beyond 64 bits saturate: past the end, never wrapped to a small offset.
    EXPECT_EQ(RangeResult::Unsatisfiable, ParseByteRange("bytes=18446744073709552616-", 6933, r));
    EXPECT_EQ(RangeResult::Unsatisfiable, ParseByteRange("bytes=99999999999999999999999999999-", 6933, r));
    ASSERT_EQ(RangeResult::Part, ParseByteRange("bytes=5-99999999999999999999999999", 6933, r));
    EXPECT_EQ(6932u, r.last);
}

TEST(TimeSeeks, ReadsSecondsAndClockTimes) {
    NptRange n;
    ASSERT_TRUE(ParseNptRange("npt=1.5-", n));
    EXPECT_EQ(1500, n.startMs);
    EXPECT_EQ(-1, n.endMs);
    ASSERT_TRUE(ParseNptRange(" NPT=0-10.25 ", n));
    EXPECT_EQ(0, n.startMs);
    EXPECT_EQ(10250, n.endMs);
    ASSERT_TRUE(ParseNptRange("npt=1:02:03.4567-", n));
    EXPECT_EQ(3723456, n.startMs);
    ASSERT_TRUE(ParseNptRange("npt=00:00:07-00:00:09.", n));
    EXPECT_EQ(7000, n.startMs);
    EXPECT_EQ(9000, n.endMs);
    ASSERT_TRUE(ParseNptRange("npt=12-", n));
    EXPECT_EQ(12000, n.startMs);
    EXPECT_EQ("1.500", NptText(1500));
    EXPECT_EQ("3723.456", NptText(3723456));
}

TEST(TimeSeeks, RefusesMalformedOnesAndSaturatesHugeOnes) {
    NptRange n;
    for (const char* bad : {"", "npt=", "npt=-", "npt=5", "npt=now-", "npt=1:2:3-", "npt=0:60:00-", "npt=0:00:60-",
                            "npt=a-", "npt=5-4", "npt=5-5", "npt=1-2-3", "bytes=0-", "npt=.5-", "npt=1:00-", "npt=5-x"})
        EXPECT_FALSE(ParseNptRange(bad, n)) << bad;
    ASSERT_TRUE(ParseNptRange("npt=999999999999999999999999999-", n));
    EXPECT_EQ(kHugeMs, n.startMs);
    ASSERT_TRUE(ParseNptRange("npt=99999999999999999999:59:59.999-", n));
    EXPECT_EQ(kHugeMs, n.startMs);
}

TEST(Paths, RouteItemsAndFormats) {
    std::string format, item;
    EXPECT_EQ(Route::HtmlIndex, RouteOf("/", format, item));
    EXPECT_EQ(Route::JsonIndex, RouteOf("/index.json", format, item));
    EXPECT_EQ(Route::Status, RouteOf("/status", format, item));
    ASSERT_EQ(Route::Media, RouteOf("/media/lpcm44/sub/song.m4a", format, item));
    EXPECT_EQ("lpcm44", format);
    EXPECT_EQ("sub/song.m4a", item);
    for (const char* none : {"/media/", "/media/lpcm44", "/media/lpcm44/", "/media//x.m4a", "/other", "/index.jsonx"})
        EXPECT_EQ(Route::NotFound, RouteOf(none, format, item)) << none;
    // A name survives the round trip through a link, whatever it holds.
    const std::string name = "sub dir/#1 100% \"r&b\"?\xC3\xA9.m4a";
    const std::string link = MediaPath("mp4", name);
    for (char c : link) EXPECT_TRUE(c > 0x20 && c < 0x7F && !std::strchr("#?\"&", c)) << link;
    std::string decoded;
    ASSERT_TRUE(PercentDecode(link, decoded));
    ASSERT_EQ(Route::Media, RouteOf(decoded, format, item));
    EXPECT_EQ("mp4", format);
    EXPECT_EQ(name, item);
    EXPECT_EQ("a&lt;b&gt;&amp;&quot;&#39;", HtmlEscape("a<b>&\"'"));
}

TEST(Paths, ChunksAndDlnaFeatures) {
    EXPECT_EQ("10000\r\n", ChunkHead(65536));
    EXPECT_EQ("1\r\n", ChunkHead(1));
    EXPECT_EQ("DLNA.ORG_PN=LPCM;DLNA.ORG_OP=11;DLNA.ORG_CI=1;DLNA.ORG_FLAGS=01700000000000000000000000000000",
              ContentFeatures(true, true));
    EXPECT_EQ(0u, ContentFeatures(true, false).find("DLNA.ORG_PN=LPCM;DLNA.ORG_OP=10;"));
    EXPECT_EQ(0u, ContentFeatures(false, true).find("DLNA.ORG_OP=01;DLNA.ORG_CI=0;"));
    EXPECT_STREQ("Range Not Satisfiable", ReasonPhrase(416));
}

TEST(ServeCommandLine, PortAndAddress) {
    Arguments a;
    std::wstring error;
    ASSERT_TRUE(ParseArguments({L"serve", L"music", L"--port", L"0"}, a, error));
    EXPECT_EQ(0, a.port);
    EXPECT_TRUE(CheckCommandArguments(a, error));
    ASSERT_TRUE(ParseArguments({L"serve", L"music", L"--port=65535", L"--bind", L"0.0.0.0"}, a, error));
    EXPECT_EQ(65535, a.port);
    EXPECT_EQ(L"0.0.0.0", a.bind);
    ASSERT_TRUE(ParseArguments({L"serve", L"music"}, a, error));
    EXPECT_EQ(-1, a.port);
    EXPECT_TRUE(a.bind.empty());
    for (const wchar_t* bad : {L"65536", L"-1", L"x", L""})
        EXPECT_FALSE(ParseArguments({L"serve", L"music", L"--port", bad}, a, error)) << bad[0];
    for (const wchar_t* bad : {L"256.0.0.1", L"1.2.3", L"1.2.3.4.5", L"localhost", L"1..2.3", L"1.2.3.4 "})
        EXPECT_FALSE(ParseArguments({L"serve", L"music", L"--bind", bad}, a, error)) << bad[0];
    ASSERT_TRUE(ParseArguments({L"serve"}, a, error));
    EXPECT_FALSE(CheckCommandArguments(a, error));
    ASSERT_TRUE(ParseArguments({L"scan", L"music", L"--port", L"80"}, a, error));
    EXPECT_FALSE(CheckCommandArguments(a, error));
    EXPECT_NE(std::wstring::npos, UsageText(L"serve").find(L"usage: trnhost serve DIR"));
}

}  // namespace
