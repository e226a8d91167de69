#include "driver/bridge.h"

#include "check/chain_check.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/start_line.h"
#include "cli/status_line.h"
#include "cli/sudo_notice.h"
#include "driver/game_launch.h"
#include "driver/game_session.h"
#include "driver/pacing.h"
#include "driver/poses.h"
#include "driver/presence.h"
#include "driver/signals.h"
#include "game/game_reader.h"
#include "link/link_readers.h"
#include "link/link_writer.h"

#include <atomic>
#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>

namespace corvane {
namespace {

constexpr std::int64_t kStatusIntervalNs = 250'000'000;
// How often the link's name is checked (a replaced link loses at most this
// much), and who reads it looked up.
constexpr std::int64_t kLinkCheckIntervalNs = 1'000'000'000;
// Readers that come and go are said at most this often.
constexpr std::int64_t kReaderNoticeGapNs = 5'000'000'000;
// How long a game that was passed the bridge's stop signal has to end.
constexpr std::chrono::milliseconds kGameStopTimeout{5000};
// How long the last words may take to reach a reader once the bridge ends: a
// reader that stopped reading does not hold up the end.
constexpr std::chrono::milliseconds kLastWordsBound{300};

// The only state shared with the signal handler.
std::atomic<bool> g_running{true};
static_assert(std::atomic<bool>::is_always_lock_free);

// Which signal stopped us, for the game command: a launcher's SIGTERM is its to hear too.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    g_stopSignal.store(signal);
    g_running.exchange(false);
}

// One run after its command line was accepted: start-up, the cycles, the end.
class BridgeRun {
public:
    BridgeRun(const BridgeOptions& options, Output& output)
        : options_(options), output_(output), connection_(reader_),
          session_(connection_, options.wait, options.pid) {}

    int run();
    // With a command line the bridge cannot run on: the game alone, for its
    // exit code.
    int runGameAlone();

    // For the log's last line: how the run ended, and what the game command
    // and the game read have told ("; the game ended with 7"; empty without one).
    std::string how = "an error";
    std::string gameOutcome();

private:
    int cycles();
    bool cycle(std::int64_t cycleStart);
    // One live cycle's read: the game while it is attached; without one the
    // character is isolated as after a failed read, with the session's reason,
    // so that the next game is placed only after the full run of in-world reads.
    PresenceOutcome liveStep(std::int64_t now, CharacterSnapshot& snapshot);
    // A game command runs its course even when the bridge cannot publish: the
    // bridge waits for it and ends with it. Without one the run ends with 1.
    int withoutLink();
    bool startGame();
    // The end of a run with a game command after a stop; `passedOn`: the stop
    // was passed on to the command's processes, which are then waited for.
    int endWithGame(bool passedOn);
    void takeSessionNotices(bool belowStatusLine);
    // False when the link cannot be followed: its lastError says why.
    bool checkLink(std::int64_t now);

