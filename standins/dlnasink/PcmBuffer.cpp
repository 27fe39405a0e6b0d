#include "standins/dlnasink/PcmBuffer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

CPcmBuffer::CPcmBuffer(size_t capacity)
    : m_ring(new uint8_t[std::max<size_t>(capacity, 2)]), m_capacity(std::max<size_t>(capacity, 2)) {}

void CPcmBuffer::SetCapacity(size_t capacity) {
    capacity = std::max<size_t>(capacity, 2);
    std::unique_ptr<uint8_t[]> ring(new uint8_t[capacity]);
    std::lock_guard<std::mutex> lock(m_cs);
    m_ring = std::move(ring);
    m_capacity = capacity;
    ClearLocked();
}

size_t CPcmBuffer::Capacity() const {
    std::lock_guard<std::mutex> lock(m_cs);
    return m_capacity;
}

void CPcmBuffer::ClearLocked() {
    m_head = 0;
    m_size = 0;
}

void CPcmBuffer::Start() {
    std::lock_guard<std::mutex> lock(m_cs);
    ClearLocked();
    m_running = true;
    m_flushing = false;
    m_endOfStream = false;
}

void CPcmBuffer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_cs);
        m_running = false;
    }
    m_readable.notify_all();
    m_writable.notify_all();
}

void CPcmBuffer::BeginFlush() {
    {
        std::lock_guard<std::mutex> lock(m_cs);
        ClearLocked();
        m_flushing = true;
        m_endOfStream = false;
    }
    m_readable.notify_all();
    m_writable.notify_all();
}

void CPcmBuffer::EndFlush() {
    std::lock_guard<std::mutex> lock(m_cs);
    ClearLocked();
    m_flushing = false;
    m_endOfStream = false;
}

void CPcmBuffer::EndOfStream() {
    {
        std::lock_guard<std::mutex> lock(m_cs);
        m_endOfStream = true;
    }
    m_readable.notify_all();
}

CPcmBuffer::Status CPcmBuffer::Write(const uint8_t* data, size_t bytes) {
    std::unique_lock<std::mutex> lock(m_cs);
    while (bytes > 0) {
        m_writable.wait(lock, [&] { return !m_running || m_flushing || m_size < m_capacity; });
        if (!m_running) return Status::Stopped;
        if (m_flushing) return Status::Flushing;
        const size_t capacity = m_capacity;
        const size_t tail = (m_head + m_size) % capacity;
        const size_t chunk = std::min({bytes, capacity - m_size, capacity - tail});
        std::memcpy(&m_ring[tail], data, chunk);
        const size_t before = m_size;
        m_size += chunk;
        data += chunk;
        bytes -= chunk;
        // The reader wakes for its first sample and for its block, or when
        // the buffer is full, not for every write in between.
        if (m_waitingReaders && ((before < 2 && m_size >= 2) || m_size >= m_readerWants || m_size == capacity))
            m_readable.notify_all();
    }
    return Status::Ok;
}

CPcmBuffer::ReadResult CPcmBuffer::Read(uint8_t* out, size_t count) {
    count &= ~size_t(1);
    std::unique_lock<std::mutex> lock(m_cs);
    const size_t gather = std::min({count, kGatherBytes, m_capacity});
    const auto ready = [&] { return !m_running || m_endOfStream || m_size >= 2 || count == 0; };
    const auto gathered = [&] { return !m_running || m_endOfStream || m_size >= gather; };
    if (!gathered()) {
        ++m_waitingReaders;
        m_readerWants = gather;
        m_readable.wait(lock, ready);
        m_readable.wait_for(lock, std::chrono::milliseconds(kGatherMs), gathered);
        --m_waitingReaders;
    }
    // A stray odd byte at the end cannot form a sample.
    if (m_endOfStream && m_size == 1) ClearLocked();
    const size_t capacity = m_capacity;
    size_t done = 0;
    const size_t wanted = std::min(count, m_size & ~size_t(1));
    while (done < wanted) {
        const size_t chunk = std::min(wanted - done, capacity - m_head);
        std::memcpy(out + done, &m_ring[m_head], chunk);
        m_head = (m_head + chunk) % capacity;
        m_size -= chunk;
        done += chunk;
    }
    if (done > 0) m_writable.notify_all();
    const bool ended = m_endOfStream && m_size == 0;
    if (done == 0 && !m_running) return {Status::Stopped, 0, false};
    return {Status::Ok, done, ended};
}

size_t CPcmBuffer::Buffered() const {
    std::lock_guard<std::mutex> lock(m_cs);
    return m_size;
}

size_t CPcmBuffer::WaitingReaders() const {
    std::lock_guard<std::mutex> lock(m_cs);
    return m_waitingReaders;
}
