#include "AudioItemFile.h"

#include "common/SmfAbsStreamImpl.h"

#include <windows.h>

#include <cstdio>

namespace presented {

HRESULT MeasureItemFile(const std::wstring& path, ItemLength* out) {
    if (!out) return E_POINTER;
    *out = ItemLength();
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return HRESULT_FROM_WIN32(GetLastError());
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const uint64_t size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);
    ISmfAbsStream* stream = nullptr;
    try {
        stream = WrapFileStream(file);  // one reference; the file is the stream's from here on
    } catch (HRESULT hr) {
        return hr;
    }
    const HRESULT hr = MeasureItem(stream, size, out);
    stream->Release();
    return hr;
}

}  // namespace presented
