// Builds ISO base-media boxes for tests: sizes, versions, counts, duplicates,
// stray bytes and fragments can all be set by hand. Header-only so that other
// test folders can include it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace boxw {

using Bytes = std::vector<uint8_t>;

inline uint32_t FourCC(const char* s) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

// Appends big-endian values.
class Writer {
public:
    Writer& U8(uint32_t v) {
        m_b.push_back(uint8_t(v));
        return *this;
    }
    Writer& U16(uint32_t v) { return U8(v >> 8).U8(v); }
    Writer& U24(uint32_t v) { return U8(v >> 16).U16(v); }
    Writer& U32(uint32_t v) { return U16(v >> 16).U16(v); }
    Writer& Type(const char* t) { return U32(FourCC(t)); }
    Writer& Raw(const Bytes& b) {
        m_b.insert(m_b.end(), b.begin(), b.end());
        return *this;
    }
    Writer& Text(const std::string& s) {
        m_b.insert(m_b.end(), s.begin(), s.end());
        return *this;
    }
    Writer& Zeros(size_t n) {
        m_b.insert(m_b.end(), n, 0);
        return *this;
    }
    const Bytes& Get() const { return m_b; }
    operator Bytes() const { return m_b; }

private:
    Bytes m_b;
};

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A box of the given payload; `size` overrides the size field.
inline Bytes Box(const char* type, const Bytes& payload, int64_t size = -1) {
    uint32_t s = size >= 0 ? uint32_t(size) : uint32_t(8 + payload.size());
    return Writer().U32(s).Type(type).Raw(payload);
}

inline Bytes FullBox(const char* type, uint8_t version, uint32_t flags, const Bytes& payload, int64_t size = -1) {
    return Box(type, Writer().U8(version).U24(flags).Raw(payload), size);
}

inline Bytes Ftyp(const char* major, uint32_t minor, std::initializer_list<const char*> brands) {
    Writer w;
    w.Type(major).U32(minor);
    for (const char* b : brands) w.Type(b);
    return Box("ftyp", w);
}

inline Bytes Mvhd(uint32_t timescale, uint32_t duration, uint32_t nextTrackId = 2) {
    Writer w;
    w.U32(0).U32(0).U32(timescale).U32(duration).U32(0x00010000).U16(0x0100).U16(0).U32(0).U32(0);
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t m : matrix) w.U32(m);
    w.Zeros(24).U32(nextTrackId);
    return FullBox("mvhd", 0, 0, w);
}

inline Bytes Tkhd(uint32_t trackId, uint8_t version = 0) {
    Writer w;
    w.U32(0).U32(0).U32(trackId).U32(0).U32(0).U32(0).U32(0).U16(0).U16(0).U16(0x0100).U16(0);
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t m : matrix) w.U32(m);
    w.U32(0).U32(0);
    return FullBox("tkhd", version, 7, w);
}

inline Bytes Mdhd(uint32_t timescale, uint32_t duration, uint8_t version = 0) {
    return FullBox("mdhd", version, 0, Writer().U32(0).U32(0).U32(timescale).U32(duration).U16(0x15C7).U16(0));
}

inline Bytes Hdlr(const char* handler, const std::string& name = std::string("Sound\0", 6)) {
    return FullBox("hdlr", 0, 0, Writer().U32(0).Type(handler).Zeros(12).Text(name));
}

inline Bytes Smhd() { return FullBox("smhd", 0, 0, Writer().U16(0).U16(0)); }
inline Bytes Vmhd() { return FullBox("vmhd", 0, 1, Writer().U16(0).U16(0).U16(0).U16(0)); }

inline Bytes Dinf(uint32_t entries = 1) {
    Writer w;
    w.U32(entries);
    for (uint32_t i = 0; i < entries; ++i) w.Raw(FullBox("url ", 0, 1, {}));
    return Box("dinf", FullBox("dref", 0, 0, w));
}

