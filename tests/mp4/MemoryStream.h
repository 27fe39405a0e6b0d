// In-memory ISmfAbsStream for tests and fuzzing. It counts its calls so that
// tests can assert how the reader uses the stream.
#pragma once

#include "mp4/SmfAbsStream.h"
#include "mp4/SmfMovie.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class CMemoryStream : public ISmfAbsStream {
public:
    explicit CMemoryStream(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    virtual ~CMemoryStream() = default;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISmfAbsStream)) {
            AddRef();
            *ppv = static_cast<ISmfAbsStream*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++m_refs); }
    STDMETHOD_(ULONG, Release)() override {
        ULONG left = ULONG(--m_refs);
        if (left == 0) delete this;
        return left;
    }
    STDMETHOD(Tell)(int32_t* position) override {
        ++tellCalls;
        if (!position) return E_POINTER;
        *position = int32_t(uint32_t(m_pos));
        return S_OK;
    }
    STDMETHOD(Seek)(int32_t offset, int32_t origin) override {
        ++seekCalls;
        int64_t base = origin == SMF_SEEK_SET ? 0 : origin == SMF_SEEK_CUR ? m_pos : int64_t(m_data.size());
        int64_t target = base + offset;
        if (target < 0 || failSeeks) return E_FAIL;
        m_pos = target;
        return S_OK;
    }
    STDMETHOD(Read)(void* buffer, uint32_t count, uint32_t* bytesRead) override {
        ++readCalls;
        if (!bytesRead) return E_POINTER;
        *bytesRead = 0;
        if (m_pos >= int64_t(m_data.size())) return S_OK;
        uint32_t n = uint32_t(std::min<int64_t>(count, int64_t(m_data.size()) - m_pos));
        std::copy(m_data.begin() + m_pos, m_data.begin() + m_pos + n, static_cast<uint8_t*>(buffer));
        m_pos += n;
        bytesRead[0] = n;
        return S_OK;
    }
    STDMETHOD(Write)(const void*, uint32_t, uint32_t* bytesWritten) override {
        if (!bytesWritten) return E_POINTER;
        *bytesWritten = 0;
        return S_OK;
    }
    STDMETHOD(Reserved)(intptr_t, intptr_t) override { return E_NOTIMPL; }

    void ResetCounts() { readCalls = seekCalls = tellCalls = 0; }

    int readCalls = 0;
    int seekCalls = 0;
    int tellCalls = 0;
    bool failSeeks = false;

private:
    std::vector<uint8_t> m_data;
    int64_t m_pos = 0;
    long m_refs = 0;
};

// A memory stream held by one reference.
struct MemoryStreamRef {
    explicit MemoryStreamRef(std::vector<uint8_t> data) : stream(new CMemoryStream(std::move(data))), ref(stream) {}
    CMemoryStream* operator->() const { return stream; }
    CMemoryStream* stream;
    ComPtr<ISmfAbsStream> ref;
};
