// Track and sample-description queries on a parsed movie.
#include "SmfMovie.h"

#include <algorithm>

int SmfGetTrackCount(const SmfMovieHandle* handle, uint16_t* count) {
    if (!count) return SMF_ERR_NO_OUTPUT;
    *count = 0;
    if (!handle || !handle->movie) return SMF_ERR_MISSING;
    if (!handle->movie->hasMoov) return SMF_ERR_ABSENT;
    *count = uint16_t(std::min<size_t>(handle->movie->tracks.size(), 0xFFFF));
    return SMF_ERR_NONE;
}

int SmfGetTrackById(const SmfMovieHandle* handle, uint32_t trackId, SmfTrack** track) {
    if (!track) return SMF_ERR_NO_OUTPUT;
    *track = nullptr;
    if (trackId == 0) return SMF_ERR_INVALID_ARG;
    if (!handle || !handle->movie) return SMF_ERR_MISSING;
    if (!handle->movie->hasMoov) return SMF_ERR_ABSENT;
    for (const auto& t : handle->movie->tracks) {
        if (t->tkhd.trackId == trackId) {
            *track = t.get();
            return SMF_ERR_NONE;
        }
    }
    return SMF_ERR_NOT_FOUND;
}

int SmfGetHandlerType(const SmfTrack* track, uint32_t* handlerType) {
    if (!handlerType) return SMF_ERR_NO_OUTPUT;
    *handlerType = 0;
    if (!track) return SMF_ERR_MISSING;
    if (!track->hasHdlr) return SMF_ERR_ABSENT;
    *handlerType = track->hdlr.handlerType;
    return SMF_ERR_NONE;
}

int SmfGetMediaTimescale(const SmfTrack* track, uint32_t* timescale) {
    if (!timescale) return SMF_ERR_NO_OUTPUT;
    *timescale = 0;
    if (!track) return SMF_ERR_MISSING;
    if (!track->hasMdhd) return SMF_ERR_ABSENT;
    *timescale = track->mdhd.timescale;
    return SMF_ERR_NONE;
}

int SmfGetSampleCursorDuration(const SmfTrack* track, uint64_t* duration) {
    if (!duration) return SMF_ERR_NO_OUTPUT;
    *duration = 0;
    if (!track) return SMF_ERR_MISSING;
    if (!track->hasCursor) return SMF_ERR_NO_CURSOR;
    uint64_t total = track->sttsDuration + track->fragmentDuration;
    if (total < track->sttsDuration) return SMF_ERR_CURSOR_OVERFLOW;
    *duration = total;
    return SMF_ERR_NONE;
}

int SmfGetMediaDuration(const SmfTrack* track, uint32_t* duration) {
    if (!duration) return SMF_ERR_NO_OUTPUT;
    *duration = 0;
    if (!track) return SMF_ERR_MISSING;
    if (!track->hasMdhd) return SMF_ERR_ABSENT;
    if (!track->movie || !track->movie->mvex) {
        *duration = track->mdhd.duration;
        return SMF_ERR_NONE;
    }
    uint64_t total = 0;
    int result = SmfGetSampleCursorDuration(track, &total);
    if (result == SMF_ERR_NO_CURSOR) return SMF_ERR_ABSENT;
    // A total beyond 32 bits cannot be reported.
    if (result == SMF_ERR_CURSOR_OVERFLOW || (result == SMF_ERR_NONE && total > UINT32_MAX)) return SMF_ERR_BAD_VALUE;
    SMF_CHECK(result);
    *duration = uint32_t(total);
    return SMF_ERR_NONE;
}

int SmfGetSampleDescriptionCount(const SmfTrack* track, uint32_t* count) {
    if (!count) return SMF_ERR_NO_OUTPUT;
    *count = 0;
    if (!track) return SMF_ERR_MISSING;
    if (!track->stbl || !track->stbl->hasStsd) return SMF_ERR_ABSENT;
    *count = uint32_t(std::min<size_t>(track->stbl->stsdCount, track->stbl->entries.size()));
    return SMF_ERR_NONE;
}

int SmfGetSampleDescription(const SmfTrack* track, uint32_t index, SmfSampleEntry** entry) {
    if (!entry) return SMF_ERR_NO_OUTPUT;
    *entry = nullptr;
    if (index == 0) return SMF_ERR_INVALID_ARG;
    uint32_t count = 0;
    SMF_CHECK(SmfGetSampleDescriptionCount(track, &count));
    if (index > count) return SMF_ERR_NOT_FOUND;
    *entry = track->stbl->entries[index - 1].get();
    return SMF_ERR_NONE;
}

int SmfGetAudioDescription(const SmfTrack* track, const SmfSampleEntry* entry, SmfAudioDescription* out) {
    if (!out) return SMF_ERR_NO_OUTPUT;
    *out = SmfAudioDescription();
    if (!track || !entry) return SMF_ERR_MISSING;
    if (entry->handlerType != SMF_HANDLER_SOUN) return SMF_ERR_MISSING;
    out->type = entry->head.type;
    uint32_t ref = entry->dataReferenceIndex;
    if (ref >= 1 && ref <= track->dref.entries.size()) out->dataReference = &track->dref.entries[ref - 1];
    out->vendor = entry->vendor;
    out->channelCount = entry->channelCount;
    out->sampleSize = entry->sampleSize;
    out->sampleRate = entry->sampleRate;
    out->samplesPerPacket = entry->samplesPerPacket;
    out->bytesPerSample = entry->bytesPerSample;
    out->version = entry->version;
    return SMF_ERR_NONE;
}
