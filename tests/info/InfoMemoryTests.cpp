// The info object when memory runs out, linked from the product library so
// that the parser factory's allocation can be refused: a failure the host
// and the error log must see as one, never an answer.
#include <gtest/gtest.h>

#include <objbase.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/TrnMp4ParserImpl.h"
#include "info/M4aConverterInfo.h"
#include "module/ModuleGlobals.h"
#include "oplogsys/LogSysInfo.h"
#include "oplogsys/ModuleLogger.h"
#include "tests/host/HostSupport.h"
#include "tests/module/AllocationFault.h"

using namespace hosttest;

namespace {

// Keeps the error entries instead of writing the shared error log.
class CaptureSystem : public opLogSys::COutputLogSystem {
public:
    CaptureSystem(opLogSys::ILogSysInfo* info, std::vector<std::wstring>* sink)
        : COutputLogSystem(L"tarn.debug", info, L"", 0xA00000, false), m_sink(sink) {}
    HRESULT ErrorWrite(const wchar_t* text) override {
        m_sink->push_back(text);
        return S_OK;
    }

private:
    std::vector<std::wstring>* m_sink;
};

class InfoMemory : public ::testing::Test {
protected:
    void SetUp() override {
        opLogSys::CLogSysInfo* info = new opLogSys::CLogSysInfo();
        info->GetOutputLogState()->AddFilter(L"Default", 1, 1);
        std::unique_ptr<opLogSys::COutputLogSystem> system(new CaptureSystem(info, &m_entries));
        info->Release();
        trn::ModuleLogger()->ReplaceLogSystemForTest(std::move(system));
        ASSERT_EQ(S_OK, CComObject<CM4aConverterInfo>::CreateInstance(IID_ITrnMediaTranscoderInfo, m_info.put_void()));
    }
    void TearDown() override { trn::ModuleLogger()->ReplaceLogSystemForTest(nullptr); }

    // The entries written so far that report running out of memory.
    size_t OutOfMemoryEntries() const {
        size_t count = 0;
        for (const std::wstring& entry : m_entries)
            if (entry.find(L"HRESULT(0x8007000e:") != std::wstring::npos &&
                entry.find(L" {.\\M4aConverterInfo,") != std::wstring::npos)
                ++count;
        return count;
    }

    std::vector<std::wstring> m_entries;
    ComPtr<ITrnMediaTranscoderInfo> m_info;
};

TEST_F(InfoMemory, AParserThatCannotBeMadeIsOutOfMemory) {
    const SourceVariant source(SamplePath(L"aac-48000-mp42.mp4"));
    const ComPtr<IMediaFormat> target = MakeFormat(Lpcm48000());
    ASSERT_TRUE(target);
    // Each call refuses the parser's allocation once.
    const auto refusingTheParser = [](const std::function<HRESULT()>& call) {
        HRESULT hr = S_OK;
        long refused = 0;
        {
            const alloctest::CAllocationFault fault(sizeof(CTrnMp4ParserImpl), 1);
            hr = call();
            refused = fault.Failed();
        }
        EXPECT_EQ(1, refused) << "the parser was not made";
        return hr;
    };

    SAFEARRAY* formats = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, refusingTheParser([&] { return m_info->GetFormatsForSource(source.get(), &formats); }));
    EXPECT_EQ(nullptr, formats);
    EXPECT_EQ(1u, OutOfMemoryEntries());

    VARIANT_BOOL convertible = 0x1234;
    EXPECT_EQ(E_OUTOFMEMORY,
              refusingTheParser([&] { return m_info->CanConvert(source.get(), target.get(), &convertible); }));
    EXPECT_EQ(0x1234, convertible);
    EXPECT_EQ(2u, OutOfMemoryEntries());

    SAFEARRAY* properties = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY,
              refusingTheParser([&] { return m_info->GetProperties(source.get(), target.get(), &properties); }));
    EXPECT_EQ(nullptr, properties);

    // With memory again, the same questions have their answers.
    EXPECT_EQ(S_OK, m_info->GetFormatsForSource(source.get(), &formats));
    EXPECT_EQ(2u, TakeFormatList(formats).size());
    EXPECT_EQ(S_OK, m_info->CanConvert(source.get(), target.get(), &convertible));
    EXPECT_EQ(VARIANT_TRUE, convertible);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    SetArguments(argc, argv);
    ComScope com;
    return RUN_ALL_TESTS();
}