// Expandable descriptor: tag, size in `sizeBytes` length bytes, payload.
inline Bytes Descriptor(uint8_t tag, const Bytes& payload, int sizeBytes = 1) {
    Writer w;
    w.U8(tag);
    uint32_t n = uint32_t(payload.size());
    for (int i = sizeBytes - 1; i >= 0; --i) w.U8(((n >> (7 * i)) & 0x7F) | (i > 0 ? 0x80 : 0));
    return Cat({w, payload});
}

inline Bytes DecoderConfig(const Bytes& dsi, uint32_t maxBitrate = 128000, uint32_t avgBitrate = 96000,
                           uint32_t bufferSize = 6144) {
    Writer w;
    w.U8(0x40).U8((5 << 2) | 1).U24(bufferSize).U32(maxBitrate).U32(avgBitrate);
    return Descriptor(4, Cat({w, Descriptor(5, dsi)}));
}

// ES_Descriptor with a DecoderConfigDescriptor and a predefined-2 SLConfig.
inline Bytes EsDescriptor(const Bytes& dsi, uint32_t maxBitrate = 128000, uint32_t avgBitrate = 96000) {
    return Descriptor(3, Cat({Writer().U16(1).U8(0), DecoderConfig(dsi, maxBitrate, avgBitrate), Descriptor(6, {2})}));
}

inline Bytes Esds(const Bytes& esDescriptor) { return FullBox("esds", 0, 0, esDescriptor); }

inline Bytes Mp4a(uint16_t channels, uint16_t sampleSize, uint32_t rate16_16, const Bytes& children,
                  const char* type = "mp4a", uint16_t dataRef = 1) {
    Writer w;
    w.Zeros(6)
        .U16(dataRef)
        .U16(0)
        .U16(0)
        .U32(0)
        .U16(channels)
        .U16(sampleSize)
        .U16(0)
        .U16(0)
        .U32(rate16_16)
        .Raw(children);
    return Box(type, w);
}

inline Bytes Avc1(const Bytes& children, uint16_t dataRef = 1) {
    Writer w;
    w.Zeros(6)
        .U16(dataRef)
        .Zeros(16)
        .U16(64)
        .U16(48)
        .U32(0x480000)
        .U32(0x480000)
        .U32(0)
        .U16(1)
        .Zeros(32)
        .U16(24)
        .U16(0xFFFF)
        .Raw(children);
    return Box("avc1", w);
}

inline Bytes Stsd(std::initializer_list<Bytes> entries, int64_t declared = -1) {
    Writer w;
    w.U32(declared >= 0 ? uint32_t(declared) : uint32_t(entries.size()));
    for (const Bytes& e : entries) w.Raw(e);
    return FullBox("stsd", 0, 0, w);
}

// A counted table of entries of `words` u32 each; `declared` overrides the count.
inline Bytes Table(const char* type, const std::vector<uint32_t>& words, uint32_t perEntry, int64_t declared = -1) {
    Writer w;
    w.U32(declared >= 0 ? uint32_t(declared) : uint32_t(words.size() / perEntry));
    for (uint32_t v : words) w.U32(v);
    return FullBox(type, 0, 0, w);
}

inline Bytes Stsz(uint32_t sampleSize, const std::vector<uint32_t>& sizes, int64_t count = -1) {
    Writer w;
    w.U32(sampleSize).U32(count >= 0 ? uint32_t(count) : uint32_t(sizes.size()));
    for (uint32_t v : sizes) w.U32(v);
    return FullBox("stsz", 0, 0, w);
}

// The minimal complete sample tables around one sample description.
inline Bytes Stbl(const Bytes& stsd, const std::vector<uint32_t>& stts = {10, 1024}) {
    return Box("stbl", Cat({stsd, Table("stts", stts, 2), Table("stsc", {1, 10, 1}, 3),
                            Stsz(0, std::vector<uint32_t>(10, 100)), Table("stco", {0}, 1)}));
}

