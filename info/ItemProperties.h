// The item properties the info object reports, as host property objects.
#pragma once

#include <objbase.h>

#include <cstdint>
#include <string>

namespace trn {

class CVariantList;

// "%02d:%02d:%02d.%03d" of hours, minutes, seconds and milliseconds; the
// hours are not limited to two digits.
std::wstring DurationText(uint32_t durationMs);

// Decimal text of a count; sizes keep all 64 bits.
std::wstring DecimalText(uint64_t value);

// A new host property object, put Name then Value, appended to list.
void AppendProperty(CVariantList& list, const wchar_t* name, const std::wstring& value);

}  // namespace trn
