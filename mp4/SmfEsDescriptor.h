// The MPEG-4 ES_Descriptor of an esds box, parsed on demand.
#pragma once

#include "SmfRecords.h"

#include <cstdint>
#include <vector>

struct SmfSlConfig {
    uint8_t predefined = 0;
    uint8_t useAccessUnitStartFlag = 0, useAccessUnitEndFlag = 0, useRandomAccessPointFlag = 0,
            hasRandomAccessUnitsOnlyFlag = 0, usePaddingFlag = 0, useTimeStampsFlag = 0, useIdleFlag = 0,
            durationFlag = 0;
    uint32_t timeStampResolution = 0, ocrResolution = 0;
    uint8_t timeStampLength = 0, ocrLength = 0, auLength = 0, instantBitrateLength = 0;
    uint8_t degradationPriorityLength = 0, auSeqNumLength = 0, packetSeqNumLength = 0;
    uint32_t timeScale = 0;
    uint16_t accessUnitDuration = 0, compositionUnitDuration = 0;
    uint64_t startDecodingTimeStamp = 0, startCompositionTimeStamp = 0;
};

struct SmfEsDescriptor {
    uint16_t esId = 0;
    uint8_t streamDependenceFlag = 0, urlFlag = 0, ocrStreamFlag = 0;
    uint16_t dependsOnEsId = 0;
    std::vector<uint8_t> url;
    uint16_t ocrEsId = 0;

    bool hasDecoderConfig = false;
    uint8_t objectTypeIndication = 0;
    uint8_t streamType = 0;
    uint8_t upStream = 0;
    uint32_t bufferSizeDB = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
    bool hasDecoderSpecificInfo = false;
    std::vector<uint8_t> decoderSpecificInfo;

    bool hasSlConfig = false;
    SmfSlConfig sl;
};

// Parses an esds payload (after version and flags). 0 or 0x2003.
int SmfParseEsDescriptor(const uint8_t* data, size_t size, SmfEsDescriptor* out);

// The ES descriptor of a sample entry: 0x2003 without esds, when it does not
// parse, or when it has no DecoderConfigDescriptor.
int SmfGetEsDescriptor(const SmfSampleEntry* entry, SmfEsDescriptor* out);
