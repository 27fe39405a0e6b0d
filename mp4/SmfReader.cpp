#include "SmfReader.h"

#include <algorithm>
#include <mutex>
#include <new>

SmfParseState& SmfState(SmfMovieHandle* h) { return *h->parse; }

uint8_t SmfReadU8(SmfMovieHandle* h, ISmfAbsStream* s) {
    uint8_t v = 0;
    if (!s->ReadU8(v)) SmfRaise(h, SMF_STATUS_SHORT_READ);
    return v;
}

uint16_t SmfReadU16(SmfMovieHandle* h, ISmfAbsStream* s) {
    uint16_t v = 0;
    if (!s->ReadU16(v)) SmfRaise(h, SMF_STATUS_SHORT_READ);
    return v;
}

uint32_t SmfReadU24(SmfMovieHandle* h, ISmfAbsStream* s) {
    uint32_t v = 0;
    if (!s->ReadU24(v)) SmfRaise(h, SMF_STATUS_SHORT_READ);
    return v;
}

uint32_t SmfReadU32(SmfMovieHandle* h, ISmfAbsStream* s) {
    uint32_t v = 0;
    if (!s->ReadU32(v)) SmfRaise(h, SMF_STATUS_SHORT_READ);
    return v;
}

bool SmfReadBytes(SmfMovieHandle* h, ISmfAbsStream* s, void* buffer, uint32_t count) {
    if (count == 0) return true;
    uint32_t got = s->ReadSome(buffer, count);
    if (got == count) return true;
    std::fill(static_cast<uint8_t*>(buffer) + got, static_cast<uint8_t*>(buffer) + count, 0);
    SmfRaise(h, SMF_STATUS_SHORT_READ);
    return false;
}

void SmfReadRaw(SmfMovieHandle* h, ISmfAbsStream* s, std::vector<uint8_t>& out, uint32_t count) {
    out.assign(count, 0);
    if (count > 0 && !SmfReadBytes(h, s, out.data(), count)) out.clear();
}

void SmfSeekTo(SmfMovieHandle* h, ISmfAbsStream* s, uint32_t position) {
    if (!s->SeekTo(position)) SmfRaise(h, SMF_STATUS_SHORT_READ);
}

uint32_t SmfTellPos(SmfMovieHandle* h, ISmfAbsStream* s) {
    int64_t pos = s->Position();
    if (pos < 0) {
        SmfRaise(h, SMF_STATUS_SHORT_READ);
        return 0;
    }
    return uint32_t(pos);
}

// ---- value tables ----

const uint32_t* SmfValueTable::Entry(uint64_t index) const {
    if (index >= m_ullCount) return nullptr;
    const Block& b = *m_vecBlocks[size_t(index / kBlockEntries)];
    uint32_t inBlock = uint32_t(index % kBlockEntries);
    if (inBlock >= b.count) return nullptr;
    return &b.words[size_t(inBlock) * m_dwWordsPerEntry];
}

namespace {

// Full blocks' words kept for reuse, by words per entry (1 to 4), up to
// kMaxKeptBytes in all.
class SmfBlockPool {
public:
    static constexpr uint32_t kMaxWordsPerEntry = 4;
    static constexpr size_t kMaxKeptBytes = size_t(4) << 20;

    static SmfBlockPool& Instance() {
        static SmfBlockPool pool;
        return pool;
    }
    SmfBlockPool() = default;
    SmfBlockPool(const SmfBlockPool&) = delete;
    SmfBlockPool& operator=(const SmfBlockPool&) = delete;
    ~SmfBlockPool() {
        for (auto& list : m_free)
            for (uint32_t* words : list) delete[] words;
    }

    // Words for a full block, or null when none is kept. Room in the list is
    // made here, so that giving back never allocates.
    uint32_t* Take(uint32_t wordsPerEntry) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<uint32_t*>& list = m_free[wordsPerEntry - 1];
        const size_t most = kMaxKeptBytes / BlockBytes(wordsPerEntry);
        if (list.capacity() < most) list.reserve(most);
        if (list.empty()) return nullptr;
        uint32_t* words = list.back();
        list.pop_back();
        m_keptBytes -= BlockBytes(wordsPerEntry);
        return words;
    }
    // Keeps the words if there is room, else frees them.
    void Give(uint32_t* words, uint32_t wordsPerEntry) noexcept {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std::vector<uint32_t*>& list = m_free[wordsPerEntry - 1];
            if (m_keptBytes + BlockBytes(wordsPerEntry) <= kMaxKeptBytes && list.size() < list.capacity()) {
                list.push_back(words);
                m_keptBytes += BlockBytes(wordsPerEntry);
                return;
            }
        }
        delete[] words;
    }

private:
    static size_t BlockBytes(uint32_t wordsPerEntry) {
        return size_t(SmfValueTable::kBlockEntries) * wordsPerEntry * sizeof(uint32_t);
    }

    std::mutex m_mutex;
    std::vector<uint32_t*> m_free[kMaxWordsPerEntry];
    size_t m_keptBytes = 0;
};

}  // namespace

void SmfBlockWordsReturn::operator()(uint32_t* words) const noexcept {
    if (!words) return;
    if (wordsPerEntry == 0) {
        delete[] words;
    } else {
        SmfBlockPool::Instance().Give(words, wordsPerEntry);
    }
}

