// Configuration (filters, XML, locating the file, the module logger) and the
// null, debugger and file back-ends.
#include <gtest/gtest.h>

#include <objbase.h>

#include <initializer_list>
#include <regex>
#include <thread>

#include "TestSupport.h"
#include "oplogsys/FileOutput.h"
#include "oplogsys/LogSysInfoFromXML.h"
#include "oplogsys/ModuleLogger.h"
#include "oplogsys/NullOutput.h"
#include "oplogsys/OdsOutput.h"

using namespace opLogSys;
using testsupport::CScratchFolder;
using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const g_comEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

typedef CLogSysInfo::COutputLogState::SFilter SFilter;

std::vector<SFilter> FiltersOf(ILogSysInfo& info) {
    Common::CRefPtr<ILogFilter> filter(info.GetFilter());
    return static_cast<CLogSysInfo::COutputLogState*>(filter.get())->GetFilters();
}

bool SameFilters(const std::vector<SFilter>& actual, const std::vector<SFilter>& expected) {
    if (actual.size() != expected.size()) return false;
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i].m_strSubject != expected[i].m_strSubject || actual[i].m_nMinLevel != expected[i].m_nMinLevel ||
            actual[i].m_nMaxLevel != expected[i].m_nMaxLevel)
            return false;
    return true;
}

// Reads a configuration text through the DOM as the module would.
Common::CRefPtr<CLogSysInfoFromXML> LoadConfig(const CScratchFolder& folder, const std::string& xml) {
    const std::wstring path = folder / L"config.applog.xml";
    WriteFileBytes(path, xml);
    return Common::CRefPtr<CLogSysInfoFromXML>(new CLogSysInfoFromXML(path.c_str()));
}

std::string FactoryXml(const std::string& attributes) { return "<LOGCONFIG><FACTORY " + attributes + "/></LOGCONFIG>"; }

const char kFileClass[] = "class=\"opLogSys::File::COutputLogSystemFactory\"";
const char kFactoryName[] = "name=\"IOutputLogSystemFactory\"";

template <class T>
T* FactoryAs(ILogSysInfo& info) {
    Common::CRefPtr<IOutputLogSystemFactory> factory(info.GetFactory());
    return dynamic_cast<T*>(factory.get());
}

}  // namespace

TEST(FilterTest, RangeSubjectCaseAndNullSubject) {
    Common::CRefPtr<CLogSysInfo::COutputLogState> filter(new CLogSysInfo::COutputLogState());
    EXPECT_EQ(E_FAIL, filter->HasFilters());
    EXPECT_EQ(E_FAIL, filter->IsEnabled(L"Default", 1));
    filter->AddFilter(L"Default", 0, 4);
    EXPECT_EQ(S_OK, filter->HasFilters());
    for (int level = 0; level <= 4; ++level) EXPECT_EQ(S_OK, filter->IsEnabled(L"Default", level));
    EXPECT_EQ(E_FAIL, filter->IsEnabled(L"Default", 5));
    EXPECT_EQ(E_FAIL, filter->IsEnabled(L"Default", -1));
    EXPECT_EQ(E_FAIL, filter->IsEnabled(L"default", 1));
    try {
        filter->IsEnabled(nullptr, 1);
        ADD_FAILURE() << "a null subject must be refused";
    } catch (HRESULT hr) {
        EXPECT_EQ(E_FAIL, hr);
    }
}

TEST(FilterTest, FirstRecordOfTheSubjectDecidesAndMatchingRangeIsReplaced) {
    Common::CRefPtr<CLogSysInfo::COutputLogState> filter(new CLogSysInfo::COutputLogState());
    filter->AddFilter(L"Default", 0, 1);
    filter->AddFilter(L"Default", 3, 4);
    ASSERT_EQ(2u, filter->GetFilters().size());
    // Only the first record counts: level 3 lies in the second one.
    EXPECT_EQ(E_FAIL, filter->IsEnabled(L"Default", 3));
    filter->AddFilter(L"Default", 1, 1);  // maximum 1 lies in 0-1: replaces it
    EXPECT_TRUE(SameFilters(filter->GetFilters(), {{L"Default", 1, 1}, {L"Default", 3, 4}}));
    EXPECT_EQ(E_FAIL, filter->IsEnabled(L"Default", 0));
}

