// Load: eight transcoders streaming different files at once, each from its
// own thread, while eight more threads query one info object. Every stream
// must equal what a single-threaded run gives and every answer must be the
// single-threaded one.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/HostSupport.h"
#include "tests/resources/ProcessCounts.h"
#include "tests/resources/StreamSupport.h"

using namespace hosttest;
using namespace streamtest;

namespace {

typedef std::vector<std::pair<std::wstring, std::wstring>> Properties;

const int kRounds = 3;         // streams per streaming thread
const int kMinQueries = 40;    // rounds per querying thread, at least
const int kMaxQueries = 5000;  // ... and at most, should the streams never end
const DWORD kWaitMs = 600000;  // a generous bound: a hang, not a slow machine

struct Source {
    const wchar_t* file;
    FormatFacts target;
};
const Source kSources[] = {
    {L"aac-16000-mono.3gp", Lpcm44100()},   {L"aac-22050-mono.mp4", Lpcm44100()},
    {L"aac-22050-mono.m4b", Lpcm44100()},   {L"aac-32000-mp42.mp4", Lpcm44100()},
    {L"aac-44100-stereo.m4a", Lpcm44100()}, {L"aac-44100-stereo.mp4", Lpcm44100()},
    {L"aac-48000-mp42.mp4", Lpcm48000()},   {L"aac-44100-fragmented.mp4", Lpcm44100()},
};
const int kSourceCount = sizeof kSources / sizeof kSources[0];

std::string Narrow(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

// What one file gives when it is asked alone.
struct Reference {
    Bytes stream;
    std::vector<FormatFacts> formats;
    Properties properties;  // in the first (LPCM) format
};

bool QueryFormats(ITrnMediaTranscoderInfo* info, const std::wstring& path, std::vector<FormatFacts>& formats) {
    const SourceVariant source(path);
    SAFEARRAY* list = nullptr;
    if (info->GetFormatsForSource(source.get(), &list) != S_OK) return false;
    formats = TakeFormatList(list);
    return true;
}

bool QueryProperties(ITrnMediaTranscoderInfo* info, const std::wstring& path, const FormatFacts& target,
                     Properties& properties) {
    const SourceVariant source(path);
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    SAFEARRAY* list = nullptr;
    if (info->GetProperties(source.get(), format.get(), &list) != S_OK) return false;
    properties = TakePropertyList(list);
    return true;
}

struct Shared {
    const std::vector<Reference>* references = nullptr;
    ComPtr<ITrnMediaTranscoderInfo> info;
    volatile LONG streamersLeft = 0;
};

struct Streamer {
    Shared* shared = nullptr;
    int source = 0;
    int mismatches = 0;
    HRESULT firstFailure = S_OK;
};

DWORD WINAPI StreamThread(void* context) {
    Streamer& me = *static_cast<Streamer*>(context);
    {
        ComScope com;
        const Reference& reference = (*me.shared->references)[me.source];
        // Each thread reads in blocks of its own size.
        const ULONG block = 4096u * static_cast<ULONG>(me.source + 1);
        for (int round = 0; round < kRounds; ++round) {
            const Stream stream =
                TranscodeFile(SamplePath(kSources[me.source].file), kSources[me.source].target, block);
            if (FAILED(stream.hr) && me.firstFailure == S_OK) me.firstFailure = stream.hr;
            if (!stream.ended || stream.bytes != reference.stream) ++me.mismatches;
        }
    }
    ::InterlockedDecrement(&me.shared->streamersLeft);
    return 0;
}

struct Querier {
    Shared* shared = nullptr;
    int offset = 0;
    int rounds = 0;
    int mismatches = 0;
};

DWORD WINAPI QueryThread(void* context) {
    Querier& me = *static_cast<Querier*>(context);
    ComScope com;
    ITrnMediaTranscoderInfo* info = me.shared->info.get();
    while (me.rounds < kMaxQueries && (me.rounds < kMinQueries || me.shared->streamersLeft > 0)) {
        const int index = (me.offset + me.rounds) % kSourceCount;
        const Reference& reference = (*me.shared->references)[index];
        const std::wstring path = SamplePath(kSources[index].file);
        std::vector<FormatFacts> formats;
        Properties properties;
        if (!QueryFormats(info, path, formats) || !(formats == reference.formats)) ++me.mismatches;
        if (!QueryProperties(info, path, reference.formats[0], properties) || properties != reference.properties)
            ++me.mismatches;
        ++me.rounds;
    }
    return 0;
}

class Load : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", L"1");
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", nullptr); }
};

TEST_P(Load, EightStreamsAndEightQueriersAtOnceGiveTheSingleThreadedResults) {
    Shared shared;
    shared.info = CreateInfo();
    ASSERT_TRUE(shared.info);
    std::vector<Reference> references(kSourceCount);
    for (int i = 0; i < kSourceCount; ++i) {
        SCOPED_TRACE(i);
        const std::wstring path = SamplePath(kSources[i].file);
        const Stream stream = TranscodeFile(path, kSources[i].target);
        ASSERT_EQ(S_OK, stream.hr);
        ASSERT_TRUE(stream.ended);
        ASSERT_FALSE(stream.bytes.empty());
        references[i].stream = stream.bytes;
        ASSERT_TRUE(QueryFormats(shared.info.get(), path, references[i].formats));
        ASSERT_FALSE(references[i].formats.empty());
        ASSERT_TRUE(references[i].formats[0] == kSources[i].target) << Describe(references[i].formats[0]);
        ASSERT_TRUE(QueryProperties(shared.info.get(), path, kSources[i].target, references[i].properties));
        ASSERT_FALSE(references[i].properties.empty());
    }
    shared.references = &references;
    const restest::ProcessCounts before = restest::CountThisProcess();
    ASSERT_TRUE(before.ok);

    std::vector<Streamer> streamers(kSourceCount);
    std::vector<Querier> queriers(8);
    shared.streamersLeft = kSourceCount;
    std::vector<UniqueHandle> threads;
    for (int i = 0; i < kSourceCount; ++i) {
        streamers[i].shared = &shared;
        streamers[i].source = i;
        threads.emplace_back(::CreateThread(nullptr, 0, &StreamThread, &streamers[i], 0, nullptr));
    }
    for (size_t i = 0; i < queriers.size(); ++i) {
        queriers[i].shared = &shared;
        queriers[i].offset = static_cast<int>(i);
        threads.emplace_back(::CreateThread(nullptr, 0, &QueryThread, &queriers[i], 0, nullptr));
    }
    for (UniqueHandle& thread : threads) {
        ASSERT_TRUE(thread.valid());
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), kWaitMs)) << "a thread hangs";
    }
    threads.clear();

    int queries = 0;
    for (int i = 0; i < kSourceCount; ++i) {
        EXPECT_EQ(S_OK, streamers[i].firstFailure) << std::hex << streamers[i].firstFailure;
        EXPECT_EQ(0, streamers[i].mismatches) << "streams of " << Narrow(kSources[i].file);
    }
    for (const Querier& q : queriers) {
        EXPECT_EQ(0, q.mismatches);
        EXPECT_GE(q.rounds, kMinQueries);
        queries += q.rounds;
    }
    std::printf("%s decoding: %d streams, %d format and property queries beside them\n", GetParam() ? "tone" : "real",
                kSourceCount * kRounds, 2 * queries);

    const restest::ProcessCounts after = restest::WaitForThreadsAtMost(before.threads, 10000);
    EXPECT_LE(after.threads, before.threads) << "threads left running";
    shared.info.reset();
    EXPECT_EQ(S_OK, CanUnloadNow(ServerDllPath()));
}

INSTANTIATE_TEST_SUITE_P(Decoding, Load, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Tone" : "Real"; });

}  // namespace
