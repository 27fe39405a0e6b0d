#include "info/ItemProperties.h"

#include <cwchar>

#include "module/HostObjects.h"
#include "transcoder/VariantList.h"

namespace trn {

std::wstring DurationText(uint32_t durationMs) {
    // Unsigned arithmetic: a duration past 24 days must not turn negative.
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%02u:%02u:%02u.%03u", durationMs / 3600000u,
                  (durationMs % 3600000u) / 60000u, (durationMs % 60000u) / 1000u, durationMs % 1000u);
    return text;
}

std::wstring DecimalText(uint64_t value) {
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%llu", static_cast<unsigned long long>(value));
    return text;
}

void AppendProperty(CHostClass& properties, CVariantList& list, const wchar_t* name, const std::wstring& value) {
    const CHostMediaProperty property = CHostMediaProperty::Create(properties);
    property.PutName(name);
    property.PutValue(value.c_str());
    list.AppendUnknown(property.get());
}

}  // namespace trn
