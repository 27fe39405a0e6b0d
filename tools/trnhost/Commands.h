// The commands of trnhost. Each returns its exit code and throws HostError
// for a failure that ends it.
#pragma once

#include <string>
#include <vector>

#include "Args.h"

namespace trnhost {

int RunFormats(const Arguments& args);
int RunProps(const Arguments& args);
int RunScan(const Arguments& args);
int RunStream(const Arguments& args);
int RunRegister(const Arguments& args, bool unregister);
int RunServe(const Arguments& args);

// Files under a folder, depth first, names sorted within each folder;
// links to folders are not followed. Throws HostError.
void ListFiles(const std::wstring& folder, std::vector<std::wstring>& out);
// The folder without trailing separators (a drive root keeps its own).
std::wstring StripTrailingSlashes(std::wstring path);

}  // namespace trnhost
