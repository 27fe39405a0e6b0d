#include "Mp4File.h"

#include "Mp4PropertyStore.h"

#include <algorithm>
#include <new>

namespace {

struct SmfHresultRow {
    int code;
    HRESULT hr;
};

const SmfHresultRow kSmfHresults[] = {
    {SMF_ERR_NONE, S_OK},
    {SMF_ERR_MEMORY, E_OUTOFMEMORY},
    {SMF_ERR_NO_STREAM, TRN_E_MP4_NO_STREAM},
    {SMF_ERR_NOT_IMPL, E_NOTIMPL},
    {SMF_ERR_NOT_IMPL2, E_NOTIMPL},
    {SMF_ERR_MISSING, TRN_E_MP4_MISSING},
    {SMF_ERR_INVALID_ARG, E_INVALIDARG},
    {SMF_ERR_BAD_VALUE, E_INVALIDARG},
    {SMF_ERR_INVALID_OBJECT, E_INVALIDARG},
    {SMF_ERR_NO_CURSOR, E_UNEXPECTED},
    {SMF_ERR_UNEXPECTED, E_UNEXPECTED},
    {SMF_ERR_STATE, E_UNEXPECTED},
    {0x1001, E_UNEXPECTED},
    {0x100C, E_UNEXPECTED},
    {0x1012, E_UNEXPECTED},
    {0x1016, E_UNEXPECTED},
    {0x1002, E_INVALIDARG},
    {0x1003, E_INVALIDARG},
    {0x1007, E_INVALIDARG},
    {0x100E, E_INVALIDARG},
    {0x100F, E_INVALIDARG},
    {0x1010, E_INVALIDARG},
    {0x1011, E_INVALIDARG},
    {0x1015, E_INVALIDARG},
    {0x1018, E_INVALIDARG},
    {0x1019, E_INVALIDARG},
    {0x101B, E_INVALIDARG},
    {0x101C, E_INVALIDARG},
    {0x101D, E_INVALIDARG},
    {0x101E, E_INVALIDARG},
    {0x2005, E_INVALIDARG},
    {0x2009, E_INVALIDARG},
    {SMF_ERR_STRUCTURE, TRN_E_MP4_STRUCTURE},
    {SMF_ERR_NOT_FOUND, E_FAIL},
    {SMF_ERR_ABSENT, TRN_E_MP4_STRUCTURE},
    {SMF_ERR_2008, TRN_E_MP4_406},
    {SMF_ERR_200D, TRN_E_MP4_STRUCTURE},
    {SMF_ERR_NO_MOOV, E_FAIL},
    {SMF_ERR_BOX, E_FAIL},
    {SMF_ERR_SCAN, E_FAIL},
    {SMF_ERR_NO_OUTPUT, E_FAIL},
    {SMF_ERR_NO_FRAGMENT, E_FAIL},
};

// Core failures travel inside CMp4File as thrown _smf_Err, COM ones as HRESULT.
void ThrowIfSmf(int code) {
    if (SMF_FAILED(code)) throw static_cast<_smf_Err>(code);
}

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) throw hr;
}

