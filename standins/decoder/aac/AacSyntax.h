// The raw_data_block syntax of AAC-LC: element after element into
// ChannelData, every field checked against the configuration and the band
// tables before it is stored. No coding tool runs here; each channel goes to
// the sink as soon as it is read, so that the tools see the channels in
// stream order, the ones before a damaged element included.
#pragma once

#include "AacBitReader.h"
#include "AacChannelData.h"

namespace aac {

class HuffmanBook;

class ElementSink {
public:
    // One individual_channel_stream read in full, before the next is read;
    // the tools may work on it in place.
    virtual void ChannelRead(ChannelData& channel) = 0;
    // A single channel or LFE element, output channel `index`.
    virtual void SingleChannel(ChannelData& channel, unsigned index) = 0;
    // A channel pair element, output channels `index` and `index` + 1.
    virtual void ChannelPair(ChannelData& left, ChannelData& right, const StereoData& stereo, unsigned index) = 0;

protected:
    ~ElementSink() = default;
};

class SyntaxReader {
public:
    SyntaxReader(BitReader& reader, unsigned samplingIndex) : m_r(reader), m_samplingIndex(samplingIndex) {}

    // A whole raw_data_block that should carry `channels` channels. False
    // when it is truncated, corrupt, uses what LC does not have, or codes
    // another number of channels; the sink may have had a part of it.
    bool RawDataBlock(unsigned channels, ElementSink& sink);

private:
    bool ReadIcsInfo(IcsInfo& ics);
    bool ChannelPair(ElementSink& sink);
    bool IndividualChannel(ChannelData& ch, bool commonWindow);
    bool Sections(ChannelData& ch);
    bool ScaleFactors(ChannelData& ch, unsigned globalGain);
    bool ReadPulse(const IcsInfo& ics, PulseData& pulse);
    bool ReadTns(ChannelData& ch);
    bool Spectral(ChannelData& ch);
    bool Codeword(const HuffmanBook& book, uint8_t cb, int32_t* out);

    BitReader& m_r;
    unsigned m_samplingIndex;
    // Large: keep the reader off the stack.
    ChannelData m_a, m_b;
    StereoData m_stereo;
};

}  // namespace aac