TEST(XmlConfigTest, FileFactoryFiltersAndUnknownElements) {
    CScratchFolder folder;
    auto info =
        LoadConfig(folder,
                   "<?xml version=\"1.0\"?>\n"
                   "<LOGCONFIG>\n"
                   "  <!-- comment -->\n"
                   "  <FACTORY name=\"IOutputLogSystemFactory\" class=\"opLogSys::File::COutputLogSystemFactory\"\n"
                   "           autoflush=\"true\" location=\".\\logs\"/>\n"
                   "  <OTHER><FILTER subject=\"Ignored\" minLevel=\"0\" maxLevel=\"4\"/></OTHER>\n"
                   "  <FILTERLIST>\n"
                   "    <FILTER subject=\"Default\" minLevel=\"0\" maxLevel=\"4\"/>\n"
                   "    <filter subject=\"LowerCase\" minLevel=\"0\" maxLevel=\"4\"/>\n"
                   "    text\n"
                   "    <FILTER subject=\"Parser\" minLevel=\"abc\" maxLevel=\" +2\"/>\n"
                   "    <FILTER/>\n"
                   "  </FILTERLIST>\n"
                   "</LOGCONFIG>\n");
    File::COutputLogSystemFactory* file = FactoryAs<File::COutputLogSystemFactory>(*info);
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(file->GetAutoFlush());
    EXPECT_EQ(L".\\logs", file->GetLocation());
    EXPECT_TRUE(SameFilters(FiltersOf(*info), {{L"Default", 0, 4}, {L"Parser", 0, 2}, {L"", 0, 0}}));
}

TEST(XmlConfigTest, ShippedExampleEnablesFilesAndErrorEntries) {
    const std::wstring example = testsupport::ExeDirectory() + L"example.applog.xml";
    ASSERT_TRUE(FileExists(example));
    Common::CRefPtr<CLogSysInfoFromXML> info(new CLogSysInfoFromXML(example.c_str()));
    File::COutputLogSystemFactory* file = FactoryAs<File::COutputLogSystemFactory>(*info);
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(file->GetAutoFlush());
    Common::CRefPtr<ILogFilter> filter(info->GetFilter());
    EXPECT_EQ(S_OK, filter->IsEnabled(L"Default", 1));
}

TEST(XmlConfigTest, BackEndSelection) {
    CScratchFolder folder;
    const std::string fileFactory = std::string(kFactoryName) + " " + kFileClass;
    for (const char* value : {"TRUE", "yes", "1", ""}) {
        auto info = LoadConfig(folder, FactoryXml(fileFactory + " autoflush=\"" + value + "\""));
        ASSERT_NE(nullptr, FactoryAs<File::COutputLogSystemFactory>(*info)) << value;
        EXPECT_FALSE(FactoryAs<File::COutputLogSystemFactory>(*info)->GetAutoFlush()) << value;
    }
    auto noLocation = LoadConfig(folder, FactoryXml(fileFactory));
    EXPECT_EQ(L"", FactoryAs<File::COutputLogSystemFactory>(*noLocation)->GetLocation());

    auto ods =
        LoadConfig(folder, FactoryXml(std::string(kFactoryName) + " class=\"opLogSys::Ods::COutputLogSystemFactory\""));
    EXPECT_NE(nullptr, FactoryAs<Ods::COutputLogSystemFactory>(*ods));

    auto wrongName = LoadConfig(folder, FactoryXml(std::string("name=\"ILogFactory\" ") + kFileClass));
    EXPECT_NE(nullptr, FactoryAs<Null::COutputLogSystemFactory>(*wrongName));
    auto wrongCase = LoadConfig(
        folder, FactoryXml(std::string(kFactoryName) + " class=\"opLogSys::file::COutputLogSystemFactory\""));
    EXPECT_NE(nullptr, FactoryAs<Null::COutputLogSystemFactory>(*wrongCase));

    // A later FACTORY replaces an earlier one.
    auto later = LoadConfig(folder, "<X><FACTORY " + fileFactory + "/><FACTORY " + kFactoryName +
                                        " class=\"opLogSys::Ods::COutputLogSystemFactory\"/></X>");
    EXPECT_NE(nullptr, FactoryAs<Ods::COutputLogSystemFactory>(*later));
}

