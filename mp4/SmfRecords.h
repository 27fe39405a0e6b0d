// In-memory records of a parsed movie. Every record starts with the box size
// and type as read; full boxes add version and flags. Parents own children.
#pragma once

#include "SmfAbsStream.h"
#include "SmfFourCC.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SmfBoxHead {
    uint32_t size = 0;
    uint32_t type = 0;
};

struct SmfFullBoxHead : SmfBoxHead {
    uint8_t version = 0;
    uint32_t flags = 0;
};

// Hands a full table block's words back to the process's pool of them, or
// frees them (wordsPerEntry 0: not from the pool).
struct SmfBlockWordsReturn {
    uint32_t wordsPerEntry = 0;
    void operator()(uint32_t* words) const noexcept;
};

// Table entries in blocks of up to 1000, each filled by one stream read.
// Full blocks come from a bounded pool shared by all tables of the process:
// a heap that hands freed memory back to the system would otherwise make
// every open of a file with large tables fault its pages in again.
class SmfValueTable {
public:
    static constexpr uint32_t kBlockEntries = 1000;

    struct Block {
        uint32_t count = 0;
        uint32_t capacity = kBlockEntries;
        std::unique_ptr<uint32_t[], SmfBlockWordsReturn> words;
    };

    SmfFullBoxHead head;

    explicit SmfValueTable(uint32_t wordsPerEntry) : m_dwWordsPerEntry(wordsPerEntry) {}
    uint32_t WordsPerEntry() const { return m_dwWordsPerEntry; }
    uint64_t Count() const { return m_ullCount; }
    // Entry `index` (0-based) or null when out of range.
    const uint32_t* Entry(uint64_t index) const;
    // Appends an empty block able to hold `entries` (at most 1000) entries.
    Block* AddBlock(uint32_t entries);
    void CommitBlock(Block* block, uint32_t entries);
    size_t BlockCount() const { return m_vecBlocks.size(); }

private:
    uint32_t m_dwWordsPerEntry;
    uint64_t m_ullCount = 0;
    std::vector<std::unique_ptr<Block>> m_vecBlocks;
};

struct SmfRawBox {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t type = 0;
    std::vector<uint8_t> payload;
};

struct SmfFtyp {
    SmfBoxHead head;
    uint32_t majorBrand = 0;
    uint32_t minorVersion = 0;
    std::vector<uint32_t> brands;  // capacity kept at a multiple of 5
};

struct SmfMvhd {
    SmfFullBoxHead head;
    uint32_t creationTime = 0, modificationTime = 0, timescale = 0, duration = 0;
    int32_t rate = 0;
    int16_t volume = 0;
    int32_t matrix[9] = {};
    uint32_t nextTrackId = 0;
};

struct SmfTkhd {
    SmfFullBoxHead head;
    uint32_t creationTime = 0, modificationTime = 0, trackId = 0, duration = 0;
    int16_t layer = 0, alternateGroup = 0, volume = 0;
    int32_t matrix[9] = {};
    uint32_t width = 0, height = 0;
};

struct SmfMdhd {
    SmfFullBoxHead head;
    uint32_t creationTime = 0, modificationTime = 0, timescale = 0, duration = 0;
    uint16_t language = 0;
};

struct SmfHdlr {
    SmfFullBoxHead head;
    uint32_t handlerType = 0;
    std::string name;
};

struct SmfVmhd {
    SmfFullBoxHead head;
    uint16_t graphicsMode = 0;
    uint16_t opColor[3] = {};
};

struct SmfSmhd {
    SmfFullBoxHead head;
    int16_t balance = 0;
};

struct SmfUrl {
    SmfFullBoxHead head;
    std::string location;
};

struct SmfDref {
    SmfFullBoxHead head;
    uint32_t entryCount = 0;
    std::vector<SmfUrl> entries;  // numbered from 1
};

struct SmfEsds {
    SmfFullBoxHead head;
    std::vector<uint8_t> payload;  // the ES_Descriptor, parsed on demand
};

struct SmfAvcC {
    SmfBoxHead head;
    uint8_t configurationVersion = 0, profile = 0, compatibility = 0, level = 0;
    uint8_t lengthSizeMinusOne = 0;
    std::vector<std::vector<uint8_t>> sequenceParameterSets;
    std::vector<std::vector<uint8_t>> pictureParameterSets;
    std::vector<uint8_t> extension;  // high-profile trailer, kept as read
};

struct SmfSampleEntry {
    SmfBoxHead head;
    uint32_t handlerType = 0;  // handler known when the entry was read
    uint16_t dataReferenceIndex = 0;
    // 'soun'
    uint16_t version = 0, revision = 0;
    uint32_t vendor = 0;
    uint16_t channelCount = 0, sampleSize = 0, compressionId = 0, packetSize = 0;
    uint32_t sampleRate = 0;  // 16.16
    uint32_t samplesPerPacket = 0, bytesPerPacket = 0, bytesPerFrame = 0, bytesPerSample = 0;
    // 'vide'
    uint16_t width = 0, height = 0;
    uint32_t horizResolution = 0, vertResolution = 0;
    uint16_t frameCount = 0;
    uint8_t compressorName[32] = {};
    uint16_t depth = 0;
    // any other handler: the rest of the entry
    std::vector<uint8_t> raw;
    std::unique_ptr<SmfEsds> esds;
    std::unique_ptr<SmfAvcC> avcC;
    static constexpr int kOtherSlots = 3;
    SmfRawBox others[kOtherSlots];
    int otherCount = 0;
};

