// ISmfAbsStream over a standard I/O file opened for binary reading. The
// reference count is plain: one adapter is used by one thread at a time.
// Reads go through a block of the file kept here, and seeks only move a
// position: the parser's many small reads and seeks between boxes then cost
// a system call per block instead of two per read. Positions behave as the
// C library's would (a long, never negative).
#pragma once

#include "mp4/SmfAbsStream.h"

#include <cstdint>
#include <cstdio>
#include <vector>

class CSmfAbsStreamImpl : public ISmfAbsStream {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(Tell)(int32_t* position) override;
    STDMETHOD(Seek)(int32_t offset, int32_t origin) override;
    STDMETHOD(Read)(void* buffer, uint32_t count, uint32_t* bytesRead) override;
    STDMETHOD(Write)(const void* data, uint32_t count, uint32_t* bytesWritten) override;
    STDMETHOD(Reserved)(intptr_t first, intptr_t second) override;

    virtual ~CSmfAbsStreamImpl();

private:
    friend ISmfAbsStream* WrapFileStream(FILE* file);
    CSmfAbsStreamImpl() = default;

    static constexpr size_t kBlock = 64 * 1024;

    // Moves the file itself to m_position; false when it cannot.
    bool SeekFile();

    int32_t m_cRef = 0;
    FILE* m_pFile = nullptr;
    int64_t m_position = 0;
    int64_t m_size = -1;  // learnt when first needed
    int64_t m_blockStart = 0;
    std::vector<uint8_t> m_block;  // the file's bytes from m_blockStart
};

// Opens `path` for binary reading; throws the HRESULT E_FAIL when it cannot.
// The returned stream carries one reference owned by the caller.
ISmfAbsStream* OpenFileStream(const wchar_t* path);

// Wraps an open file (the stream then closes it). Throws E_UNEXPECTED for a
// null file and E_OUTOFMEMORY when the object cannot be allocated.
ISmfAbsStream* WrapFileStream(FILE* file);