template <typename F>
HRESULT Guarded(F&& body) {
    try {
        body();
        return S_OK;
    } catch (_smf_Err code) {
        return Mp4HresultFromSmf(code);
    } catch (HRESULT hr) {
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

constexpr uint32_t kEmptyMovieBrands[] = {SMF_BRAND_3GP6, SMF_BRAND_3GP5, SMF_BRAND_3GP4};
constexpr uint32_t kEmptyMovieMoreBrands[] = {SMF_BRAND_MP42, SMF_BRAND_MP41, SMF_BRAND_ISO2, SMF_BRAND_ISOM};

}  // namespace

HRESULT Mp4HresultFromSmf(int code) {
    for (const SmfHresultRow& row : kSmfHresults)
        if (row.code == code) return row.hr;
    return E_FAIL;
}

CMp4File::CMp4File() = default;

CMp4File::~CMp4File() {
    Reset();
    ReleaseStreams();
}

void CMp4File::Reset() {
    m_spHandle.reset();
    m_pAudioTrack = nullptr;
    m_vecAudioTrackIds.clear();
    m_vecVideoTrackIds.clear();
    m_spProperties.reset();
    m_layout = LayoutFacts();
    m_bHadUnknownBoxes = false;
}

void CMp4File::ReleaseStreams() {
    // Leave the shared position where it was found.
    if (m_spStream) m_spStream->SeekBy(0);
    m_spStream.reset();
    m_spUnknown.reset();
}

void CMp4File::AttachStream(IUnknown* stream) {
    if (!stream) throw HRESULT(E_POINTER);
    if (!m_spHandle) throw HRESULT(E_UNEXPECTED);
    ReleaseStreams();
    const ComPtr<IUnknown> given(stream);
    ThrowIfFailed(given.query_to(IID_IUnknown, m_spUnknown));
    m_spStream = given.try_query<ISmfAbsStream>(IID_ISmfAbsStream);
    if (!m_spStream) throw HRESULT(E_UNEXPECTED);
    ThrowIfSmf(SmfAttachStream(m_spHandle.get(), m_spStream.get()));
}

void CMp4File::CreateEmptyMovie() {
    int code = SmfCreateMovie(m_spHandle.get(), 1024, SMF_BRAND_3GP6, 3, kEmptyMovieBrands, 44100);
    for (size_t i = 0; SMF_SUCCEEDED(code) && i < sizeof kEmptyMovieMoreBrands / 4; ++i)
        code = SmfAddCompatibleBrand(m_spHandle.get(), kEmptyMovieMoreBrands[i]);
    if (SMF_FAILED(code)) {
        SmfHandlePtr fresh;
        SmfMovieHandle* raw = nullptr;
        if (SMF_SUCCEEDED(SmfCreateHandle(&raw))) {
            fresh.reset(raw);
            SmfAttachStream(raw, m_spStream.get());
        }
        m_spHandle = std::move(fresh);
        ThrowIfSmf(code);
    }
}

void CMp4File::CheckParseStatus(uint32_t status) {
    if (status == SMF_STATUS_UNKNOWN) {
        m_bHadUnknownBoxes = true;
        return;
    }
    if (status & (SMF_STATUS_SIZE | SMF_STATUS_COUNT | SMF_STATUS_UNKNOWN | SMF_STATUS_DUPLICATE | SMF_STATUS_TOO_MANY |
                  SMF_STATUS_DATA_REF))
        throw HRESULT(TRN_E_MP4_STRUCTURE);
    if (status & (SMF_STATUS_FRAGMENTS | SMF_STATUS_MVEX)) return;
    if (status & SMF_STATUS_STRUCTURE) throw HRESULT(TRN_E_MP4_STRUCTURE);
    if (status & SMF_STATUS_MEMORY) throw HRESULT(TRN_E_MP4_MEMORY);
    if (status & SMF_STATUS_SHORT_READ) throw HRESULT(TRN_E_MP4_READ);
}

void CMp4File::CopyLayoutFacts() {
    const SmfMovie* movie = Movie();
    if (!movie) return;
    LayoutFacts f;
    if (movie->hasMoov) {
        f.moovOffset = movie->moovOffset;
        f.moovSize = movie->moovHead.size;
        f.moovEnd = movie->moovEnd;
    }
    f.mdatBeforeMoov = movie->mdatBeforeMoov;
    if (movie->hasFreeAfterMoov) {
        f.freeAfterMoovOffset = movie->freeAfterMoovOffset;
        f.freeAfterMoovSize = movie->freeAfterMoovSize;
    }
    if (movie->udta) {
        f.udtaOffset = movie->udta->offset;
        f.udtaSize = movie->udta->head.size;
    }
    m_layout = f;
}

// The frame area is placed by the property layer, after the scan.
void CMp4File::CopyMetadataArea() {
    const CMp4PropertyStore* store = Properties();
    if (!store || store->FrameAreaOffset() == CMp4PropertyStore::kNone) return;
    m_layout.metadataAreaOffset = store->FrameAreaOffset();
    m_layout.metadataAreaSize =
        store->FrameAreaSize() == CMp4PropertyStore::kNone ? -1 : int64_t(store->FrameAreaSize());
}

HRESULT CMp4File::GetBinaryProperty(DWORD propertyId, std::vector<std::wstring>& descriptions,
                                    std::vector<std::vector<BYTE>>& dataItems) {
    return Guarded([&] {
        if (!m_spHandle) throw HRESULT(E_UNEXPECTED);
        ThrowIfFailed(Mp4GetBinaryProperty(Properties(), propertyId, descriptions, dataItems));
    });
}

void CMp4File::ClassifyTracks() {
    m_vecAudioTrackIds.clear();
    m_vecVideoTrackIds.clear();
    uint16_t count = 0;
    ThrowIfSmf(SmfGetTrackCount(m_spHandle.get(), &count));
    // IDs are unique and positive after loading; walk them in increasing order
    // (probing upward one by one would take forever on an ID near 2^32).
    std::vector<uint32_t> ids;
    ids.reserve(count);
    for (const auto& track : Movie()->tracks) ids.push_back(track->tkhd.trackId);
    std::sort(ids.begin(), ids.end());
    for (uint32_t id : ids) {
        SmfTrack* track = nullptr;
        ThrowIfSmf(SmfGetTrackById(m_spHandle.get(), id, &track));
        uint32_t handler = 0;
        if (SMF_FAILED(SmfGetHandlerType(track, &handler))) continue;
        if (handler == SMF_HANDLER_SOUN)
            m_vecAudioTrackIds.push_back(id);
        else if (handler == SMF_HANDLER_VIDE)
            m_vecVideoTrackIds.push_back(id);
    }
}

HRESULT CMp4File::Initialize(IUnknown* stream) {
    return Guarded([&] {
        Reset();
        SmfMovieHandle* raw = nullptr;
        ThrowIfSmf(SmfCreateHandle(&raw));
        m_spHandle.reset(raw);
        AttachStream(stream);

        ISmfAbsStream* s = m_spStream.get();
        if (s->StreamSize() == 0) {
            CreateEmptyMovie();
            return;
        }
        uint32_t status = 0;
        ThrowIfSmf(SmfParse(m_spHandle.get(), &status, SMF_PARSE_FRAGMENTS));
        CheckParseStatus(status);

        CopyLayoutFacts();
        // Metadata properties are loaded by the property layer.
        ThrowIfFailed(Mp4LoadProperties(*Movie(), s, m_spProperties));
        CopyMetadataArea();
        ClassifyTracks();
    });
}

HRESULT CMp4File::GetTrackIds(std::vector<uint32_t>& audioTrackIds, std::vector<uint32_t>& videoTrackIds) {
    return Guarded([&] {
        if (!m_spHandle) throw HRESULT(E_UNEXPECTED);
        audioTrackIds.clear();
        videoTrackIds.clear();
        audioTrackIds.reserve(m_vecAudioTrackIds.size());
        videoTrackIds.reserve(m_vecVideoTrackIds.size());
        audioTrackIds.assign(m_vecAudioTrackIds.begin(), m_vecAudioTrackIds.end());
        videoTrackIds.assign(m_vecVideoTrackIds.begin(), m_vecVideoTrackIds.end());
    });
}

HRESULT CMp4File::SetAudioTrackId(uint32_t trackId) {
    return Guarded([&] {
        if (!m_spHandle) throw HRESULT(E_UNEXPECTED);
        if (std::find(m_vecAudioTrackIds.begin(), m_vecAudioTrackIds.end(), trackId) == m_vecAudioTrackIds.end())
            throw HRESULT(E_INVALIDARG);
        m_pAudioTrack = nullptr;
        SmfTrack* track = nullptr;
        ThrowIfSmf(SmfGetTrackById(m_spHandle.get(), trackId, &track));
        m_pAudioTrack = track;
    });
}

SmfSampleEntry* CMp4File::FirstSampleEntry() const {
    uint32_t count = 0;
    ThrowIfSmf(SmfGetSampleDescriptionCount(m_pAudioTrack, &count));
    if (count == 0) throw SMF_ERR_ABSENT;
    SmfSampleEntry* entry = nullptr;
    ThrowIfSmf(SmfGetSampleDescription(m_pAudioTrack, 1, &entry));
    return entry;
}

HRESULT CMp4File::GetAudioSampleDescription(uint32_t* sampleSizeBits, uint32_t* samplingFrequency,
                                            uint32_t* channelCount) {
    if (sampleSizeBits) *sampleSizeBits = 0;
    if (samplingFrequency) *samplingFrequency = 0;
    if (channelCount) *channelCount = 0;
    return Guarded([&] {
        if (!sampleSizeBits || !samplingFrequency || !channelCount) throw HRESULT(E_POINTER);
        if (!m_spHandle || !m_pAudioTrack) throw HRESULT(E_UNEXPECTED);
        SmfSampleEntry* entry = FirstSampleEntry();
        SmfAudioDescription audio;
        ThrowIfSmf(SmfGetAudioDescription(m_pAudioTrack, entry, &audio));
        *sampleSizeBits = audio.sampleSize;
        *samplingFrequency = audio.sampleRate >> 16;
        *channelCount = audio.channelCount;
    });
}

HRESULT CMp4File::GetDecoderSpecificInformation(std::vector<uint8_t>& dsi, uint32_t* maxBitrate, uint32_t* avgBitrate,
                                                uint32_t* bufferSizeDB) {
    HRESULT hr = Guarded([&] {
        if (!m_spHandle || !m_pAudioTrack) throw HRESULT(E_UNEXPECTED);
        dsi.clear();
        SmfSampleEntry* entry = FirstSampleEntry();
        SmfEsDescriptor es;
        ThrowIfSmf(SmfGetEsDescriptor(entry, &es));
        if (es.decoderSpecificInfo.empty()) throw SMF_ERR_ABSENT;
        dsi.assign(es.decoderSpecificInfo.begin(), es.decoderSpecificInfo.end());
        if (maxBitrate) *maxBitrate = es.maxBitrate;
        if (avgBitrate) *avgBitrate = es.avgBitrate;
        if (bufferSizeDB) *bufferSizeDB = es.bufferSizeDB;
    });
    if (FAILED(hr) && hr != E_UNEXPECTED) dsi.clear();
    return hr;
}

HRESULT CMp4File::GetMediaTimescale(uint32_t* timescale) {
    if (timescale) *timescale = 0;
    return Guarded([&] {
        if (!timescale) throw HRESULT(E_POINTER);
        if (!m_spHandle || !m_pAudioTrack) throw HRESULT(E_UNEXPECTED);
        ThrowIfSmf(SmfGetMediaTimescale(m_pAudioTrack, timescale));
    });
}

HRESULT CMp4File::GetMediaDuration(uint32_t* duration) {
    if (duration) *duration = 0;
    return Guarded([&] {
        if (!duration) throw HRESULT(E_POINTER);
        if (!m_spHandle || !m_pAudioTrack) throw HRESULT(E_UNEXPECTED);
        ThrowIfSmf(SmfGetMediaDuration(m_pAudioTrack, duration));
    });
}
