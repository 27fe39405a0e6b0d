// The log core: counting, entry formatting, indentation, blocks, per-thread
// logs, filtering, printf cutting and the error text forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "TestSupport.h"
#include "oplogsys/Log.h"
#include "oplogsys/OutputLogSystem.h"

using namespace opLogSys;
using testsupport::CCaptureFactory;
using testsupport::CCaptureIO;

namespace {

SYSTEMTIME FixedTime() {
    SYSTEMTIME time = {};
    time.wYear = 2011;
    time.wMonth = 6;
    time.wDay = 30;
    time.wHour = 14;
    time.wMinute = 5;
    time.wSecond = 9;
    time.wMilliseconds = 7;
    return time;
}

// A log system with a capturing back-end and a filter the test fills.
struct CapturedSystem {
    Common::CRefPtr<CCaptureIO> io{new CCaptureIO()};
    Common::CRefPtr<CLogSysInfo> info{new CLogSysInfo()};
    std::unique_ptr<COutputLogSystem> system;

    explicit CapturedSystem(const wchar_t* errorLogPath = L"") {
        info->SetFactory(new CCaptureFactory(io.get()));
        system.reset(new COutputLogSystem(L"tarn.debug", info.get(), errorLogPath, 0xA00000, false));
    }
    CCaptureFactory* Factory() {
        Common::CRefPtr<IOutputLogSystemFactory> factory(info->GetFactory());
        return static_cast<CCaptureFactory*>(factory.get());
    }
    // Entry texts with the "[id][date(time)]" header taken off.
    std::vector<std::wstring> Entries() {
        static const std::wregex header(
            L"^\\[[0-9A-F]{8}\\]\\[\\d{4}/\\d\\d/\\d\\d\\(\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\)\\]");
        std::vector<std::wstring> entries;
        std::wstring text = io->Text();
        size_t start = 0;
        for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
            entries.push_back(std::regex_replace(text.substr(start, end - start), header, L""));
        return entries;
    }
};

class CTracked : public Common::CReference<IReference> {
public:
    explicit CTracked(bool* destroyed) : m_pDestroyed(destroyed) {}
    ~CTracked() override { *m_pDestroyed = true; }

private:
    bool* m_pDestroyed;
};

}  // namespace

TEST(ReferenceTest, StartsAtOneAndDeletesItselfAtZero) {
    bool destroyed = false;
    IReference* object = new CTracked(&destroyed);
    EXPECT_EQ(2, object->AddRef());
    EXPECT_EQ(1, object->Release());
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(0, object->Release());
    EXPECT_TRUE(destroyed);
}

TEST(LogTest, EntryIsHeaderTextAndCrLfUnderOneLock) {
    Common::CRefPtr<CCaptureIO> io(new CCaptureIO());
    Common::CRefPtr<CLog> log(new CLog(0xABCD, io.get()));
    const SYSTEMTIME time = FixedTime();
    EXPECT_EQ(0, log->WriteAt(&time, L"hello"));
    const std::vector<std::wstring> expected = {L"Lock", L"W:[0000ABCD][2011/06/30(14:05:09.007)]", L"W:hello",
                                                L"W:\r\n", L"Unlock"};
    EXPECT_EQ(expected, io->Calls());
    EXPECT_EQ(0xABCDu, log->GetId());
}

TEST(LogTest, IndentationMarksLevelsAboveTheFirstUpTo63) {
    Common::CRefPtr<CCaptureIO> io(new CCaptureIO());
    Common::CRefPtr<CLog> log(new CLog(1, io.get()));
    const SYSTEMTIME time = FixedTime();
    const std::wstring header = L"W:[00000001][2011/06/30(14:05:09.007)]";
    auto headerAt = [&](int level) {
        while (log->GetIndent() < level) log->Indent();
        while (log->GetIndent() > level) log->Unindent();
        const size_t before = io->Calls().size();
        log->WriteAt(&time, L"x");
        return io->Calls()[before + 1];
    };
    EXPECT_EQ(header, headerAt(0));
    EXPECT_EQ(header, headerAt(1));
    EXPECT_EQ(header + L"\x5286\x5286", headerAt(3));
    EXPECT_EQ(header + std::wstring(63, L'\x5286'), headerAt(64));
    EXPECT_EQ(header + std::wstring(63, L'\x5286'), headerAt(100));

    while (log->GetIndent() > 0) log->Unindent();
    EXPECT_EQ(0, log->Unindent());
    EXPECT_EQ(0, log->GetIndent());
}

TEST(LogTest, BlockHoldsTheLockAndFlushesOnlyWhenTheOutermostCloses) {
    Common::CRefPtr<CCaptureIO> io(new CCaptureIO());
    Common::CRefPtr<CLog> log(new CLog(1, io.get()));
    log->Begin();
    log->Begin();
    log->End();
    log->End();
    const std::vector<std::wstring> expected = {L"Lock", L"Lock", L"Unlock", L"Flush", L"Unlock"};
    EXPECT_EQ(expected, io->Calls());
}

