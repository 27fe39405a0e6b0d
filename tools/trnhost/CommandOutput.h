// Pieces of output that more than one command prints: offered formats as
// JSON, failures as JSON fields, properties as text, padded columns.
#pragma once

#include <string>

#include "Server.h"

namespace trnhost {

// "true", "false", or "other" for a VARIANT_BOOL that is neither.
const char* Flag(VARIANT_BOOL value);
std::wstring WideFlag(VARIANT_BOOL value);

// The text and blanks up to width, or the text and one blank when longer.
std::wstring Padded(const std::wstring& text, size_t width);

// An offered format as a JSON object left open, so that a caller can add
// fields: {"index":N,"name":...,"byteSeekable":...
std::string FormatJson(size_t index, const OfferedFormat& format);

// The fields of a failure: "hr":...,"message":...,"exit":N
std::string ErrorJson(const HostError& error);

// " NAME=VALUE" for each property.
std::wstring PropertiesText(const PropertyList& properties);

}  // namespace trnhost
