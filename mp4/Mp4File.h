// Class wrapper over the MP4 core: owns one handle and the stream, converts
// core result codes to HRESULTs and never lets an exception out.
#pragma once

#include "Mp4PropertyLoader.h"
#include "SmfEsDescriptor.h"
#include "SmfMovie.h"

#include <cstdint>
#include <string>
#include <vector>

// Failures of Initialize that come from the parse status.
constexpr HRESULT TRN_E_MP4_READ = HRESULT(0x80040400);
constexpr HRESULT TRN_E_MP4_MISSING = HRESULT(0x80040404);
constexpr HRESULT TRN_E_MP4_STRUCTURE = HRESULT(0x80040405);
constexpr HRESULT TRN_E_MP4_406 = HRESULT(0x80040406);
constexpr HRESULT TRN_E_MP4_MEMORY = HRESULT(0x80040407);
constexpr HRESULT TRN_E_MP4_NO_STREAM = HRESULT(0x80040403);

// HRESULT for a core result code (E_FAIL for codes not in the table).
HRESULT Mp4HresultFromSmf(int code);

class CMp4File {
public:
    // Where the movie's parts lie in the file; -1 means none.
    struct LayoutFacts {
        int64_t moovOffset = -1, moovSize = -1, moovEnd = -1;
        bool mdatBeforeMoov = false;
        int64_t freeAfterMoovOffset = -1, freeAfterMoovSize = -1;
        int64_t udtaOffset = -1, udtaSize = -1;
        int64_t metadataAreaOffset = -1, metadataAreaSize = -1;
    };

    CMp4File();
    virtual ~CMp4File();
    CMp4File(const CMp4File&) = delete;
    CMp4File& operator=(const CMp4File&) = delete;

    HRESULT Initialize(IUnknown* stream);
    HRESULT GetTrackIds(std::vector<uint32_t>& audioTrackIds, std::vector<uint32_t>& videoTrackIds);
    HRESULT SetAudioTrackId(uint32_t trackId);
    HRESULT GetAudioSampleDescription(uint32_t* sampleSizeBits, uint32_t* samplingFrequency, uint32_t* channelCount);
    HRESULT GetDecoderSpecificInformation(std::vector<uint8_t>& dsi, uint32_t* maxBitrate = nullptr,
                                          uint32_t* avgBitrate = nullptr, uint32_t* bufferSizeDB = nullptr);
    HRESULT GetMediaTimescale(uint32_t* timescale);
    HRESULT GetMediaDuration(uint32_t* duration);
    // Items of a binary metadata property: one description and one byte
    // block each; empty when the file holds none.
    HRESULT GetBinaryProperty(DWORD propertyId, std::vector<std::wstring>& descriptions,
                              std::vector<std::vector<BYTE>>& dataItems);

    bool HadUnknownBoxes() const { return m_bHadUnknownBoxes; }
    const LayoutFacts& Layout() const { return m_layout; }
    // The parsed (or created) movie, or null.
    const SmfMovie* Movie() const { return m_spHandle ? m_spHandle->movie.get() : nullptr; }
    CMp4PropertyStore* Properties() const { return m_spProperties.get(); }

private:
    void Reset();
    void ReleaseStreams();
    void AttachStream(IUnknown* stream);
    void CreateEmptyMovie();
    void CheckParseStatus(uint32_t status);
    void CopyLayoutFacts();
    void CopyMetadataArea();
    void ClassifyTracks();
    SmfSampleEntry* FirstSampleEntry() const;

    ComPtr<IUnknown> m_spUnknown;      // the attached stream as IUnknown
    ComPtr<ISmfAbsStream> m_spStream;  // the same stream as ISmfAbsStream
    SmfHandlePtr m_spHandle;
    SmfTrack* m_pAudioTrack = nullptr;
    std::vector<uint32_t> m_vecAudioTrackIds;
    std::vector<uint32_t> m_vecVideoTrackIds;
    bool m_bHadUnknownBoxes = false;
    Mp4PropertyStorePtr m_spProperties;
    LayoutFacts m_layout;
};
