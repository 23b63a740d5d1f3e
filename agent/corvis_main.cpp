// corvis: the command agent. Registers itself ("-RegServer"), unregisters itself ("-UnregServer"), or runs
// as the bus-activated server of the class Kel.
#include <unistd.h>

#include <cstdio>

#include "server_shell.h"

int main() {
    switch (corvis::ScanCommandLine(corvis::ProcessCommandLine().c_str())) {
        case corvis::ShellMode::Register:
            return corvis::RegisterServer();
        case corvis::ShellMode::Unregister:
            return corvis::UnregisterServer();
        case corvis::ShellMode::Serve:
            break;
    }
    const int code = corvis::RunServer();
    // The worker thread is detached and may still be returning from its last call: end without running
    // destructors under it.
    std::fflush(nullptr);
    _exit(code);
}
