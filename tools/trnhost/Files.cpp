#include "Files.h"

#include <windows.h>

#include <algorithm>

#include "Errors.h"
#include "base/UniqueResource.h"

namespace trnhost {

std::wstring StripTrailingSlashes(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

void CheckFolder(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        throw HostError(KindOf(hr) == FailureKind::MissingFile ? FailureKind::MissingFile : FailureKind::Failure, hr,
                        folder);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw HostError(FailureKind::Usage, HRESULT_FROM_WIN32(ERROR_DIRECTORY), folder);
}

void ListFiles(const std::wstring& folder, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW data;
    const HANDLE raw = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                          nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (raw == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return;
        throw HostError(KindOf(HRESULT_FROM_WIN32(error)), HRESULT_FROM_WIN32(error), L"listing " + folder);
    }
    struct FindCloser {
        void operator()(HANDLE h) const { ::FindClose(h); }
    };
    const UniqueResource<HANDLE, FindCloser, trn_detail::InvalidFileHandle> find(raw);
    std::vector<std::wstring> files, folders;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Links to folders could loop; a library scan follows none.
        if (isFolder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        (isFolder ? folders : files).push_back(folder + L"\\" + name);
    } while (::FindNextFileW(find.get(), &data));
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    for (const std::wstring& sub : folders) ListFiles(sub, out);
}

}  // namespace trnhost
