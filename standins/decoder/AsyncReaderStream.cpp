#include "AsyncReaderStream.h"

#include <cstring>

#include <new>

ComPtr<ISmfAbsStream> CAsyncReaderStream::Create(IAsyncReader* reader, LONGLONG* length) {
    LONGLONG total = 0, available = 0;
    if (!reader || FAILED(reader->Length(&total, &available)) || total < 0) return nullptr;
    // The library's positions are 32-bit: a longer file is read up to 4 GB.
    if (total > LONGLONG(UINT32_MAX)) total = UINT32_MAX;
    if (length) *length = total;
    ComPtr<ISmfAbsStream> stream;
    stream.attach(new (std::nothrow) CAsyncReaderStream(reader, total));
    return stream;
}

STDMETHODIMP CAsyncReaderStream::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISmfAbsStream)) {
        AddRef();
        *ppv = static_cast<ISmfAbsStream*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CAsyncReaderStream::AddRef() { return ::InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) CAsyncReaderStream::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CAsyncReaderStream::Tell(int32_t* position) {
    if (!position) return E_POINTER;
    *position = int32_t(uint32_t(m_position));
    return S_OK;
}

STDMETHODIMP CAsyncReaderStream::Seek(int32_t offset, int32_t origin) {
    LONGLONG base = 0;
    switch (origin) {
        case SMF_SEEK_SET:
            base = 0;
            break;
        case SMF_SEEK_CUR:
            base = m_position;
            break;
        case SMF_SEEK_END:
            base = m_length;
            break;
        default:
            return E_INVALIDARG;
    }
    const LONGLONG target = base + offset;
    if (target < 0 || target > LONGLONG(UINT32_MAX)) return E_FAIL;
    m_position = target;  // past the end is allowed; reads there return nothing
    return S_OK;
}

STDMETHODIMP CAsyncReaderStream::Read(void* buffer, uint32_t count, uint32_t* bytesRead) {
    if (!bytesRead) return E_POINTER;
    *bytesRead = 0;
    if (m_position >= m_length || count == 0) return S_OK;
    if (!buffer) return E_POINTER;
    LONGLONG left = m_length - m_position;
    const uint32_t n = left < LONGLONG(count) ? uint32_t(left) : count;
    if (!m_window.Read(m_position, buffer, n)) return E_FAIL;
    m_position += n;
    *bytesRead = n;
    return S_OK;
}

STDMETHODIMP CAsyncReaderStream::Write(const void*, uint32_t, uint32_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    return E_NOTIMPL;
}

STDMETHODIMP CAsyncReaderStream::Reserved(intptr_t, intptr_t) { return E_NOTIMPL; }

bool ReadExactly(IAsyncReader* reader, LONGLONG offset, void* buffer, uint32_t size) {
    BYTE* out = static_cast<BYTE*>(buffer);
    while (size > 0) {
        // SyncRead takes a signed 32-bit length.
        const LONG chunk = size > 0x40000000u ? 0x40000000 : LONG(size);
        if (reader->SyncRead(offset, chunk, out) != S_OK) return false;
        offset += chunk;
        out += chunk;
        size -= uint32_t(chunk);
    }
    return true;
}

void CReadAheadWindow::Reset(IAsyncReader* reader) {
    m_reader = ComPtr<IAsyncReader>(reader);
    LONGLONG available = 0;
    m_length = 0;
    if (reader && FAILED(reader->Length(&m_length, &available))) m_length = 0;
    m_start = 0;
    m_data.clear();
}

bool CReadAheadWindow::Read(LONGLONG offset, void* buffer, uint32_t size) {
    if (!m_reader || offset < 0) return false;
    const LONGLONG end = offset + LONGLONG(size);
    if (offset >= m_start && end <= m_start + LONGLONG(m_data.size())) {
        std::memcpy(buffer, m_data.data() + (offset - m_start), size);
        return true;
    }
    // Beyond what the source says it holds, or larger than a window: read
    // it as asked, and let the source decide.
    if (size >= kWindow || end > m_length) return ReadExactly(m_reader.get(), offset, buffer, size);
    const LONGLONG left = m_length - offset;
    m_data.resize(size_t(left < LONGLONG(kWindow) ? left : LONGLONG(kWindow)));
    m_start = offset;
    if (!ReadExactly(m_reader.get(), offset, m_data.data(), uint32_t(m_data.size()))) {
        m_data.clear();
        return false;
    }
    std::memcpy(buffer, m_data.data(), size);
    return true;
}
