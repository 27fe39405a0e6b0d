// trnhost: a command-line media server host for the TrnM4aTranscoder server.
// It reaches the server only through COM, as a media server does.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "Args.h"
#include "Errors.h"
#include "FormatsCommand.h"
#include "Output.h"
#include "PropsCommand.h"
#include "RegisterCommand.h"
#include "ScanCommand.h"
#include "ServeCommand.h"
#include "StreamCommand.h"

using namespace trnhost;

namespace {

int Dispatch(const Arguments& args) {
    const std::wstring& c = args.command;
    if (c == L"formats") return RunFormats(args);
    if (c == L"props") return RunProps(args);
    if (c == L"scan") return RunScan(args);
    if (c == L"stream") return RunStream(args);
    if (c == L"serve") return RunServe(args);
    if (c == L"register") return RunRegister(args, false);
    return RunRegister(args, true);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> words(argv + 1, argv + argc);
    Arguments args;
    std::wstring error;
    if (!ParseArguments(words, args, error)) {
        PrintErr(L"trnhost: " + error + L"; see trnhost --help\n");
        return static_cast<int>(FailureKind::Usage);
    }
    if (args.command == L"help" || (args.help && !args.command.empty())) {
        const std::wstring topic =
            args.command == L"help" ? (args.operands.empty() ? L"" : args.operands[0]) : args.command;
        if (!topic.empty() && !IsCommand(topic)) {
            PrintErr(L"trnhost: unknown command \"" + topic + L"\"; see trnhost --help\n");
            return static_cast<int>(FailureKind::Usage);
        }
        PrintOut(UsageText(topic));
        return 0;
    }
    if (args.command.empty()) {
        if (args.help) {
            PrintOut(UsageText(L""));
            return 0;
        }
        PrintErr(UsageText(L""));
        return static_cast<int>(FailureKind::Usage);
    }
    if (!CheckCommandArguments(args, error)) {
        PrintErr(L"trnhost: " + error + L"; see trnhost " + args.command + L" --help\n");
        return static_cast<int>(FailureKind::Usage);
    }
    try {
        return Dispatch(args);
    } catch (const HostError& failure) {
        PrintErr(FailureLine(failure) + L"\n");
        return static_cast<int>(failure.kind());
    } catch (const std::bad_alloc&) {
        PrintErr(FailureLine(HostError(FailureKind::Failure, E_OUTOFMEMORY, L"memory")) + L"\n");
        return static_cast<int>(FailureKind::Failure);
    } catch (HRESULT hr) {
        // ComPtr's query throws the bare status.
        PrintErr(FailureLine(HostError(KindOf(hr), hr, L"COM")) + L"\n");
        return static_cast<int>(KindOf(hr));
    }
}
