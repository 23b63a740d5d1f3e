// The agent's process state and the contract between its server shell (bus side, main thread) and its
// command core (ring, worker, command language, driver table).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "command_ring.h"
#include "driver_table.h"
#include "event.h"

namespace corvis {

struct AgentModule {
    // Live Kel objects plus server locks taken through the class object.
    std::atomic<int32_t> lockCount{0};
    // Set when lockCount falls to zero; cleared by the worker at each step of its quiet period.
    std::atomic<bool> activity{false};
    tavc::event::AutoResetEvent workerEvent;
    CommandRing ring;
    DriverTable driver;

    // Shutdown handshake. The worker calls request_stop (from the worker thread) when it first finds
    // the server idle; the shell then stops taking activations on the main thread (releases the bus
    // name, handles what is already queued) and calls NotifyClassRevoked. The worker keeps serving
    // until it finds the server idle again with the class revoked; then it unloads the driver and
    // calls post_quit, after which the main thread ends the process. Both hooks are set by the shell
    // before StartCommandWorker and must only post work to the main thread, never block.
    // request_stop is called at most once. NotifyClassRevoked may also come unasked (the shell has to
    // end): the worker then ends at its next idle test without calling request_stop. Without a
    // request_stop hook the worker behaves as if the class were revoked at once.
    // post_quit is the last thing the worker does with the module: when it returns, the module may be
    // destroyed. No command is left in the ring when it is called.
    std::function<void()> request_stop;
    std::function<void()> post_quit;
    std::atomic<bool> class_revoked{false};
};

// Main thread. Creating a Kel object or LockServer(true).
int32_t AddServerLock(AgentModule& module);
// Main thread. Release of the last reference of a Kel object or LockServer(false). Returns the new
// count; at zero sets `activity` and then signals `workerEvent`.
int32_t ReleaseServerLock(AgentModule& module);

// Loads the driver library (by plain file name through the ordinary search, so the agent's run path
// $ORIGIN finds one installed beside it), resets the ring, creates the event and starts the worker.
// False when the event or the thread cannot be made; the server must then end with a failure code. A
// driver that cannot be loaded, or lacks entries, is no failure: it is reported once on standard error
// and the commands that need a missing entry make no call. Call once, before the class is registered.
bool StartCommandWorker(AgentModule& module, const char* driver_file = "libpanelkit.so");

// Main thread, after the class has been revoked (see the handshake above): no activation, and so no
// AddServerLock, may follow.
void NotifyClassRevoked(AgentModule& module);

// The worker thread's entry; runs RunCommandWorker and gives 0.
int CommandWorkerEntry(AgentModule* module);
// The worker loop: waits for the lock count to fall to zero, lets 50 ms pass without a further fall,
// runs every stored command in order, and ends the server through the handshake once it is idle.
void RunCommandWorker(AgentModule& module);

enum class ExecuteResult { Stored, RingFull, TooLong };

// Main thread. Copies the command text (UTF-16, `units` code units, no NUL needed; null counts as
// empty) into the next slot and publishes it. No allocation, no waiting. Refuses, and stores nothing,
// when 99 commands are waiting or the text exceeds 255 units.
ExecuteResult Execute(AgentModule& module, const char16_t* text, size_t units);

}  // namespace corvis
