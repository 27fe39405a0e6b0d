// The sink's buffer between a blocking writer and a blocking reader: whole
// samples, end of stream, and every way a waiter is woken.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "standins/dlnasink/PcmBuffer.h"

namespace {

using namespace std::chrono_literals;

// Generous: only a hang fails.
const auto kHang = 10s;

// Polls until done() holds; false once kHang has passed.
template <class Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kHang;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

template <class T>
bool Returned(std::future<T>& f) {
    return f.wait_for(0ms) == std::future_status::ready;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t first = 0) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(PcmBuffer, ReadsWholeSamplesAndEndsAfterTheLast) {
    CPcmBuffer buffer(64);
    buffer.Start();
    const std::vector<uint8_t> in = Bytes(10);
    ASSERT_EQ(CPcmBuffer::Status::Ok, buffer.Write(in.data(), in.size()));
    uint8_t out[16] = {};
    CPcmBuffer::ReadResult r = buffer.Read(out, 5);  // odd: four bytes
    EXPECT_EQ(CPcmBuffer::Status::Ok, r.status);
    EXPECT_EQ(4u, r.bytes);
    EXPECT_FALSE(r.endOfStream);
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(3, out[3]);

    buffer.EndOfStream();
    r = buffer.Read(out, 4);  // not the last bytes yet
    EXPECT_EQ(4u, r.bytes);
    EXPECT_FALSE(r.endOfStream);
    r = buffer.Read(out, 16);  // the last two bytes come with the flag
    EXPECT_EQ(2u, r.bytes);
    EXPECT_TRUE(r.endOfStream);
    EXPECT_EQ(8, out[0]);
    r = buffer.Read(out, 16);
    EXPECT_EQ(CPcmBuffer::Status::Ok, r.status);
    EXPECT_EQ(0u, r.bytes);
    EXPECT_TRUE(r.endOfStream);
}

TEST(PcmBuffer, AStrayOddByteIsDroppedAtTheEnd) {
    CPcmBuffer buffer(64);
    buffer.Start();
    const std::vector<uint8_t> in = Bytes(3);
    buffer.Write(in.data(), in.size());
    buffer.EndOfStream();
    uint8_t out[4];
    CPcmBuffer::ReadResult r = buffer.Read(out, 4);
    EXPECT_EQ(2u, r.bytes);
    EXPECT_FALSE(r.endOfStream);
    r = buffer.Read(out, 4);
    EXPECT_EQ(0u, r.bytes);
    EXPECT_TRUE(r.endOfStream);
}

TEST(PcmBuffer, WrapsAroundAndKeepsOrderThroughAFullBuffer) {
    CPcmBuffer buffer(6);
    buffer.Start();
    const std::vector<uint8_t> in = Bytes(4000, 1);
    auto writer = std::async(std::launch::async, [&] { return buffer.Write(in.data(), in.size()); });
    std::vector<uint8_t> got;
    uint8_t out[4];
    while (got.size() < in.size()) {
        const CPcmBuffer::ReadResult r = buffer.Read(out, sizeof out);
        ASSERT_EQ(CPcmBuffer::Status::Ok, r.status);
        got.insert(got.end(), out, out + r.bytes);
    }
    ASSERT_EQ(std::future_status::ready, writer.wait_for(kHang));
    EXPECT_EQ(CPcmBuffer::Status::Ok, writer.get());
    EXPECT_EQ(in, got);
}

TEST(PcmBuffer, StopWakesAWriterOnAFullBufferAndAWaitingReader) {
    CPcmBuffer full(4);
    full.Start();
    const std::vector<uint8_t> in = Bytes(16);
    auto writer = std::async(std::launch::async, [&] { return full.Write(in.data(), in.size()); });
    EXPECT_TRUE(WaitUntil([&] { return full.Buffered() == 4; }));
    EXPECT_FALSE(Returned(writer));
    full.Stop();
    ASSERT_EQ(std::future_status::ready, writer.wait_for(kHang));
    EXPECT_EQ(CPcmBuffer::Status::Stopped, writer.get());
    // What was buffered can still be read; after it the reader is told.
    uint8_t out[16];
    EXPECT_EQ(4u, full.Read(out, 16).bytes);
    EXPECT_EQ(CPcmBuffer::Status::Stopped, full.Read(out, 16).status);

    CPcmBuffer empty(64);
    empty.Start();
    auto reader = std::async(std::launch::async, [&] { return empty.Read(out, 16); });
    EXPECT_TRUE(WaitUntil([&] { return empty.WaitingReaders() == 1 || Returned(reader); }));
    EXPECT_FALSE(Returned(reader));
    empty.Stop();
    ASSERT_EQ(std::future_status::ready, reader.wait_for(kHang));
    EXPECT_EQ(0u, empty.WaitingReaders());
    const CPcmBuffer::ReadResult r = reader.get();
    EXPECT_EQ(CPcmBuffer::Status::Stopped, r.status);
    EXPECT_EQ(0u, r.bytes);
}

TEST(PcmBuffer, NeverStartedRefusesAtOnce) {
    CPcmBuffer buffer(64);
    uint8_t out[4];
    EXPECT_EQ(CPcmBuffer::Status::Stopped, buffer.Read(out, 4).status);
    EXPECT_EQ(CPcmBuffer::Status::Stopped, buffer.Write(out, 4));
}

TEST(PcmBuffer, FlushDiscardsWakesTheWriterAndLetsNewDataIn) {
    CPcmBuffer buffer(4);
    buffer.Start();
    const std::vector<uint8_t> old = Bytes(16);
    auto writer = std::async(std::launch::async, [&] { return buffer.Write(old.data(), old.size()); });
    EXPECT_TRUE(WaitUntil([&] { return buffer.Buffered() == 4; }));
    EXPECT_FALSE(Returned(writer));
    buffer.BeginFlush();
    EXPECT_EQ(0u, buffer.Buffered());
    ASSERT_EQ(std::future_status::ready, writer.wait_for(kHang));
    EXPECT_EQ(CPcmBuffer::Status::Flushing, writer.get());
    buffer.EndFlush();

    const std::vector<uint8_t> fresh = Bytes(2, 100);
    buffer.Write(fresh.data(), fresh.size());
    uint8_t out[4];
    const CPcmBuffer::ReadResult r = buffer.Read(out, 4);
    EXPECT_EQ(2u, r.bytes);
    EXPECT_EQ(100, out[0]);
}

TEST(PcmBuffer, StartAfterStopForgetsTheOldStream) {
    CPcmBuffer buffer(64);
    buffer.Start();
    const std::vector<uint8_t> in = Bytes(8);
    buffer.Write(in.data(), in.size());
    buffer.EndOfStream();
    buffer.Stop();
    buffer.Start();
    uint8_t out[8];
    auto reader = std::async(std::launch::async, [&] { return buffer.Read(out, 8); });
    EXPECT_TRUE(WaitUntil([&] { return buffer.WaitingReaders() == 1 || Returned(reader); }));
    EXPECT_FALSE(Returned(reader)) << "old data or end of stream kept";
    buffer.Write(in.data() + 2, 2);
    ASSERT_EQ(std::future_status::ready, reader.wait_for(kHang));
    const CPcmBuffer::ReadResult r = reader.get();
    EXPECT_EQ(2u, r.bytes);
    EXPECT_FALSE(r.endOfStream);
}

}  // namespace
