// Result codes of the MP4 core. Core functions return these small integers and
// never throw; CMp4File maps them to HRESULTs in one table.
#pragma once

#include <cstdint>

enum _smf_Err : int32_t {
    SMF_ERR_NONE = 0,
    SMF_ERR_MEMORY = 0x1,
    SMF_ERR_NO_STREAM = 0x2,  // also: short read at the end of a parse
    SMF_ERR_NOT_IMPL = 0x3,
    SMF_ERR_MISSING = 0x4,  // missing handle, movie, record; wrong handler
    SMF_ERR_INVALID_ARG = 0x6,
    SMF_ERR_NO_CURSOR = 0x7,
    SMF_ERR_BAD_VALUE = 0x8,
    SMF_ERR_UNEXPECTED = 0x9,
    SMF_ERR_INVALID_OBJECT = 0xC,
    SMF_ERR_NOT_IMPL2 = 0xD,
    SMF_ERR_STATE = 0x11,  // refused by the state guard
    SMF_ERR_CURSOR_OVERFLOW = 0x1018,
    SMF_ERR_STRUCTURE = 0x2001,  // fatal structural status
    SMF_ERR_NOT_FOUND = 0x2002,
    SMF_ERR_ABSENT = 0x2003,  // required box absent or does not add up
    SMF_ERR_2008 = 0x2008,
    SMF_ERR_200D = 0x200D,
    SMF_ERR_NO_MOOV = 0x200F,
    SMF_ERR_BOX = 0x5001,  // a box parse failed
    SMF_ERR_SCAN = 0x5005,
    SMF_ERR_NO_OUTPUT = 0x500F,
    SMF_ERR_NO_FRAGMENT = 0x5010,
};

#define SMF_SUCCEEDED(r) ((r) == SMF_ERR_NONE)
#define SMF_FAILED(r) ((r) != SMF_ERR_NONE)

// Propagates a failed core result from the enclosing function.
#define SMF_CHECK(x)                                                 \
    do {                                                             \
        int smf_check_result_ = (x);                                 \
        if (SMF_FAILED(smf_check_result_)) return smf_check_result_; \
    } while (0)

// Short English name of a result code, for diagnostics.
const char* SmfResultText(int code);

// Status word flags raised while reading.
enum : uint32_t {
    SMF_STATUS_SIZE = 0x1,
    SMF_STATUS_COUNT = 0x2,
    SMF_STATUS_UNKNOWN = 0x4,
    SMF_STATUS_DUPLICATE = 0x8,
    SMF_STATUS_TOO_MANY = 0x10,
    SMF_STATUS_DATA_REF = 0x20,
    SMF_STATUS_FRAGMENTS = 0x10000,
    SMF_STATUS_MVEX = 0x40000,
    SMF_STATUS_STRUCTURE = 0x20000000,
    SMF_STATUS_MEMORY = 0x40000000,
    SMF_STATUS_SHORT_READ = 0x80000000,
    SMF_STATUS_FATAL_LIMIT = 0x1FFFFFFF,
};
