// Placeholder until the metadata property layer is linked in: loads nothing.
#include "Mp4PropertyLoader.h"

struct CMp4PropertyStore {};

void CMp4PropertyStoreDeleter::operator()(CMp4PropertyStore* store) const { delete store; }

HRESULT Mp4LoadProperties(const SmfMovie&, ISmfAbsStream*, Mp4PropertyStorePtr& store) {
    store.reset();
    return S_OK;
}
