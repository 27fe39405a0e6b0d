// Loads the metadata properties of a parsed movie for CMp4File.
#include "Mp4PropertyLoader.h"

#include "mp4/Mp4PropertyStore.h"

#include <new>

void CMp4PropertyStoreDeleter::operator()(CMp4PropertyStore* store) const { delete store; }

HRESULT Mp4LoadProperties(const SmfMovie& movie, ISmfAbsStream* stream, Mp4PropertyStorePtr& store) {
    store.reset();
    try {
        Mp4PropertyStorePtr loaded(new CMp4PropertyStore);
        HRESULT hr = loaded->LoadUserData(movie.udta.get());
        if (FAILED(hr)) return hr;

        std::vector<Mp4BoxRef> frames;
        for (const SmfRawBox& frame : movie.frameBoxes) frames.push_back(Mp4BoxRefOf(frame));
        DWORD dwStreamSize = frames.empty() && stream != nullptr ? stream->StreamSize() : 0;
        hr = loaded->LoadFrameArea(frames, movie.frameAreaOffset, movie.frameAreaSize, dwStreamSize);
        // A bad frame only ends the frame loading; the file itself still opens.
        if (hr == E_OUTOFMEMORY) return hr;
        store = std::move(loaded);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
