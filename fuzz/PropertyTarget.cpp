// The 3GPP user-data readers and the ID3v2 frame readers on their own, then
// the property store over the same boxes. The input is a run of boxes (u32
// size, type, payload); the size is handed on as read, even when it does not
// match the bytes that follow, and each payload sits in a block of its own
// so that the address sanitizer sees its end.
#include "FuzzSupport.h"

#include "mp4/Mp4Property3gpp.h"
#include "mp4/Mp4PropertyId3v2.h"
#include "mp4/Mp4PropertyTable.h"

#include <map>
#include <memory>
#include <vector>

namespace {

struct OwnedBox {
    DWORD size = 0;
    DWORD type = 0;
    std::unique_ptr<BYTE[]> payload;  // exactly `held` bytes, null when none
    size_t held = 0;
    Mp4BoxRef Ref() const { return Mp4BoxRef{size, type, payload.get(), held}; }
};

DWORD Be32(const uint8_t* p) { return DWORD(p[0]) << 24 | DWORD(p[1]) << 16 | DWORD(p[2]) << 8 | p[3]; }

std::vector<OwnedBox> SplitBoxes(const uint8_t* data, size_t size) {
    std::vector<OwnedBox> boxes;
    size_t pos = 0;
    while (size - pos >= 8 && boxes.size() < 64) {
        OwnedBox box;
        box.size = Be32(data + pos);
        box.type = Be32(data + pos + 4);
        pos += 8;
        const size_t want = box.size >= 8 ? box.size - 8 : 0;
        box.held = std::min(want, size - pos);
        if (box.held > 0) {
            box.payload.reset(new BYTE[box.held]);
            std::copy(data + pos, data + pos + box.held, box.payload.get());
        }
        pos += box.held;
        boxes.push_back(std::move(box));
    }
    return boxes;
}

// The first property ID of each string kind, as the loader would pass it.
const std::map<DWORD, DWORD>& FirstIdOfKind() {
    static const std::map<DWORD, DWORD> ids = [] {
        std::map<DWORD, DWORD> m;
        size_t rows = 0;
        const Mp4PropertyRow* table = Mp4PropertyRows(&rows);
        for (size_t i = 0; i < rows; ++i)
            if (table[i].dwKind != MP4_KIND_BINARY) m.emplace(table[i].dwKind, table[i].dwPropertyId);
        return m;
    }();
    return ids;
}

void ReadAsEveryStringKind(const Mp4BoxRef& box) {
    for (const auto& kind : FirstIdOfKind()) {
        Mp4StringPropertyPtr property = Mp4CreateStringProperty(kind.first);
        FUZZ_REQUIRE(property);
        const HRESULT hr = property->ReadFromBox(kind.second, box);
        FUZZ_REQUIRE(IsLibraryStatus(hr));
        std::vector<std::wstring> values;
        const HRESULT got = property->GetValues(property->GetPropertyId(), values);
        FUZZ_REQUIRE(got == S_OK || got == E_UNEXPECTED || got == E_INVALIDARG);
        if (FAILED(hr)) continue;
        Mp4BoxList written;
        if (FAILED(property->WriteToBoxes(written))) continue;
        // What the writer produced, the reader of the same kind takes back.
        for (const std::vector<BYTE>& bytes : written) {
            FUZZ_REQUIRE(bytes.size() >= 8 && Be32(bytes.data()) == bytes.size());
            Mp4StringPropertyPtr again = Mp4CreateStringProperty(kind.first);
            const Mp4BoxRef ref{DWORD(bytes.size()), Be32(bytes.data() + 4), bytes.data() + 8, bytes.size() - 8};
            FUZZ_REQUIRE(SUCCEEDED(again->ReadFromBox(kind.second, ref)));
        }
    }
}

void ReadAsBinaryFrame(const Mp4BoxRef& box) {
    CMp4PropertyBinaryId3v2 binary;
    const HRESULT hr = binary.ReadFromBox(box);
    FUZZ_REQUIRE(IsLibraryStatus(hr));
    FUZZ_REQUIRE(binary.GetDescriptions().size() == binary.GetDataItems().size());
    if (SUCCEEDED(hr)) {
        Mp4BoxList written;
        FUZZ_REQUIRE(IsLibraryStatus(binary.WriteToBoxes(written)));
    }
    CMp4PropertyId3v2 header;
    CMp4ByteCursor cursor(nullptr, 0);
    FUZZ_REQUIRE(IsLibraryStatus(header.ReadFrameBox(box, cursor)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<OwnedBox> boxes = SplitBoxes(data, size);
    std::vector<Mp4BoxRef> userData, frames;
    for (const OwnedBox& box : boxes) {
        const Mp4BoxRef ref = box.Ref();
        ReadAsEveryStringKind(ref);
        ReadAsBinaryFrame(ref);
        (box.type == MP4_FOURCC('u', 'u', 'i', 'd') ? frames : userData).push_back(ref);
    }

    CMp4PropertyStore store;
    FUZZ_REQUIRE(store.LoadUserData(8, DWORD(size), userData) == S_OK);
    FUZZ_REQUIRE(IsLibraryStatus(store.LoadFrameArea(frames, 16, DWORD(size), DWORD(size))));
    size_t rows = 0;
    const Mp4PropertyRow* table = Mp4PropertyRows(&rows);
    for (size_t i = 0; i < rows; ++i) {
        std::vector<std::wstring> descriptions;
        std::vector<std::vector<BYTE>> items;
        FUZZ_REQUIRE(IsLibraryStatus(store.GetBinaryProperty(table[i].dwPropertyId, descriptions, items)));
        FUZZ_REQUIRE(descriptions.size() == items.size());
    }
    for (const auto& entry : store.StringProperties())
        for (const Mp4StringPropertyPtr& property : entry.second) {
            std::vector<std::wstring> values;
            FUZZ_REQUIRE(IsLibraryStatus(property->GetValues(entry.first, values)));
        }
    const std::string json = Mp4PropertiesToJson(store);
    FUZZ_REQUIRE(!json.empty() && json.front() == '[' && json.back() == ']');
    return 0;
}
