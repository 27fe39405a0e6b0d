#include "SmfAbsStreamImpl.h"

#include <new>
#include <string>

CSmfAbsStreamImpl::~CSmfAbsStreamImpl() {
    if (m_pFile) fclose(m_pFile);
}

STDMETHODIMP CSmfAbsStreamImpl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISmfAbsStream)) {
        AddRef();
        *ppv = static_cast<ISmfAbsStream*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CSmfAbsStreamImpl::AddRef() { return ULONG(++m_cRef); }

STDMETHODIMP_(ULONG) CSmfAbsStreamImpl::Release() {
    if (--m_cRef == 0) delete this;
    return 0;
}

STDMETHODIMP CSmfAbsStreamImpl::Tell(int32_t* position) {
    if (!position) return E_POINTER;
    long pos = ftell(m_pFile);
    *position = int32_t(pos);
    return pos == -1 ? E_FAIL : S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Seek(int32_t offset, int32_t origin) {
    return fseek(m_pFile, long(offset), int(origin)) != 0 ? E_FAIL : S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Read(void* buffer, uint32_t count, uint32_t* bytesRead) {
    if (!bytesRead) return E_POINTER;
    *bytesRead = uint32_t(fread(buffer, 1, count, m_pFile));
    return S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Write(const void* data, uint32_t count, uint32_t* bytesWritten) {
    if (!bytesWritten) return E_POINTER;
    *bytesWritten = uint32_t(fwrite(data, 1, count, m_pFile));
    return S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Reserved(intptr_t, intptr_t) { return E_NOTIMPL; }

ISmfAbsStream* WrapFileStream(FILE* file) {
    CSmfAbsStreamImpl* stream = new (std::nothrow) CSmfAbsStreamImpl();
    if (!stream) {
        // The file was handed over; do not leak it.
        if (file) fclose(file);
        throw HRESULT(E_OUTOFMEMORY);
    }
    stream->AddRef();
    if (!file) {
        stream->Release();
        throw HRESULT(E_UNEXPECTED);
    }
    stream->m_pFile = file;
    return stream;
}

#ifdef _WIN32

ISmfAbsStream* OpenFileStream(const wchar_t* path) {
    FILE* file = nullptr;
    if (!path || _wfopen_s(&file, path, L"rb") != 0 || !file) throw HRESULT(E_FAIL);
    return WrapFileStream(file);
}

#else

namespace {

// UTF-8 of a UTF-32 path, as the native file system expects.
std::string Utf8FromWide(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) {
        uint32_t c = uint32_t(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

ISmfAbsStream* OpenFileStream(const wchar_t* path) {
    if (!path) throw HRESULT(E_FAIL);
    FILE* file = fopen(Utf8FromWide(path).c_str(), "rb");
    if (!file) throw HRESULT(E_FAIL);
    return WrapFileStream(file);
}

#endif
