// The one loop that reads a started transcoder's blocks, for the stream
// command and for serve's streams: Read until the end of the stream or a
// byte limit, with a short sleep after a read without data, given up after
// about a minute of them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "module/TrnInterfaces.h"

namespace trnhost {

// Reads without data and without an end before a stream is given up.
const unsigned kMaxIdleReads = 60000;

// Takes what each read gave, empty reads included.
class BlockSink {
public:
    virtual ~BlockSink() = default;
    // data (size bytes, which may be changed in place) stays valid during the
    // call only; end is the transcoder's end of stream. False stops the pump.
    virtual bool Take(uint8_t* data, size_t size, bool end) = 0;
};

struct PumpResult {
    enum class Outcome {
        End,           // the transcoder's end of stream
        Limit,         // limit bytes taken
        ReadFailed,    // Read failed (hr)
        NotBytes,      // Read returned an array that is not of bytes
        AccessFailed,  // the array's data could not be reached (hr)
        Stalled,       // kMaxIdleReads reads without data and without an end
        SinkStopped,   // the sink refused a block
    };
    Outcome outcome = Outcome::End;
    HRESULT hr = S_OK;
    uint64_t bytes = 0;  // taken by the sink
    // Whether the whole stream (or limit bytes of it) was taken.
    bool Whole() const { return outcome == Outcome::End || outcome == Outcome::Limit; }
};

// Reads blocks of at most block bytes, and no more than limit bytes in all,
// handing each read to sink. Exceptions of the sink pass through.
PumpResult PumpBlocks(ITrnMediaTranscoder* transcoder, uint32_t block, uint64_t limit, BlockSink& sink);

}  // namespace trnhost
