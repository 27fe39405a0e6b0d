// The media type owner, the enumerators and the module count of the filter
// base: deep copies, reference counts and enumeration positions.
#include <gtest/gtest.h>

#include "standins/filterbase/Enumerators.h"
#include "standins/filterbase/MediaType.h"

namespace {

// Counts its references, so that a leak or an extra Release shows.
class CCounted : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

CMediaType PcmType(DWORD rate) {
    WAVEFORMATEX wf = {WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
    CMediaType mt;
    mt.Get().majortype = MEDIATYPE_Audio;
    mt.Get().subtype = MEDIASUBTYPE_PCM;
    EXPECT_EQ(S_OK, mt.SetFormat(FORMAT_WaveFormatEx, &wf, sizeof wf));
    return mt;
}

TEST(MediaType, CopiesOwnTheirFormatBlockAndReference) {
    CCounted unknown;
    {
        CMediaType original = PcmType(44100);
        original.Get().pUnk = &unknown;
        unknown.AddRef();  // now owned by original
        CMediaType copy(original);
        EXPECT_EQ(3u, unknown.refs);
        EXPECT_NE(original.Get().pbFormat, copy.Get().pbFormat);
        EXPECT_TRUE(copy.IsEqual(original.Get()));

        CMediaType other = PcmType(48000);
        EXPECT_FALSE(other.IsEqual(original.Get()));
        other = copy;
        EXPECT_EQ(4u, unknown.refs);
        EXPECT_EQ(44100u, other.WaveFormat()->nSamplesPerSec);

        AM_MEDIA_TYPE* task = original.CreateTaskMemCopy();
        ASSERT_NE(nullptr, task);
        EXPECT_EQ(5u, unknown.refs);
        DeleteTaskMemMediaType(task);
        EXPECT_EQ(4u, unknown.refs);
    }
    EXPECT_EQ(1u, unknown.refs);
}

TEST(MediaType, PartialPatternsAndShortFormatBlocks) {
    const CMediaType pcm = PcmType(22050);
    EXPECT_TRUE(pcm.IsFullySpecified());
    AM_MEDIA_TYPE pattern = {};
    EXPECT_TRUE(pcm.MatchesPartial(pattern));
    pattern.majortype = MEDIATYPE_Audio;
    EXPECT_TRUE(pcm.MatchesPartial(pattern));
    pattern.subtype = MEDIASUBTYPE_IEEE_FLOAT;
    EXPECT_FALSE(pcm.MatchesPartial(pattern));

    // Too short to hold the PCM fields: not a wave format.
    CMediaType shortBlock = pcm;
    const BYTE few[8] = {};
    ASSERT_EQ(S_OK, shortBlock.SetFormat(FORMAT_WaveFormatEx, few, sizeof few));
    EXPECT_EQ(nullptr, shortBlock.WaveFormat());
    CMediaType empty;
    EXPECT_FALSE(empty.IsFullySpecified());
    EXPECT_EQ(nullptr, empty.WaveFormat());
}

TEST(Enumerators, MediaTypesNextSkipResetAndClone) {
    std::vector<CMediaType> types;
    types.push_back(PcmType(44100));
    types.push_back(PcmType(48000));
    ComPtr<IEnumMediaTypes> e;
    ASSERT_EQ(S_OK, CEnumMediaTypes::Create(types, e.put()));

    AM_MEDIA_TYPE* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, e->Next(3, got, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(48000u, reinterpret_cast<WAVEFORMATEX*>(got[1]->pbFormat)->nSamplesPerSec);
    DeleteTaskMemMediaType(got[0]);
    DeleteTaskMemMediaType(got[1]);
    EXPECT_EQ(E_POINTER, e->Next(2, got, nullptr));

    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Skip(1));
    ComPtr<IEnumMediaTypes> clone;
    ASSERT_EQ(S_OK, e->Clone(clone.put()));
    EXPECT_EQ(S_OK, clone->Next(1, got, nullptr));
    EXPECT_EQ(48000u, reinterpret_cast<WAVEFORMATEX*>(got[0]->pbFormat)->nSamplesPerSec);
    DeleteTaskMemMediaType(got[0]);
    EXPECT_EQ(S_FALSE, e->Skip(5));

    ComPtr<IEnumMediaTypes> none;
    ASSERT_EQ(S_OK, CEnumMediaTypes::Create({}, none.put()));
    EXPECT_EQ(S_FALSE, none->Next(1, got, nullptr));
}

TEST(FilterModule, LiveObjectsKeepTheDllLoaded) {
    const LONG before = ModuleRefCount();
    {
        ComPtr<IEnumMediaTypes> e;
        ASSERT_EQ(S_OK, CEnumMediaTypes::Create({}, e.put()));
        EXPECT_EQ(before + 1, ModuleRefCount());
        EXPECT_EQ(S_FALSE, FilterDllCanUnloadNow());
    }
    EXPECT_EQ(before, ModuleRefCount());
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
