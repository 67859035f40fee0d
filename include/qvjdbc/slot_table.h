// A process-wide table of slots addressed by 31-bit values, for handing
// native things to a party that holds them as a 32-bit integer.
//
// A value is (generation << 20) | index: never 0 (generations run 1..2047)
// and never negative. Each slot records its kind and generation; a lookup
// checks both, so a value that was never issued, was released, or names a
// slot of another kind is refused. Slots live in fixed segments that are
// allocated on first use and never freed or moved, so a payload's address
// stays valid for the life of the process and a lookup needs no lock.
// Issuing and releasing take a short lock.
//
// A freed value must stay refused for a long time: a late call with it (a
// cancel from another thread, a token Java kept) must never reach the slot's
// next owner. So a freed slot is issued again only while more than
// kReuseAfter slots are free (fresh slots are taken until then), and free
// slots are issued oldest first. Between two issues of one slot at least
// kReuseAfter other issues happen, and a value comes back only when its
// slot's generation has come round: after at least
// kMaxGeneration x (kReuseAfter + 1), about 8.4 million, issues. Only a table
// whose fresh slots are used up reuses sooner.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>

namespace qv {

template <typename Payload>
class SlotTable {
public:
    static constexpr uint32_t kIndexBits = 20;
    static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr uint32_t kSegmentBits = 10;
    static constexpr uint32_t kSegmentSize = 1u << kSegmentBits;
    static constexpr uint32_t kSegments = (1u << kIndexBits) / kSegmentSize;
    static constexpr uint32_t kMaxGeneration = (1u << (31 - kIndexBits)) - 1;
    static constexpr uint32_t kReuseAfter = 4096;

    struct Slot {
        // kind in the low 8 bits (0: free), generation above; written last on
        // issue and first on release.
        std::atomic<uint32_t> tag{0};
        uint32_t generation = 0;
        Payload payload{};
    };

    SlotTable() = default;
    SlotTable(const SlotTable&) = delete;
    SlotTable& operator=(const SlotTable&) = delete;

    // Issues a slot of the given kind (1..255). `init` prepares the payload
    // before the slot becomes visible. Returns 0 when the table is full or
    // memory for a segment was not obtained.
    template <typename Init>
    uint32_t issue(uint8_t kind, Init&& init) {
        std::lock_guard<std::mutex> lock(mutex_);
        uint32_t index;
        if (free_.size() > kReuseAfter || !fresh(index)) {
            if (free_.empty()) return 0;
            index = free_.front();
            free_.pop_front();
        }
        Slot& s = slot(index);
        uint32_t gen = s.generation % kMaxGeneration + 1;
        s.generation = gen;
        init(s.payload);
        s.tag.store((gen << 8) | kind, std::memory_order_release);
        return (gen << kIndexBits) | index;
    }

    // The payload of a live slot of this kind, or null. Lock-free.
    Payload* lookup(uint32_t value, uint8_t kind) const {
        Slot* s = find(value, kind);
        return s ? &s->payload : nullptr;
    }

    // Marks the slot free and returns its payload (still valid memory), or
    // null when the value is not live. The slot may be issued again, and its
    // payload overwritten, as soon as this returns: where another thread may
    // issue at the same time, use the overload below to take the payload.
    Payload* release(uint32_t value, uint8_t kind) {
        return release(value, kind, [](Payload&) {}) ? &slotOf(value).payload : nullptr;
    }

    // Marks the slot free and calls take(payload) before the slot can be
    // issued again (under the lock), so the caller gets the payload of its
    // own value and never that of the slot's next owner. False when the
    // value is not live.
    template <typename Take>
    bool release(uint32_t value, uint8_t kind, Take&& take) {
        std::lock_guard<std::mutex> lock(mutex_);
        Slot* s = find(value, kind);
        if (!s) return false;
        s->tag.store(0, std::memory_order_release);
        take(s->payload);
        free_.push_back(value & kIndexMask);
        return true;
    }

    // Calls f(value, payload) for every live slot of a kind (under the lock).
    template <typename F>
    void forEach(uint8_t kind, F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (uint32_t i = 0; i < next_; ++i) {
            Slot& s = slot(i);
            uint32_t tag = s.tag.load(std::memory_order_acquire);
            if ((tag & 0xFF) == kind) f(((tag >> 8) << kIndexBits) | i, s.payload);
        }
    }

private:
    Slot* find(uint32_t value, uint8_t kind) const {
        if (value == 0 || (value >> 31) != 0 || kind == 0) return nullptr;
        uint32_t index = value & kIndexMask;
        uint32_t gen = value >> kIndexBits;
        Slot* seg = segments_[index >> kSegmentBits].load(std::memory_order_acquire);
        if (!seg) return nullptr;
        Slot& s = seg[index & (kSegmentSize - 1)];
        if (s.tag.load(std::memory_order_acquire) != ((gen << 8) | kind)) return nullptr;
        return &s;
    }

    // Takes a slot never issued, under the lock; false when none is left or
    // its segment could not be allocated.
    bool fresh(uint32_t& index) {
        if (next_ > kIndexMask || !segment(next_ >> kSegmentBits, true)) return false;
        index = next_++;
        return true;
    }

    Slot* segment(uint32_t n, bool create) {
        Slot* seg = segments_[n].load(std::memory_order_acquire);
        if (!seg && create) {
            seg = new (std::nothrow) Slot[kSegmentSize];
            if (seg) segments_[n].store(seg, std::memory_order_release);
        }
        return seg;
    }
    Slot& slot(uint32_t index) { return segments_[index >> kSegmentBits].load()[index & (kSegmentSize - 1)]; }
    Slot& slotOf(uint32_t value) { return slot(value & kIndexMask); }

    std::atomic<Slot*> segments_[kSegments]{};
    std::mutex mutex_;
    std::deque<uint32_t> free_;
    uint32_t next_ = 0;
};

}  // namespace qv
