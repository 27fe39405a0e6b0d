// Shared helpers of the MP4 tests: parse or open a byte image.
#pragma once

#include "BoxWriter.h"
#include "MemoryStream.h"
#include "mp4/Mp4File.h"
#include "mp4/SmfMovie.h"

struct ParseOutcome {
    int code;
    uint32_t status;
};

inline ParseOutcome ParseBytes(const boxw::Bytes& bytes, uint32_t mode = SMF_PARSE_FRAGMENTS) {
    MemoryStreamRef stream(bytes);
    SmfMovieHandle* raw = nullptr;
    SmfCreateHandle(&raw);
    SmfHandlePtr handle(raw);
    SmfAttachStream(raw, stream.stream);
    uint32_t status = 0;
    int code = SmfParse(raw, &status, mode);
    return {code, status};
}

inline HRESULT OpenBytes(CMp4File& file, const boxw::Bytes& bytes) {
    MemoryStreamRef stream(bytes);
    return file.Initialize(stream.stream);
}

// Opens and selects the first audio track.
inline HRESULT OpenAudio(CMp4File& file, const boxw::Bytes& bytes) {
    HRESULT hr = OpenBytes(file, bytes);
    if (FAILED(hr)) return hr;
    std::vector<uint32_t> audio, video;
    hr = file.GetTrackIds(audio, video);
    if (FAILED(hr)) return hr;
    if (audio.empty()) return E_FAIL;
    return file.SetAudioTrackId(audio[0]);
}
