// The shared error log: process header, several writers in one and in
// several processes, size limit with rollover or trimming.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "TestSupport.h"
#include "oplogsys/ErrorLogOutput.h"
#include "oplogsys/OutputLogSystem.h"

using namespace opLogSys;
using testsupport::CScratchFolder;
using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::SplitLines;
using testsupport::WriteFileBytes;

namespace {

const std::regex kEntry(R"(\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\]\[([0-9A-F]+)\]\[([0-9A-F]{8})\] (.*))");
const std::string kRule(79, '-');

struct ErrorLogSystem {
    Common::CRefPtr<CLogSysInfo> info{new CLogSysInfo()};
    COutputLogSystem system;
    ErrorLogSystem(const std::wstring& path, DWORD limit = 0xA00000, bool trimming = false)
        : system(L"tarn.debug", info.get(), path.c_str(), limit, trimming) {}
};

struct ParsedLine {
    std::string time, process, thread, text;
};

std::vector<ParsedLine> ParseLog(const std::wstring& path) {
    std::vector<ParsedLine> parsed;
    for (const std::string& line : SplitLines(ReadFileBytes(path))) {
        std::smatch match;
        if (!std::regex_match(line, match, kEntry)) {
            ADD_FAILURE() << "malformed line: " << line;
            continue;
        }
        parsed.push_back({match[1], match[2], match[3], match[4]});
    }
    return parsed;
}

std::string HostPath() {
    wchar_t path[MAX_PATH];
    const DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
    char narrow[MAX_PATH * 2];
    const int bytes = WideCharToMultiByte(CP_ACP, 0, path, len, narrow, sizeof(narrow), nullptr, nullptr);
    return std::string(narrow, bytes);
}

std::string Hex(DWORD value, const char* format) {
    char text[16];
    snprintf(text, sizeof(text), format, static_cast<unsigned>(value));
    return text;
}

}  // namespace

TEST(ErrorLogMutexTest, NamedAfterTheFileWithoutFolderAndExtension) {
    EXPECT_EQ(L"COutputErrorLogIO::tarn", ErrorLogMutexName(L"C:\\App\\tarn.log"));
    EXPECT_EQ(L"COutputErrorLogIO::tarn", ErrorLogMutexName(L"D:\\Other\\tarn.txt"));
    EXPECT_EQ(L"COutputErrorLogIO::my.error", ErrorLogMutexName(L"C:\\x.y\\my.error.log"));
}

TEST(ErrorLogTest, FirstEntryOfAProcessFollowsTheThreeLineHeader) {
    CScratchFolder folder;
    const std::wstring path = folder / L"tarn.log";
    ErrorLogSystem log(path);
    EXPECT_EQ(S_OK, log.system.ErrorWrite(L"[ERR] first"));
    EXPECT_EQ(S_OK, log.system.ErrorWriteAt(12, 0, L"Parser", L"boom"));

    const std::vector<ParsedLine> lines = ParseLog(path);
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(kRule, lines[0].text);
    EXPECT_EQ(HostPath(), lines[1].text);
    EXPECT_EQ(kRule, lines[2].text);
    EXPECT_EQ("[ERR] first", lines[3].text);
    EXPECT_EQ("00012:[Parser] boom", lines[4].text);
    // The header carries the process creation time, the same on all three.
    EXPECT_EQ(lines[0].time, lines[1].time);
    EXPECT_EQ(lines[0].time, lines[2].time);
    EXPECT_LE(lines[2].time, lines[3].time);
    for (const ParsedLine& line : lines) {
        EXPECT_EQ(Hex(GetCurrentProcessId(), "%X"), line.process);
        EXPECT_EQ(Hex(GetCurrentThreadId(), "%08X"), line.thread);
    }
    EXPECT_EQ("\r\n", ReadFileBytes(path).substr(ReadFileBytes(path).size() - 2));
}

TEST(ErrorLogTest, SecondModuleOnTheSamePathAddsNoHeader) {
    CScratchFolder folder;
    const std::wstring path = folder / L"tarn.log";
    ErrorLogSystem first(path);
    ErrorLogSystem second(path);
    first.system.ErrorWrite(L"from first");
    second.system.ErrorWrite(L"from second");
    std::vector<ParsedLine> lines = ParseLog(path);
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("from second", lines[4].text);

    // Another path is another log: it gets its own header.
    const std::wstring otherPath = folder / L"other.log";
    ErrorLogSystem other(otherPath);
    other.system.ErrorWrite(L"elsewhere");
    EXPECT_EQ(4u, ParseLog(otherPath).size());
}

