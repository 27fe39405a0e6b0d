// Command line of trnhost: the command, its operands and options. Portable
// (no platform headers), so it is tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trnhost {

struct Arguments {
    std::wstring command;  // empty: none given
    std::vector<std::wstring> operands;
    bool help = false;
    bool json = false;
    bool wav = false;
    bool progid = false;  // create the server by ProgID instead of CLSID
    bool quiet = false;   // no progress line even on a terminal
    int64_t startMs = -1;
    int64_t startByte = -1;
    uint32_t block = 65536;
    uint32_t jobs = 0;    // scan workers; 0: one per processor
    int32_t port = -1;    // serve: -1 the default port, 0 any free one
    std::wstring bind;    // serve: IPv4 address to listen on; empty is loopback
    std::wstring output;  // "-" is standard output
};

// Parses argv[1..]; on failure returns false and a one-line reason.
bool ParseArguments(const std::vector<std::wstring>& args, Arguments& out, std::wstring& error);

// The commands, and whether a name is one of them.
const std::vector<std::wstring>& CommandNames();
bool IsCommand(const std::wstring& name);

// Usage text of one command, or of the whole tool for an empty name.
std::wstring UsageText(const std::wstring& command);

// Checks the operand count and the options that apply to the command.
bool CheckCommandArguments(const Arguments& args, std::wstring& error);

}  // namespace trnhost