struct SmfStbl {
    SmfBoxHead head;
    bool hasStsd = false;
    SmfFullBoxHead stsdHead;
    uint32_t stsdCount = 0;
    std::vector<std::unique_ptr<SmfSampleEntry>> entries;
    std::unique_ptr<SmfValueTable> stts, ctts, stsc, stsz, stco, stss;
    uint32_t sampleSize = 0;   // stsz
    uint32_t sampleCount = 0;  // stsz
};

struct SmfMtdEntry {
    uint16_t size = 0;
    uint32_t type = 0;
    uint16_t language = 0;
    uint16_t encoding = 0;
    std::vector<uint8_t> data;
};

// uuid box of the USMT extended type, at movie or track level.
struct SmfUsmt {
    SmfBoxHead head;
    uint32_t offset = 0;
    bool hasMtdt = false, hasMtdf = false;
    std::vector<SmfMtdEntry> mtdt;
    std::vector<SmfMtdEntry> mtdf;
};

struct SmfUdta {
    SmfBoxHead head;
    uint32_t offset = 0;
    std::vector<SmfRawBox> children;
};

struct SmfTrex {
    SmfFullBoxHead head;
    uint32_t trackId = 0, defaultSampleDescriptionIndex = 0, defaultSampleDuration = 0, defaultSampleSize = 0,
             defaultSampleFlags = 0;
};

struct SmfMvex {
    SmfBoxHead head;
    bool hasMehd = false;
    uint32_t fragmentDuration = 0;
    std::vector<SmfTrex> trex;
};

struct SmfTrun {
    SmfFullBoxHead head;
    uint32_t sampleCount = 0;
    uint32_t dataOffset = 0;
    uint32_t firstSampleFlags = 0;
    std::unique_ptr<SmfValueTable> samples;  // words by the 0x100..0x800 flag bits
};

struct SmfTraf {
    SmfBoxHead head;
    bool hasTfhd = false;
    SmfFullBoxHead tfhdHead;
    uint32_t trackId = 0;
    uint64_t baseDataOffset = 0;
    uint32_t sampleDescriptionIndex = 0, defaultSampleDuration = 0, defaultSampleSize = 0, defaultSampleFlags = 0;
    std::vector<std::unique_ptr<SmfTrun>> runs;
};

struct SmfFragment {
    SmfBoxHead head;
    uint32_t offset = 0;
    uint32_t nextOffset = 0;  // next moof, or the stream size for the last
    bool hasMfhd = false;
    uint32_t sequenceNumber = 0;
    std::vector<std::unique_ptr<SmfTraf>> trafs;
};

struct SmfMovie;

struct SmfTrack {
    SmfBoxHead head;
    SmfMovie* movie = nullptr;
    bool hasTkhd = false;
    SmfTkhd tkhd;
    bool hasEdts = false;
    std::unique_ptr<SmfValueTable> elst;
    bool hasTref = false;
    bool hasSync = false;
    std::vector<uint32_t> syncTrackIds;
    bool hasMdia = false;
    bool hasMdhd = false;
    SmfMdhd mdhd;
    bool hasHdlr = false;
    SmfHdlr hdlr;
    bool hasMinf = false;
    bool hasVmhd = false;
    SmfVmhd vmhd;
    bool hasSmhd = false;
    SmfSmhd smhd;
    bool hasDref = false;
    SmfDref dref;
    std::unique_ptr<SmfStbl> stbl;
    std::unique_ptr<SmfUsmt> usmt;
    uint32_t movieTimescale = 0;
    // Sample cursor: built after the scan when the sample tables are complete.
    bool hasCursor = false;
    uint64_t sttsDuration = 0;
    uint64_t fragmentDuration = 0;
};

struct SmfMovie {
    bool hasFtyp = false;
    SmfFtyp ftyp;
    bool hasMoov = false;
    SmfBoxHead moovHead;
    bool hasMvhd = false;
    SmfMvhd mvhd;
    std::vector<std::unique_ptr<SmfTrack>> tracks;  // file order
    uint32_t nextTrackId = 1;
    std::unique_ptr<SmfUdta> udta;
    std::unique_ptr<SmfUsmt> usmt;
    std::vector<SmfRawBox> otherBoxes;  // unrecognised moov children, raw
    std::unique_ptr<SmfMvex> mvex;
    std::vector<std::unique_ptr<SmfFragment>> fragments;
    // ID3v2 frame boxes and their area; the reader never fills them.
    std::vector<SmfRawBox> frameBoxes;
    uint32_t frameAreaOffset = 0, frameAreaSize = 0;
    // Layout facts.
    uint32_t moovOffset = 0, moovEnd = 0;
    bool mdatBeforeMoov = false;
    bool hasFreeAfterMoov = false;
    uint32_t freeAfterMoovOffset = 0, freeAfterMoovSize = 0;
    uint32_t firstMoofOffset = 0;
};

// Release by record kind ('smfm', 'trak', 'vtbl', ...); 0x5001 for others.
int SmfReleaseRecord(uint32_t kind, void* record);
