// The DLNA texts of trnhost serve: the names of the DLNA headers, the
// content features of each kind of stream, and the time seek ranges of the
// answers. Kept together, apart from the HTTP grammar, so that what decides
// an answer's DLNA headers finds them in one place. No platform headers;
// tested natively.
#pragma once

#include <cstdint>
#include <string>

namespace trnhost {
namespace dlna {

// As a request carries it (http::Request keeps names in lower case).
inline constexpr char kTimeSeekRequest[] = "timeseekrange.dlna.org";
// As answers carry them.
inline constexpr char kTimeSeekHeader[] = "TimeSeekRange.dlna.org";
inline constexpr char kContentFeaturesHeader[] = "contentFeatures.dlna.org";
inline constexpr char kTransferModeHeader[] = "transferMode.dlna.org";
inline constexpr char kStreamingMode[] = "Streaming";

inline constexpr char kTransferModeRequest[] = "transfermode.dlna.org";
inline constexpr char kContentFeaturesRequest[] = "getcontentfeatures.dlna.org";

// contentFeatures.dlna.org of a converted LPCM stream (time seek, and byte
// ranges when its length is known) or of the unchanged file (byte ranges).
std::string ContentFeatures(bool lpcm, bool byteSeek);

// The duration as a time seek range gives it: "12.345", or "*" when unknown
// (negative).
std::string NptTotal(int64_t durationMs);
// The answer to a time seek: "npt=START-END/TOTAL", END being the end asked
// for (negative: none), else the duration, else empty.
std::string TimeSeekAnswer(int64_t startMs, int64_t endMs, int64_t durationMs);
// The answer to a time seek past the end: "npt=*/TOTAL".
std::string TimeSeekPastEnd(int64_t durationMs);

}  // namespace dlna
}  // namespace trnhost
