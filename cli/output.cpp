#include "cli/output.h"

#include "cli/console.h"

#include <utility>

namespace corvane {
namespace {

// What may wait for a slow reader: plenty for every notice of a run, and
// bounded for one that never reads.
constexpr std::size_t kWaitingLimit = 64 * 1024;

}  // namespace

Output::Output(Destinations destinations, bool gameCommand)
    : destinations_(std::move(destinations)),
      noticesToError_(gameCommand || destinations_.errorIsConsole),
      output_(destinations_.output, kWaitingLimit),
      error_(destinations_.error, kWaitingLimit) {}

Output::Destinations Output::standardStreams() {
    Destinations d;
    d.output = [](std::string_view text) { return writeStandardStream(StandardStream::Output, text); };
    d.error = [](std::string_view text) { return writeStandardStream(StandardStream::Error, text); };
    d.outputIsConsole = isConsole(StandardStream::Output);
    d.errorIsConsole = isConsole(StandardStream::Error);
    d.clock = localTimestamp;
    return d;
}

void Output::toError(std::string_view text) {
    if (text.empty()) return;
    std::string line(text);
    // Below the status line on a console both share, rather than after it.
    if (statusShown_ && destinations_.outputIsConsole && destinations_.errorIsConsole) {
        if (!line.starts_with('\n')) line.insert(line.begin(), '\n');
        statusShown_ = false;
    }
    error_.post(std::move(line));
}

// Said where notices go, never into the log that failed; from the thread
// that writes the status line, not the log's own.
void Output::sayLogFailure() {
    if (!logFile_) return;
    if (const std::string why = logFile_->takeFailure(); !why.empty() && noticesToError_) {
        toError("The log file \"" + logPath_ + "\" cannot be written: " + why +
                ". The bridge runs on; what it says is not logged while that lasts.\n");
    }
}

void Output::notice(std::string_view text) {
    sayLogFailure();
    if (noticesToError_) toError(text);
    log(text);
}

void Output::error(std::string_view text) {
    sayLogFailure();
    toError(text);
    log(text);
}

void Output::errorToConsole(std::string_view text) {
    if (destinations_.errorIsConsole) toError(text);
}

void Output::log(std::string_view text) {
    if (log_ && !text.empty()) log_->post(timestampedLines(destinations_.clock(), text));
}

void Output::status(std::string line) {
    sayLogFailure();
    statusShown_ = true;
    output_.postLatest(std::move(line));
}

bool Output::openLog(const std::string& path, std::string& error) {
    auto file = std::make_shared<LogFile>();
    if (!file->open(path, error)) return false;
    log_ = std::make_unique<AsyncWriter>(
        [file](std::string_view text) { return file->append(text); }, kWaitingLimit);
    logFile_ = std::move(file);
    logPath_ = path;
    return true;
}

void Output::finish(std::chrono::milliseconds bound) {
    sayLogFailure();
    if (statusShown_ && destinations_.outputIsConsole) output_.post("\n");
    statusShown_ = false;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    output_.flush(deadline);
    error_.flush(deadline);
    if (log_) log_->flush(deadline);
}

}  // namespace corvane
