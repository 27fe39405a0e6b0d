#include "Mp4TestUtil.h"
#include "mp4/SmfEsDescriptor.h"

#include <gtest/gtest.h>

using namespace boxw;

namespace {

constexpr HRESULT kStructure = HRESULT(0x80040405);

Bytes TrakWithHandler(uint32_t id, const char* handler) {
    AudioTrack t;
    t.trackId = id;
    t.handler = handler;
    Bytes stbl = Stbl(Stsd({Box("abcd", Writer().Zeros(6).U16(1))}));
    Bytes minf = Box("minf", Cat({Dinf(), stbl}));
    return Box("trak", Cat({Tkhd(id), Box("mdia", Cat({Mdhd(1000, 1000), Hdlr(handler), minf}))}));
}

TEST(TrackQueries, ClassifiesTracksByHandlerInIdOrder) {
    AudioTrack a7, a2;
    a7.trackId = 7;
    a2.trackId = 2;
    Bytes file = Cat({Ftyp("mp42", 0, {"mp42"}),
                      Moov({Trak(a7), VideoTrak(4), TrakWithHandler(3, "hint"), TrakWithHandler(5, "text"), Trak(a2)}),
                      Box("mdat", {})});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, file));
    std::vector<uint32_t> audio = {99}, video;
    ASSERT_EQ(S_OK, mp4.GetTrackIds(audio, video));
    EXPECT_EQ((std::vector<uint32_t>{2, 7}), audio);
    EXPECT_EQ((std::vector<uint32_t>{4}), video);

    EXPECT_EQ(E_INVALIDARG, mp4.SetAudioTrackId(4));
    EXPECT_EQ(E_INVALIDARG, mp4.SetAudioTrackId(3));
    EXPECT_EQ(S_OK, mp4.SetAudioTrackId(7));
    // A refused ID leaves the selection as it was.
    EXPECT_EQ(E_INVALIDARG, mp4.SetAudioTrackId(99));
    uint32_t ts = 0;
    EXPECT_EQ(S_OK, mp4.GetMediaTimescale(&ts));
}

TEST(TrackQueries, VideoOnlyFileHasNoAudio) {
    Bytes file = Cat({Ftyp("mp42", 0, {"mp42"}), Moov({VideoTrak(1)})});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, file));
    std::vector<uint32_t> audio, video;
    ASSERT_EQ(S_OK, mp4.GetTrackIds(audio, video));
    EXPECT_TRUE(audio.empty());
    EXPECT_EQ(1u, video.size());
}

TEST(TrackQueries, CallsBeforeAnOpenOrSelectionAreRefused) {
    CMp4File mp4;
    std::vector<uint32_t> audio, video;
    uint32_t a = 5, b = 5, c = 5;
    std::vector<uint8_t> dsi;
    EXPECT_EQ(E_UNEXPECTED, mp4.GetTrackIds(audio, video));
    EXPECT_EQ(E_UNEXPECTED, mp4.SetAudioTrackId(1));
    EXPECT_EQ(E_POINTER, mp4.GetAudioSampleDescription(&a, nullptr, &c));
    EXPECT_EQ(0u, a);
    EXPECT_EQ(E_UNEXPECTED, mp4.GetAudioSampleDescription(&a, &b, &c));
    EXPECT_EQ(E_UNEXPECTED, mp4.GetDecoderSpecificInformation(dsi));
    EXPECT_EQ(E_POINTER, mp4.GetMediaTimescale(nullptr));
    EXPECT_EQ(E_UNEXPECTED, mp4.GetMediaDuration(&a));

    ASSERT_EQ(S_OK, OpenBytes(mp4, AudioFile()));
    EXPECT_EQ(E_UNEXPECTED, mp4.GetMediaDuration(&a));
}

TEST(SampleDescription, ReadsTheFirstAudioEntry) {
    for (auto [raw, hz] : {std::pair<uint32_t, uint32_t>{0xAC440000u, 44100u}, {0x5DC00000u, 24000u}}) {
        AudioTrack t;
        t.rate = raw;
        t.channels = 1;
        t.sampleSize = 16;
        CMp4File mp4;
        ASSERT_EQ(S_OK, OpenAudio(mp4, AudioFile(t)));
        uint32_t bits = 0, rate = 0, channels = 0;
        ASSERT_EQ(S_OK, mp4.GetAudioSampleDescription(&bits, &rate, &channels));
        EXPECT_EQ(hz, rate);
        EXPECT_EQ(1u, channels);
        EXPECT_EQ(16u, bits);
        uint32_t ts = 0, duration = 0;
        EXPECT_EQ(S_OK, mp4.GetMediaTimescale(&ts));
        EXPECT_EQ(44100u, ts);
        EXPECT_EQ(S_OK, mp4.GetMediaDuration(&duration));
        EXPECT_EQ(10240u, duration);
    }
}

