// The MP4 library's byte stream over the file source's IAsyncReader: reads
// at a position kept here, clamped to the file's length, go through a window
// of the file, since the library reads a box a few bytes at a time and each
// SyncRead costs several server round trips under Wine.
#pragma once

#include <cstdint>
#include <vector>

#include "base/ComPtr.h"
#include "mp4/SmfAbsStream.h"
#include "standins/filterbase/DShow.h"

// Reads `size` bytes at `offset`; false unless all of them arrive.
bool ReadExactly(IAsyncReader* reader, LONGLONG offset, void* buffer, uint32_t size);

// Frame reads through a window of the file: a run of small reads close
// together costs one SyncRead into the file source instead of one each.
class CReadAheadWindow {
public:
    static constexpr uint32_t kWindow = 256 * 1024;

    void Reset(IAsyncReader* reader);
    // Reads `size` bytes at `offset`; false unless all of them arrive.
    bool Read(LONGLONG offset, void* buffer, uint32_t size);

private:
    ComPtr<IAsyncReader> m_reader;
    LONGLONG m_length = 0;
    LONGLONG m_start = 0;  // file offset of m_data[0]
    std::vector<uint8_t> m_data;
};

class CAsyncReaderStream : public ISmfAbsStream {
public:
    // A stream with one reference for the caller; null when the reader
    // cannot tell its length.
    static ComPtr<ISmfAbsStream> Create(IAsyncReader* reader, LONGLONG* length);

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(Tell)(int32_t* position) override;
    STDMETHOD(Seek)(int32_t offset, int32_t origin) override;
    STDMETHOD(Read)(void* buffer, uint32_t count, uint32_t* bytesRead) override;
    STDMETHOD(Write)(const void* data, uint32_t count, uint32_t* bytesWritten) override;
    STDMETHOD(Reserved)(intptr_t first, intptr_t second) override;

private:
    CAsyncReaderStream(IAsyncReader* reader, LONGLONG length) : m_length(length) { m_window.Reset(reader); }
    virtual ~CAsyncReaderStream() = default;

    CReadAheadWindow m_window;
    const LONGLONG m_length;
    LONGLONG m_position = 0;
    LONG m_refs = 1;
};
