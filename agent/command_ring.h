// The queue between Execute (main thread, the one producer) and the worker (the one consumer). No lock:
// a slot is complete before the write index that covers it is published (release, loaded with acquire),
// and the worker has finished with a slot before the read index that frees it is published.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace corvis {

inline constexpr int32_t SlotTagCommand = 12;
inline constexpr int32_t kRingSlots = 100;
// Units of command text a slot holds, not counting its terminating NUL.
inline constexpr size_t kSlotTextUnits = 255;

struct CommandSlot {
    int32_t tag;  // SlotTagCommand once a command was stored; never cleared
    char16_t text[kSlotTextUnits + 1];
};

struct CommandRing {
    CommandSlot slots[kRingSlots]{};
    // Written only by Execute.
    alignas(64) std::atomic<int32_t> write_index{0};
    // Written only by the worker.
    alignas(64) std::atomic<int32_t> read_index{0};

    static constexpr int32_t next(int32_t index) { return index == kRingSlots - 1 ? 0 : index + 1; }
};

static_assert(sizeof(CommandSlot) == 4 + 2 * 256);
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(offsetof(CommandRing, write_index) >= sizeof(CommandSlot) * kRingSlots);
static_assert(offsetof(CommandRing, read_index) - offsetof(CommandRing, write_index) >= 64,
              "the two indices must not share a cache line");

}  // namespace corvis
