// The library's load and unload notification. The port is opened while the library is being loaded,
// before the host program's own start-up code runs, and closed when the library is unloaded.
#include "export_guard.h"
#include "serial_link.h"

namespace tavc::tessel {
namespace {

enum class LibraryEvent { ProcessAttach, ProcessDetach };

void HandleLibraryEvent(LibraryEvent reason) noexcept {
    // After a failure loading goes on with the port not open, as after a failed open.
    guarded(false, [reason] {
        switch (reason) {
            case LibraryEvent::ProcessAttach:
                OpenConfiguredPort();
                break;
            case LibraryEvent::ProcessDetach:
                ClosePort();
                break;
        }
        return true;
    });
}

__attribute__((constructor)) void LibraryLoaded() {
    HandleLibraryEvent(LibraryEvent::ProcessAttach);
}
__attribute__((destructor)) void LibraryUnloaded() {
    HandleLibraryEvent(LibraryEvent::ProcessDetach);
}

}  // namespace
}  // namespace tavc::tessel
