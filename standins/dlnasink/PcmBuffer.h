// The sink's bounded byte buffer between the streaming thread (Write) and
// the host's reader (Read). Write blocks while the buffer is full, Read
// while it is empty; Stop and flushing wake both. Reads hand out whole
// 16-bit samples only, and gather a sizeable block for a short while rather
// than wake for every small write. Portable: no platform headers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <memory>

class CPcmBuffer {
public:
    enum class Status { Ok, Stopped, Flushing };

    explicit CPcmBuffer(size_t capacity);

    // Resizes and empties the buffer (two bytes at least); only while stopped.
    void SetCapacity(size_t capacity);
    size_t Capacity() const;

    // Paused from stopped: empty, running, no end of stream.
    void Start();
    // Wakes every waiter; later Writes are refused. What is buffered stays
    // readable until the next Start.
    void Stop();
    // Discards the data and wakes a blocked Write, which drops the rest of
    // its block; Writes are dropped until EndFlush.
    void BeginFlush();
    void EndFlush();
    // No more data until the next Start or flush.
    void EndOfStream();

    // Copies all of data in, waiting for room as the reader drains it.
    Status Write(const uint8_t* data, size_t bytes);

    struct ReadResult {
        Status status;
        size_t bytes;      // always even
        bool endOfStream;  // the stream ended and nothing is left
    };
    // Bytes a reader gathers before it is woken, and for how long at most
    // once some data is there.
    static constexpr size_t kGatherBytes = 65536;
    static constexpr int kGatherMs = 20;

    // Waits until data is there, the stream has ended, or the buffer is
    // stopped; then, for at most kGatherMs, until min(count, kGatherBytes)
    // bytes are there; then copies up to count & ~1 bytes. Stopped is returned when
    // the buffer is stopped and nothing could be copied. The end-of-stream
    // flag comes with the last bytes already when they empty the buffer.
    ReadResult Read(uint8_t* out, size_t count);

    // For tests that wait until the writer is held up or a reader waits.
    size_t Buffered() const;
    size_t WaitingReaders() const;

private:
    void ClearLocked();

    mutable std::mutex m_cs;
    std::condition_variable m_readable;  // data a reader waits for, stop, flush or end
    std::condition_variable m_writable;  // room, stop or flush
    // Never read before it is written, so it is left uninitialised: filling
    // 5 MB with zeros touched every page at each graph build.
    std::unique_ptr<uint8_t[]> m_ring;
    size_t m_capacity = 0;
    size_t m_head = 0;  // oldest byte
    size_t m_size = 0;
    bool m_running = false;
    bool m_flushing = false;
    bool m_endOfStream = false;
    size_t m_waitingReaders = 0;
    size_t m_readerWants = 0;  // bytes that wake the waiting reader
};