TEST(XmlConfigTest, MissingOrBrokenFileKeepsTheDefaults) {
    CScratchFolder folder;
    Common::CRefPtr<CLogSysInfoFromXML> missing(new CLogSysInfoFromXML((folder / L"absent.applog.xml").c_str()));
    EXPECT_NE(nullptr, FactoryAs<Null::COutputLogSystemFactory>(*missing));
    EXPECT_TRUE(FiltersOf(*missing).empty());

    auto broken = LoadConfig(folder, "<LOGCONFIG><FILTERLIST><FILTER subject=\"Default\"");
    EXPECT_NE(nullptr, FactoryAs<Null::COutputLogSystemFactory>(*broken));
    EXPECT_TRUE(FiltersOf(*broken).empty());
}

TEST(LocateConfigTest, NamedFileWinsAndErrorLogNeedsACandidate) {
    CScratchFolder folder;
    const std::wstring named = folder / L"tarn.middle.TrnM4aTranscoder.applog.xml";
    const std::wstring generic = folder / L"l4t.applog.xml";
    const std::wstring name = L"tarn.middle.TrnM4aTranscoder";

    SLogConfigLocation none = LocateLogConfiguration(folder.Path(), name);
    EXPECT_EQ(generic, none.m_strConfigPath);
    EXPECT_EQ(L"", none.m_strErrorLogPath);

    WriteFileBytes(generic, "<X/>");
    SLogConfigLocation second = LocateLogConfiguration(folder.Path(), name);
    EXPECT_EQ(generic, second.m_strConfigPath);
    EXPECT_EQ(folder / L"tarn.log", second.m_strErrorLogPath);

    WriteFileBytes(named, "<X/>");
    SLogConfigLocation first = LocateLogConfiguration(folder.Path(), name);
    EXPECT_EQ(named, first.m_strConfigPath);
    EXPECT_EQ(folder / L"tarn.log", first.m_strErrorLogPath);
}

// The test executable is the host: its folder holds the configuration.
TEST(ModuleLoggerTest, ReadsTheConfigurationBesideTheExecutableOnce) {
    const std::wstring config = testsupport::ExeDirectory() + L"oplogsys.moduletest.applog.xml";
    WriteFileBytes(config,
                   "<LOGCONFIG><FILTERLIST><FILTER subject=\"Default\" minLevel=\"1\" "
                   "maxLevel=\"1\"/></FILTERLIST></LOGCONFIG>");
    {
        CModuleLogger logger(L"Default", L"oplogsys.moduletest");
        EXPECT_STREQ(L"Default", logger.GetSubject());
        COutputLogSystem* system = logger.GetLogSystem();
        DeleteFileW(config.c_str());
        ASSERT_NE(nullptr, system);
        EXPECT_EQ(system, logger.GetLogSystem());
        EXPECT_EQ(S_OK, system->GetFilter()->IsEnabled(logger.GetSubject(), 1));
        EXPECT_EQ(E_FAIL, system->GetFilter()->IsEnabled(logger.GetSubject(), 4));
        EXPECT_EQ(testsupport::ExeDirectory() + L"tarn.log", system->GetErrorLogPath());
    }
    DeleteFileW(config.c_str());
}

namespace {

// Files beside the executable, deleted before and after.
struct BesideExecutable {
    std::vector<std::wstring> paths;
    explicit BesideExecutable(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) paths.push_back(testsupport::ExeDirectory() + name);
        Clear();
    }
    ~BesideExecutable() { Clear(); }
    void Clear() const {
        for (const std::wstring& path : paths) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    }
};

// Lines of filler, exactly size bytes long.
std::string FillerLines(size_t size) {
    std::string text(size, 'x');
    for (size_t i = 98; i + 1 < size; i += 100) {
        text[i] = '\r';
        text[i + 1] = '\n';
    }
    return text;
}

}  // namespace