TEST(ErrorLogTest, UnopenableFileDropsTheEntry) {
    CScratchFolder folder;
    Common::CRefPtr<COutputErrorLogIO> io(new COutputErrorLogIO((folder / L"missing\\tarn.log").c_str(), 100, false));
    EXPECT_EQ(1, io->Lock());
    EXPECT_EQ(0, io->Write(L"lost"));
    EXPECT_EQ(0, io->WriteLine(L"lost"));
    EXPECT_EQ(0, io->Unlock());

    Common::CRefPtr<COutputErrorLogIO> good(new COutputErrorLogIO((folder / L"tarn.log").c_str(), 100, false));
    EXPECT_EQ(1, good->Lock());
    EXPECT_EQ(2, good->Lock());
    EXPECT_EQ(4, good->WriteLine(L"ok"));
    EXPECT_EQ(1, good->Unlock());
    EXPECT_EQ(0, good->Unlock());
    EXPECT_EQ("ok\r\n", ReadFileBytes(folder / L"tarn.log"));
}

TEST(ErrorLogTest, EntryPassingTheLimitIsRolledIntoTheReadOnlyBackup) {
    CScratchFolder folder;
    const std::wstring path = folder / L"tarn.log";
    const std::wstring backup = path + L".bak";
    WriteFileBytes(backup, "old backup\r\n");
    SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_READONLY);

    const DWORD limit = 600;
    ErrorLogSystem log(path, limit);
    const std::wstring padding(60, L'x');
    int written = 0;
    while (ReadFileBytes(backup) == "old backup\r\n" && written < 50)
        log.system.ErrorPrintf(L"entry-%02d %ls", written++, padding.c_str());
    ASSERT_LT(written, 50) << "no rollover happened";

    const std::string rolled = ReadFileBytes(backup);
    EXPECT_GT(rolled.size(), limit);
    const std::vector<std::string> rolledLines = SplitLines(rolled);
    const std::string& last = rolledLines.back();
    EXPECT_NE(std::string::npos,
              last.find("entry-" + std::string(written - 1 < 10 ? "0" : "") + std::to_string(written - 1)));
    EXPECT_LE(rolled.size() - last.size() - 2, limit);  // only the last entry passed it
    EXPECT_FALSE(FileExists(path));

    log.system.ErrorWrite(L"after rollover");
    const std::vector<ParsedLine> fresh = ParseLog(path);
    ASSERT_EQ(1u, fresh.size());
    EXPECT_EQ("after rollover", fresh[0].text);
}

TEST(ErrorLogTest, TrimmingDropsWholeLinesFromTheStart) {
    CScratchFolder folder;
    const std::wstring path = folder / L"tarn.log";
    std::string prefill;
    for (int i = 0; i < 20; ++i) prefill += "old line " + std::to_string(100 + i) + " ........\r\n";
    WriteFileBytes(path, prefill);

    // Room for the process header, the new entry and some old lines.
    const DWORD limit = 700;
    ErrorLogSystem log(path, limit, true);
    log.system.ErrorWrite(L"newest");
    const std::string trimmed = ReadFileBytes(path);
    EXPECT_LE(trimmed.size(), limit);
    const std::vector<std::string> lines = SplitLines(trimmed);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::string::npos, lines.back().find("] newest"));
    EXPECT_EQ(0u, trimmed.find("old line 1"));  // starts at a line boundary
    EXPECT_EQ("\r\n", trimmed.substr(trimmed.size() - 2));
    // No more than needed was dropped: one more old line would not have fitted.
    EXPECT_GT(trimmed.size() + prefill.size() / 20, limit);
    EXPECT_FALSE(FileExists(path + L".bak"));
}

