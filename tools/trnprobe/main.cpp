// trnprobe FILE...: prints one JSON object per file and line describing what
// the MP4 library makes of it. Exit 0 when every file could be read at all.
#include "ProbeSections.h"
#include "common/SmfAbsStreamImpl.h"
#include "tools/common/Utf8.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

#ifndef _WIN32
// The library reads a sample table in blocks of a few kilobytes; a larger
// buffer than stdio's default saves a system call for nearly every block of a
// long file's tables.
const size_t kStreamBuffer = 64 * 1024;

// The name as it came on the command line: its bytes are the path. The
// buffer must stay until the stream has closed the file.
ISmfAbsStream* OpenBufferedStream(const std::string& path, std::vector<char>& buffer) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw HRESULT(E_FAIL);
    buffer.resize(kStreamBuffer);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    return WrapFileStream(file);
}
#endif

// Opens the file and runs Initialize; every failure becomes the line's "hr".
void OpenAndInitialize(ProbeContext& ctx) {
    try {
#ifdef _WIN32
        const ComPtr<ISmfAbsStream> stream = AdoptComPtr(OpenFileStream(ctx.path.c_str()));
#else
        const ComPtr<ISmfAbsStream> stream = AdoptComPtr(OpenBufferedStream(ctx.displayName, ctx.streamBuffer));
#endif
        ctx.opened = true;
        ctx.openResult = ctx.file.Initialize(stream.get());
    } catch (HRESULT hr) {
        ctx.openResult = hr;
    } catch (...) {
        ctx.openResult = E_FAIL;
    }
}

bool ProbeOne(const std::string& displayName, const std::wstring& path) {
    ProbeContext ctx;
    ctx.displayName = displayName;
    ctx.path = path;
    OpenAndInitialize(ctx);
    JsonWriter json;
    json.BeginObject();
    for (ProbeSection section : kProbeSections) section(json, ctx);
    json.EndObject();
    std::printf("%s\n", json.Text().c_str());
    std::fflush(stdout);
    // A file that could not be opened at all was not inspected.
    return ctx.opened;
}

#ifndef _WIN32

// UTF-8 to UTF-32; malformed sequences become U+FFFD.
std::wstring Widen(const std::string& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = 0;
        size_t length = 0;
        trntools::DecodeUtf8(s.data() + i, s.size() - i, cp, length);
        out += wchar_t(cp);
        i += length;
    }
    return out;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: trnprobe FILE...\n");
        return 2;
    }
    bool all = true;
#ifdef _WIN32
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return 2;
    for (int i = 1; i < count; ++i) all = ProbeOne(trntools::Utf8(wide[i]), wide[i]) && all;
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) all = ProbeOne(argv[i], Widen(argv[i])) && all;
#endif
    return all ? 0 : 1;
}
