#include "ScanCommand.h"

#include <algorithm>
#include <cwchar>
#include <map>

#include "CommandOutput.h"
#include "Files.h"
#include "Output.h"
#include "ScanPool.h"
#include "Server.h"
#include "Views.h"
#include "tools/common/Json.h"

namespace trnhost {

using trntools::JsonString;

namespace {

bool HasMp4AudioExtension(const std::wstring& path) {
    if (path.size() < 4) return false;
    const std::wstring tail = path.substr(path.size() - 4);
    for (const wchar_t* ext : {L".mp4", L".m4a", L".m4b", L".3gp"})
        if (::_wcsicmp(tail.c_str(), ext) == 0) return true;
    return false;
}

}  // namespace

int RunScan(const Arguments& args) {
    const std::wstring folder = StripTrailingSlashes(args.operands[0]);
    CheckFolder(folder);

    const ComApartment apartment;
    {
        // Fails early, with its own message, when the server is not registered.
        Server probe(args.progid);
    }
    LARGE_INTEGER frequency, started, ended;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&started);
    std::vector<std::wstring> found;
    ListFiles(folder, found);
    // As a media server does, only the MP4 audio extensions are considered;
    // the rest of the folder is counted in the summary.
    std::vector<std::wstring> files;
    for (std::wstring& path : found)
        if (HasMp4AudioExtension(path)) files.push_back(std::move(path));
    const size_t others = found.size() - files.size();
    found.clear();

    const unsigned jobs = args.jobs ? args.jobs : DefaultJobs();
    ScanPool pool(files, args.progid, jobs);

    size_t supported = 0, nativeOnly = 0, refused = 0;
    std::map<std::wstring, size_t> reasons;
    for (size_t n = 0; n < files.size(); ++n) {
        const std::wstring& path = files[n];
        const ScanResult r = pool.Take(n);
        const bool lpcm = r.reason.empty() && std::any_of(r.offered.begin(), r.offered.end(),
                                                          [](const OfferedFormat& f) { return f.profile == L"LPCM"; });
        const char* status = !r.reason.empty() ? "refused" : lpcm ? "supported" : "native-only";
        if (!r.reason.empty()) {
            ++refused;
            ++reasons[r.reason];
        } else if (lpcm) {
            ++supported;
        } else {
            ++nativeOnly;
        }
        if (args.json) {
            std::string line = "{\"file\":" + JsonString(path) + ",\"status\":\"" + status + "\"";
            if (!r.reason.empty()) {
                line += ",\"reason\":" + JsonString(r.reason);
                if (FAILED(r.failure))
                    line += ",\"hr\":" + JsonString(HresultHex(r.failure)) +
                            ",\"message\":" + JsonString(HresultText(r.failure));
            } else {
                line += ",\"formats\":[";
                for (size_t i = 0; i < r.offered.size(); ++i)
                    line += (i ? "," : "") + FormatJson(i, r.offered[i]) +
                            ",\"properties\":" + PropertiesJson(r.properties[i]) + "}";
                line += "]";
            }
            PrintOut(line + "}\n");
        } else {
            std::wstring text = path + L"\n";
            if (!r.reason.empty()) {
                text += L"  refused: " + r.reason + L"\n";
            } else {
                for (size_t i = 0; i < r.offered.size(); ++i)
                    text +=
                        L"  " +
                        Padded(r.offered[i].ShortName().empty() ? r.offered[i].mimeType : r.offered[i].ShortName(), 7) +
                        PropertiesText(r.properties[i]) + L"\n";
            }
            PrintOut(text);
        }
    }
    ::QueryPerformanceCounter(&ended);
    const double seconds = double(ended.QuadPart - started.QuadPart) / double(frequency.QuadPart);
    const double rate = seconds > 0 ? files.size() / seconds : 0;

    size_t width = 28;
    for (const auto& r : reasons) width = std::max(width, r.first.size() + 3);
    std::wstring table = L"\nsummary of " + folder + L"\n";
    const auto row = [&](const std::wstring& label, size_t count) {
        const std::wstring number = std::to_wstring(count);
        table += L"  " + Padded(label, width) + std::wstring(number.size() < 6 ? 6 - number.size() : 0, L' ') + number +
                 L"\n";
    };
    row(L"files", files.size());
    row(L"supported (LPCM offered)", supported);
    row(L"native only", nativeOnly);
    row(L"refused", refused);
    for (const auto& r : reasons) row(L"  " + r.first, r.second);
    row(L"other files, not considered", others);
    wchar_t line[200];
    std::swprintf(line, 200, L"  %u files in %.3f s: %.1f files/s (%u workers)\n", static_cast<unsigned>(files.size()),
                  seconds, rate, jobs);
    table += line;
    // Standard output carries only the JSON lines in --json mode.
    if (args.json)
        PrintErr(table);
    else
        PrintOut(table);
    return 0;
}

}  // namespace trnhost