TEST(ErrorLogTrimTest, LinesDroppedUntilTheRestFits) {
    const std::string oneLine(500, 'a');
    EXPECT_EQ(502u, ErrorLogTrimOffset((oneLine + "\r\n").data(), 502, 100, 1252));
    EXPECT_EQ(500u, ErrorLogTrimOffset(oneLine.data(), 500, 100, 1252));  // no line end at all

    const std::string text = "0123456789\r\nabcdefghij\r\nABCDEFGHIJ\r\n";
    EXPECT_EQ(0u, ErrorLogTrimOffset(text.data(), text.size(), 36, 1252));
    EXPECT_EQ(12u, ErrorLogTrimOffset(text.data(), text.size(), 35, 1252));
    EXPECT_EQ(24u, ErrorLogTrimOffset(text.data(), text.size(), 12, 1252));
    EXPECT_EQ(36u, ErrorLogTrimOffset(text.data(), text.size(), 11, 1252));

    // Stops once 4 bytes or fewer remain, even above the limit.
    const std::string shortTail = "0123456789\r\nab\r\n";
    EXPECT_EQ(12u, ErrorLogTrimOffset(shortTail.data(), shortTail.size(), 2, 1252));
}

TEST(ErrorLogTrimTest, DoubleByteCharactersAreSteppedOverAsPairs) {
    if (!IsValidCodePage(932)) GTEST_SKIP() << "code page 932 not installed";
    // 0x82 0xA0 is one character; 0x82 before CR is a lone lead byte, not a
    // pair, so the CR LF behind it still ends the line.
    const std::string text = "\x82\xA0\x82\xA0\r\n\x82\r\nxyzxyz\r\n";
    EXPECT_EQ(6u, ErrorLogTrimOffset(text.data(), text.size(), 12, 932));
    EXPECT_EQ(9u, ErrorLogTrimOffset(text.data(), text.size(), 8, 932));
    // A trail byte may look like ASCII ('@' here); it still belongs to its pair.
    const std::string pairs = "\x81\x40\x81\x40\r\nrest!\r\n";
    EXPECT_EQ(6u, ErrorLogTrimOffset(pairs.data(), pairs.size(), 7, 932));
}

TEST(ErrorLogProcessTest, FourProcessesLoseNoEntryAndSplitNoLine) {
    CScratchFolder folder;
    const std::wstring path = folder / L"tarn.log";
    const std::wstring writer = testsupport::ExeDirectory() + L"oplogsys_errorlog_writer.exe";
    ASSERT_TRUE(FileExists(writer));
    const int kWriters = 4;
    const int kEntries = 1000;

    std::vector<HANDLE> processes;
    for (int id = 0; id < kWriters; ++id) {
        std::wstring commandLine =
            L"\"" + writer + L"\" \"" + path + L"\" " + std::to_wstring(kEntries) + L" " + std::to_wstring(id);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(writer.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        CloseHandle(process.hThread);
        processes.push_back(process.hProcess);
    }
    const DWORD wait = WaitForMultipleObjects(kWriters, processes.data(), TRUE, 5 * 60 * 1000);
    for (HANDLE process : processes) {
        DWORD exitCode = 1;
        GetExitCodeProcess(process, &exitCode);
        EXPECT_EQ(0u, exitCode);
        if (wait == WAIT_TIMEOUT) TerminateProcess(process, 1);
        CloseHandle(process);
    }
    ASSERT_NE(WAIT_TIMEOUT, wait);

    const std::vector<ParsedLine> lines = ParseLog(path);
    ASSERT_EQ(static_cast<size_t>(kWriters * (kEntries + 3)), lines.size());
    std::map<int, int> nextOfWriter;
    std::map<int, std::string> processOfWriter;
    int rules = 0, hosts = 0;
    const std::regex entry(R"(writer-(\d)-(\d+))");
    for (const ParsedLine& line : lines) {
        std::smatch match;
        if (line.text == kRule) {
            ++rules;
        } else if (line.text.find("oplogsys_errorlog_writer.exe") != std::string::npos) {
            ++hosts;
        } else if (std::regex_match(line.text, match, entry)) {
            const int id = std::stoi(match[1]);
            // Each writer's entries arrive whole, once each and in order.
            EXPECT_EQ(nextOfWriter[id]++, std::stoi(match[2]));
            auto known = processOfWriter.emplace(id, line.process);
            EXPECT_EQ(known.first->second, line.process);
        } else {
            ADD_FAILURE() << "unexpected entry: " << line.text;
        }
    }
    EXPECT_EQ(2 * kWriters, rules);
    EXPECT_EQ(kWriters, hosts);
    for (int id = 0; id < kWriters; ++id) EXPECT_EQ(kEntries, nextOfWriter[id]);
}
