#include "command_ring.h"

#include <algorithm>

#include "agent_module.h"

namespace corvis {

bool CommandRing::try_push(const char16_t* text, size_t units) {
    if (text == nullptr) units = 0;
    const int32_t w = write_index_.load(std::memory_order_relaxed);
    const int32_t after = next(w);
    if (after == read_index_.load(std::memory_order_acquire)) return false;
    CommandSlot& slot = slots_[w];
    slot.tag = SlotTagCommand;
    if (units > 0) std::copy_n(text, units, slot.text);
    slot.text[units] = u'\0';
    write_index_.store(after, std::memory_order_release);
    return true;
}

const CommandSlot* CommandRing::front() const {
    const int32_t r = read_index_.load(std::memory_order_relaxed);
    if (r == write_index_.load(std::memory_order_acquire)) return nullptr;
    return &slots_[r];
}

void CommandRing::pop() {
    const int32_t r = read_index_.load(std::memory_order_relaxed);
    read_index_.store(next(r), std::memory_order_release);
}

void CommandRing::reset() {
    static_assert(offsetof(CommandRing, write_index_) >= sizeof(CommandSlot) * kRingSlots);
    static_assert(offsetof(CommandRing, read_index_) - offsetof(CommandRing, write_index_) >= 64,
                  "the two indices must not share a cache line");
    read_index_.store(0, std::memory_order_relaxed);
    write_index_.store(0, std::memory_order_relaxed);
}

ExecuteResult Execute(AgentModule& module, const char16_t* text, size_t units) {
    if (text == nullptr) units = 0;
    if (units > kSlotTextUnits) return ExecuteResult::TooLong;
    return module.ring.try_push(text, units) ? ExecuteResult::Stored : ExecuteResult::RingFull;
}

}  // namespace corvis
