// Rate, channel count and sample width of a linear PCM MIME type such as
// "audio/L16;rate=44100;channels=2".
#pragma once

#include <cstdint>

class CPcmFormatDescriptor {
public:
    // Parses pszMimeType (null counts as empty). A text that is not linear PCM
    // throws the status E_INVALIDARG as a bare HRESULT.
    explicit CPcmFormatDescriptor(const wchar_t* pszMimeType);

    int32_t GetSampleRate() const noexcept { return m_nSampleRate; }
    int32_t GetChannels() const noexcept { return m_nChannels; }
    int32_t GetBitsPerSample() const noexcept { return m_nBitsPerSample; }

private:
    int32_t m_nSampleRate = 0;
    int32_t m_nChannels = 0;
    int32_t m_nBitsPerSample = 0;  // 16 or 24
};
