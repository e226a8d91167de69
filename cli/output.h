#pragma once
// Everything the bridge says once it runs goes through one Output, which
// knows where each kind of text goes:
// - the status line: standard output, latest wins; with a game command and
//   standard output no console (a launcher's log), only when its label changes;
// - errors (and the several-games hint scripts rely on): standard error, always;
// - notices (the start line, warnings, what the bridge noticed): standard
//   error when that is a console, or whatever it is when the bridge runs a
//   game command (a launcher's log); never into a redirected run that scripts
//   read;
// - all of them but the repeating status line: the log file, when there is one.
// Once started, writing happens on threads of the Output's own (AsyncWriter),
// so the cycle never waits on a reader that stopped reading. Where standard
// output and standard error reach one console, file or pipe, one thread writes
// both, so they show in the order written, and a notice or error below a
// status line starts a line of its own. Before start() there is no thread:
// the words are written at once, or kept until start() with a game command
// (the game is started first, with every thread the process may have).

#include "cli/async_writer.h"
#include "cli/log_file.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class Output {
public:
    struct Destinations {
        AsyncWriter::Sink output;  // standard output
        AsyncWriter::Sink error;   // standard error
        bool outputIsConsole = false;
        bool errorIsConsole = false;
        std::function<std::string()> clock = [] { return std::string(); };  // the log's timestamps
        bool sameDestination = false;  // both reach one console, file or pipe
    };

    // `gameCommand`: the bridge starts the game, as launchers run it.
    Output(Destinations destinations, bool gameCommand);
    // This process's standard streams and the local time.
    static Destinations standardStreams();

    // Makes the writing threads; with a game command, once the game is started.
    void start();

    // Each takes text with its own line feeds, written as it is.
    void notice(std::string_view text);
    void error(std::string_view text);
    // Only to a console: the full text of a failure the console cut from the status line.
    void errorToConsole(std::string_view text);
    // Only to the log.
    void log(std::string_view text);
    // One status line (the repeating one), to standard output. `labelChanged`:
    // its label differs from the last line's (what the log records).
    void status(std::string line, bool labelChanged);

    // Opens the log file at the UTF-8 `path`; false with the reason in `error`.
    // Its trimming and writing happen on a writer of its own; a write that
    // fails is said once, as a notice that the log does not get.
    bool openLog(const std::string& path, std::string& error);

    // The run's last words: on a console the last status line gets its line
    // feed; then up to `bound` for what waits to be written. True when
    // everything was written.
    bool finish(std::chrono::milliseconds bound);
    // The threads are left asleep until the process ends, never told to end
    // (see AsyncWriter::keepToProcessEnd): for the process's last Output.
    void keepToProcessEnd();

private:
    void toError(std::string_view text);
    void sayLogFailure();

    Destinations destinations_;
    bool gameCommand_;
    bool noticesToError_;
    // Standard output's writer; standard error's is the same one (sink 1)
    // when both reach one place.
    std::unique_ptr<AsyncWriter> output_;
    std::unique_ptr<AsyncWriter> error_;
    std::unique_ptr<AsyncWriter> log_;
    std::shared_ptr<LogFile> logFile_;  // shared with log_'s writer
    std::string logPath_;
    bool started_ = false;
    bool statusShown_ = false;  // a status line ends the last row written
};

}  // namespace corvane