    const BridgeOptions& options_;
    Output& output_;
    // First of all, so the game inherits nothing the bridge opens.
    GameLaunch game_;
    // Declared in this order so the reader is released before the link.
    LinkWriter link_;
    ReaderNotice readerNotice_{kReaderNoticeGapNs};
    GameReader reader_;
    ReaderConnection connection_;
    GameSession session_;
    LinkFrame frame_;
    std::optional<PresenceTracker> presence_;
    std::optional<StatusPrinter> status_;
    std::int64_t start_ = 0;
    std::int64_t nextStatus_ = 0;
    std::int64_t nextLinkCheck_ = 0;
    bool published_ = false;
    std::optional<CommandEnd> gameEnd_;
};

// The game is started before the bridge makes any thread of its own, so that a
// process limit is the game's to use first; Output keeps its words until then
// (and writes them itself at the end when the game could not be started).
bool BridgeRun::startGame() {
    if (options_.command.empty()) return true;
    if (game_.start(options_.command)) {
        output_.start();
        return true;
    }
    output_.error("ERROR: " + game_.lastError() + "\n");
    how = "the game command could not start";
    return false;
}

int BridgeRun::runGameAlone() { return startGame() ? withoutLink() : 127; }

std::string BridgeRun::gameOutcome() {
    if (!game_.started()) return {};
    const CommandFacts facts = game_.facts();
    const auto said = [](const std::optional<int>& code) {
        return code ? " ended with " + std::to_string(*code) : std::string(" ended, its code unknown");
    };
    if (facts.game != 0 && facts.game != facts.command) {
        return "; the game (process " + std::to_string(facts.game) + ")" +
               (facts.gameEnded ? said(facts.gameCode) : std::string(" still runs")) + ", the game command" +
               (facts.commandEnded ? said(facts.commandCode) : std::string(" still runs"));
    }
    return "; the game" + (facts.commandEnded ? said(facts.commandCode) : std::string(" still runs"));
}

int BridgeRun::run() {
    // Started before anything else is opened, so whatever fails below the game starts.
    if (!startGame()) return 127;
    if (game_.started()) session_.readOnlyTheCommands([this] { return game_.processes(); });
    // Left in any object the bridge lets go of while others may read it.
    link_.setParkingFrame(LinkFrame{isolationPose(options_.identity), options_.identity, options_.context});
    if (!link_.open()) {
        output_.error("ERROR: " + link_.lastError() + "\n");
        return withoutLink();
    }
    if (options_.wow && !session_.start(monotonicNanoseconds())) {
        output_.error("ERROR: " + reader_.lastError() + "\n");
        link_.close();
        return withoutLink();
    }

    output_.error(sudoNotice());
    // Only once everything is open, so an error is never preceded by it.
    output_.notice(formatStartLine(options_));
    takeSessionNotices(false);

    frame_ = LinkFrame{isolationPose(options_.identity), options_.identity, options_.context};
    presence_.emplace(frame_.pose);
    status_.emplace(output_);
    // Only now, so that a run that ends at once (a missing game) makes no thread.
    output_.start();
    start_ = monotonicNanoseconds();
    nextStatus_ = start_;
    nextLinkCheck_ = start_;
    return cycles();
}

int BridgeRun::cycles() {
    while (g_running.load()) {
        if (!cycle(monotonicNanoseconds())) {
            output_.error("\nERROR: " + link_.lastError() + "\n");
            reader_.close();
            link_.close();
            return withoutLink();
        }
        if (gameEnd_) {
            how = "the game ended";
            if (!gameEnd_->codeKnown) {
                output_.notice("The game command has ended; nothing told its exit code, so the bridge ends with 0.\n");
            }
            return gameEnd_->code;
        }
        pauseAfterCycle();
    }
    // Passed on first: on Windows a closed console ends this process soon after the parking frame.
    const bool passedOn = game_.started() && game_.passOn(g_stopSignal.load());
    // An orderly stop parks the character at once, as the game's end does,
    // rather than when the voice client gives up on a frozen tick.
    if (published_) {
        frame_.pose = isolationPose(options_.identity);
        link_.publish(frame_);
    }
    stopHandled();
    reader_.close();
    link_.close();
    how = "stopped by " + stopSignalName(g_stopSignal.load());
    return game_.started() ? endWithGame(passedOn) : 0;
}

// False when the publish failed; while the link's name cannot be used, the
// cycle goes on without publishing (the link writer waits for it).
bool BridgeRun::cycle(std::int64_t cycleStart) {
    CharacterSnapshot snapshot{};
    PresenceOutcome presence;
    // The game command has ended: its character leaves with a last frame.
    if (game_.started()) gameEnd_ = game_.end();
    if (gameEnd_) {
        frame_.pose = isolationPose(options_.identity);
    } else if (options_.wow) {
        presence = liveStep(cycleStart, snapshot);
        takeSessionNotices(true);
        frame_.pose = presence.pose;
    } else {
        frame_.pose = options_.orbit ? orbitPose(options_, cycleStart - start_) : staticPose(options_);
    }

    if (cycleStart >= nextLinkCheck_ && !checkLink(cycleStart)) return false;
    if (!link_.publish(frame_)) return false;
    published_ = true;
    if (const std::string notice = link_.takeNotice(); !notice.empty()) output_.notice(notice);
    if (gameEnd_) return true;

    if (cycleStart >= nextStatus_) {
        if (options_.wow && link_.waiting()) {
            // Nothing is published: the voice client holds the parked frame.
            status_->printOffline("no link: " + link_.waitingFor(), isolationPose(options_.identity).avatarPosition);
        } else if (options_.wow) {
            if (presence.isolated) {
                status_->printOffline(presence.label, frame_.pose.avatarPosition);
            } else {
                status_->printOnline(snapshot, frame_.pose.avatarPosition);
            }
        }
        nextStatus_ = cycleStart + kStatusIntervalNs;
    }
    return true;
}

bool BridgeRun::checkLink(std::int64_t now) {
    nextLinkCheck_ = now + kLinkCheckIntervalNs;
    if (!link_.follow()) return false;
    if (const auto readers = link_.readers()) {
        if (const auto notice = readerNotice_.offer(*readers, now)) output_.notice(*notice);
    }
    return true;
}

PresenceOutcome BridgeRun::liveStep(std::int64_t now, CharacterSnapshot& snapshot) {
    const bool attached = session_.update(now);
    game_.follow(session_.gameProcess());  // its end and code are the run's
    if (!attached) return presence_->step(ReadStatus::ReadError, snapshot, session_.label(), options_);
    const ReadStatus status = reader_.readCharacter(snapshot);
    // A game that closed is named as such, never as the read that failed.
    if (status == ReadStatus::ReadError && session_.readFailed(now)) {
        return presence_->step(ReadStatus::ReadError, snapshot, session_.label(), options_);
    }
    return presence_->step(status, snapshot, reader_.lastError(), options_);
}

// Which game is read: notices, but the several-games hint goes where errors
// go, since scripts read it.
void BridgeRun::takeSessionNotices(bool belowStatusLine) {
    for (const GameSession::Notice& notice : session_.takeNotices()) {
        if (notice.hint) {
            output_.error((belowStatusLine ? "\n" : "") + notice.text + "\n");
        } else {
            output_.notice(notice.text + "\n");
        }
    }
}

// Also when the bridge's options or its game cannot be used: the game is what counts.
int BridgeRun::withoutLink() {
    if (!game_.started()) return 1;
    output_.notice("The game runs without positional audio; the bridge waits for it to end.\n");
    for (; g_running.load(); pauseAfterCycle()) {
        if (const auto end = game_.end()) {
            how = "the game ended";
            return end->code;
        }
    }
    return endWithGame(game_.passOn(g_stopSignal.load()));
}

// Ctrl-C (and Ctrl-\) from a terminal reach the game by themselves: not
// passed on, and the game not waited for, as ever.
int BridgeRun::endWithGame(bool passedOn) {
    const int signal = g_stopSignal.load();
    how = "stopped by " + stopSignalName(signal);
    if (!passedOn) {
        const auto end = game_.end();
        return end ? end->code : 0;
    }
    if (!game_.waitAfterStop(kGameStopTimeout)) {
        const CommandFacts facts = game_.facts();
        const bool gameRuns = facts.game != 0 && !facts.gameEnded;
        output_.notice(std::string(gameRuns ? "The game" : "The game command") + " (process " +
                       std::to_string(gameRuns ? facts.game : facts.command) +
                       ") still runs after the stop; the bridge leaves it running.\n");
    }
    return stoppedCode(game_.facts(), GameLaunch::stoppedBy(signal));
}

}  // namespace