TEST(LogTest, LogWithoutOutputDropsEntries) {
    Common::CRefPtr<CLog> log(new CLog(1, nullptr));
    EXPECT_EQ(0, log->Write(L"nowhere"));
    EXPECT_EQ(0, log->Begin());
    EXPECT_EQ(0, log->End());
}

TEST(ErrorLogTest, EntryCarriesDateTimeProcessAndThread) {
    Common::CRefPtr<CCaptureIO> io(new CCaptureIO());
    Common::CRefPtr<CErrorLog> log(new CErrorLog(io.get()));
    const SYSTEMTIME time = FixedTime();
    log->WriteAt(&time, L"boom");
    wchar_t header[64];
    swprintf(header, 64, L"W:[2011/06/30 14:05:09.007][%X][%08X] ", static_cast<unsigned>(GetCurrentProcessId()),
             static_cast<unsigned>(GetCurrentThreadId()));
    const std::vector<std::wstring> expected = {L"Lock", header, L"W:boom", L"W:\r\n", L"Unlock"};
    EXPECT_EQ(expected, io->Calls());
    EXPECT_EQ(1, log->Indent());
    EXPECT_EQ(1, log->Begin());
    EXPECT_EQ(1, log->End());
    EXPECT_EQ(0u, log->GetId());
}

TEST(OutputLogSystemTest, ChannelIsCreatedOnceAndEachThreadGetsItsOwnLog) {
    CapturedSystem captured;
    captured.system->Write(L"main 1");
    std::thread([&] { captured.system->Write(L"worker"); }).join();
    captured.system->Write(L"main 2");

    EXPECT_EQ(std::vector<std::wstring>{L"tarn.debug"}, captured.Factory()->m_channels);
    std::vector<std::wstring> headers;
    for (const std::wstring& call : captured.io->Calls())
        if (call.compare(0, 3, L"W:[") == 0) headers.push_back(call.substr(2, 10));
    ASSERT_EQ(3u, headers.size());
    wchar_t mainId[16];
    swprintf(mainId, 16, L"[%08X]", static_cast<unsigned>(GetCurrentThreadId()));
    EXPECT_EQ(mainId, headers[0]);
    EXPECT_NE(headers[0], headers[1]);
    EXPECT_EQ(mainId, headers[2]);
}

TEST(OutputLogSystemTest, WriteIfFollowsTheFilter) {
    CapturedSystem captured;
    captured.info->GetOutputLogState()->AddFilter(L"Default", 1, 1);
    EXPECT_EQ(S_OK, captured.system->WriteIf(L"Default", 1, L"admitted"));
    EXPECT_EQ(S_OK, captured.system->WriteIf(L"Default", 4, L"too detailed"));
    EXPECT_EQ(S_OK, captured.system->WriteIf(L"Other", 1, L"no filter"));
    EXPECT_EQ(S_OK, captured.system->WriteIf(nullptr, 1, L"no subject"));
    EXPECT_EQ(S_OK, captured.system->PrintfIf(L"Default", 1, L"%d-%s", 7, L"wide"));
    EXPECT_EQ(S_OK, captured.system->PrintfIf(L"default", 1, L"case"));
    const std::vector<std::wstring> expected = {L"admitted", L"7-wide"};
    EXPECT_EQ(expected, captured.Entries());
    EXPECT_EQ(S_OK, captured.system->GetFilter()->IsEnabled(L"Default", 1));
}

TEST(OutputLogSystemTest, PrintfCutsAt1023Characters) {
    CapturedSystem captured;
    const std::wstring longText(2000, L'a');
    captured.system->Printf(L"%s", longText.c_str());
    captured.system->Printf(L"%ls|%d", L"x", 5);
    const std::vector<std::wstring> entries = captured.Entries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(std::wstring(1023, L'a'), entries[0]);
    EXPECT_EQ(L"x|5", entries[1]);
}

namespace {

class CErrorCapture : public COutputLogSystem {
public:
    CErrorCapture(ILogSysInfo* info) : COutputLogSystem(L"tarn.debug", info, L"", 0, false) {}
    HRESULT ErrorWrite(const wchar_t* text) override {
        m_written.push_back(text);
        return S_OK;
    }
    std::vector<std::wstring> m_written;
};

}  // namespace

TEST(OutputLogSystemTest, ErrorFormsEndInErrorWrite) {
    Common::CRefPtr<CLogSysInfo> info(new CLogSysInfo());
    CErrorCapture system(info.get());
    system.ErrorWriteAt(12, 0xDEAD, L"Parser", L"boom");
    system.ErrorWriteAt(123456, 0, L"Parser", L"boom");
    system.ErrorPrintfAt(7, 0, L"Src", L"%s=%d", L"code", 3);
    system.ErrorPrintf(L"plain %d", 1);
    const std::vector<std::wstring> expected = {L"00012:[Parser] boom", L"123456:[Parser] boom", L"00007:[Src] code=3",
                                                L"plain 1"};
    EXPECT_EQ(expected, system.m_written);
}

