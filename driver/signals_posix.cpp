#include "driver/signals.h"

#include <csignal>
#include <initializer_list>

#include <signal.h>

namespace corvane {

void installStopSignals(void (*onStop)(int)) noexcept {
    // The status line is best effort: a write to a closed pipe fails instead.
    std::signal(SIGPIPE, SIG_IGN);

    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // stays installed; interrupted calls resume
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

// Every stop request here returns at once.
void stopHandled() noexcept {}

}  // namespace corvane
