// IMediaSeeking for a filter that passes seeking upstream: every call goes
// to the IMediaSeeking of the pin connected to the filter's input pin. When
// that is missing the answer is E_NOTIMPL, so the graph manager passes over
// this filter. The owner is the filter or one of its pins.
#pragma once

#include "base/ComPtr.h"
#include "standins/filterbase/BasePin.h"
#include "standins/filterbase/SeekingBase.h"

class CSeekingPassThru : public CSeekingBase {
public:
    CSeekingPassThru(IUnknown* owner, CBasePin* input) noexcept : CSeekingBase(owner), m_input(input) {}

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
    HRESULT Upstream(ComPtr<IMediaSeeking>& seeking);
    template <class Call>
    HRESULT Forward(Call call) {
        ComPtr<IMediaSeeking> seeking;
        const HRESULT hr = Upstream(seeking);
        return FAILED(hr) ? hr : call(seeking.get());
    }

    CBasePin* const m_input;  // the owning filter's input pin
};