HRESULT DsiOf(const Bytes& esds, std::vector<uint8_t>& dsi, uint32_t* maxBitrate = nullptr,
              uint32_t* avgBitrate = nullptr, uint32_t* buffer = nullptr) {
    AudioTrack t;
    t.esds = esds;
    CMp4File mp4;
    HRESULT hr = OpenAudio(mp4, AudioFile(t));
    if (FAILED(hr)) return hr;
    return mp4.GetDecoderSpecificInformation(dsi, maxBitrate, avgBitrate, buffer);
}

TEST(DecoderSpecificInfo, ReturnsTheBytesAndBitrates) {
    std::vector<uint8_t> dsi;
    uint32_t maxBitrate = 0, avgBitrate = 0, buffer = 0;
    ASSERT_EQ(S_OK, DsiOf(Esds(EsDescriptor({0x11, 0x90}, 200000, 128000)), dsi, &maxBitrate, &avgBitrate, &buffer));
    EXPECT_EQ((std::vector<uint8_t>{0x11, 0x90}), dsi);
    EXPECT_EQ(200000u, maxBitrate);
    EXPECT_EQ(128000u, avgBitrate);
    EXPECT_EQ(6144u, buffer);
}

TEST(DecoderSpecificInfo, DescriptorVariants) {
    std::vector<uint8_t> dsi;
    // URL flag set, and four-byte expandable sizes.
    Bytes withUrl = Descriptor(
        3, Cat({Writer().U16(1).U8(0x40).U8(3).Text("abc"), DecoderConfig(AacDsi()), Descriptor(6, {2})}), 4);
    EXPECT_EQ(S_OK, DsiOf(Esds(withUrl), dsi));
    EXPECT_EQ(AacDsi(), dsi);

    // Two DecSpecificInfo descriptors: the first counts.
    Bytes config = Descriptor(4, Cat({Writer().U8(0x40).U8(0x15).U24(0).U32(1).U32(1), Descriptor(5, {0x12, 0x08}),
                                      Descriptor(5, {0x13, 0x00})}));
    EXPECT_EQ(S_OK, DsiOf(Esds(Descriptor(3, Cat({Writer().U16(1).U8(0), config}))), dsi));
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x08}), dsi);

    // An SLConfig with custom fields and start time stamps.
    Bytes sl = Descriptor(
        6, Cat({Writer().U8(0).U8(0x00).U32(1000).U32(0).U8(8).U8(0).U8(0).U8(0).U16(0), Bytes{0xAA, 0xBB}}));
    EXPECT_EQ(S_OK, DsiOf(Esds(Descriptor(3, Cat({Writer().U16(1).U8(0), DecoderConfig(AacDsi()), sl}))), dsi));
}

TEST(DecoderSpecificInfo, MalformedDescriptorsFail) {
    std::vector<uint8_t> dsi = {1};
    EXPECT_EQ(kStructure, DsiOf(Esds(Cat({EsDescriptor(AacDsi()), Bytes{0, 0}})), dsi));
    EXPECT_TRUE(dsi.empty());
    EXPECT_EQ(kStructure, DsiOf(Esds(EsDescriptor({})), dsi));
    // No DecoderConfigDescriptor.
    EXPECT_EQ(kStructure, DsiOf(Esds(Descriptor(3, Cat({Writer().U16(1).U8(0), Descriptor(6, {2})}))), dsi));
    // A length that runs past the payload, and a fifth length byte.
    EXPECT_EQ(kStructure, DsiOf(Esds(Bytes{3, 0x7F, 0, 1, 0}), dsi));
    EXPECT_EQ(kStructure, DsiOf(Esds(Bytes{3, 0x80, 0x80, 0x80, 0x80, 0}), dsi));
    // A DecoderConfigDescriptor shorter than 13 bytes.
    EXPECT_EQ(kStructure, DsiOf(Esds(Descriptor(3, Cat({Writer().U16(1).U8(0), Descriptor(4, Bytes(12, 0))}))), dsi));
    // SLConfig predefined 2 with trailing bytes.
    EXPECT_EQ(
        kStructure,
        DsiOf(Esds(Descriptor(3, Cat({Writer().U16(1).U8(0), DecoderConfig(AacDsi()), Descriptor(6, {2, 0})}))), dsi));
    // No esds at all.
    AudioTrack t;
    t.esds = {};
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, AudioFile(t)));
    EXPECT_EQ(kStructure, mp4.GetDecoderSpecificInformation(dsi));
}

