#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "agent_module.h"
#include "clock.h"
#include "command_language.h"

namespace corvis {
namespace {

constexpr int kQuietPeriodMs = 50;

void RunSlot(const DriverTable& driver, const CommandSlot& slot) {
    char narrow[kNarrowCommandBytes];
    if (!NarrowCommandText(std::u16string_view(slot.text, kSlotTextUnits + 1), narrow)) return;
    const uint32_t pause_ms = DispatchCommand(driver, narrow);
    if (pause_ms > 0) tavc::clock::sleep_ms(pause_ms);
}

void Drain(AgentModule& module) {
    CommandRing& ring = module.ring;
    while (const CommandSlot* slot = ring.front()) {
        if (slot->tag == SlotTagCommand) RunSlot(module.driver, *slot);
        // Only now may Execute reuse the slot.
        ring.pop();
    }
}

void EndServer(AgentModule& module) {
    module.driver.unload();
    module.workerEvent.close();
    std::function<void()> quit = std::move(module.post_quit);
    module.post_quit = nullptr;
    if (quit) quit();
}

void Report(const char* driver_file, const std::string& problem) {
    std::fprintf(stderr, "corvis: driver %s: %s\n", driver_file, problem.c_str());
}

}  // namespace

int32_t AddServerLock(AgentModule& module) {
    return module.lockCount.fetch_add(1) + 1;
}

int32_t ReleaseServerLock(AgentModule& module) {
    int32_t count = module.lockCount.load();
    do {
        // A release without a lock would leave the count below zero, and the server could never end.
        if (count <= 0) return 0;
    } while (!module.lockCount.compare_exchange_weak(count, count - 1));
    if (count == 1) {
        module.activity.store(true);
        module.workerEvent.signal();
    }
    return count - 1;
}

void NotifyClassRevoked(AgentModule& module) {
    module.class_revoked.store(true, std::memory_order_release);
    module.workerEvent.signal();
}

bool StartCommandWorker(AgentModule& module, const char* driver_file) {
    module.ring.reset();
    std::string problem;
    if (!module.driver.load(driver_file, &problem)) {
        Report(driver_file, "not loaded: " + problem + "; commands will make no calls");
    } else if (!problem.empty()) {
        Report(driver_file, problem);
    }
    if (!module.workerEvent.create()) {
        module.driver.unload();
        return false;
    }
    try {
        std::thread(CommandWorkerEntry, &module).detach();
    } catch (const std::system_error&) {
        module.workerEvent.close();
        module.driver.unload();
        return false;
    }
    return true;
}

int CommandWorkerEntry(AgentModule* module) {
    RunCommandWorker(*module);
    return 0;
}

void RunCommandWorker(AgentModule& module) {
    bool stop_requested = false;
    for (;;) {
        module.workerEvent.wait(-1);
        // A wake without activity comes from the revocation, or from a release whose commands have run
        // already: it asks only for the idle test, and so never runs a command whose object is held.
        if (module.activity.load()) {
            // The exchange takes the release's store, so its commands are seen by the drain.
            do {
                module.activity.exchange(false);
            } while (module.workerEvent.wait(kQuietPeriodMs));
            Drain(module);
        }
        for (;;) {
            // Revocation is read first: once it is seen, so is every command and release before it.
            const bool revoked = module.class_revoked.load(std::memory_order_acquire);
            if (module.activity.load() || module.lockCount.load() != 0) break;
            if (!module.ring.empty()) {  // stored after the drain looked
                Drain(module);
                continue;
            }
            if (revoked) {
                EndServer(module);
                return;
            }
            if (!module.request_stop) {
                module.class_revoked.store(true, std::memory_order_release);
                continue;
            }
            if (!stop_requested) {
                stop_requested = true;
                module.request_stop();
            }
            break;
        }
    }
}

}  // namespace corvis
