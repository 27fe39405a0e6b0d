#include "Args.h"

#include <cwchar>

namespace trnhost {
namespace {

// Whole decimal number within [0, max]; no sign, no blanks.
bool ParseCount(const std::wstring& text, int64_t max, int64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        const int digit = c - L'0';
        if (value > (max - digit) / 10) return false;
        value = value * 10 + digit;
    }
    out = value;
    return true;
}

// "--name=value" or "--name value"; advances i past a separate value.
bool TakeValue(const std::vector<std::wstring>& args, size_t& i, const std::wstring& name, std::wstring& value,
               std::wstring& error) {
    const std::wstring& arg = args[i];
    if (arg.size() > name.size() && arg[name.size()] == L'=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        error = name + L" needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

// "a.b.c.d" with each part from 0 to 255.
bool IsDottedQuad(const std::wstring& text) {
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        const size_t end = parts < 3 ? text.find(L'.', at) : text.size();
        if (end == std::wstring::npos || end == at || end - at > 3) return false;
        int64_t part = 0;
        if (!ParseCount(text.substr(at, end - at), 255, part)) return false;
        ++parts;
        at = end + 1;
    }
    return true;
}

bool Matches(const std::wstring& arg, const wchar_t* name) {
    const size_t n = std::wcslen(name);
    return arg.compare(0, n, name) == 0 && (arg.size() == n || arg[n] == L'=');
}

}  // namespace

const std::vector<std::wstring>& CommandNames() {
    static const std::vector<std::wstring> names = {L"formats", L"props",    L"scan",       L"stream",
                                                    L"serve",   L"register", L"unregister", L"help"};
    return names;
}

bool IsCommand(const std::wstring& name) {
    for (const std::wstring& c : CommandNames())
        if (c == name) return true;
    return false;
}

bool ParseArguments(const std::vector<std::wstring>& args, Arguments& out, std::wstring& error) {
    out = Arguments();
    bool operandsOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        // "-" alone is an operand (or -o's value); "--" ends the options.
        if (operandsOnly || arg.empty() || arg[0] != L'-' || arg == L"-") {
            if (out.command.empty() && !operandsOnly) {
                if (!IsCommand(arg)) {
                    error = L"unknown command \"" + arg + L"\"";
                    return false;
                }
                out.command = arg;
            } else {
                out.operands.push_back(arg);
            }
            continue;
        }
        std::wstring value;
        int64_t number = 0;
        if (arg == L"--") {
            operandsOnly = true;
        } else if (arg == L"--help" || arg == L"-h") {
            out.help = true;
        } else if (arg == L"--json") {
            out.json = true;
        } else if (arg == L"--wav") {
            out.wav = true;
        } else if (arg == L"--progid") {
            out.progid = true;
        } else if (arg == L"--quiet" || arg == L"-q") {
            out.quiet = true;
        } else if (Matches(arg, L"--start-ms")) {
            if (!TakeValue(args, i, L"--start-ms", value, error)) return false;
            if (!ParseCount(value, 0x7FFFFFFF, number)) {
                error = L"--start-ms wants milliseconds from 0 to 2147483647, not \"" + value + L"\"";
                return false;
            }
            out.startMs = number;
        } else if (Matches(arg, L"--start-byte")) {
            if (!TakeValue(args, i, L"--start-byte", value, error)) return false;
            if (!ParseCount(value, INT64_MAX, number)) {
                error = L"--start-byte wants a byte offset of 0 or more, not \"" + value + L"\"";
                return false;
            }
            out.startByte = number;
        } else if (Matches(arg, L"--block")) {
            if (!TakeValue(args, i, L"--block", value, error)) return false;
            // Even, so LPCM blocks hold whole samples; the upper bound keeps one
            // block's buffer reasonable.
            if (!ParseCount(value, 16 << 20, number) || number < 2 || number % 2) {
                error = L"--block wants an even byte count from 2 to 16777216, not \"" + value + L"\"";
                return false;
            }
            out.block = static_cast<uint32_t>(number);
        } else if (Matches(arg, L"--jobs")) {
            if (!TakeValue(args, i, L"--jobs", value, error)) return false;
            if (!ParseCount(value, 64, number) || number < 1) {
                error = L"--jobs wants a worker count from 1 to 64, not \"" + value + L"\"";
                return false;
            }
            out.jobs = static_cast<uint32_t>(number);
        } else if (Matches(arg, L"--port")) {
            if (!TakeValue(args, i, L"--port", value, error)) return false;
            if (!ParseCount(value, 65535, number)) {
                error = L"--port wants a port number from 0 to 65535, not \"" + value + L"\"";
                return false;
            }
            out.port = static_cast<int32_t>(number);
        } else if (Matches(arg, L"--bind")) {
            if (!TakeValue(args, i, L"--bind", value, error)) return false;
            if (!IsDottedQuad(value)) {
                error = L"--bind wants an IPv4 address such as 0.0.0.0, not \"" + value + L"\"";
                return false;
            }
            out.bind = value;
        } else if (arg == L"-o" || Matches(arg, L"--output")) {
            if (!TakeValue(args, i, arg == L"-o" ? L"-o" : L"--output", value, error)) return false;
            if (value.empty()) {
                error = L"-o needs a file name (or - for standard output)";
                return false;
            }
            out.output = value;
        } else {
            error = L"unknown option \"" + arg + L"\"";
            return false;
        }
    }
    if (out.startMs >= 0 && out.startByte >= 0) {
        error = L"--start-ms and --start-byte exclude each other";
        return false;
    }
    return true;
}