// The module's error log stays whole up to 10,485,760 bytes and moves to its
// backup with the entry that takes it past them.
TEST(ModuleLoggerTest, ErrorLogMovesToItsBackupOncePastTheLimit) {
    const BesideExecutable files({L"oplogsys.rollover.applog.xml", L"tarn.log", L"tarn.log.bak"});
    const std::wstring& log = files.paths[1];
    const std::wstring& backup = files.paths[2];
    WriteFileBytes(files.paths[0], "<LOGCONFIG/>");
    CModuleLogger logger(L"Default", L"oplogsys.rollover");
    COutputLogSystem* system = logger.GetLogSystem();
    ASSERT_NE(nullptr, system);
    ASSERT_EQ(log, system->GetErrorLogPath());
    // The process's first entry comes with its header; the second is alone.
    const wchar_t kEntry[] = L"[ERR] entry";
    system->ErrorWrite(kEntry);
    DeleteFileW(log.c_str());
    system->ErrorWrite(kEntry);
    const size_t entry = ReadFileBytes(log).size();
    ASSERT_GT(entry, 0u);

    const size_t limit = 10485760;
    WriteFileBytes(log, FillerLines(limit - entry));
    system->ErrorWrite(kEntry);
    EXPECT_EQ(limit, ReadFileBytes(log).size()) << "a log at the limit stays";
    EXPECT_FALSE(FileExists(backup));

    WriteFileBytes(log, FillerLines(limit - entry + 1));
    system->ErrorWrite(kEntry);
    EXPECT_FALSE(FileExists(log)) << "a log past the limit is moved";
    EXPECT_EQ(limit + 1, ReadFileBytes(backup).size());
    system->ErrorWrite(kEntry);
    EXPECT_EQ(entry, ReadFileBytes(log).size()) << "the next entry starts a new log";
}

TEST(ModuleLoggerTest, WithoutConfigurationNothingIsEnabledAndTestsCanInstallASystem) {
    ASSERT_FALSE(FileExists(testsupport::ExeDirectory() + L"l4t.applog.xml"));
    CModuleLogger logger(L"Default", L"oplogsys.absent");
    COutputLogSystem* system = logger.GetLogSystem();
    ASSERT_NE(nullptr, system);
    EXPECT_EQ(E_FAIL, system->GetFilter()->HasFilters());
    EXPECT_EQ(E_FAIL, system->GetFilter()->IsEnabled(L"Default", 1));
    EXPECT_EQ(L"", system->GetErrorLogPath());

    Common::CRefPtr<CLogSysInfo> info(new CLogSysInfo());
    std::unique_ptr<COutputLogSystem> old = logger.ReplaceLogSystemForTest(
        std::unique_ptr<COutputLogSystem>(new COutputLogSystem(L"t", info.get(), L"", 0, false)));
    EXPECT_EQ(system, old.get());
    EXPECT_NE(system, logger.GetLogSystem());
}

TEST(FileLocationTest, KeywordsRelativeAbsoluteAndFallbacks) {
    CScratchFolder exe;
    const std::wstring exeDir = exe.Path();
    EXPECT_EQ(exeDir, File::ResolveLogDirectory(L"current", exeDir));
    EXPECT_EQ(exeDir, File::ResolveLogDirectory(L"", exeDir));

    EXPECT_EQ(exeDir + L"logs\\", File::ResolveLogDirectory(L".\\logs", exeDir));
    EXPECT_TRUE(FileExists(exeDir + L"logs"));

    CScratchFolder other;
    EXPECT_EQ(other.Path(), File::ResolveLogDirectory(other.Path(), exeDir));
    std::wstring noSlash = other.Path();
    noSlash.pop_back();
    EXPECT_EQ(other.Path(), File::ResolveLogDirectory(noSlash, exeDir));
    WriteFileBytes(other / L"named.log", "");
    EXPECT_EQ(other.Path(), File::ResolveLogDirectory(other / L"named.log", exeDir));
    EXPECT_EQ(exeDir, File::ResolveLogDirectory(other / L"missing\\deeper", exeDir));
    // Keywords are exact: "Current" is a path that does not exist.
    EXPECT_EQ(exeDir, File::ResolveLogDirectory(L"Current", exeDir));

    const std::wstring desktop = File::ResolveLogDirectory(L"desktop", exeDir);
    EXPECT_EQ(L'\\', desktop.back());
    EXPECT_TRUE(FileExists(desktop));
}

