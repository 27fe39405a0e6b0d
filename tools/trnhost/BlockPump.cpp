#include "BlockPump.h"

#include <oleauto.h>

#include "base/UniqueResource.h"

namespace trnhost {
namespace {

// One Read's bytes; none when the transcoder had none this time.
struct Block {
    HRESULT hr = S_OK;
    PumpResult::Outcome failure = PumpResult::Outcome::ReadFailed;  // when Next returns false
    bool end = false;
    uint8_t* bytes = nullptr;
    size_t size = 0;
};

// Reads one block and exposes its bytes (the array stays locked while held).
class BlockReader {
public:
    explicit BlockReader(ITrnMediaTranscoder* transcoder) : m_transcoder(transcoder) {}
    ~BlockReader() { Unlock(); }
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    bool Next(uint32_t count, Block& out) {
        Unlock();
        m_data.reset();
        out = Block();
        SAFEARRAY* raw = nullptr;
        VARIANT_BOOL end = VARIANT_FALSE;
        out.hr = m_transcoder->Read(count, &raw, &end);
        m_data.reset(raw);
        if (FAILED(out.hr)) return false;
        out.end = end == VARIANT_TRUE;
        if (!m_data) return true;
        if (::SafeArrayGetDim(m_data.get()) != 1 || ::SafeArrayGetElemsize(m_data.get()) != 1) {
            out.failure = PumpResult::Outcome::NotBytes;
            out.hr = E_UNEXPECTED;
            return false;
        }
        out.size = m_data.get()->rgsabound[0].cElements;
        if (!out.size) return true;
        void* bytes = nullptr;
        out.hr = ::SafeArrayAccessData(m_data.get(), &bytes);
        if (FAILED(out.hr)) {
            out.failure = PumpResult::Outcome::AccessFailed;
            return false;
        }
        m_locked = true;
        out.bytes = static_cast<uint8_t*>(bytes);
        return true;
    }

private:
    void Unlock() {
        if (m_locked) ::SafeArrayUnaccessData(m_data.get());
        m_locked = false;
    }

    ITrnMediaTranscoder* m_transcoder;
    UniqueSafeArray m_data;
    bool m_locked = false;
};

}  // namespace

PumpResult PumpBlocks(ITrnMediaTranscoder* transcoder, uint32_t block, uint64_t limit, BlockSink& sink) {
    PumpResult result;
    BlockReader reader(transcoder);
    unsigned idle = 0;
    while (result.bytes < limit) {
        const uint64_t left = limit - result.bytes;
        Block b;
        if (!reader.Next(left < block ? static_cast<uint32_t>(left) : block, b)) {
            result.outcome = b.failure;
            result.hr = b.hr;
            return result;
        }
        const size_t size = b.size > left ? static_cast<size_t>(left) : b.size;
        if (size) {
            idle = 0;
        } else if (!b.end && ++idle > kMaxIdleReads) {
            result.outcome = PumpResult::Outcome::Stalled;
            return result;
        } else if (!b.end) {
            ::Sleep(1);
        }
        if (!sink.Take(b.bytes, size, b.end)) {
            result.outcome = PumpResult::Outcome::SinkStopped;
            return result;
        }
        result.bytes += size;
        if (b.end) return result;
    }
    result.outcome = PumpResult::Outcome::Limit;
    return result;
}

}  // namespace trnhost
