// The registry of native addresses handed to Java as 32-bit tokens.
#include "qvjdbc/registry.h"

#include "qvjdbc/slot_table.h"

namespace qv::registry {
namespace {

SlotTable<std::atomic<void*>>& table() {
    static SlotTable<std::atomic<void*>>* t = new SlotTable<std::atomic<void*>>();
    return *t;
}

}  // namespace

jint issue(Kind kind, void* p) {
    // A token for nothing could not be told from a refused one.
    if (!p) return 0;
    uint32_t v = table().issue(static_cast<uint8_t>(kind),
                               [p](std::atomic<void*>& slot) { slot.store(p, std::memory_order_relaxed); });
    return static_cast<jint>(v);
}

void* lookup(Kind kind, jint token) {
    std::atomic<void*>* slot = table().lookup(static_cast<uint32_t>(token), static_cast<uint8_t>(kind));
    return slot ? slot->load(std::memory_order_acquire) : nullptr;
}

void* release(Kind kind, jint token) {
    // The address is taken before the slot can be issued again, so a release
    // racing another thread's issue never hands back the new owner's address.
    void* p = nullptr;
    table().release(static_cast<uint32_t>(token), static_cast<uint8_t>(kind),
                    [&p](std::atomic<void*>& slot) { p = slot.exchange(nullptr, std::memory_order_acq_rel); });
    return p;
}

}  // namespace qv::registry
