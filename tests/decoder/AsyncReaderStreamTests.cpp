// The decoder's byte stream over a file source: the bytes it hands the MP4
// library, and how many SyncReads reading a track costs.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AacTrack.h"
#include "AsyncReaderStream.h"

namespace {

// A file source over bytes in memory that counts its SyncReads.
class CMemoryReader final : public IAsyncReader {
public:
    explicit CMemoryReader(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IAsyncReader)) {
            *ppv = static_cast<IAsyncReader*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
    STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
    STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override {
        ++syncReads;
        if (position < 0 || length < 0 || uint64_t(position) + uint64_t(length) > m_bytes.size()) return S_FALSE;
        std::copy(m_bytes.begin() + position, m_bytes.begin() + position + length, buffer);
        return S_OK;
    }
    STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override {
        *total = *available = LONGLONG(m_bytes.size());
        return S_OK;
    }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }

    int syncReads = 0;

private:
    std::vector<uint8_t> m_bytes;
};

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + (i >> 9));
    return bytes;
}

TEST(AsyncReaderStream, HandsOnTheFileBytesAcrossWindowsAndStopsAtTheEnd) {
    const size_t size = CReadAheadWindow::kWindow * 2 + 12345;
    const std::vector<uint8_t> bytes = Pattern(size);
    CMemoryReader reader(bytes);
    LONGLONG length = 0;
    const ComPtr<ISmfAbsStream> stream = CAsyncReaderStream::Create(&reader, &length);
    ASSERT_TRUE(stream);
    EXPECT_EQ(LONGLONG(size), length);

    // Odd-sized reads that straddle every window edge, one larger than a
    // window, then a seek back and a read running past the end.
    std::vector<uint8_t> got;
    const uint32_t sizes[] = {1, 4093, 70000, CReadAheadWindow::kWindow + 3, 9};
    for (size_t i = 0; got.size() < size; ++i) {
        std::vector<uint8_t> part(sizes[i % 5]);
        uint32_t n = 0;
        ASSERT_EQ(S_OK, stream->Read(part.data(), uint32_t(part.size()), &n));
        ASSERT_TRUE(n == part.size() || got.size() + n == size) << got.size();
        got.insert(got.end(), part.begin(), part.begin() + n);
    }
    EXPECT_TRUE(got == bytes);
    uint32_t n = 1;
    uint8_t byte = 0;
    EXPECT_EQ(S_OK, stream->Read(&byte, 1, &n));
    EXPECT_EQ(0u, n);

    ASSERT_EQ(S_OK, stream->Seek(int32_t(CReadAheadWindow::kWindow - 2), 0));
    uint8_t four[4] = {};
    ASSERT_EQ(S_OK, stream->Read(four, 4, &n));
    EXPECT_EQ(4u, n);
    EXPECT_TRUE(std::equal(four, four + 4, bytes.begin() + CReadAheadWindow::kWindow - 2));
}

TEST(AsyncReaderStream, ATrackIsReadInAFewSyncReads) {
    // The library reads boxes a few bytes at a time: one SyncRead each would
    // cost a graph build tens of milliseconds under Wine.
    std::ifstream file(TRN_TESTDATA_DIR "/aac-44100-stereo.m4a", std::ios::binary);
    ASSERT_TRUE(file);
    CMemoryReader reader(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
    LONGLONG length = 0;
    const ComPtr<ISmfAbsStream> stream = CAsyncReaderStream::Create(&reader, &length);
    ASSERT_TRUE(stream);
    CAacTrack track;
    ASSERT_EQ(S_OK, track.Open(stream.get(), uint64_t(length), PcmSource::Decoder));
    EXPECT_GT(track.Frames().Count(), 0u);
    EXPECT_LE(reader.syncReads, 4);
}

}  // namespace
