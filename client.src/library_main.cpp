// The library's load and unload notification. The port is opened while the library is being loaded,
// before the host program's own start-up code runs, and closed when the library is unloaded.
#include "serial_link.h"

namespace tavc::tessel {
namespace {

enum class LibraryEvent { ProcessAttach, ProcessDetach };

void HandleLibraryEvent(LibraryEvent reason) noexcept {
    try {
        switch (reason) {
            case LibraryEvent::ProcessAttach:
                OpenConfiguredPort();
                break;
            case LibraryEvent::ProcessDetach:
                ClosePort();
                break;
        }
    } catch (...) {
        // Loading goes on with the port not open, as after a failed open.
    }
}

__attribute__((constructor)) void LibraryLoaded() {
    HandleLibraryEvent(LibraryEvent::ProcessAttach);
}
__attribute__((destructor)) void LibraryUnloaded() {
    HandleLibraryEvent(LibraryEvent::ProcessDetach);
}

}  // namespace
}  // namespace tavc::tessel
