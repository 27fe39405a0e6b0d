#include "common/SmfAbsStreamImpl.h"
#include "mp4/SmfMovie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// A temporary file with known contents, removed afterwards.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& content) {
        char name[L_tmpnam];
        path = std::tmpnam(name) ? name : "trn_stream_test.bin";
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::wstring Wide() const { return std::wstring(path.begin(), path.end()); }
};

HRESULT ThrownBy(void (*f)()) {
    try {
        f();
    } catch (HRESULT hr) {
        return hr;
    }
    return S_OK;
}

TEST(FileStream, ReadsSeeksAndTells) {
    TempFile file("0123456789");
    const ComPtr<ISmfAbsStream> ref = AdoptComPtr(OpenFileStream(file.Wide().c_str()));
    ISmfAbsStream* s = ref.get();

    char buf[16] = {};
    uint32_t got = 99;
    EXPECT_EQ(S_OK, s->Read(buf, 4, &got));
    EXPECT_EQ(4u, got);
    EXPECT_EQ(std::string("0123"), std::string(buf, 4));
    EXPECT_EQ(S_OK, s->Seek(0, SMF_SEEK_END));
    int32_t pos = 0;
    EXPECT_EQ(S_OK, s->Tell(&pos));
    EXPECT_EQ(10, pos);
    EXPECT_EQ(S_OK, s->Read(buf, 4, &got));
    EXPECT_EQ(0u, got);
    EXPECT_EQ(E_POINTER, s->Read(buf, 4, nullptr));
    EXPECT_EQ(E_POINTER, s->Tell(nullptr));
    EXPECT_EQ(E_FAIL, s->Seek(-20, SMF_SEEK_SET));
    EXPECT_EQ(S_OK, s->Write("x", 1, &got));
    EXPECT_EQ(0u, got);
    EXPECT_EQ(E_NOTIMPL, s->Reserved(0, 0));
    EXPECT_EQ(10u, s->StreamSize());
}

TEST(FileStream, ReadsAcrossBlocksAndSeeksAnywhere) {
    // 200 KB: more than three of the stream's blocks.
    std::string content(200 * 1024, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 7 + i / 251);
    TempFile file(content);
    const ComPtr<ISmfAbsStream> ref = AdoptComPtr(OpenFileStream(file.Wide().c_str()));
    ISmfAbsStream* s = ref.get();
    std::string buf(100 * 1024, '\0');
    uint32_t got = 0;
    int32_t pos = 0;
    // Small reads running over a block's end, seeks back into a block, a
    // read larger than a block, and reads from the end.
    struct Step {
        int32_t offset, origin;
        uint32_t count;
    } steps[] = {{65530, SMF_SEEK_SET, 12}, {-6, SMF_SEEK_CUR, 3},      {0, SMF_SEEK_SET, 100 * 1024},
                 {-4, SMF_SEEK_END, 16},    {-150000, SMF_SEEK_END, 8}, {1, SMF_SEEK_CUR, 70000},
                 {300000, SMF_SEEK_SET, 4}, {131071, SMF_SEEK_SET, 2}};
    for (const Step& step : steps) {
        ASSERT_EQ(S_OK, s->Seek(step.offset, step.origin));
        ASSERT_EQ(S_OK, s->Tell(&pos));
        const size_t at = size_t(pos);
        ASSERT_EQ(S_OK, s->Read(&buf[0], step.count, &got));
        const size_t expected = at >= content.size() ? 0 : std::min<size_t>(step.count, content.size() - at);
        ASSERT_EQ(expected, got) << at;
        EXPECT_EQ(content.substr(std::min(at, content.size()), expected), buf.substr(0, got)) << at;
        ASSERT_EQ(S_OK, s->Tell(&pos));
        EXPECT_EQ(int32_t(at + got), pos);
    }
    EXPECT_EQ(E_FAIL, s->Seek(-1, SMF_SEEK_SET));
    EXPECT_EQ(E_FAIL, s->Seek(0, 7));
    EXPECT_EQ(uint32_t(content.size()), s->StreamSize());
}

TEST(FileStream, QueryInterfaceAndCounting) {
    TempFile file("x");
    ISmfAbsStream* s = OpenFileStream(file.Wide().c_str());
    void* out = &out;
    const IID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(E_NOINTERFACE, s->QueryInterface(other, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, s->QueryInterface(IID_IUnknown, nullptr));
    ASSERT_EQ(S_OK, s->QueryInterface(IID_ISmfAbsStream, &out));
    EXPECT_EQ(static_cast<void*>(s), out);
    EXPECT_EQ(3u, s->AddRef());
    EXPECT_EQ(0u, s->Release());
    EXPECT_EQ(0u, s->Release());
    EXPECT_EQ(0u, s->Release());  // the last one deletes and closes
}

TEST(FileStream, CreationFailures) {
    EXPECT_EQ(E_FAIL, ThrownBy([] { OpenFileStream(L"/no/such/dir/file.m4a"); }));
    EXPECT_EQ(E_UNEXPECTED, ThrownBy([] { WrapFileStream(nullptr); }));
}

}  // namespace
