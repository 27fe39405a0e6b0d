#include "SmfResult.h"

const char* SmfResultText(int code) {
    // clang-format off
    switch (code) {
    case SMF_ERR_NONE: return "success";
    case SMF_ERR_MEMORY: return "out of memory";
    case SMF_ERR_NO_STREAM: return "no stream or read error";
    case SMF_ERR_NOT_IMPL:
    case SMF_ERR_NOT_IMPL2: return "not implemented";
    case SMF_ERR_MISSING: return "missing handle, movie or record";
    case SMF_ERR_INVALID_ARG: return "invalid argument";
    case SMF_ERR_NO_CURSOR: return "no sample cursor";
    case SMF_ERR_BAD_VALUE: return "bad value";
    case SMF_ERR_STATE: return "operation refused in this state";
    case SMF_ERR_CURSOR_OVERFLOW: return "sample table value out of range";
    case SMF_ERR_STRUCTURE: return "fatal structure error";
    case SMF_ERR_NOT_FOUND: return "not found";
    case SMF_ERR_ABSENT: return "required box absent or malformed";
    case SMF_ERR_NO_MOOV: return "no movie box";
    case SMF_ERR_BOX: return "box parse failed";
    case SMF_ERR_SCAN: return "scan ended with structural irregularities";
    case SMF_ERR_NO_OUTPUT: return "missing output argument";
    case SMF_ERR_NO_FRAGMENT: return "no further movie fragment";
    default: return "unknown error";
    }
    // clang-format on
}
