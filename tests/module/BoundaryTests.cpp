// The COM boundary: each exception kind becomes its HRESULT and one entry
// through the module logger, completed with the method's source position.
#include <gtest/gtest.h>

#include <comdef.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/StatusException.h"
#include "base/TraceHook.h"
#include "module/ErrorBoundary.h"
#include "module/ModuleGlobals.h"
#include "oplogsys/LogSysInfo.h"
#include "oplogsys/ModuleLogger.h"
#include "transcoder/M4aConverter.h"

namespace {

struct Entry {
    std::wstring text;
};

// Keeps error entries instead of writing the shared error log.
class CaptureSystem : public opLogSys::COutputLogSystem {
public:
    CaptureSystem(opLogSys::ILogSysInfo* info, std::vector<std::wstring>* sink, bool failing)
        : COutputLogSystem(L"tarn.debug", info, L"", 0xA00000, false), m_sink(sink), m_failing(failing) {}
    HRESULT ErrorWrite(const wchar_t* text) override {
        if (m_failing) throw std::bad_alloc();
        m_sink->push_back(text);
        return S_OK;
    }

private:
    std::vector<std::wstring>* m_sink;
    bool m_failing;
};

class BoundaryTest : public ::testing::Test {
protected:
    void TearDown() override { Install(-1, -1, false); }

    // Admits levels [minLevel, maxLevel] of the subject "Default"; -1 admits nothing.
    void Install(int minLevel, int maxLevel, bool failing) {
        opLogSys::CLogSysInfo* info = new opLogSys::CLogSysInfo();
        if (minLevel >= 0) info->GetOutputLogState()->AddFilter(L"Default", minLevel, maxLevel);
        std::unique_ptr<opLogSys::COutputLogSystem> system(new CaptureSystem(info, &m_entries, failing));
        info->Release();
        trn::ModuleLogger()->ReplaceLogSystemForTest(std::move(system));
    }

    std::vector<std::wstring> m_entries;
};

const wchar_t kSource[] = L".\\Test";
int g_handlerLine = 0;

const int kHandlerLine = __LINE__ + 7;  // the TRN_CATCH_RETURN line of Method
template <class Thrower>
HRESULT Method(Thrower thrower) {
    try {
        thrower();
        return S_FALSE;
    }
    TRN_CATCH_RETURN(kSource)
}

// The source position every entry of Method must end with.
std::wstring Position() {
    const int line = kHandlerLine;
    return L" {.\\Test," + std::to_wstring(line) + L"}";
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST_F(BoundaryTest, BodyThatCompletesReturnsItsValueAndLogsNothing) {
    Install(0, 4, false);
    EXPECT_EQ(S_FALSE, Method([] {}));
    EXPECT_TRUE(m_entries.empty());
}

TEST_F(BoundaryTest, BareHresultIsReturnedAndLoggedAtErrorLevel) {
    Install(1, 1, false);
    EXPECT_EQ(E_INVALIDARG, Method([] { throw E_INVALIDARG; }));
    ASSERT_EQ(1u, m_entries.size());
    EXPECT_TRUE(StartsWith(m_entries[0], L"[ERR] <exception> HRESULT(0x80070057:")) << m_entries[0].c_str();
    EXPECT_TRUE(EndsWith(m_entries[0], L")" + Position())) << m_entries[0].c_str();
}

TEST_F(BoundaryTest, ParserFailureIsADebugEntry) {
    Install(0, 4, false);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              Method([] { throw log4tarn::Exception{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)}; }));
    ASSERT_EQ(1u, m_entries.size());
    EXPECT_TRUE(StartsWith(m_entries[0], L"[DBG] <exception> <exception trace>(0x80070002:")) << m_entries[0].c_str();
    EXPECT_TRUE(EndsWith(m_entries[0], Position()));

    m_entries.clear();
    Install(1, 1, false);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              Method([] { throw log4tarn::Exception{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)}; }));
    EXPECT_TRUE(m_entries.empty()) << "an error-only filter suppresses debug entries";
}

TEST_F(BoundaryTest, ComErrorHandsItsErrorInfoBackToTheCaller) {
    Install(0, 4, false);
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(S_OK, ::CreateErrorInfo(create.put()));
    create->SetSource(const_cast<LPOLESTR>(L"Host.Format"));
    create->SetDescription(const_cast<LPOLESTR>(L"no mime type"));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, create.query_to(IID_IErrorInfo, info));
    IErrorInfo* raw = info.get();

    EXPECT_EQ(DISP_E_EXCEPTION, Method([raw] { throw _com_error(DISP_E_EXCEPTION, raw, true); }));
    ASSERT_EQ(1u, m_entries.size());
    EXPECT_TRUE(StartsWith(m_entries[0], L"[ERR] <exception> _com_error(0x80020009:")) << m_entries[0].c_str();
    EXPECT_TRUE(EndsWith(m_entries[0], L"<Src=\"Host.Format\", Desc=\"no mime type)" + Position()))
        << m_entries[0].c_str();

    ComPtr<IErrorInfo> handedBack;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, handedBack.put()));
    EXPECT_EQ(raw, handedBack.get());
}

