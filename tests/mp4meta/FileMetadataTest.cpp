// Metadata loading through CMp4File::Initialize on files built in memory.
#include "../mp4/BoxWriter.h"
#include "../mp4/MemoryStream.h"

#include "mp4/Mp4File.h"
#include "mp4/Mp4PropertyStore.h"

#include <gtest/gtest.h>

using namespace boxw;

namespace {

Bytes Str3gpp(const char* type, const Bytes& afterLang) {
    return FullBox(type, 0, 0, Cat({Writer().U16(0x15C7), afterLang}));
}

Bytes Cstr(const std::string& s) { return Writer().Text(s).U8(0); }

std::vector<std::wstring> StoredValues(const CMp4File& file, DWORD id) {
    std::vector<std::wstring> all;
    const CMp4PropertyStore* store = file.Properties();
    if (!store) return all;
    auto it = store->StringProperties().find(id);
    if (it == store->StringProperties().end()) return all;
    for (const Mp4StringPropertyPtr& p : it->second) {
        std::vector<std::wstring> values;
        if (SUCCEEDED(p->GetValues(id, values))) all.insert(all.end(), values.begin(), values.end());
    }
    return all;
}

}  // namespace

TEST(FileMetadata, UserDataLoadsDuringInitialize) {
    Bytes unknown = Box("XYZW", {9, 8, 7});
    Bytes udta = Udta({
        Str3gpp("titl", Cstr("First")),
        Str3gpp("titl", Cstr("Second")),
        Str3gpp("albm", Cstr("Album")),
        FullBox("yrrc", 0, 0, Writer().U16(2010)),
        unknown,
        Str3gpp("perf", Writer().U8(0xFE).U8(0xFF).U16('B').U16(0)),
    });
    Bytes data = AudioFile(AudioTrack(), udta);
    MemoryStreamRef stream(data);
    CMp4File file;
    ASSERT_EQ(S_OK, file.Initialize(static_cast<ISmfAbsStream*>(stream.stream)));
    ASSERT_NE(nullptr, file.Properties());
    EXPECT_EQ(std::vector<std::wstring>{L"First"}, StoredValues(file, 0x1001));
    EXPECT_EQ(std::vector<std::wstring>{L"Album"}, StoredValues(file, 0x100B));
    EXPECT_EQ(std::vector<std::wstring>{L"0"}, StoredValues(file, 0x100C));
    EXPECT_EQ(std::vector<std::wstring>{L"2010"}, StoredValues(file, 0x100D));
    EXPECT_EQ(std::vector<std::wstring>{L"B"}, StoredValues(file, 0x1004));
    ASSERT_EQ(1u, file.Properties()->UnknownUserDataBoxes().size());
    EXPECT_EQ(unknown, file.Properties()->UnknownUserDataBoxes()[0]);
    // No frame boxes: the frame area sits at the end of the stream.
    EXPECT_EQ(data.size(), file.Properties()->FrameAreaOffset());
    EXPECT_EQ(0u, file.Properties()->FrameAreaSize());

    std::vector<std::wstring> descriptions;
    std::vector<std::vector<BYTE>> items;
    EXPECT_EQ(S_OK, Mp4GetBinaryProperty(file.Properties(), 0x2001, descriptions, items));
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(MP4_E_PROPERTY_UNKNOWN, Mp4GetBinaryProperty(file.Properties(), 0x1001, descriptions, items));
    // The file object answers the same, and reports where the frame area lies.
    EXPECT_EQ(S_OK, file.GetBinaryProperty(0x2001, descriptions, items));
    EXPECT_EQ(MP4_E_PROPERTY_UNKNOWN, file.GetBinaryProperty(0x1001, descriptions, items));
    EXPECT_EQ(int64_t(data.size()), file.Layout().metadataAreaOffset);
    EXPECT_EQ(0, file.Layout().metadataAreaSize);
    EXPECT_EQ(std::string::npos, Mp4PropertiesToJson(file.Properties()).find("Second"));
}

TEST(FileMetadata, MalformedUserDataNeverFailsInitialize) {
    Bytes udta = Udta({
        Str3gpp("titl", Writer().Text("no terminator")),
        FullBox("dscp", 0, 0, {}),
        Str3gpp("kywd", Writer().U8(3).U8(200).Text("x")),
        Str3gpp("loci", Cstr("Place")),
        FullBox("yrrc", 0, 0, Writer().U8(1)),
        Str3gpp("auth", Cstr("Writer")),
    });
    MemoryStreamRef stream(AudioFile(AudioTrack(), udta));
    CMp4File file;
    ASSERT_EQ(S_OK, file.Initialize(static_cast<ISmfAbsStream*>(stream.stream)));
    ASSERT_NE(nullptr, file.Properties());
    EXPECT_EQ(1u, file.Properties()->StringProperties().size());
    EXPECT_EQ(std::vector<std::wstring>{L"Writer"}, StoredValues(file, 0x1005));
    EXPECT_EQ("[{\"id\":\"0x1005\",\"values\":[\"Writer\"]}]", Mp4PropertiesToJson(file.Properties()));
}

TEST(FileMetadata, ReinitializeReplacesProperties) {
    MemoryStreamRef first(AudioFile(AudioTrack(), Udta({Str3gpp("titl", Cstr("One"))})));
    MemoryStreamRef second(AudioFile());
    CMp4File file;
    ASSERT_EQ(S_OK, file.Initialize(static_cast<ISmfAbsStream*>(first.stream)));
    EXPECT_EQ(std::vector<std::wstring>{L"One"}, StoredValues(file, 0x1001));
    ASSERT_EQ(S_OK, file.Initialize(static_cast<ISmfAbsStream*>(second.stream)));
    EXPECT_TRUE(StoredValues(file, 0x1001).empty());
    EXPECT_EQ(CMp4PropertyStore::kNone, file.Properties()->UdtaOffset());
}
