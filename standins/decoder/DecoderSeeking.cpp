#include "DecoderSeeking.h"

#include <limits>

namespace {

// Media time, or a null format meaning the current one (which is media time).
bool IsMediaTime(const GUID* format) {
    return !format || IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) || IsEqualGUID(*format, GUID_NULL);
}

LONGLONG SaturatingAdd(LONGLONG a, LONGLONG b) {
    constexpr LONGLONG kMax = std::numeric_limits<LONGLONG>::max();
    constexpr LONGLONG kMin = std::numeric_limits<LONGLONG>::min();
    if (b > 0 && a > kMax - b) return kMax;
    if (b < 0 && a < kMin - b) return kMin;
    return a + b;
}

// The absolute position a SetPositions argument asks for; false when the
// flags ask for none.
bool Resolve(const LONGLONG* value, DWORD flags, LONGLONG current, LONGLONG* out) {
    switch (flags & AM_SEEKING_PositioningBitsMask) {
        case AM_SEEKING_AbsolutePositioning:
            *out = *value;
            return true;
        case AM_SEEKING_RelativePositioning:
        case AM_SEEKING_IncrementalPositioning:
            *out = SaturatingAdd(current, *value);
            return true;
        default:
            return false;
    }
}

}  // namespace

STDMETHODIMP CDecoderSeeking::GetCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    *capabilities = kCapabilities;
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::CheckCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    const DWORD asked = *capabilities;
    *capabilities &= kCapabilities;
    if (*capabilities == asked) return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

STDMETHODIMP CDecoderSeeking::IsFormatSupported(const GUID* format) {
    if (!format) return E_POINTER;
    return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
}

STDMETHODIMP CDecoderSeeking::QueryPreferredFormat(GUID* format) { return GetTimeFormat(format); }

STDMETHODIMP CDecoderSeeking::GetTimeFormat(GUID* format) {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::IsUsingTimeFormat(const GUID* format) {
    if (!format) return E_POINTER;
    return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
}

STDMETHODIMP CDecoderSeeking::SetTimeFormat(const GUID* format) {
    if (!format) return E_POINTER;
    return IsMediaTime(format) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CDecoderSeeking::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    return m_position->Duration(duration);
}

STDMETHODIMP CDecoderSeeking::GetStopPosition(LONGLONG* stop) {
    if (!stop) return E_POINTER;
    m_position->Positions(nullptr, stop);
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::GetCurrentPosition(LONGLONG* current) {
    if (!current) return E_POINTER;
    m_position->Positions(current, nullptr);
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                const GUID* sourceFormat) {
    if (!target) return E_POINTER;
    if (!IsMediaTime(targetFormat) || !IsMediaTime(sourceFormat)) return E_INVALIDARG;
    *target = source;
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    const bool moveCurrent = (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    const bool moveStop = (stopFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    if ((moveCurrent && !current) || (moveStop && !stop)) return E_POINTER;
    LONGLONG nowCurrent = 0, nowStop = 0;
    m_position->Positions(&nowCurrent, &nowStop);
    LONGLONG newCurrent = nowCurrent, newStop = nowStop;
    if (moveCurrent && !Resolve(current, currentFlags, nowCurrent, &newCurrent)) return E_INVALIDARG;
    if (moveStop && !Resolve(stop, stopFlags, nowStop, &newStop)) return E_INVALIDARG;
    const HRESULT hr = m_position->Reposition(newCurrent, moveCurrent, newStop, moveStop);
    if (FAILED(hr)) return hr;
    if (moveCurrent && (currentFlags & AM_SEEKING_ReturnTime)) *current = newCurrent;
    if (moveStop && (stopFlags & AM_SEEKING_ReturnTime)) *stop = newStop;
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::GetPositions(LONGLONG* current, LONGLONG* stop) {
    if (!current && !stop) return E_POINTER;
    m_position->Positions(current, stop);
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    if (earliest) *earliest = 0;
    if (latest) {
        const HRESULT hr = m_position->Duration(latest);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::SetRate(double rate) { return rate == 1.0 ? S_OK : E_INVALIDARG; }

STDMETHODIMP CDecoderSeeking::GetRate(double* rate) {
    if (!rate) return E_POINTER;
    *rate = 1.0;
    return S_OK;
}

STDMETHODIMP CDecoderSeeking::GetPreroll(LONGLONG* preroll) {
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
}
