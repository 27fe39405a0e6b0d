#include "Dlna.h"

#include "Http.h"

namespace trnhost {
namespace dlna {

std::string ContentFeatures(bool lpcm, bool byteSeek) {
    // Flags: streaming transfer, background transfer, connection stall, DLNA 1.5.
    static const char kFlags[] = "DLNA.ORG_FLAGS=01700000000000000000000000000000";
    if (lpcm)
        return std::string("DLNA.ORG_PN=LPCM;DLNA.ORG_OP=") + (byteSeek ? "11" : "10") + ";DLNA.ORG_CI=1;" + kFlags;
    return std::string("DLNA.ORG_OP=01;DLNA.ORG_CI=0;") + kFlags;
}

std::string NptTotal(int64_t durationMs) { return durationMs >= 0 ? http::NptText(durationMs) : "*"; }

std::string TimeSeekAnswer(int64_t startMs, int64_t endMs, int64_t durationMs) {
    const std::string end = endMs >= 0 ? http::NptText(endMs) : durationMs >= 0 ? NptTotal(durationMs) : std::string();
    return "npt=" + http::NptText(startMs) + "-" + end + "/" + NptTotal(durationMs);
}

std::string TimeSeekPastEnd(int64_t durationMs) { return "npt=*/" + NptTotal(durationMs); }

}  // namespace dlna
}  // namespace trnhost
