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
      gameCommand_(gameCommand),
      noticesToError_(gameCommand || destinations_.errorIsConsole) {
    if (destinations_.sameDestination) {
        output_ = std::make_unique<AsyncWriter>(
            std::vector<AsyncWriter::Sink>{destinations_.output, destinations_.error}, kWaitingLimit,
            gameCommand_);
    } else {
        output_ = std::make_unique<AsyncWriter>(std::vector<AsyncWriter::Sink>{destinations_.output},
                                                kWaitingLimit, gameCommand_);
        error_ = std::make_unique<AsyncWriter>(std::vector<AsyncWriter::Sink>{destinations_.error},
                                               kWaitingLimit, gameCommand_);
    }
}

Output::Destinations Output::standardStreams() {
    Destinations d;
    d.output = [](std::string_view text) { return writeStandardStream(StandardStream::Output, text); };
    d.error = [](std::string_view text) { return writeStandardStream(StandardStream::Error, text); };
    d.outputIsConsole = isConsole(StandardStream::Output);
    d.errorIsConsole = isConsole(StandardStream::Error);
    d.clock = localTimestamp;
    d.sameDestination = standardStreamsShareDestination();
    return d;
}

void Output::start() {
    if (started_) return;
    started_ = true;
    output_->start();
    if (error_) error_->start();
    if (log_) log_->start();
}

void Output::toError(std::string_view text) {
    if (text.empty()) return;
    std::string line(text);
    // Below the status line where both show, rather than after it on its row;
    // the next status line is drawn below.
    if (statusShown_ && destinations_.sameDestination) {
        if (!line.starts_with('\n')) line.insert(line.begin(), '\n');
        statusShown_ = false;
    }
    if (error_) {
        error_->post(std::move(line));
    } else {
        output_->post(std::move(line), 1);
    }
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

void Output::status(std::string line, bool labelChanged) {
    sayLogFailure();
    if (gameCommand_ && !destinations_.outputIsConsole) {
        // A launcher's log keeps every line: one for each change, whole.
        if (!labelChanged) return;
        if (line.starts_with('\r')) line.erase(0, 1);
        output_->post(std::move(line) + "\n");
        return;
    }
    statusShown_ = true;
    output_->postLatest(std::move(line));
}

bool Output::openLog(const std::string& path, std::string& error) {
    auto file = std::make_shared<LogFile>();
    if (!file->open(path, error)) return false;
    log_ = std::make_unique<AsyncWriter>(
        std::vector<AsyncWriter::Sink>{[file](std::string_view text) { return file->append(text); }},
        kWaitingLimit, gameCommand_);
    logFile_ = std::move(file);
    logPath_ = path;
    if (started_) log_->start();
    return true;
}

bool Output::finish(std::chrono::milliseconds bound) {
    sayLogFailure();
    if (statusShown_ && destinations_.outputIsConsole) output_->post("\n");
    statusShown_ = false;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool written = output_->flush(deadline);
    if (error_) written = error_->flush(deadline) && written;
    if (log_) written = log_->flush(deadline) && written;
    return written;
}

void Output::keepToProcessEnd() {
    for (AsyncWriter* writer : {output_.get(), error_.get(), log_.get()}) {
        if (writer != nullptr) writer->keepToProcessEnd();
    }
}

}  // namespace corvane
