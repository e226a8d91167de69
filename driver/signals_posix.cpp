#include "driver/signals.h"

#include <csignal>
#include <initializer_list>

#include <pthread.h>
#include <signal.h>

namespace corvane {

void ignoreWriteSignals() noexcept {
    // The status line is best effort: a write to a closed pipe fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    // A log past the file size limit (ulimit -f) fails its write instead of
    // ending the bridge unparked, or a short run with another code.
    std::signal(SIGXFSZ, SIG_IGN);
}

void installStopSignals(void (*onStop)(int)) noexcept {
    // What a launcher hands on cannot hold the end: with SIGCHLD ignored the
    // kernel reaps the game command unseen, and a blocked stop signal waits for ever.
    std::signal(SIGCHLD, SIG_DFL);

    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // stays installed; interrupted calls resume
    sigset_t handled;
    sigemptyset(&handled);
    // SIGQUIT (Ctrl-\) stops in order too, rather than leaving the character placed.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&handled, signal);
    }
    pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}

std::string stopSignalName(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT (Ctrl-C)";
    case SIGQUIT: return "SIGQUIT (Ctrl-\\)";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP (the terminal closed)";
    default: return "signal " + std::to_string(signal);
    }
}

// Every stop request here returns at once.
void stopHandled() noexcept {}

}  // namespace corvane
