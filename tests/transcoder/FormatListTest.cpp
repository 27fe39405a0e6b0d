// Arranging format lists, with the stand-in host format objects.
#include <gtest/gtest.h>

#include <comdef.h>

#include "base/StatusException.h"
#include "tests/host/HostSupport.h"
#include "transcoder/FormatList.h"
#include "transcoder/VariantList.h"

using namespace hosttest;

namespace {

struct ListOf {
    explicit ListOf(const std::vector<FormatFacts>& facts) {
        for (const FormatFacts& f : facts) list.AppendUnknown(MakeFormat(f).get());
    }
    trn::CVariantList list;
};

std::vector<FormatFacts> Arrange(const std::vector<FormatFacts>& input) {
    ListOf in(input);
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(S_OK, trn::ArrangeFormatList(in.list.get(), &out));
    EXPECT_NE(nullptr, out);
    // The result is handed over unlocked.
    if (out) {
        EXPECT_EQ(0u, out->cLocks);
    }
    return TakeFormatList(out);
}

class FormatList : public ::testing::Test {
protected:
    ComScope m_com;
};

TEST_F(FormatList, EmptyInputGivesAnEmptyList) { EXPECT_TRUE(Arrange({}).empty()); }

TEST_F(FormatList, ProfiledEntriesComeFirst) {
    EXPECT_TRUE(Arrange({NativeMp4(), Lpcm44100()}) == std::vector<FormatFacts>({Lpcm44100(), NativeMp4()}));
    EXPECT_TRUE(Arrange({Native3gpp(), NativeMp4(), Lpcm48000(), Lpcm44100()}) ==
                std::vector<FormatFacts>({Lpcm48000(), Lpcm44100(), Native3gpp(), NativeMp4()}));
}

TEST_F(FormatList, NotTimeSeekableComesFirstWithinAGroup) {
    FormatFacts stillLpcm = Lpcm44100();
    stillLpcm.timeSeekable = VARIANT_FALSE;
    FormatFacts seekableNative = NativeMp4();
    seekableNative.timeSeekable = VARIANT_TRUE;
    EXPECT_TRUE(Arrange({seekableNative, Lpcm48000(), NativeMp4(), stillLpcm}) ==
                std::vector<FormatFacts>({stillLpcm, Lpcm48000(), NativeMp4(), seekableNative}));
    // Any value other than VARIANT_TRUE counts as not time-seekable.
    FormatFacts odd = Lpcm48000();
    odd.timeSeekable = 1;
    EXPECT_TRUE(Arrange({Lpcm44100(), odd}) == std::vector<FormatFacts>({odd, Lpcm44100()}));
}

TEST_F(FormatList, DuplicatesAreDroppedButAnyDifferenceKeepsBoth) {
    EXPECT_TRUE(Arrange({NativeMp4(), Lpcm44100(), NativeMp4(), Lpcm44100()}) ==
                std::vector<FormatFacts>({Lpcm44100(), NativeMp4()}));
    FormatFacts converted = NativeMp4();
    converted.converted = VARIANT_TRUE;
    EXPECT_EQ(2u, Arrange({NativeMp4(), converted}).size());
    FormatFacts byteSeek = Lpcm44100();
    byteSeek.byteSeekable = VARIANT_TRUE;
    EXPECT_EQ(2u, Arrange({Lpcm44100(), byteSeek}).size());
}

TEST_F(FormatList, AnUnsetProfileDiffersFromAnEmptyOne) {
    // Unset and empty read back alike from the host, so both count as native
    // and the texts compare equal.
    ListOf in({NativeMp4()});
    const ComPtr<IMediaFormat> withEmpty = MakeFormat(NativeMp4());
    UniqueBstr empty(::SysAllocString(L""));
    withEmpty->put_ProfileName(empty.get());
    in.list.AppendUnknown(withEmpty.get());
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(S_OK, trn::ArrangeFormatList(in.list.get(), &out));
    EXPECT_EQ(1u, TakeFormatList(out).size());
}

TEST_F(FormatList, ElementsWithoutAFormatAreRefused) {
    trn::CVariantList in;
    in.AppendUnknown(MakeFormat(NativeMp4()).get());
    VARIANT number;
    number.vt = VT_I4;
    number.lVal = 7;
    in.Append(number);
    SAFEARRAY* out = nullptr;
    try {
        trn::ArrangeFormatList(in.get(), &out);
        ADD_FAILURE() << "no exception";
    } catch (HRESULT hr) {
        EXPECT_EQ(E_INVALIDARG, hr);
    }
    EXPECT_EQ(nullptr, out);
}

TEST_F(FormatList, AFailingGetterTravelsAsComError) {
    ListOf in({NativeMp4()});
    HostFault fault(L"IMediaFormat.get_TimeSeekable=0x80070005:Flags locked");
    SAFEARRAY* out = nullptr;
    try {
        trn::ArrangeFormatList(in.list.get(), &out);
        ADD_FAILURE() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(E_ACCESSDENIED, e.Error());
        EXPECT_EQ(std::wstring(L"Flags locked"), std::wstring(static_cast<const wchar_t*>(e.Description())));
    }
    EXPECT_EQ(nullptr, out);
}

TEST_F(FormatList, ArrayFailuresTravelAsAtlExceptions) {
    trn::CVariantList in;
    try {
        (void)in.At(0);
        ADD_FAILURE() << "no exception";
    } catch (const CAtlException& e) {
        EXPECT_EQ(DISP_E_BADINDEX, e.m_hr);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
