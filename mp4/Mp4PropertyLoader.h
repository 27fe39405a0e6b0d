// Hook between the file model and the metadata property layer: CMp4File
// calls it once a movie has been parsed and keeps whatever store it returns.
#pragma once

#include "SmfMovie.h"

#include <memory>

struct CMp4PropertyStore;

struct CMp4PropertyStoreDeleter {
    void operator()(CMp4PropertyStore* store) const;
};
using Mp4PropertyStorePtr = std::unique_ptr<CMp4PropertyStore, CMp4PropertyStoreDeleter>;

// Loads the metadata properties of `movie` into `store` (replacing it).
// Malformed metadata must not fail the open; only hard failures are returned.
HRESULT Mp4LoadProperties(const SmfMovie& movie, ISmfAbsStream* stream, Mp4PropertyStorePtr& store);
