// The answers serve plans for media requests, row by row: what renderers
// need from a stream's length, byte ranges, time seeks, content features
// and HEAD.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Planner.h"

using namespace trnhost;
using namespace trnhost::dlna;

namespace {

// 40.000 s of 44.1 kHz stereo L16.
const uint64_t kLpcmLength = 1764000ull * 4;
const char kAbsent[] = "<absent>";

MediaFacts Lpcm(bool lengthKnown = true) {
    MediaFacts item;
    item.mimeType = "audio/L16;rate=44100;channels=2";
    item.lpcm = true;
    item.lengthKnown = lengthKnown;
    item.length = lengthKnown ? kLpcmLength : 0;
    item.rate = 44100;
    item.channels = 2;
    item.durationMs = 40000;
    return item;
}

MediaFacts Native() {
    MediaFacts item;
    item.mimeType = "audio/mp4";
    item.lengthKnown = true;
    item.length = 100000;
    return item;
}

http::Request RequestOf(const std::string& method, int minor, const std::vector<std::string>& headers) {
    std::string head = method + " /media/x/a.m4a HTTP/1." + std::to_string(minor) + "\r\nHost: h\r\n";
    for (const std::string& h : headers) head += h + "\r\n";
    http::Request request;
    std::string reason;
    EXPECT_EQ(0, http::ParseRequestHead(head + "\r\n", request, reason)) << head;
    return request;
}

std::string HeaderOf(const AnswerPlan& plan, const std::string& name) {
    std::string value = kAbsent;
    for (const auto& h : plan.headers)
        if (h.first == name) value = h.second;
    return value;
}

struct Row {
    const char* what;
    MediaFacts item;
    int minor;
    std::vector<std::string> request;
    int status;
    std::vector<std::pair<std::string, std::string>> headers;  // kAbsent: must not be there
    uint64_t first, count;
    int64_t seekMs;
};

void Check(const Row& row) {
    SCOPED_TRACE(row.what);
    const AnswerPlan plan = PlanAnswer(RequestOf("GET", row.minor, row.request), row.item);
    EXPECT_EQ(row.status, plan.status) << plan.why;
    for (const auto& h : row.headers) EXPECT_EQ(h.second, HeaderOf(plan, h.first)) << h.first;
    if (plan.Refused()) return;
    EXPECT_EQ(row.first, plan.first);
    EXPECT_EQ(row.count, plan.count);
    EXPECT_EQ(row.seekMs, plan.seekMs);
    // Never both a length and chunks; a body without either ends by closing.
    const bool length = HeaderOf(plan, "Content-Length") != kAbsent;
    const bool chunked = HeaderOf(plan, "Transfer-Encoding") != kAbsent;
    EXPECT_FALSE(length && chunked);
    EXPECT_EQ(length, plan.body == AnswerPlan::Body::Length);
    EXPECT_EQ(chunked, plan.body == AnswerPlan::Body::Chunked);
    if (length) {
        EXPECT_EQ(std::to_string(plan.count), HeaderOf(plan, "Content-Length"));
    }
    EXPECT_EQ(row.status == 206, HeaderOf(plan, "Content-Range") != kAbsent);
}

const uint64_t kAll = UINT64_MAX;

TEST(Planner, TheLengthOfLpcmIsStatedBeforeTheFirstByte) {
    const std::vector<Row> rows = {
        {"HTTP/1.1",
         Lpcm(),
         1,
         {},
         200,
         {{"Content-Length", "7056000"}, {"Transfer-Encoding", kAbsent}},
         0,
         kLpcmLength,
         -1},
        {"HTTP/1.0 too", Lpcm(), 0, {}, 200, {{"Content-Length", "7056000"}}, 0, kLpcmLength, -1},
        {"unknown length on 1.1: chunks",
         Lpcm(false),
         1,
         {},
         200,
         {{"Content-Length", kAbsent}, {"Transfer-Encoding", "chunked"}, {"Accept-Ranges", kAbsent}},
         0,
         kAll,
         -1},
        {"unknown length on 1.0: ended by closing",
         Lpcm(false),
         0,
         {},
         200,
         {{"Content-Length", kAbsent}, {"Transfer-Encoding", kAbsent}},
         0,
         kAll,
         -1},
    };
    for (const Row& row : rows) Check(row);
    EXPECT_EQ(AnswerPlan::Body::Close, PlanAnswer(RequestOf("GET", 0, {}), Lpcm(false)).body);
}

TEST(Planner, ByteRangesOnLpcmStartAtTheirByteFromATimeOnTheGrid) {
    const std::vector<Row> rows = {
        // Byte 1000003 is inside frame 250000 (5668.93 ms): positioned at 5660 ms.
        {"open range inside a frame",
         Lpcm(),
         1,
         {"Range: bytes=1000003-"},
         206,
         {{"Content-Range", "bytes 1000003-7055999/7056000"}, {"Accept-Ranges", "bytes"}},
         1000003,
         kLpcmLength - 1000003,
         5660},
        {"closed range",
         Lpcm(),
         1,
         {"Range: bytes=882000-882999"},
         206,
         {{"Content-Range", "bytes 882000-882999/7056000"}},
         882000,
         1000,
         5000},
        {"suffix range",
         Lpcm(),
         1,
         {"Range: bytes=-100"},
         206,
         {{"Content-Range", "bytes 7055900-7055999/7056000"}},
         7055900,
         100,
         39990},
        {"within the first grid step: from the start", Lpcm(), 1, {"Range: bytes=100-199"}, 206, {}, 100, 100, 0},
        {"bytes=0- is an ordinary full request",
         Lpcm(),
         1,
         {"Range: bytes=0-"},
         200,
         {{"Content-Length", "7056000"}},
         0,
         kLpcmLength,
         -1},
        {"past the end", Lpcm(), 1, {"Range: bytes=7056000-"}, 416, {{"Content-Range", "bytes */7056000"}}, 0, 0, 0},
        {"malformed", Lpcm(), 1, {"Range: bytes=x"}, 400, {}, 0, 0, 0},
        {"unknown length", Lpcm(false), 1, {"Range: bytes=10-"}, 406, {}, 0, 0, 0},
        {"malformed, unknown length", Lpcm(false), 1, {"Range: bytes=x"}, 400, {}, 0, 0, 0},
        {"native range",
         Native(),
         1,
         {"Range: bytes=10-19"},
         206,
         {{"Content-Range", "bytes 10-19/100000"}},
         10,
         10,
         -1},
        {"native past the end",
         Native(),
         1,
         {"Range: bytes=100000-"},
         416,
         {{"Content-Range", "bytes */100000"}},
         0,
         0,
         0},
    };
    for (const Row& row : rows) Check(row);
    // Where the transcoder starts: whole frames at both rates, and settled
    // resampling when they differ.
    const auto at = [](uint64_t byte, uint32_t sourceRate, uint32_t rate) {
        MediaFacts item = Lpcm();
        item.sourceRate = sourceRate;
        item.rate = rate;
        return SeekMsFor(byte, item);
    };
    EXPECT_EQ(0, at(3, 0, 44100));
    EXPECT_EQ(10, at(441 * 4, 0, 44100));
    EXPECT_EQ(0, at(441 * 4 - 1, 44100, 44100));
    EXPECT_EQ(10, at(480 * 4 + 3, 48000, 48000));
    EXPECT_EQ(2, at(100 * 4, 48000, 48000));  // 1 ms is 48 whole frames
    // 22.05 kHz into 44.1 kHz: a 20 ms grid (441 source frames), 100 ms earlier.
    EXPECT_EQ(5560, at(250000 * 4, 22050, 44100));
    EXPECT_EQ(0, at(4410 * 4, 22050, 44100));
    // 44.1 kHz into 48 kHz: 10 ms; 11.025 kHz into 48 kHz: 40 ms.
    EXPECT_EQ(9900, at(480000 * 4, 44100, 48000));
    EXPECT_EQ(9880, at(480000 * 4 + 40 * 48 * 4 - 4, 11025, 48000));
    EXPECT_EQ(1764000ull * 4, ByteAtMs(40000, 44100, 2));
    EXPECT_EQ(544414ull * 2, ByteAtMs(12345, 44100, 1));
}

TEST(Planner, TimeSeeksStateTheirTimesBytesAndLength) {
    const std::vector<Row> rows = {
        {"from 5 s",
         Lpcm(),
         1,
         {"TimeSeekRange.dlna.org: npt=5-"},
         200,
         {{"TimeSeekRange.dlna.org", "npt=5.000-40.000/40.000 bytes=882000-7055999/7056000"},
          {"Content-Length", "6174000"},
          {"Content-Range", kAbsent}},
         882000,
         6174000,
         5000},
        // 12.345 s is frame 544414 (of 544414.5): the grid time before it is 12.34 s.
        {"a span between grid times",
         Lpcm(),
         1,
         {"TimeSeekRange.dlna.org: npt=12.345-13"},
         200,
         {{"TimeSeekRange.dlna.org", "npt=12.345-13.000/40.000 bytes=2177656-2293199/7056000"}},
         2177656,
         115544,
         12340},
        {"an end past the duration is the duration",
         Lpcm(),
         1,
         {"TimeSeekRange.dlna.org: npt=39-50"},
         200,
         {{"TimeSeekRange.dlna.org", "npt=39.000-40.000/40.000 bytes=6879600-7055999/7056000"}},
         6879600,
         176400,
         39000},
        {"from 0 needs no positioning",
         Lpcm(),
         0,
         {"TimeSeekRange.dlna.org: npt=0-"},
         200,
         {{"Content-Length", "7056000"}},
         0,
         kLpcmLength,
         -1},
        {"at the end",
         Lpcm(),
         1,
         {"TimeSeekRange.dlna.org: npt=40-"},
         416,
         {{"TimeSeekRange.dlna.org", "npt=*/40.000"}},
         0,
         0,
         0},
        {"malformed", Lpcm(), 1, {"TimeSeekRange.dlna.org: npt=abc-"}, 400, {}, 0, 0, 0},
        {"with a byte range", Lpcm(), 1, {"TimeSeekRange.dlna.org: npt=5-", "Range: bytes=10-"}, 400, {}, 0, 0, 0},
        {"with bytes=0-",
         Lpcm(),
         1,
         {"TimeSeekRange.dlna.org: npt=5-", "Range: bytes=0-"},
         200,
         {},
         882000,
         6174000,
         5000},
        {"unknown length: no bytes part, chunks",
         Lpcm(false),
         1,
         {"TimeSeekRange.dlna.org: npt=5-"},
         200,
         {{"TimeSeekRange.dlna.org", "npt=5.000-40.000/40.000"}, {"Transfer-Encoding", "chunked"}},
         882000,
         kAll,
         5000},
        {"not on the unchanged file", Native(), 1, {"TimeSeekRange.dlna.org: npt=5-"}, 406, {}, 0, 0, 0},
    };
    for (const Row& row : rows) Check(row);
    for (const Row& row : rows) {
        if (row.status != 200 || !row.item.lpcm) continue;
        SCOPED_TRACE(row.what);
        EXPECT_EQ("TimeSeekRange.dlna.org", HeaderOf(PlanAnswer(RequestOf("GET", 1, row.request), row.item), "Vary"));
    }
}

TEST(Planner, OneContentFeaturesValueAndTheTransferModeEchoed) {
    const std::string lpcm =
        "DLNA.ORG_PN=LPCM;DLNA.ORG_OP=11;DLNA.ORG_CI=1;DLNA.ORG_FLAGS=01700000000000000000000000000000";
    const std::vector<Row> rows = {
        {"asked for",
         Lpcm(),
         1,
         {"getcontentFeatures.dlna.org: 1"},
         200,
         {{"contentFeatures.dlna.org", lpcm}, {"transferMode.dlna.org", "Streaming"}},
         0,
         kLpcmLength,
         -1},
        {"not asked for: the same", Lpcm(), 1, {}, 200, {{"contentFeatures.dlna.org", lpcm}}, 0, kLpcmLength, -1},
        {"a range answer: the same",
         Lpcm(),
         1,
         {"Range: bytes=4-"},
         206,
         {{"contentFeatures.dlna.org", lpcm}},
         4,
         kLpcmLength - 4,
         0},
        {"unknown length: time seek only",
         Lpcm(false),
         1,
         {},
         200,
         {{"contentFeatures.dlna.org", ContentFeatures(true, false)}},
         0,
         kAll,
         -1},
        {"the unchanged file",
         Native(),
         1,
         {"getcontentFeatures.dlna.org: 1"},
         200,
         {{"contentFeatures.dlna.org", ContentFeatures(false, true)}, {"Vary", kAbsent}},
         0,
         100000,
         -1},
        {"Interactive echoed",
         Lpcm(),
         1,
         {"transferMode.dlna.org: interactive"},
         200,
         {{"transferMode.dlna.org", "Interactive"}},
         0,
         kLpcmLength,
         -1},
        {"Background echoed",
         Native(),
         1,
         {"transferMode.dlna.org: Background"},
         200,
         {{"transferMode.dlna.org", "Background"}},
         0,
         100000,
         -1},
        {"an unknown mode is Streaming",
         Lpcm(),
         1,
         {"transferMode.dlna.org: Bulk"},
         200,
         {{"transferMode.dlna.org", "Streaming"}},
         0,
         kLpcmLength,
         -1},
    };
    for (const Row& row : rows) Check(row);
}

TEST(Planner, HeadIsPlannedExactlyAsGet) {
    const std::vector<std::pair<MediaFacts, std::vector<std::string>>> asks = {
        {Lpcm(), {}},
        {Lpcm(), {"Range: bytes=1000-"}},
        {Lpcm(), {"TimeSeekRange.dlna.org: npt=5-"}},
        {Lpcm(), {"TimeSeekRange.dlna.org: npt=99-"}},
        {Lpcm(false), {}},
        {Native(), {"Range: bytes=-10"}},
        {Native(), {}},
    };
    for (const auto& ask : asks) {
        for (int minor : {0, 1}) {
            const AnswerPlan get = PlanAnswer(RequestOf("GET", minor, ask.second), ask.first);
            const AnswerPlan head = PlanAnswer(RequestOf("HEAD", minor, ask.second), ask.first);
            EXPECT_EQ(get.status, head.status);
            EXPECT_EQ(get.headers, head.headers);
            EXPECT_EQ(get.body, head.body);
        }
    }
}

}  // namespace