TEST(EsDescriptor, SkipsLeadingDescriptorsAndReadsDependencies) {
    Bytes payload = Cat({Descriptor(9, {1, 2, 3}),
                         Descriptor(3, Cat({Writer().U16(7).U8(0xA0).U16(3).U16(4), DecoderConfig(AacDsi())}))});
    SmfEsDescriptor es;
    ASSERT_EQ(0, SmfParseEsDescriptor(payload.data(), payload.size(), &es));
    EXPECT_EQ(7, es.esId);
    EXPECT_EQ(3, es.dependsOnEsId);
    EXPECT_EQ(4, es.ocrEsId);
    EXPECT_EQ(5, es.streamType);
    EXPECT_EQ(0, es.upStream);
    EXPECT_EQ(SMF_ERR_ABSENT, SmfParseEsDescriptor(payload.data(), 1, &es));
}

TEST(SampleDescription, NonAudioEntryIsRefused) {
    // An entry read while the handler was unknown is not an audio entry.
    AudioTrack t;
    Bytes mdia =
        Box("mdia", Cat({Mdhd(44100, 1), Box("minf", Cat({Smhd(), Dinf(), Stbl(AudioStsd(t))})), Hdlr("soun")}));
    Bytes file = Cat({Ftyp("M4A ", 0, {}), Box("moov", Cat({Mvhd(1000, 1), Box("trak", Cat({Tkhd(1), mdia}))}))});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, file));
    uint32_t a, b, c;
    EXPECT_EQ(HRESULT(0x80040404), mp4.GetAudioSampleDescription(&a, &b, &c));
}

TEST(MediaDuration, FragmentedTotalsSttsAndRuns) {
    AudioTrack t;
    t.trackId = 1;
    // stts: 10 samples of 1024. Runs: per-sample durations, tfhd default, trex default.
    Bytes file = Cat({Ftyp("iso5", 0, {"iso5"}), Moov({Trak(t), Mvex(1, 1000)}), Moof(1, 1, Trun({100, 200, 300}, 3)),
                      Moof(2, 1, Trun({}, 4), 50), Moof(3, 1, Trun({}, 2)), Box("mdat", Bytes(4, 0))});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, file));
    uint32_t duration = 0;
    ASSERT_EQ(S_OK, mp4.GetMediaDuration(&duration));
    EXPECT_EQ(10240u + 600u + 200u + 2000u, duration);
    EXPECT_EQ(3u, mp4.Movie()->fragments.size());
    EXPECT_EQ(mp4.Movie()->fragments[1]->offset, mp4.Movie()->fragments[0]->nextOffset);
    EXPECT_EQ(mp4.Movie()->fragments[0]->offset, mp4.Movie()->firstMoofOffset);
}

TEST(MediaDuration, FragmentedTotalBeyond32BitsIsRefused) {
    AudioTrack t;
    Bytes file = Cat({Ftyp("iso5", 0, {"iso5"}), Moov({Trak(t), Mvex(1, 0xFFFFFFFF)}), Moof(1, 1, Trun({}, 4))});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, file));
    uint32_t duration = 7;
    EXPECT_EQ(E_INVALIDARG, mp4.GetMediaDuration(&duration));
    EXPECT_EQ(0u, duration);
}

TEST(CoreQueries, ReturnTheirCodes) {
    MemoryStreamRef stream(AudioFile());
    SmfMovieHandle* raw = nullptr;
    SmfCreateHandle(&raw);
    SmfHandlePtr handle(raw);
    SmfTrack* track = nullptr;
    EXPECT_EQ(SMF_ERR_MISSING, SmfGetTrackById(raw, 1, &track));
    SmfAttachStream(raw, stream.stream);
    uint32_t status = 0;
    ASSERT_EQ(0, SmfParse(raw, &status, 1));
    EXPECT_EQ(SMF_ERR_INVALID_ARG, SmfGetTrackById(raw, 0, &track));
    EXPECT_EQ(SMF_ERR_NOT_FOUND, SmfGetTrackById(raw, 9, &track));
    ASSERT_EQ(0, SmfGetTrackById(raw, 1, &track));
    SmfSampleEntry* entry = nullptr;
    EXPECT_EQ(SMF_ERR_INVALID_ARG, SmfGetSampleDescription(track, 0, &entry));
    EXPECT_EQ(SMF_ERR_NOT_FOUND, SmfGetSampleDescription(track, 2, &entry));
    EXPECT_EQ(E_FAIL, Mp4HresultFromSmf(SMF_ERR_NOT_FOUND));
    EXPECT_EQ(E_FAIL, Mp4HresultFromSmf(0x7777));
    EXPECT_EQ(HRESULT(0x80040406), Mp4HresultFromSmf(0x2008));
}

}  // namespace
