// The ES descriptor of an esds box: any payload parses or is refused with
// 0x2003, and what it yields lies inside the payload.
#include "FuzzSupport.h"

#include "mp4/SmfEsDescriptor.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SmfEsDescriptor es;
    const int code = SmfParseEsDescriptor(data, size, &es);
    FUZZ_REQUIRE(code == SMF_ERR_NONE || code == SMF_ERR_ABSENT);
    if (code == SMF_ERR_NONE) {
        FUZZ_REQUIRE(es.decoderSpecificInfo.size() <= size);
        FUZZ_REQUIRE(es.url.size() <= size);
        FUZZ_REQUIRE(es.hasDecoderSpecificInfo || es.decoderSpecificInfo.empty());
    }
    // The same bytes as the esds of a sample entry.
    SmfSampleEntry entry;
    entry.esds = std::make_unique<SmfEsds>();
    entry.esds->payload.assign(data, data + size);
    SmfEsDescriptor viaEntry;
    const int entryCode = SmfGetEsDescriptor(&entry, &viaEntry);
    FUZZ_REQUIRE(entryCode == SMF_ERR_NONE || entryCode == SMF_ERR_ABSENT);
    FUZZ_REQUIRE(entryCode != SMF_ERR_NONE || viaEntry.hasDecoderConfig);
    FUZZ_REQUIRE(entryCode != SMF_ERR_NONE || code == SMF_ERR_NONE);
    if (entryCode == SMF_ERR_NONE) FUZZ_REQUIRE(viaEntry.decoderSpecificInfo == es.decoderSpecificInfo);
    return 0;
}
