#include "standins/filterbase/SeekingPassThru.h"

HRESULT CSeekingPassThru::Upstream(ComPtr<IMediaSeeking>& seeking) {
    ComPtr<IPin> peer = m_input->Peer();
    if (!peer) return E_NOTIMPL;
    return SUCCEEDED(peer.query_to(IID_IMediaSeeking, seeking)) ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CSeekingPassThru::GetCapabilities(DWORD* capabilities) {
    return Forward([&](IMediaSeeking* s) { return s->GetCapabilities(capabilities); });
}
STDMETHODIMP CSeekingPassThru::CheckCapabilities(DWORD* capabilities) {
    return Forward([&](IMediaSeeking* s) { return s->CheckCapabilities(capabilities); });
}
STDMETHODIMP CSeekingPassThru::IsFormatSupported(const GUID* format) {
    return Forward([&](IMediaSeeking* s) { return s->IsFormatSupported(format); });
}
STDMETHODIMP CSeekingPassThru::QueryPreferredFormat(GUID* format) {
    return Forward([&](IMediaSeeking* s) { return s->QueryPreferredFormat(format); });
}
STDMETHODIMP CSeekingPassThru::GetTimeFormat(GUID* format) {
    return Forward([&](IMediaSeeking* s) { return s->GetTimeFormat(format); });
}
STDMETHODIMP CSeekingPassThru::IsUsingTimeFormat(const GUID* format) {
    return Forward([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(format); });
}
STDMETHODIMP CSeekingPassThru::SetTimeFormat(const GUID* format) {
    return Forward([&](IMediaSeeking* s) { return s->SetTimeFormat(format); });
}
STDMETHODIMP CSeekingPassThru::GetDuration(LONGLONG* duration) {
    return Forward([&](IMediaSeeking* s) { return s->GetDuration(duration); });
}
STDMETHODIMP CSeekingPassThru::GetStopPosition(LONGLONG* stop) {
    return Forward([&](IMediaSeeking* s) { return s->GetStopPosition(stop); });
}
STDMETHODIMP CSeekingPassThru::GetCurrentPosition(LONGLONG* current) {
    return Forward([&](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
}
STDMETHODIMP CSeekingPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                 const GUID* sourceFormat) {
    return Forward([&](IMediaSeeking* s) { return s->ConvertTimeFormat(target, targetFormat, source, sourceFormat); });
}
STDMETHODIMP CSeekingPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    return Forward([&](IMediaSeeking* s) { return s->SetPositions(current, currentFlags, stop, stopFlags); });
}
STDMETHODIMP CSeekingPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) {
    return Forward([&](IMediaSeeking* s) { return s->GetPositions(current, stop); });
}
STDMETHODIMP CSeekingPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    return Forward([&](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
}
STDMETHODIMP CSeekingPassThru::SetRate(double rate) {
    return Forward([&](IMediaSeeking* s) { return s->SetRate(rate); });
}
STDMETHODIMP CSeekingPassThru::GetRate(double* rate) {
    return Forward([&](IMediaSeeking* s) { return s->GetRate(rate); });
}
STDMETHODIMP CSeekingPassThru::GetPreroll(LONGLONG* preroll) {
    return Forward([&](IMediaSeeking* s) { return s->GetPreroll(preroll); });
}
