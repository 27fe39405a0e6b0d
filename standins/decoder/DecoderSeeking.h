// IMediaSeeking in media time over the decoder's position. The filter and
// its output pin each expose one of these, as its owner; both act on the
// same position.
#pragma once

#include "standins/filterbase/SeekingBase.h"

// The position the seeking interface acts on; implemented by the filter.
class IDecoderPosition {
public:
    // E_UNEXPECTED while there is no track.
    virtual HRESULT Duration(LONGLONG* duration) = 0;
    virtual void Positions(LONGLONG* current, LONGLONG* stop) = 0;
    // Absolute positions; `setCurrent`/`setStop` say which are given.
    virtual HRESULT Reposition(LONGLONG current, bool setCurrent, LONGLONG stop, bool setStop) = 0;

protected:
    ~IDecoderPosition() = default;
};

class CDecoderSeeking : public CSeekingBase {
public:
    static constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                           AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                                           AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;

    CDecoderSeeking(IUnknown* owner, IDecoderPosition* position) noexcept : CSeekingBase(owner), m_position(position) {}

    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

private:
    IDecoderPosition* const m_position;
};
