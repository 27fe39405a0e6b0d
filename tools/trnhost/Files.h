// The folders the scan and serve commands walk.
#pragma once

#include <string>
#include <vector>

namespace trnhost {

// The folder without trailing separators (a drive root keeps its own).
std::wstring StripTrailingSlashes(std::wstring path);

// Throws HostError unless the path names a folder: a missing file when
// nothing is there, a usage error when it is a file.
void CheckFolder(const std::wstring& folder);

// Files under a folder, depth first, names sorted within each folder;
// links to folders are not followed. Throws HostError.
void ListFiles(const std::wstring& folder, std::vector<std::wstring>& out);

}  // namespace trnhost