bool CheckCommandArguments(const Arguments& args, std::wstring& error) {
    const std::wstring& c = args.command;
    const size_t n = args.operands.size();
    const bool streamOptions =
        args.wav || args.startMs >= 0 || args.startByte >= 0 || !args.output.empty() || args.block != 65536;
    if (c != L"stream" && streamOptions) {
        error = L"--wav, --start-ms, --start-byte, --block and -o belong to stream";
        return false;
    }
    if (args.jobs && c != L"scan") {
        error = L"--jobs belongs to scan";
        return false;
    }
    if ((args.port >= 0 || !args.bind.empty()) && c != L"serve") {
        error = L"--port and --bind belong to serve";
        return false;
    }
    if (args.json && c != L"formats" && c != L"props" && c != L"scan") {
        error = L"--json belongs to formats, props and scan";
        return false;
    }
    if (c == L"formats" && n == 0)
        error = L"formats needs at least one FILE";
    else if (c == L"props" && n != 2)
        error = L"props needs FILE and FORMAT";
    else if (c == L"scan" && n != 1)
        error = L"scan needs one DIR";
    else if (c == L"serve" && n != 1)
        error = L"serve needs one DIR";
    else if (c == L"stream" && n != 2)
        error = L"stream needs FILE and FORMAT";
    else if (c == L"stream" && args.output.empty())
        error = L"stream needs -o OUT (- for standard output)";
    else if ((c == L"register" || c == L"unregister") && n > 1)
        error = c + L" takes at most one DLL";
    else if (c == L"help" && n > 1)
        error = L"help takes at most one COMMAND";
    return error.empty();
}

std::wstring UsageText(const std::wstring& command) {
    if (command == L"formats")
        return L"usage: trnhost formats [--json] FILE...\n"
               L"Lists the formats the server offers for each file (GetFormatsForSource), in\n"
               L"its order: index, short name, profile, MIME type and the flags\n"
               L"TimeSeekable, Converted and ByteSeekable.\n";
    if (command == L"props")
        return L"usage: trnhost props [--json] FILE FORMAT\n"
               L"Prints the properties the server gives (GetProperties) for one offered\n"
               L"format. FORMAT is lpcm44, lpcm48, mp4, 3gpp or an index into the list\n"
               L"that formats prints.\n";
    if (command == L"scan")
        return L"usage: trnhost scan [--json] [--jobs N] DIR\n"
               L"Asks for formats and properties of every file under DIR, as a media\n"
               L"server does when it builds its library, then prints a summary (files,\n"
               L"supported, native only, refused by reason) and the files per second.\n"
               L"A failing file shows its HRESULT and the scan goes on. --json prints one\n"
               L"JSON object per file on standard output and the summary on standard error.\n"
               L"--jobs sets how many threads ask the server at once (default: one per\n"
               L"processor, at most 8); the output keeps the order of the files.\n";
    if (command == L"stream")
        return L"usage: trnhost stream FILE FORMAT [--start-ms N | --start-byte N] [--block N]\n"
               L"                      [--wav] [--quiet] -o OUT\n"
               L"Opens a transcoder on FILE in an offered FORMAT, positions it, starts it\n"
               L"and reads to the end of the stream, writing exactly the bytes a server\n"
               L"sends: big-endian 16-bit PCM for lpcm44/lpcm48, the unchanged file for\n"
               L"mp4/3gpp. --wav writes the PCM as a little-endian WAV file instead.\n"
               L"--start-ms positions LPCM by time, --start-byte the unchanged file by\n"
               L"offset. --block is the byte count of each Read (default 65536). OUT - is\n"
               L"standard output. On a terminal a progress line is shown on standard error.\n";
    if (command == L"serve")
        return L"usage: trnhost serve DIR [--port N] [--bind ADDR]\n"
               L"Serves the media files under DIR over HTTP/1.1, as a media server answers\n"
               L"renderers: / is an HTML index and /index.json a JSON one, each item in\n"
               L"each offered format at /media/FORMAT/NAME (LPCM chunked, with DLNA time\n"
               L"seeks; the unchanged file with byte ranges); /status counts connections,\n"
               L"transcoders, threads and handles. The default port is 8200; --port 0\n"
               L"takes a free one. --bind sets the IPv4 address (default 127.0.0.1). The\n"
               L"first line on standard output names the address. The server stops when\n"
               L"standard input, if it is a pipe, reaches its end, or on Ctrl+C.\n";
    if (command == L"register")
        return L"usage: trnhost register [DLL]\n"
               L"Registers the server DLL (DllRegisterServer, as regsvr32 does). The default\n"
               L"DLL is TrnM4aTranscoder.dll beside trnhost.exe or in ..\\module.\n";
    if (command == L"unregister")
        return L"usage: trnhost unregister [DLL]\n"
               L"Removes the server's registration (DllUnregisterServer).\n";
    if (command == L"help") return L"usage: trnhost help [COMMAND]\n";
    return L"usage: trnhost [--progid] COMMAND [ARGS]\n"
           L"A command-line media server host for the TrnM4aTranscoder COM server.\n"
           L"\n"
           L"  formats FILE...        formats offered for each file\n"
           L"  props FILE FORMAT      properties in one offered format\n"
           L"  scan DIR               formats and properties of every file under DIR\n"
           L"  stream FILE FORMAT -o OUT   transcode or pass through, as a server streams\n"
           L"  serve DIR              an HTTP server for the files under DIR\n"
           L"  register [DLL]         register the server\n"
           L"  unregister [DLL]       remove its registration\n"
           L"\n"
           L"--progid creates the server by ProgID instead of CLSID. trnhost COMMAND --help\n"
           L"describes one command. Exit codes: 0 success, 1 failure, 2 usage, 3 missing\n"
           L"file, 4 unsupported file, 5 bad or unoffered format, 6 server or host\n"
           L"classes not registered.\n";
}

}  // namespace trnhost
