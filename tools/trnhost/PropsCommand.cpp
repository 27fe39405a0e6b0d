#include "PropsCommand.h"

#include "CommandOutput.h"
#include "Output.h"
#include "Server.h"
#include "Views.h"
#include "tools/common/Json.h"

namespace trnhost {

using trntools::JsonString;

int RunProps(const Arguments& args) {
    const std::wstring& path = args.operands[0];
    FormatOperand(args.operands[1]);
    const ComApartment apartment;
    Server server(args.progid);
    const std::vector<OfferedFormat> offered = server.FormatsFor(path);
    const OfferedFormat& format = ChooseFormat(server, path, offered, args.operands[1]);
    const PropertyList properties = server.PropertiesFor(path, format);
    if (args.json) {
        PrintOut("{\"file\":" + JsonString(path) + ",\"format\":" + JsonString(format.ShortName()) + ",\"mimeType\":" +
                 JsonString(format.mimeType) + ",\"properties\":" + PropertiesJson(properties) + "}\n");
        return 0;
    }
    std::wstring text;
    for (const auto& p : properties) text += Padded(p.first, 17) + p.second + L"\n";
    PrintOut(text);
    return 0;
}

}  // namespace trnhost
