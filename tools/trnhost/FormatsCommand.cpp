#include "FormatsCommand.h"

#include "CommandOutput.h"
#include "Output.h"
#include "Server.h"
#include "tools/common/Json.h"

namespace trnhost {

using trntools::JsonString;

namespace {

// Remembers the first failure's kind while a command goes on with others.
struct Outcome {
    int code = 0;
    void Fail(const HostError& error) {
        PrintErr(FailureLine(error) + L"\n");
        if (!code) code = static_cast<int>(error.kind());
    }
};

}  // namespace

int RunFormats(const Arguments& args) {
    const ComApartment apartment;
    Server server(args.progid);
    Outcome outcome;
    for (const std::wstring& path : args.operands) {
        try {
            const std::vector<OfferedFormat> offered = server.FormatsFor(path);
            if (offered.empty()) throw NothingOffered(server, path);
            if (args.json) {
                std::string line = "{\"file\":" + JsonString(path) + ",\"formats\":[";
                for (size_t i = 0; i < offered.size(); ++i) line += (i ? "," : "") + FormatJson(i, offered[i]) + "}";
                PrintOut(line + "]}\n");
                continue;
            }
            std::wstring text = path + L"\n  #  name    profile  " + Padded(L"MIME type", 33) +
                                L"TimeSeekable  Converted  ByteSeekable\n";
            for (size_t i = 0; i < offered.size(); ++i) {
                const OfferedFormat& f = offered[i];
                text += L"  " + Padded(std::to_wstring(i), 3) +
                        Padded(f.ShortName().empty() ? L"-" : f.ShortName(), 8) +
                        Padded(f.profile.empty() ? L"-" : f.profile, 9) + Padded(f.mimeType, 33) +
                        Padded(WideFlag(f.timeSeekable), 14) + Padded(WideFlag(f.converted), 11) +
                        WideFlag(f.byteSeekable) + L"\n";
            }
            PrintOut(text);
        } catch (const HostError& error) {
            if (args.json) PrintOut("{\"file\":" + JsonString(path) + "," + ErrorJson(error) + "}\n");
            outcome.Fail(error);
        }
    }
    return outcome.code;
}

}  // namespace trnhost