TEST(FileBackEndTest, AnsiWriteUtf16WriteLineAndTimeStampedName) {
    CScratchFolder folder;
    Common::CRefPtr<File::COutputLogSystemFactory> factory(
        new File::COutputLogSystemFactory(true, folder.Path().c_str()));
    Common::CRefPtr<ILogIO> io(factory->CreateLogIO(L"tarn.debug"));
    File::CFileIO* file = static_cast<File::CFileIO*>(io.get());
    const std::wstring path = file->GetPath();
    EXPECT_TRUE(std::regex_match(path, std::wregex(std::wregex::string_type(L".*\\\\tarn\\.debug-\\d{4}-\\d\\d-\\d\\d "
                                                                            L"\\[\\d\\d-\\d\\d-\\d\\d\\]\\.log"))));
    EXPECT_EQ(0u, path.find(folder.Path()));
    EXPECT_FALSE(FileExists(path));  // nothing is created before the first entry

    EXPECT_EQ(3, io->Write(L"abc"));
    EXPECT_EQ(0, io->Write(L""));
    EXPECT_EQ(4, io->WriteLine(L"xy"));
    io->Flush();
    io.reset();
    EXPECT_EQ(std::string("abcx\0y\0\r\0\n\0", 11), ReadFileBytes(path));
}

TEST(FileBackEndTest, ExistingNamesLeadToTheNextFreeNumber) {
    CScratchFolder folder;
    File::COutputLogSystemFactory factory(false, folder.Path().c_str());
    Common::CRefPtr<ILogIO> io(factory.CreateLogIO(L"chan"));
    const std::wstring base = static_cast<File::CFileIO*>(io.get())->GetPath();
    const std::wstring stem = base.substr(0, base.size() - 4);
    WriteFileBytes(base, "");
    for (const wchar_t* number : {L"[01]", L"[02]", L"[03]"}) WriteFileBytes(stem + number + L".log", "");

    io->Write(L"entry");
    EXPECT_EQ(stem + L"[04].log", static_cast<File::CFileIO*>(io.get())->GetPath());
    io.reset();
    EXPECT_EQ("entry", ReadFileBytes(stem + L"[04].log"));
    EXPECT_EQ("", ReadFileBytes(base));
}

TEST(FileBackEndTest, ThreadsNeverSplitEachOthersEntries) {
    CScratchFolder folder;
    Common::CRefPtr<CLogSysInfo> info(new CLogSysInfo());
    info->SetFactory(new File::COutputLogSystemFactory(false, folder.Path().c_str()));
    std::wstring path;
    {
        COutputLogSystem system(L"tarn.debug", info.get(), L"", 0, false);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&system, t] {
                for (int i = 0; i < 200; ++i) system.Printf(L"thread-%d-entry-%d", t, i);
            });
        for (std::thread& thread : threads) thread.join();
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder / L"tarn.debug-*.log").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    const std::vector<std::string> lines = testsupport::SplitLines(ReadFileBytes(folder / data.cFileName));
    ASSERT_EQ(800u, lines.size());
    const std::regex entry(R"(\[([0-9A-F]{8})\]\[\d{4}/\d\d/\d\d\(\d\d:\d\d:\d\d\.\d{3}\)\]thread-(\d)-entry-(\d+))");
    std::map<std::string, std::string> threadOfWriter;
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, entry)) << line;
        // Each writer always appears under one thread id.
        auto inserted = threadOfWriter.emplace(match[2].str(), match[1].str());
        EXPECT_EQ(inserted.first->second, match[1].str());
    }
    EXPECT_EQ(4u, threadOfWriter.size());
}

TEST(OtherBackEndsTest, NullAndDebuggerSwallowEverything) {
    Null::COutputLogSystemFactory nullFactory;
    Common::CRefPtr<ILogIO> nullIO(nullFactory.CreateLogIO(L"c"));
    EXPECT_EQ(0, nullIO->Write(L"x"));
    EXPECT_EQ(0, nullIO->WriteLine(L"x"));
    Ods::COutputLogSystemFactory odsFactory;
    Common::CRefPtr<ILogIO> odsIO(odsFactory.CreateLogIO(L"c"));
    EXPECT_EQ(0, odsIO->Lock());
    EXPECT_EQ(0, odsIO->Write(L"to the debugger"));
    EXPECT_EQ(0, odsIO->WriteLine(nullptr));
    EXPECT_EQ(0, odsIO->Unlock());
    Common::CRefPtr<ILog> log(odsFactory.CreateLog(42, odsIO.get()));
    EXPECT_EQ(42u, log->GetId());
}
