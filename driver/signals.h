#pragma once
// The signals that stop the bridge, installed once after the command line is
// accepted.

#include <string>

namespace corvane {

// A write that cannot be done (to a closed pipe, past the file size limit of
// ulimit -f) fails rather than ending the process: POSIX ignores SIGPIPE and
// SIGXFSZ. First of all, before anything is written; nothing elsewhere.
void ignoreWriteSignals() noexcept;

// Routes every stop request of the platform to `onStop`, which may only clear
// an atomic flag. Linux: SIGINT, SIGTERM, SIGHUP (a closed terminal) and
// SIGQUIT, unblocked whatever was inherited; SIGCHLD back to its default so
// the game command's end is seen. Windows:
// Ctrl-C, Ctrl-Break, closing the console window, logoff and shutdown (a
// console control handler; see signals_win32.h), and SIGINT and SIGTERM.
void installStopSignals(void (*onStop)(int)) noexcept;

// What the log calls the stop request `onStop` was given ("SIGTERM", "Ctrl-C").
std::string stopSignalName(int signal);

// Called once the bridge has published its last frame after a stop: a stop
// request that must not return before that (Windows: a closed console window,
// logoff, shutdown, after which the process ends) may now return.
void stopHandled() noexcept;

}  // namespace corvane
