#include "base/TraceHook.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::pair<int, std::wstring>> g_entries;

void CapturingSink(int nLevel, const wchar_t* pszText) { g_entries.emplace_back(nLevel, pszText); }

void ThrowingSink(int, const wchar_t*) { throw 42; }

class TraceHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_entries.clear();
        m_pfnPrevious = TrnSetTraceSink(&CapturingSink);
    }
    void TearDown() override { TrnSetTraceSink(m_pfnPrevious); }

    TrnTraceSink m_pfnPrevious = nullptr;
};

TEST_F(TraceHookTest, CompletesTheTextWithTheSourcePosition) {
    TrnTrace(1, L"[ERR] something failed.", L"..\\..\\..\\common\\Unit", 1234);
    ASSERT_EQ(1u, g_entries.size());
    EXPECT_EQ(1, g_entries[0].first);
    EXPECT_EQ(L"[ERR] something failed. {..\\..\\..\\common\\Unit,1234}", g_entries[0].second);
}

TEST_F(TraceHookTest, NullPiecesBecomeEmpty) {
    TrnTrace(4, nullptr, nullptr, -7);
    ASSERT_EQ(1u, g_entries.size());
    EXPECT_EQ(4, g_entries[0].first);
    EXPECT_EQ(L" {,-7}", g_entries[0].second);
}

TEST_F(TraceHookTest, SetReturnsTheReplacedSinkAndNullSilencesTracing) {
    EXPECT_EQ(&CapturingSink, TrnSetTraceSink(nullptr));
    TrnTrace(1, L"dropped", L"file", 1);
    EXPECT_TRUE(g_entries.empty());
    EXPECT_EQ(nullptr, TrnSetTraceSink(&CapturingSink));
}

TEST_F(TraceHookTest, AThrowingSinkDoesNotReachTheCaller) {
    TrnSetTraceSink(&ThrowingSink);
    EXPECT_NO_THROW(TrnTrace(1, L"text", L"file", 1));
}

}  // namespace
