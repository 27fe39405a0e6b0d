// Windows only: MeasureItem on a file named by its path, for trnhost.
#pragma once

#include "AudioItem.h"

#include <string>

namespace presented {

// Opens `path` for reading and measures it as MeasureItem does. Fails with
// HRESULT_FROM_WIN32 of the open or size error, or as MeasureItem fails.
HRESULT MeasureItemFile(const std::wstring& path, ItemLength* out);

}  // namespace presented