TEST(OutputLogSystemTest, ErrorWriteWithoutPathWritesNothing) {
    CapturedSystem captured;
    EXPECT_EQ(S_OK, captured.system->ErrorWrite(L"dropped"));
    EXPECT_TRUE(captured.io->Calls().empty());
}

TEST(OutputLogSystemTest, LockAndUnlockFormABlockOnTheThreadLog) {
    CapturedSystem captured;
    captured.system->Lock();
    captured.system->Write(L"inside");
    captured.system->Unlock();
    const std::vector<std::wstring> calls = captured.io->Calls();
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(L"Lock", calls.front());
    EXPECT_EQ(L"Flush", calls[calls.size() - 2]);
    EXPECT_EQ(L"Unlock", calls.back());
}

// Dump frames: the text of every line after its entry header.
TEST(DumpTest, SixteenPerLineWithTwentyBytes) {
    CapturedSystem captured;
    const char data[] = "ABCDEFGH\tJKLMNOPQRST";
    EXPECT_EQ(S_OK, captured.system->Dump(L"title", data, 20, 16));
    const std::wstring gap(3, L' ');
    std::wstring secondHex = L" 51 52 53 54 ";
    for (int c = 4; c < 16; ++c) secondHex += (c == 8 ? L" " : L"") + gap;
    const std::vector<std::wstring> expected = {
        L"\x52B5",
        L"\x5294[title]",
        L"\x5294",
        L"\x5294 00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F ",
        L"\x5294 ------------------------ ------------------------",
        L"\x5294 41 42 43 44 45 46 47 48  09 4A 4B 4C 4D 4E 4F 50     ABCDEFGH JKLMNOP",
        L"\x5294" + secondHex + L"    QRST" + std::wstring(12, L' '),
        L"\x52B7"};
    EXPECT_EQ(expected, captured.Entries());
    // One block: locked first, flushed once and unlocked last.
    const std::vector<std::wstring> calls = captured.io->Calls();
    EXPECT_EQ(L"Lock", calls.front());
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), L"Flush"));
    EXPECT_EQ(L"Unlock", calls.back());
}

TEST(DumpTest, ControlBytesShowAsSpacesAndEmptyDataHasNoRows) {
    CapturedSystem captured;
    const unsigned char data[] = {0x00, 0x07, 0x08, 0x0A, 0x0C, 0x0D, 0x0B, 0x41};
    captured.system->Dump(L"ctl", data, sizeof(data), 8);
    captured.system->Dump(L"none", data, 0, 8);
    const std::vector<std::wstring> entries = captured.Entries();
    ASSERT_EQ(13u, entries.size());
    EXPECT_EQ(L"\x5294 00 07 08 0A 0C 0D 0B 41 " + std::wstring(4 + 6, L' ') + L"\x000B" + L"A", entries[5]);
    EXPECT_EQ(L"\x52B7", entries[6]);
    EXPECT_EQ(L"\x5294 ------------------------", entries[11]);
    EXPECT_EQ(L"\x52B7", entries[12]);
}

TEST(DumpTest, BadLineSizeAndUnreadableMemoryGiveFourLineFrames) {
    CapturedSystem captured;
    const char data[4] = {};
    EXPECT_EQ(E_INVALIDARG, captured.system->Dump(L"zero", data, 4, 0));
    EXPECT_EQ(E_INVALIDARG, captured.system->Dump(L"wide", data, 4, 65));
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(nullptr, page);
    // The memory check comes before the line-size check.
    EXPECT_EQ(E_POINTER, captured.system->Dump(L"bad", page, 16, 0));
    VirtualFree(page, 0, MEM_RELEASE);
    EXPECT_EQ(S_OK, captured.system->Dump(L"max", data, 4, 64));

    const std::wstring invalid = L"\x5294Invalided Parameter : nLineSize == 0 || nLineSize > 64";
    const std::vector<std::wstring> entries = captured.Entries();
    ASSERT_GE(entries.size(), 12u);
    const std::vector<std::wstring> frames(entries.begin(), entries.begin() + 12);
    // clang-format off
    const std::vector<std::wstring> expected = {
        L"\x52B5", L"\x5294[zero]", invalid, L"\x52B7",
        L"\x52B5", L"\x5294[wide]", invalid, L"\x52B7",
        L"\x52B5", L"\x5294[bad]",  L"\x5294" L"Bad read Pointer.", L"\x52B7"};
    // clang-format on
    EXPECT_EQ(expected, frames);
}

TEST(OutputLogSystemTest, NoConfigurationMeansDefaults) {
    COutputLogSystem system(L"tarn.debug", nullptr, nullptr, 0, false);
    ASSERT_NE(nullptr, system.GetFilter());
    EXPECT_EQ(E_FAIL, system.GetFilter()->HasFilters());
    EXPECT_EQ(S_OK, system.Write(L"swallowed"));
    EXPECT_EQ(S_OK, system.ErrorWrite(L"no error log"));
}
