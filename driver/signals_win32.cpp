#include "driver/signals.h"

#include <csignal>

namespace corvane {

// The C runtime maps Ctrl-C and Ctrl-Break to SIGINT.
void installStopSignals(void (*onStop)(int)) noexcept {
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
}

// Every stop request here returns at once.
void stopHandled() noexcept {}

}  // namespace corvane
