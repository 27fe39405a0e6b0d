// The item properties the info object reports, as host property objects.
#pragma once

#include <objbase.h>

#include <cstdint>
#include <string>

namespace trn {

class CHostClass;
class CVariantList;

// "%02d:%02d:%02d.%03d" of hours, minutes, seconds and milliseconds; the
// hours are not limited to two digits.
std::wstring DurationText(uint32_t durationMs);

// Decimal text of a count; sizes keep all 64 bits.
std::wstring DecimalText(uint64_t value);

// A new host property object of properties (the host's property class), put
// Name then Value, appended to list.
void AppendProperty(CHostClass& properties, CVariantList& list, const wchar_t* name, const std::wstring& value);

}  // namespace trn
