#include "transcoder/PcmFormatDescriptor.h"

#include <limits>
#include <map>
#include <string>
#include <vector>

#include "base/PortableTypes.h"

namespace {

const int32_t kDefaultSampleRate = 44100;
const int32_t kDefaultChannels = 1;
const size_t kTypeLength = 9;  // the length of "audio/L16"

// Maximal runs of characters other than chSeparator, in order.
std::vector<std::wstring> SplitTokens(const std::wstring& strText, wchar_t chSeparator) {
    std::vector<std::wstring> tokens;
    size_t iPos = 0;
    while (iPos < strText.size()) {
        const size_t iStart = strText.find_first_not_of(chSeparator, iPos);
        if (iStart == std::wstring::npos) {
            break;
        }
        size_t iEnd = strText.find(chSeparator, iStart);
        if (iEnd == std::wstring::npos) {
            iEnd = strText.size();
        }
        tokens.push_back(strText.substr(iStart, iEnd - iStart));
        iPos = iEnd;
    }
    return tokens;
}

// key -> value of the parameters after the type; the first occurrence of a key counts.
std::map<std::wstring, std::wstring> ParseParameters(const std::wstring& strText) {
    const std::vector<std::wstring> typeTokens = SplitTokens(strText, L';');
    const size_t cchType = typeTokens.empty() ? strText.size() : typeTokens.front().size();

    std::map<std::wstring, std::wstring> parameters;
    for (const std::wstring& strParameter : SplitTokens(strText.substr(cchType), L';')) {
        const std::vector<std::wstring> parts = SplitTokens(strParameter, L'=');
        std::wstring strKey = parts.empty() ? std::wstring() : parts[0];
        std::wstring strValue = parts.size() > 1 ? parts[1] : std::wstring();
        parameters.emplace(std::move(strKey), std::move(strValue));  // keeps an existing key
    }
    return parameters;
}

bool IsWhiteSpace(wchar_t ch) { return ch == L' ' || (ch >= L'\t' && ch <= L'\r'); }

// Reads a decimal number the way _wtol does: leading white space, an optional
// sign, digits up to the first other character; 0 without digits, clamped to
// the 32-bit range on overflow.
int32_t ParseInteger(const std::wstring& strValue) {
    size_t iPos = 0;
    while (iPos < strValue.size() && IsWhiteSpace(strValue[iPos])) {
        ++iPos;
    }
    bool fNegative = false;
    if (iPos < strValue.size() && (strValue[iPos] == L'+' || strValue[iPos] == L'-')) {
        fNegative = strValue[iPos] == L'-';
        ++iPos;
    }
    const int64_t nLimit =
        fNegative ? -int64_t(std::numeric_limits<int32_t>::min()) : int64_t(std::numeric_limits<int32_t>::max());
    int64_t nValue = 0;
    for (; iPos < strValue.size() && strValue[iPos] >= L'0' && strValue[iPos] <= L'9'; ++iPos) {
        nValue = nValue * 10 + (strValue[iPos] - L'0');
        if (nValue > nLimit) {
            nValue = nLimit;
        }
    }
    return int32_t(fNegative ? -nValue : nValue);
}

int32_t IntegerOrDefault(const std::map<std::wstring, std::wstring>& parameters, const wchar_t* pszKey,
                         int32_t nDefault) {
    const auto it = parameters.find(pszKey);
    return it == parameters.end() ? nDefault : ParseInteger(it->second);
}

wchar_t ToLowerAscii(wchar_t ch) { return (ch >= L'A' && ch <= L'Z') ? wchar_t(ch - L'A' + L'a') : ch; }

// Compares the first nine characters of strText with pszType, ignoring ASCII case.
bool HasTypePrefix(const std::wstring& strText, const wchar_t* pszType) {
    if (strText.size() < kTypeLength) {
        return false;
    }
    for (size_t i = 0; i < kTypeLength; ++i) {
        if (ToLowerAscii(strText[i]) != ToLowerAscii(pszType[i])) {
            return false;
        }
    }
    return true;
}

int32_t BitsPerSampleOf(const std::wstring& strText) {
    if (HasTypePrefix(strText, L"audio/L16")) {
        return 16;
    }
    if (HasTypePrefix(strText, L"audio/L24")) {
        return 24;
    }
    throw static_cast<HRESULT>(E_INVALIDARG);
}

}  // namespace

CPcmFormatDescriptor::CPcmFormatDescriptor(const wchar_t* pszMimeType) {
    const std::wstring strText(pszMimeType != nullptr ? pszMimeType : L"");
    const std::map<std::wstring, std::wstring> parameters = ParseParameters(strText);
    const int32_t nSampleRate = IntegerOrDefault(parameters, L"rate", kDefaultSampleRate);
    const int32_t nChannels = IntegerOrDefault(parameters, L"channels", kDefaultChannels);
    const int32_t nBitsPerSample = BitsPerSampleOf(strText);

    m_nSampleRate = nSampleRate;
    m_nChannels = nChannels;
    m_nBitsPerSample = nBitsPerSample;
}
