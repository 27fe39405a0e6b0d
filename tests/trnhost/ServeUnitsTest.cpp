// What trnhost serve writes besides the streams' bytes: the bytes of its
// answers for each HTTP version and method, the DLNA time seek texts, and
// the index and status views.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Dlna.h"
#include "Http.h"
#include "PlannedBody.h"
#include "Views.h"

using namespace trnhost;

namespace {

// Keeps what a response sends and logs; can play a peer that has gone.
class RecordingPeer : public http::Peer {
public:
    bool Send(const char* data, size_t size) override {
        if (gone) return false;
        sent.append(data, size);
        return true;
    }
    void Answered(const http::Request* request, int status, uint64_t bytes) override {
        log.push_back((request ? request->method : std::string("-")) + " " + std::to_string(status) + " " +
                      std::to_string(bytes));
    }
    bool gone = false;
    std::string sent;
    std::vector<std::string> log;
};

http::Request Parsed(const std::string& head) {
    http::Request request;
    std::string reason;
    EXPECT_EQ(0, http::ParseRequestHead(head, request, reason)) << reason;
    return request;
}

TEST(Response, WholeAnswersFollowTheRequestsVersionAndMethod) {
    RecordingPeer peer;
    const http::Request get = Parsed("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    http::Response toGet(peer, &get);
    EXPECT_TRUE(toGet.SendWhole(200, "text/plain", "hello", {{"X-One", "1"}}));
    EXPECT_EQ(
        "HTTP/1.1 200 OK\r\nServer: trnhost\r\nX-One: 1\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n"
        "hello",
        peer.sent);

    // HEAD: the same head, no body, nothing counted.
    peer.sent.clear();
    const http::Request head = Parsed("HEAD / HTTP/1.1\r\nHost: x\r\n\r\n");
    http::Response toHead(peer, &head);
    EXPECT_TRUE(toHead.HeadOnly());
    EXPECT_TRUE(toHead.SendWhole(200, "text/plain", "hello"));
    EXPECT_EQ("HTTP/1.1 200 OK\r\nServer: trnhost\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n", peer.sent);

    // A 1.0 client is told that the connection stays, or that it closes.
    peer.sent.clear();
    const http::Request old = Parsed("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
    http::Response toOld(peer, &old);
    EXPECT_FALSE(toOld.CanChunk());
    EXPECT_TRUE(toOld.SendWhole(204, "text/plain", ""));
    EXPECT_EQ(0u, peer.sent.find("HTTP/1.0 204 Unknown\r\n"));
    EXPECT_NE(std::string::npos, peer.sent.find("\r\nConnection: keep-alive\r\n"));
    peer.sent.clear();
    EXPECT_FALSE(toOld.SendWhole(200, "text/plain", "x", {}, true));
    EXPECT_NE(std::string::npos, peer.sent.find("\r\nConnection: close\r\n"));
    EXPECT_EQ(std::string::npos, peer.sent.find("keep-alive"));
    EXPECT_EQ((std::vector<std::string>{"GET 200 5", "HEAD 200 0", "GET 204 0", "GET 200 1"}), peer.log);
}

TEST(Response, RefusalsAndErrorsSayWhy) {
    RecordingPeer peer;
    // A request that could not be read is answered in HTTP/1.1 and closes.
    http::Response refusal(peer, nullptr);
    EXPECT_FALSE(refusal.HeadOnly());
    EXPECT_FALSE(refusal.SendError(400, "bad header line", http::HeaderList(), true));
    EXPECT_EQ(
        "HTTP/1.1 400 Bad Request\r\nServer: trnhost\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: 33\r\nConnection: close\r\n\r\n400 Bad Request: bad header line\n",
        peer.sent);
    // A peer that has gone: not sent, logged all the same.
    peer.gone = true;
    const http::Request get = Parsed("GET /x HTTP/1.1\r\nHost: x\r\n\r\n");
    http::Response lost(peer, &get);
    EXPECT_FALSE(lost.SendError(404, "no such page"));
    EXPECT_EQ((std::vector<std::string>{"- 400 33", "GET 404 28"}), peer.log);
}

TEST(Response, StreamedBodiesInChunksOrPlain) {
    RecordingPeer peer;
    const http::Request get = Parsed("GET /media/lpcm44/a.m4a HTTP/1.1\r\nHost: x\r\n\r\n");
    http::Response response(peer, &get);
    EXPECT_TRUE(response.CanChunk());
    ASSERT_TRUE(response.SendHead(200, {{"Transfer-Encoding", "chunked"}}, false));
    peer.sent.clear();
    const std::string bytes(65536, 'a');
    EXPECT_TRUE(response.SendBody(bytes.data(), bytes.size(), true));
    EXPECT_TRUE(response.SendBody("xyz", 3, true));
    EXPECT_TRUE(response.SendLastChunk());
    EXPECT_EQ("10000\r\n" + bytes + "\r\n3\r\nxyz\r\n0\r\n\r\n", peer.sent);
    peer.sent.clear();
    EXPECT_TRUE(response.SendBody("xyz", 3, false));
    EXPECT_EQ("xyz", peer.sent);
    response.Log(200, 65539);
    EXPECT_EQ((std::vector<std::string>{"GET 200 65539"}), peer.log);
    peer.gone = true;
    EXPECT_FALSE(response.SendBody("xyz", 3, true));
    EXPECT_FALSE(response.SendLastChunk());
}

TEST(Dlna, TimeSeekAnswers) {
    EXPECT_EQ("npt=12.500-40.000/40.000", dlna::TimeSeekAnswer(12500, -1, 40000));
    EXPECT_EQ("npt=1.000-5.000/40.000", dlna::TimeSeekAnswer(1000, 5000, 40000));
    // An unknown duration: no end unless one was asked for, and "*" as the total.
    EXPECT_EQ("npt=12.500-/*", dlna::TimeSeekAnswer(12500, -1, -1));
    EXPECT_EQ("npt=0.000-5.000/*", dlna::TimeSeekAnswer(0, 5000, -1));
    EXPECT_EQ("npt=*/40.000", dlna::TimeSeekPastEnd(40000));
    EXPECT_EQ("npt=*/*", dlna::TimeSeekPastEnd(-1));
    EXPECT_EQ("0.000", dlna::NptTotal(0));
}

std::vector<CatalogItem> SampleItems() {
    CatalogItem item;
    item.path = L"Z:\\music\\Caf\u00e9 \"live\".m4a";
    item.name = "sub/Caf\xC3\xA9 \"<live>\" & \\.m4a";
    item.formats.push_back({"lpcm44", "audio/L16;rate=44100;channels=2", {{L"duration", L"00:00:12.000"}}});
    item.formats.push_back({"mp4", "audio/mp4", {{L"size", L"6933"}, {L"title", L"\u266b \"x\""}}});
    // 12 s at 22.05 kHz, two channels, in 6933 bytes.
    item.source = {true, 22050, 2, 264600, 6933};
    for (CatalogFormat& f : item.formats) {
        const bool lpcm = f.name == "lpcm44";
        f.facts = dlna::FactsOf(f.mimeType, lpcm, lpcm ? 44100 : 0, lpcm ? 2 : 0, item.source);
        f.res = dlna::ResOf(f.facts, item.source);
    }
    return {item};
}

TEST(Views, JsonIndexKeepsNamesAndEscapesOnlyWhatJsonMust) {
    EXPECT_EQ(
        "{\"folder\":\"Z:\\\\M\xC3\xBCsik\",\"items\":[\n"
        "{\"name\":\"sub/Caf\xC3\xA9 \\\"<live>\\\" & \\\\.m4a\",\"formats\":["
        "{\"name\":\"lpcm44\",\"mimeType\":\"audio/L16;rate=44100;channels=2\","
        "\"url\":\"/media/lpcm44/sub/Caf%C3%A9%20%22%3Clive%3E%22%20%26%20%5C.m4a\","
        "\"properties\":{\"duration\":\"00:00:12.000\"},"
        "\"res\":{\"protocolInfo\":\"http-get:*:audio/L16;rate=44100;channels=2:DLNA.ORG_PN=LPCM;DLNA.ORG_OP=11;"
        "DLNA.ORG_CI=1;DLNA.ORG_FLAGS=01700000000000000000000000000000\",\"duration\":\"0:00:12.000\","
        "\"size\":2116800,\"bitrate\":176400,\"sampleFrequency\":44100,\"nrAudioChannels\":2,"
        "\"bitsPerSample\":16}},"
        "{\"name\":\"mp4\",\"mimeType\":\"audio/mp4\","
        "\"url\":\"/media/mp4/sub/Caf%C3%A9%20%22%3Clive%3E%22%20%26%20%5C.m4a\","
        "\"properties\":{\"size\":\"6933\",\"title\":\"\xE2\x99\xAB \\\"x\\\"\"},"
        "\"res\":{\"protocolInfo\":\"http-get:*:audio/mp4:DLNA.ORG_OP=01;DLNA.ORG_CI=0;"
        "DLNA.ORG_FLAGS=01700000000000000000000000000000\",\"duration\":\"0:00:12.000\",\"size\":6933,"
        "\"bitrate\":577,\"sampleFrequency\":22050,\"nrAudioChannels\":2}}]}\n]}\n",
        IndexJson(L"Z:\\M\u00fcsik", SampleItems()));
    EXPECT_EQ("{\"folder\":\"Z:\\\\empty\",\"items\":[\n]}\n", IndexJson(L"Z:\\empty", {}));
}

TEST(Views, HtmlIndexEscapesNamesAndLinks) {
    const std::string html = IndexHtml(L"Z:\\<music>", SampleItems());
    EXPECT_NE(std::string::npos, html.find("<title>Z:\\&lt;music&gt;</title>"));
    EXPECT_NE(std::string::npos, html.find("<li>sub/Caf\xC3\xA9 &quot;&lt;live&gt;&quot; &amp; \\.m4a (00:00:12.000) "
                                           "<a href=\"/media/lpcm44/sub/Caf%C3%A9%20%22%3Clive%3E%22%20%26%20%5C.m4a\" "
                                           "type=\"audio/L16;rate=44100;channels=2\">lpcm44</a> <a href="))
        << html;
    EXPECT_EQ(std::string::npos, html.find("<live>"));
}

// 1000 frames of 44.1 kHz stereo L16.
dlna::MediaFacts Stated(uint64_t length = 4000) {
    dlna::MediaFacts item;
    item.lpcm = true;
    item.lengthKnown = true;
    item.length = length;
    item.rate = 44100;
    item.channels = 2;
    return item;
}

dlna::AnswerPlan Planned(uint64_t first, uint64_t count) {
    dlna::AnswerPlan plan;
    plan.first = first;
    plan.count = count;
    return plan;
}

std::string Bytes(size_t n, size_t from = 0) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out.push_back(char('a' + (from + i) % 26));
    return out;
}

// Feeds text in blocks of `block` bytes.
bool Feed(PlannedBody& body, const std::string& text, size_t block) {
    for (size_t at = 0; at < text.size(); at += block)
        if (!body.Take(reinterpret_cast<const uint8_t*>(text.data() + at), std::min(block, text.size() - at)))
            return false;
    return true;
}

TEST(PlannedBody, DropsThenSendsThePlannedBytesAcrossBlocks) {
    RecordingPeer peer;
    http::Response response(peer, nullptr);
    const dlna::MediaFacts item = Stated();
    const dlna::AnswerPlan plan = Planned(10, 20);
    PlannedBody body(response, plan, item, 6);
    ASSERT_TRUE(Feed(body, Bytes(100), 7));
    EXPECT_EQ(Bytes(20, 6), peer.sent);
    const BodyOutcome outcome = body.Finish(true);
    EXPECT_TRUE(outcome.whole);
    EXPECT_FALSE(outcome.Differed());  // more than planned inside the stream is no surplus
    peer.gone = true;
    PlannedBody lost(response, plan, item, 0);
    EXPECT_FALSE(Feed(lost, Bytes(40), 8));
}

TEST(PlannedBody, AStatedLengthIsKeptWithinAFewFramesAndTheDifferenceCounted) {
    RecordingPeer peer;
    http::Response response(peer, nullptr);
    const dlna::MediaFacts item = Stated();
    const dlna::AnswerPlan whole = Planned(0, 4000);
    {
        // Two frames short: made up with silence.
        PlannedBody body(response, whole, item, 0);
        ASSERT_TRUE(Feed(body, Bytes(3992), 1000));
        const BodyOutcome outcome = body.Finish(true);
        EXPECT_TRUE(outcome.whole);
        EXPECT_EQ(2u, outcome.paddedFrames);
        EXPECT_EQ(Bytes(3992) + std::string(8, '\0'), peer.sent);
    }
    peer.sent.clear();
    {
        // A frame and a half more: cut, and counted as two frames.
        PlannedBody body(response, whole, item, 0);
        ASSERT_TRUE(Feed(body, Bytes(4006), 1000));
        const BodyOutcome outcome = body.Finish(true);
        EXPECT_TRUE(outcome.whole);
        EXPECT_EQ(2u, outcome.cutFrames);
        EXPECT_EQ(Bytes(4000), peer.sent);
    }
    peer.sent.clear();
    {
        // Far short (a stream that failed): no silence, the answer ends short.
        const dlna::MediaFacts longer = Stated(400000);
        const dlna::AnswerPlan all = Planned(0, 400000);
        PlannedBody body(response, all, longer, 0);
        ASSERT_TRUE(Feed(body, Bytes(200000), 65536));
        const BodyOutcome outcome = body.Finish(true);
        EXPECT_FALSE(outcome.whole);
        EXPECT_EQ(0u, outcome.paddedFrames);
        EXPECT_EQ(200000u, peer.sent.size());
    }
    {
        // A read that failed is no stream to make up.
        PlannedBody body(response, whole, item, 0);
        ASSERT_TRUE(Feed(body, Bytes(3992), 1000));
        EXPECT_FALSE(body.Finish(false).whole);
    }
}

TEST(PlannedBody, ReadLimitsAreWholeFramesAndLookPastTheStatedEnd) {
    const dlna::MediaFacts item = Stated();
    EXPECT_EQ(8u, ReadLimit(Planned(2, 5), item, 2));  // 7 bytes end inside the second frame
    EXPECT_EQ(4000u + 4096, ReadLimit(Planned(0, 4000), item, 0));
    EXPECT_EQ(4000u - 8 + 4 + 4096, ReadLimit(Planned(8, 3992), item, 4));
    dlna::MediaFacts native;
    native.lengthKnown = true;
    native.length = 100;
    EXPECT_EQ(17u, ReadLimit(Planned(10, 7), native, 10));
    EXPECT_EQ(UINT64_MAX, ReadLimit(Planned(0, UINT64_MAX), Stated(), 0));
}

TEST(PlannedBody, AStreamWithoutALengthGoesOutInChunksToItsEnd) {
    RecordingPeer peer;
    const http::Request get = Parsed("GET /media/lpcm44/a.m4a HTTP/1.1\r\nHost: x\r\n\r\n");
    http::Response response(peer, &get);
    dlna::MediaFacts item = Stated();
    item.lengthKnown = false;
    dlna::AnswerPlan plan = Planned(0, UINT64_MAX);
    plan.body = dlna::AnswerPlan::Body::Chunked;
    PlannedBody body(response, plan, item, 4);
    ASSERT_TRUE(Feed(body, Bytes(10), 10));
    EXPECT_EQ("6\r\n" + Bytes(6, 4) + "\r\n", peer.sent);
    const BodyOutcome outcome = body.Finish(true);
    EXPECT_TRUE(outcome.whole);
    EXPECT_FALSE(outcome.Differed());
}

TEST(Views, StatusFigures) {
    StatusFigures figures;
    figures.connections = 2;
    figures.transcoders = 1;
    figures.requests = 40;
    EXPECT_EQ(
        "{\"connections\":2,\"transcoders\":1,\"requests\":40,\"lengthDifferences\":0,\"paddedFrames\":0,\"cutFrames\":"
        "0,\"threads\":0,\"handles\":0,\"privateBytes\":0,"
        "\"counted\":false}\n",
        StatusJson(figures));
    figures.counted = true;
    figures.threads = 9;
    figures.handles = 120;
    figures.privateBytes = 5000000000ULL;
    EXPECT_EQ(
        "{\"connections\":2,\"transcoders\":1,\"requests\":40,\"lengthDifferences\":0,\"paddedFrames\":0,\"cutFrames\":"
        "0,\"threads\":9,\"handles\":120,"
        "\"privateBytes\":5000000000,\"counted\":true}\n",
        StatusJson(figures));
}

}  // namespace
