#include <algorithm>

#include "agent_module.h"

namespace corvis {

ExecuteResult Execute(AgentModule& module, const char16_t* text, size_t units) {
    if (text == nullptr) units = 0;
    if (units > kSlotTextUnits) return ExecuteResult::TooLong;
    CommandRing& ring = module.ring;
    const int32_t w = ring.write_index.load(std::memory_order_relaxed);
    const int32_t next = CommandRing::next(w);
    // One position always stays free; filling it would overwrite a command the worker has not run.
    if (next == ring.read_index.load(std::memory_order_acquire)) return ExecuteResult::RingFull;
    CommandSlot& slot = ring.slots[w];
    slot.tag = SlotTagCommand;
    if (units > 0) std::copy_n(text, units, slot.text);
    slot.text[units] = u'\0';
    ring.write_index.store(next, std::memory_order_release);
    return ExecuteResult::Stored;
}

}  // namespace corvis
