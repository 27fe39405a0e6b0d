// Texts of HRESULTs as trace entries show them.
#pragma once

#include <objbase.h>

#include <string>

namespace trn {

// The system's message for hr, or a short fallback text.
std::wstring HresultErrorText(HRESULT hr);

// hr in lower-case hexadecimal without leading zeros.
std::wstring HresultHex(HRESULT hr);

// "(0x<hex>:<error text>)".
std::wstring HresultText(HRESULT hr);

}  // namespace trn