inline Bytes AacDsi() { return {0x12, 0x10}; }  // AAC-LC, 44100 Hz, stereo

struct AudioTrack {
    uint32_t trackId = 1;
    uint32_t timescale = 44100;
    uint32_t duration = 10240;
    uint16_t channels = 2;
    uint16_t sampleSize = 16;
    uint32_t rate = 44100u << 16;
    Bytes esds = Esds(EsDescriptor(AacDsi()));
    Bytes entryChildren;  // added after esds
    const char* handler = "soun";
    const char* entryType = "mp4a";
    Bytes extraTrakBoxes;
};

inline Bytes AudioStsd(const AudioTrack& t) {
    return Stsd({Mp4a(t.channels, t.sampleSize, t.rate, Cat({t.esds, t.entryChildren}), t.entryType)});
}

inline Bytes Trak(const AudioTrack& t) {
    Bytes minf = Box("minf", Cat({Smhd(), Dinf(), Stbl(AudioStsd(t))}));
    Bytes mdia = Box("mdia", Cat({Mdhd(t.timescale, t.duration), Hdlr(t.handler), minf}));
    return Box("trak", Cat({Tkhd(t.trackId), mdia, t.extraTrakBoxes}));
}

inline Bytes VideoTrak(uint32_t trackId, const Bytes& entryChildren = {}) {
    Bytes stsd = Stsd({Avc1(entryChildren)});
    Bytes minf = Box("minf", Cat({Vmhd(), Dinf(), Stbl(stsd)}));
    Bytes mdia = Box("mdia", Cat({Mdhd(1000, 1000), Hdlr("vide", std::string("Video\0", 6)), minf}));
    return Box("trak", Cat({Tkhd(trackId), mdia}));
}

inline Bytes Moov(std::initializer_list<Bytes> children, uint32_t timescale = 1000) {
    Bytes all = Mvhd(timescale, 1000);
    for (const Bytes& c : children) all.insert(all.end(), c.begin(), c.end());
    return Box("moov", all);
}

inline Bytes Udta(std::initializer_list<Bytes> children) {
    Bytes all;
    for (const Bytes& c : children) all.insert(all.end(), c.begin(), c.end());
    return Box("udta", all);
}

inline Bytes Uuid(const uint8_t (&extendedType)[16], const Bytes& payload) {
    return Box("uuid", Cat({Bytes(extendedType, extendedType + 16), payload}));
}

// A plain audio file: ftyp, moov with one audio track, mdat.
inline Bytes AudioFile(const AudioTrack& t = AudioTrack(), const Bytes& moreMoov = {}) {
    return Cat({Ftyp("M4A ", 0, {"M4A ", "mp42", "isom"}), Moov({Trak(t), moreMoov}), Box("mdat", Bytes(16, 0))});
}

// Fragments: mvex with one trex, and a moof with one traf.
inline Bytes Mvex(uint32_t trackId, uint32_t defaultDuration = 1024) {
    return Box("mvex", FullBox("trex", 0, 0, Writer().U32(trackId).U32(1).U32(defaultDuration).U32(0).U32(0)));
}

inline Bytes Trun(const std::vector<uint32_t>& durations, uint32_t sampleCount) {
    Writer w;
    w.U32(sampleCount);
    for (uint32_t d : durations) w.U32(d);
    return FullBox("trun", 0, durations.empty() ? 0 : 0x100, w);
}

inline Bytes Moof(uint32_t sequence, uint32_t trackId, const Bytes& trun, int64_t defaultDuration = -1) {
    Writer tfhd;
    tfhd.U32(trackId);
    if (defaultDuration >= 0) tfhd.U32(uint32_t(defaultDuration));
    Bytes traf = Box("traf", Cat({FullBox("tfhd", 0, defaultDuration >= 0 ? 0x08 : 0, tfhd), trun}));
    return Box("moof", Cat({FullBox("mfhd", 0, 0, Writer().U32(sequence)), traf}));
}

}  // namespace boxw
