#include "SmfAbsStreamImpl.h"

#include <cstring>
#include <limits>
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

namespace {

// The positions the C library's ftell and fseek can express.
const int64_t kMaxPosition = int64_t(std::numeric_limits<long>::max());

}  // namespace

bool CSmfAbsStreamImpl::SeekFile() {
#ifdef _WIN32
    return _fseeki64(m_pFile, m_position, SEEK_SET) == 0;
#else
    return fseeko(m_pFile, off_t(m_position), SEEK_SET) == 0;
#endif
}

STDMETHODIMP CSmfAbsStreamImpl::Tell(int32_t* position) {
    if (!position) return E_POINTER;
    *position = int32_t(m_position);
    return S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Seek(int32_t offset, int32_t origin) {
    int64_t base = 0;
    if (origin == SEEK_CUR) {
        base = m_position;
    } else if (origin == SEEK_END) {
        if (m_size < 0) {
#ifdef _WIN32
            if (_fseeki64(m_pFile, 0, SEEK_END) != 0) return E_FAIL;
            m_size = _ftelli64(m_pFile);
#else
            if (fseeko(m_pFile, 0, SEEK_END) != 0) return E_FAIL;
            m_size = int64_t(ftello(m_pFile));
#endif
            if (m_size < 0) return E_FAIL;
        }
        base = m_size;
    } else if (origin != SEEK_SET) {
        return E_FAIL;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > kMaxPosition) return E_FAIL;
    m_position = target;
    return S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Read(void* buffer, uint32_t count, uint32_t* bytesRead) {
    if (!bytesRead) return E_POINTER;
    *bytesRead = 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const int64_t offset = m_position - m_blockStart;
        if (offset >= 0 && offset < int64_t(m_block.size())) {
            const size_t available = m_block.size() - size_t(offset);
            const size_t n = available < count ? available : count;
            std::memcpy(out, m_block.data() + offset, n);
            out += n;
            count -= uint32_t(n);
            *bytesRead += uint32_t(n);
            m_position += int64_t(n);
            continue;
        }
        if (!SeekFile()) break;
        if (count >= kBlock) {
            // Large reads go straight to the caller.
            const size_t n = fread(out, 1, count, m_pFile);
            *bytesRead += uint32_t(n);
            m_position += int64_t(n);
            break;
        }
        m_block.resize(kBlock);
        const size_t n = fread(m_block.data(), 1, kBlock, m_pFile);
        m_block.resize(n);
        m_blockStart = m_position;
        if (n == 0) break;
    }
    return S_OK;
}

STDMETHODIMP CSmfAbsStreamImpl::Write(const void* data, uint32_t count, uint32_t* bytesWritten) {
    if (!bytesWritten) return E_POINTER;
    *bytesWritten = 0;
    m_block.clear();
    m_size = -1;
    if (!SeekFile()) return S_OK;
    *bytesWritten = uint32_t(fwrite(data, 1, count, m_pFile));
    m_position += *bytesWritten;
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
