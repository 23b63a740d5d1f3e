// The queue between Execute (main thread, the one producer) and the worker (the one consumer). No lock:
// a slot is complete before the write index that covers it is published (release, loaded with acquire),
// and the worker has finished with a slot before the read index that frees it is published. Each side
// reads its own index relaxed: only it writes that index.
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

class CommandRing {
  public:
    // Producer. Copies `units` units of `text` (at most kSlotTextUnits; null counts as empty) and their
    // NUL into the next slot and publishes it. False, storing nothing, when 99 commands wait: one
    // position always stays free, and filling it would overwrite a command the worker has not run.
    bool try_push(const char16_t* text, size_t units);

    // Consumer. The oldest command not yet popped, or null when none waits. The slot stays the
    // consumer's until pop().
    const CommandSlot* front() const;
    // Consumer. Hands the front slot back to the producer; front() must have given one.
    void pop();
    // Consumer. No command waits.
    bool empty() const { return front() == nullptr; }

    // Empties the ring; only while neither side runs.
    void reset();

    // For tests and diagnostics: a slot by position, and the positions the two sides have reached.
    const CommandSlot& slot(int32_t position) const { return slots_[position]; }
    int32_t write_position() const { return write_index_.load(std::memory_order_acquire); }
    int32_t read_position() const { return read_index_.load(std::memory_order_acquire); }

  private:
    static constexpr int32_t next(int32_t index) { return index == kRingSlots - 1 ? 0 : index + 1; }

    CommandSlot slots_[kRingSlots]{};
    // Written only by the producer.
    alignas(64) std::atomic<int32_t> write_index_{0};
    // Written only by the consumer.
    alignas(64) std::atomic<int32_t> read_index_{0};
};

static_assert(sizeof(CommandSlot) == 4 + 2 * 256);
static_assert(std::atomic<int32_t>::is_always_lock_free);

}  // namespace corvis