SmfValueTable::Block* SmfValueTable::AddBlock(uint32_t entries) {
    auto block = std::make_unique<Block>();
    const bool full = entries >= kBlockEntries;
    if (full && m_dwWordsPerEntry >= 1 && m_dwWordsPerEntry <= SmfBlockPool::kMaxWordsPerEntry) {
        SmfBlockPool& pool = SmfBlockPool::Instance();
        uint32_t* words = pool.Take(m_dwWordsPerEntry);
        if (!words) words = new uint32_t[size_t(kBlockEntries) * m_dwWordsPerEntry];
        block->words = std::unique_ptr<uint32_t[], SmfBlockWordsReturn>(words, SmfBlockWordsReturn{m_dwWordsPerEntry});
    } else {
        block->words.reset(new uint32_t[size_t(std::min(entries, kBlockEntries)) * m_dwWordsPerEntry]);
    }
    m_vecBlocks.push_back(std::move(block));
    return m_vecBlocks.back().get();
}

void SmfValueTable::CommitBlock(Block* block, uint32_t entries) {
    block->count = entries;
    m_ullCount += entries;
}

int SmfReadTable(SmfMovieHandle* h, ISmfAbsStream* s, SmfValueTable& table, uint64_t count) {
    const uint32_t words = table.WordsPerEntry();
    while (count > 0) {
        uint32_t n = uint32_t(std::min<uint64_t>(count, SmfValueTable::kBlockEntries));
        SmfValueTable::Block* block = table.AddBlock(n);
        uint32_t bytes = n * words * 4;
        uint8_t* raw = reinterpret_cast<uint8_t*>(block->words.get());
        if (!SmfReadBytes(h, s, raw, bytes)) return SMF_ERR_BOX;
        for (uint32_t i = 0; i < n * words; ++i) block->words[i] = SmfBigEndian32(raw + size_t(i) * 4);
        table.CommitBlock(block, n);
        count -= n;
    }
    return SMF_ERR_NONE;
}

// ---- the child loop ----

static const SmfBoxRule* FindRule(const SmfBoxTable& table, uint32_t type, size_t* index) {
    for (size_t i = 0; i < table.count; ++i) {
        if (table.rules[i].type == type || table.rules[i].type == SMF_BOX_ANY) {
            *index = i;
            return &table.rules[i];
        }
    }
    return nullptr;
}

// Runs the child's rule. `handled` tells whether a parser read the box (so
// stopping short of its end is an irregularity) or it was skipped.
static int DispatchChild(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBoxRule* rule, SmfBox& box, uint64_t& seen,
                         size_t index, bool& handled) {
    handled = false;
    if (!rule) {
        SmfRaise(h, SMF_STATUS_UNKNOWN);
        return SMF_ERR_NONE;
    }
    const uint64_t bit = index < 64 ? (uint64_t(1) << index) : 0;
    if ((rule->flags & SMF_RULE_ONCE) && (seen & bit)) {
        SmfRaise(h, SMF_STATUS_DUPLICATE);
        return SMF_ERR_NONE;
    }
    seen |= bit;
    if (box.size < rule->minSize) {
        SmfRaise(h, SMF_STATUS_STRUCTURE);
        return SMF_ERR_NONE;
    }
    if (rule->flags & SMF_RULE_FULL) {
        box.version = SmfReadU8(h, s);
        box.flags = SmfReadU24(h, s);
        if (box.version != 0) {
            SmfRaise(h, SMF_STATUS_UNKNOWN);
            return SMF_ERR_NONE;
        }
    }
    if (!rule->handler) return SMF_ERR_NONE;
    handled = true;
    return rule->handler(h, s, box);
}

int SmfParseChildren(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBoxTable& table, uint32_t start, uint32_t length,
                     uint32_t maxChildren, uint32_t* childrenRead) {
    uint64_t seen = 0;
    uint32_t cur = start;
    uint32_t children = 0;
    uint32_t previousType = 0;
    if (childrenRead) *childrenRead = 0;
    while (length > 7) {
        if (children == maxChildren) {
            // Entries beyond the declared count.
            SmfRaise(h, SMF_STATUS_COUNT);
            SmfSeekTo(h, s, cur + length);
            return SmfFatal(h) ? SMF_ERR_BOX : SMF_ERR_NONE;
        }
        SmfBox box;
        box.start = cur;
        box.size = SmfReadU32(h, s);
        box.type = SmfReadU32(h, s);
        box.previousType = previousType;
        previousType = box.type;
        if (SmfFatal(h)) return SMF_ERR_BOX;
        if (box.size < 8) {
            SmfRaise(h, SMF_STATUS_SIZE);
            return SMF_ERR_NONE;
        }
        if (box.size > length) {
            SmfRaise(h, SMF_STATUS_SIZE);
            box.size = length;
        }
        box.end = cur + box.size;
        size_t index = 0;
        bool handled = false;
        const SmfBoxRule* rule = FindRule(table, box.type, &index);
        int result = DispatchChild(h, s, rule, box, seen, index, handled);
        ++children;
        if (childrenRead) *childrenRead = children;
        if (SMF_FAILED(result)) return result;
        if (SmfFatal(h)) return SMF_ERR_BOX;
        uint32_t pos = SmfTellPos(h, s);
        if (pos != box.end) {
            if (handled) SmfRaise(h, SMF_STATUS_SIZE);
            SmfSeekTo(h, s, box.end);
        }
        if (SmfFatal(h)) return SMF_ERR_BOX;
        cur = box.end;
        length -= box.size;
    }
    if (length != 0) {
        SmfRaise(h, SMF_STATUS_SIZE);
        SmfSeekTo(h, s, cur + length);
    }
    return SmfFatal(h) ? SMF_ERR_BOX : SMF_ERR_NONE;
}

int SmfParseContainer(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, const SmfBoxTable& table) {
    return SmfParseChildren(h, s, table, box.start + 8, box.size - 8);
}
