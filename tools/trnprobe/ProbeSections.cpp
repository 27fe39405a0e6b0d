#include "ProbeSections.h"

#include "common/Mp4DsiParser.h"
#include "mp4/Mp4PropertyStore.h"

#include <cstdio>

std::string HresultText(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(uint32_t(hr)));
    return buf;
}

std::string FourCCText(uint32_t code) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += char((code >> shift) & 0xFF);
    return s;
}

namespace {

// Writes `value` under `key` when the query succeeded, else its HRESULT.
void NumberOrFailure(JsonWriter& json, const char* key, HRESULT hr, uint64_t value) {
    json.Key(key);
    if (SUCCEEDED(hr))
        json.Number(value);
    else
        json.String(HresultText(hr));
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

// Sampling frequency and channels coded in an AudioSpecificConfig, as far as
// its first fields go (object type, frequency index or explicit frequency,
// channel configuration).
bool AscSummary(const std::vector<uint8_t>& asc, uint32_t& rate, uint32_t& channels) {
    size_t bit = 0;
    auto read = [&](unsigned n, uint32_t& v) {
        if (bit + n > asc.size() * 8) return false;
        v = 0;
        for (unsigned i = 0; i < n; ++i, ++bit) v = (v << 1) | ((asc[bit / 8] >> (7 - bit % 8)) & 1u);
        return true;
    };
    uint32_t type = 0, index = 0, extra = 0;
    if (!read(5, type)) return false;
    if (type == 31) {
        if (!read(6, extra)) return false;
    }
    if (!read(4, index)) return false;
    if (index == 15) {
        if (!read(24, rate)) return false;
    } else {
        rate = DsiSamplingFrequency(index);
    }
    if (!read(4, channels)) return false;
    if (channels == 7) channels = 8;
    return true;
}

}  // namespace

void WriteFileSection(JsonWriter& json, ProbeContext& ctx) {
    json.Key("file").String(ctx.displayName);
    json.Key("hr").String(HresultText(ctx.openResult));
}

void WriteBrandSection(JsonWriter& json, ProbeContext& ctx) {
    const SmfMovie* movie = ctx.file.Movie();
    json.Key("major_brand");
    if (movie && movie->hasFtyp)
        json.String(FourCCText(movie->ftyp.majorBrand));
    else
        json.Null();
    json.Key("compatible_brands").BeginArray();
    if (movie)
        for (uint32_t brand : movie->ftyp.brands) json.String(FourCCText(brand));
    json.EndArray();
}

void WriteTracksSection(JsonWriter& json, ProbeContext& ctx) {
    const SmfMovie* movie = ctx.file.Movie();
    json.Key("tracks").BeginArray();
    if (movie) {
        for (const auto& track : movie->tracks) {
            json.BeginObject();
            json.Key("id").Number(track->tkhd.trackId);
            json.Key("handler");
            if (track->hasHdlr)
                json.String(FourCCText(track->hdlr.handlerType));
            else
                json.Null();
            json.EndObject();
        }
    }
    json.EndArray();
}

void WriteAudioSection(JsonWriter& json, ProbeContext& ctx) {
    CMp4File& file = ctx.file;
    std::vector<uint32_t> audio, video;
    if (FAILED(ctx.openResult) || FAILED(file.GetTrackIds(audio, video)) || audio.empty()) return;
    json.Key("audio").BeginObject();
    json.Key("track_id").Number(audio[0]);
    HRESULT hr = file.SetAudioTrackId(audio[0]);
    if (FAILED(hr)) {
        json.Key("select").String(HresultText(hr));
        json.EndObject();
        return;
    }
    const SmfTrack* track = nullptr;
    for (const auto& t : file.Movie()->tracks)
        if (t->tkhd.trackId == audio[0]) track = t.get();
    json.Key("sample_entry");
    if (track && track->stbl && !track->stbl->entries.empty())
        json.String(FourCCText(track->stbl->entries[0]->head.type));
    else
        json.Null();

    uint32_t bits = 0, rate = 0, channels = 0;
    hr = file.GetAudioSampleDescription(&bits, &rate, &channels);
    NumberOrFailure(json, "channels", hr, channels);
    NumberOrFailure(json, "sample_size", hr, bits);
    NumberOrFailure(json, "sample_rate", hr, rate);

    std::vector<uint8_t> dsi;
    uint32_t maxBitrate = 0, avgBitrate = 0;
    hr = file.GetDecoderSpecificInformation(dsi, &maxBitrate, &avgBitrate);
    json.Key("dsi").String(SUCCEEDED(hr) ? Hex(dsi) : HresultText(hr));
    NumberOrFailure(json, "max_bitrate", hr, maxBitrate);
    NumberOrFailure(json, "avg_bitrate", hr, avgBitrate);
    uint32_t ascRate = 0, ascChannels = 0;
    if (SUCCEEDED(hr) && AscSummary(dsi, ascRate, ascChannels)) {
        json.Key("asc_sample_rate").Number(ascRate);
        json.Key("asc_channels").Number(ascChannels);
    }

    uint32_t timescale = 0, duration = 0;
    hr = file.GetMediaTimescale(&timescale);
    NumberOrFailure(json, "timescale", hr, timescale);
    hr = file.GetMediaDuration(&duration);
    NumberOrFailure(json, "duration", hr, duration);
    json.EndObject();
}

// Metadata properties loaded with the file: IDs, texts, binary item sizes.
void WritePropertiesSection(JsonWriter& json, ProbeContext& ctx) {
    if (FAILED(ctx.openResult)) return;
    json.Key("properties").Raw(Mp4PropertiesToJson(ctx.file.Properties()));
}