TEST_F(BoundaryTest, ComErrorWithoutErrorInfo) {
    Install(0, 4, false);
    EXPECT_EQ(E_NOINTERFACE, Method([] { throw _com_error(E_NOINTERFACE); }));
    ASSERT_EQ(1u, m_entries.size());
    EXPECT_TRUE(StartsWith(m_entries[0], L"[ERR] <exception> _com_error(0x80004002:")) << m_entries[0].c_str();
    EXPECT_EQ(std::wstring::npos, m_entries[0].find(L"<Src="));
}

TEST_F(BoundaryTest, StdExceptionAlwaysGivesEFail) {
    Install(0, 4, false);
    EXPECT_EQ(E_FAIL, Method([] { throw std::runtime_error("boom"); }));
    EXPECT_EQ(E_FAIL, Method([] { throw std::bad_alloc(); }));
    ASSERT_EQ(2u, m_entries.size());
    EXPECT_EQ(L"[ERR] <exception> std::exception(0x0:boom)" + Position(), m_entries[0]);
    EXPECT_TRUE(StartsWith(m_entries[1], L"[ERR] <exception> std::exception(0x0:"));
}

TEST_F(BoundaryTest, FrameworkExceptionAndUnknownThrows) {
    Install(0, 4, false);
    EXPECT_EQ(E_OUTOFMEMORY, Method([] { throw CAtlException(E_OUTOFMEMORY); }));
    EXPECT_EQ(E_FAIL, Method([] { throw std::string("not an exception type"); }));
    EXPECT_EQ(E_ACCESSDENIED, Method([] { throw static_cast<int>(E_ACCESSDENIED); }));
    ASSERT_EQ(3u, m_entries.size());
    EXPECT_TRUE(StartsWith(m_entries[0], L"[ERR] <exception> CAtlException(0x8007000e:")) << m_entries[0].c_str();
    EXPECT_EQ(L"[ERR] <exception> unknown" + Position(), m_entries[1]);
    EXPECT_TRUE(StartsWith(m_entries[2], L"[ERR] <exception> HRESULT(0x80070005:"));
}

TEST_F(BoundaryTest, NothingAdmittedOrFailingLoggerKeepsTheResult) {
    Install(-1, -1, false);
    EXPECT_EQ(E_INVALIDARG, Method([] { throw E_INVALIDARG; }));
    EXPECT_EQ(E_FAIL, Method([] { throw std::runtime_error("x"); }));
    EXPECT_TRUE(m_entries.empty());

    Install(0, 4, true);
    EXPECT_EQ(E_INVALIDARG, Method([] { throw E_INVALIDARG; }));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              Method([] { throw log4tarn::Exception{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)}; }));
    EXPECT_EQ(E_FAIL, Method([] { throw 1.5; }));
}

TEST(HresultText, SystemMessageOrFallbacks) {
    const std::wstring known = trn::HresultText(E_INVALIDARG);
    EXPECT_TRUE(StartsWith(known, L"(0x80070057:")) << known.c_str();
    EXPECT_TRUE(EndsWith(known, L")"));
    EXPECT_EQ(std::wstring::npos, known.find(L'\n')) << "the trailing line end is removed";
    EXPECT_EQ(std::wstring::npos, known.find(L'\r'));

    EXPECT_EQ(L"IDispatch error #65008", trn::HresultErrorText(static_cast<HRESULT>(0x8004FFF0)));
    EXPECT_EQ(L"Unknown error 0xA0001234", trn::HresultErrorText(static_cast<HRESULT>(0xA0001234)));
    EXPECT_EQ(L"(0xa0001234:Unknown error 0xA0001234)", trn::HresultText(static_cast<HRESULT>(0xA0001234)));
}

TEST_F(BoundaryTest, InterfaceMethodLogsWithItsOwnSourceName) {
    Install(1, 1, false);
    ComPtr<ITrnMediaTranscoder> transcoder;
    ASSERT_EQ(S_OK, CComObject<CM4aConverter>::CreateInstance(IID_ITrnMediaTranscoder, transcoder.put_void()));
    VARIANT source;
    source.vt = VT_BSTR;
    source.bstrVal = ::SysAllocString(L"C:\\music\\song.wav");
    ComPtr<IUnknown> target(transcoder.get());  // any non-null object passes the argument check
    EXPECT_EQ(E_INVALIDARG, transcoder->Open(source, reinterpret_cast<IMediaFormat*>(target.get())));
    ::SysFreeString(source.bstrVal);
    ASSERT_EQ(1u, m_entries.size());
    EXPECT_TRUE(StartsWith(m_entries[0], L"[ERR] <exception> HRESULT(0x80070057:"));
    EXPECT_NE(std::wstring::npos, m_entries[0].find(L" {.\\M4aConverter,")) << m_entries[0].c_str();

    // Argument checks come before the boundary and log nothing.
    source.vt = VT_I4;
    EXPECT_EQ(E_INVALIDARG, transcoder->Open(source, nullptr));
    EXPECT_EQ(1u, m_entries.size());
}

TEST_F(BoundaryTest, PortableTraceEntriesReachTheModuleLogger) {
    Install(1, 1, false);
    TrnTrace(1, L"[ERR] mp4file channel config invalid.", L"..\\..\\..\\common\\Mp4DsiParser", 42);
    TrnTrace(4, L"[DBG] filtered", L"x", 1);
    ASSERT_EQ(1u, m_entries.size());
    EXPECT_EQ(L"[ERR] mp4file channel config invalid. {..\\..\\..\\common\\Mp4DsiParser,42}", m_entries[0]);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
