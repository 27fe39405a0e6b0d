// Sample tables: stbl and its entry tables.
#include "SmfReader.h"

namespace {

// Reads a counted table whose entries follow `header` bytes of the box.
int ReadCountedTable(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, uint32_t count, uint32_t header,
                     uint32_t words, std::unique_ptr<SmfValueTable>& out) {
    uint32_t fits = (box.size - header) / (4 * words);
    if (count > fits) {
        SmfRaise(h, SMF_STATUS_COUNT);
        count = fits;
    }
    out = std::make_unique<SmfValueTable>(words);
    out->head.size = box.size;
    out->head.type = box.type;
    out->head.version = box.version;
    out->head.flags = box.flags;
    return SmfReadTable(h, s, *out, count);
}

int ParseStts(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    return ReadCountedTable(h, s, box, SmfReadU32(h, s), 16, 2, SmfState(h).stbl->stts);
}

int ParseCtts(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    return ReadCountedTable(h, s, box, SmfReadU32(h, s), 16, 2, SmfState(h).stbl->ctts);
}

int ParseStsc(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    return ReadCountedTable(h, s, box, SmfReadU32(h, s), 16, 3, SmfState(h).stbl->stsc);
}

int ParseStco(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    return ReadCountedTable(h, s, box, SmfReadU32(h, s), 16, 1, SmfState(h).stbl->stco);
}

int ParseStss(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    return ReadCountedTable(h, s, box, SmfReadU32(h, s), 16, 1, SmfState(h).stbl->stss);
}

int ParseStsz(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfStbl& stbl = *SmfState(h).stbl;
    stbl.sampleSize = SmfReadU32(h, s);
    stbl.sampleCount = SmfReadU32(h, s);
    // A fixed sample size has no entry table.
    uint32_t count = stbl.sampleSize == 0 ? stbl.sampleCount : 0;
    return ReadCountedTable(h, s, box, count, 20, 1, stbl.stsz);
}

const SmfBoxRule kStblRules[] = {
    {SMF_BOX_STSD, SmfParseStsd, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_STTS, ParseStts, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_CTTS, ParseCtts, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_STSC, ParseStsc, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_STSZ, ParseStsz, 20, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_STCO, ParseStco, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_STSS, ParseStss, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
};

}  // namespace

int SmfParseStbl(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    st.track->stbl = std::make_unique<SmfStbl>();
    st.track->stbl->head.size = box.size;
    st.track->stbl->head.type = box.type;
    st.stbl = st.track->stbl.get();
    int result = SmfParseContainer(h, s, box, SmfTable(kStblRules));
    st.stbl = nullptr;
    return result;
}