int runBridge(int argc, const char* const* argv) {
    // Before the settings file, the link or the game command is opened.
    setAsideGameReadRight();
    // Before the log or any stream is written, on every path.
    ignoreWriteSignals();
    BridgeOptions options;
    std::ostringstream parseMessages;  // they may quote what the player typed
    const ParseOutcome parsed = parseCommandLine(argc, argv, options, parseMessages);
    // Printed, and then a game command still runs: the game always starts.
    if (parsed == ParseOutcome::Help) printUsage(std::cout);
    if (parsed == ParseOutcome::Version) printVersion(std::cout);
    if ((parsed == ParseOutcome::Help || parsed == ParseOutcome::Version) && options.command.empty()) return 0;

    // It looks and tells, and starts, opens for writing or waits for nothing.
    if (parsed == ParseOutcome::Run && options.check) return runChainCheck(options, options.json);

    Output output(Output::standardStreams(), !options.command.empty());
    // Before anything is said: what is wrong with the command line or the
    // settings file is what a player who reads only the log needs most.
    if (std::string error; !options.logFile.empty() && !output.openLog(options.logFile, error)) {
        output.error("The log file \"" + options.logFile + "\" cannot be opened: " + error +
                     ". The bridge runs without it.\n");
    }
    int code = 2;
    std::string how = "invalid arguments", gameOutcome;
    output.error(parseMessages.str());
    if (parsed == ParseOutcome::Invalid) {
        output.error("Invalid arguments. Run with --help.\n");
    }  // InvalidSettings: its message says what to fix
    if (parsed == ParseOutcome::Run || !options.command.empty()) {
        installStopSignals(onStopSignal);
        for (const std::string& warning : options.warnings) output.notice(warning);
        BridgeRun bridge(options, output);
        // A launcher's game starts whatever is wrong with the bridge's own options.
        code = parsed == ParseOutcome::Run ? bridge.run() : bridge.runGameAlone();
        how = bridge.how;
        gameOutcome = bridge.gameOutcome();
    }
    // The log's last line: how the run ended, for the evening after.
    output.log("The bridge ends (" + how + ") with exit code " + std::to_string(code) + gameOutcome + ".\n");
    // The writers' threads are left asleep, never ending while the process ends;
    // the short runs above made none.
    output.finish(kLastWordsBound);
    output.keepToProcessEnd();
    return code;
}

}  // namespace corvane
