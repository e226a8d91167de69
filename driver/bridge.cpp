#include "driver/bridge.h"

#include "driver/console.h"
#include "driver/game_launch.h"
#include "driver/game_session.h"
#include "driver/options.h"
#include "driver/pacing.h"
#include "driver/poses.h"
#include "driver/presence.h"
#include "driver/signals.h"
#include "driver/start_line.h"
#include "driver/status_line.h"
#include "driver/sudo_notice.h"
#include "game/game_reader.h"
#include "link/link_writer.h"

#include <atomic>
#include <chrono>
#include <ostream>
#include <sstream>

namespace corvane {
namespace {

constexpr std::int64_t kStatusIntervalNs = 250'000'000;

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

// How long a game that was passed the bridge's stop signal has to end.
constexpr std::chrono::milliseconds kGameStopTimeout{5000};

// The end of a run with a game command: the game's exit code once it has
// ended, else `otherwise` with the game left running. A stop signal that
// reaches games (SIGTERM, SIGHUP) is passed on and the game waited for.
int endWithGame(GameLaunch& game, int otherwise) {
    if (!g_running.load() && game.passOn(g_stopSignal.load())) {
        if (const auto code = game.waitForExit(kGameStopTimeout)) return *code;
    }
    return game.exitCode().value_or(otherwise);
}

// A game command runs its course even when the bridge cannot publish: the
// bridge waits for it and ends with it. Without one the run ends with 1.
int withoutLink(GameLaunch& game, std::ostream& err) {
    if (!game.started()) return 1;
    err << "The game runs without positional audio; the bridge waits for it to end.\n";
    for (; g_running.load(); pauseAfterCycle()) {
        if (const auto code = game.exitCode()) return *code;
    }
    return endWithGame(game, 0);
}

// One live cycle's read: the game while it is attached; without one the
// character is isolated as after a failed read, with the session's reason, so
// that the next game is placed only after the full run of in-world reads.
PresenceOutcome liveStep(GameSession& session, GameReader& reader, PresenceTracker& presence,
                         std::int64_t now, CharacterSnapshot& snapshot,
                         const BridgeOptions& options) {
    if (!session.update(now)) {
        return presence.step(ReadStatus::ReadError, snapshot, session.label(), options);
    }
    const ReadStatus status = reader.readCharacter(snapshot);
    return presence.step(status, snapshot, reader.lastError(), options);
}

}  // namespace

int runBridge(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    BridgeOptions options;
    std::ostringstream parseMessages;  // they may quote what the player typed
    const ParseOutcome parsed = parseCommandLine(argc, argv, options, parseMessages);
    writeErrorText(err, parseMessages.str());
    switch (parsed) {
    case ParseOutcome::Run:
        break;
    case ParseOutcome::Help:
        printUsage(out);
        return 0;
    case ParseOutcome::Version:
        printVersion(out);
        return 0;
    case ParseOutcome::Invalid:
        err << "Invalid arguments. Run with --help.\n";
        return 2;
    case ParseOutcome::InvalidSettings:  // its message says what to fix, and where
        return 2;
    }

    installStopSignals(onStopSignal);

    // First of all, so the game inherits nothing the bridge opens and starts
    // whatever fails below.
    GameLaunch game;
    if (!options.command.empty() && !game.start(options.command)) {
        err << "ERROR: " << game.lastError() << "\n";
        return 127;
    }

    // Declared in this order so the reader is released before the link.
    LinkWriter link;
    GameReader reader;
    ReaderConnection connection(reader);
    GameSession session(connection, options.wait, options.pid);
    session.readDescendantsOf(game.gameAncestor());
    if (!link.open()) {
        err << "ERROR: " << link.lastError() << "\n";
        return withoutLink(game, err);
    }
    if (options.wow && !session.start(monotonicNanoseconds())) {
        err << "ERROR: " << reader.lastError() << "\n";
        return 1;
    }
    if (const std::string notice = session.takeNotice(); !notice.empty()) err << notice << "\n";

    err << sudoNotice();
    // Only once everything is open, so an error is never preceded by it.
    writeToErrorConsole(formatStartLine(options));

    LinkFrame frame{isolationPose(options.identity), options.identity, options.context};
    PresenceTracker presence(frame.pose);
    const std::int64_t start = monotonicNanoseconds();
    std::int64_t nextStatus = start;
    StatusPrinter statusPrinter(out);

    while (g_running.load()) {
        const std::int64_t cycleStart = monotonicNanoseconds();
        CharacterSnapshot snapshot{};
        PresenceOutcome presenceOutcome;
        // The game command has ended: its character leaves with a last frame.
        const std::optional<int> gameEnded = game.exitCode();
        if (gameEnded) {
            frame.pose = isolationPose(options.identity);
        } else if (options.wow) {
            presenceOutcome = liveStep(session, reader, presence, cycleStart, snapshot, options);
            if (const std::string notice = session.takeNotice(); !notice.empty()) {
                err << "\n" << notice << "\n";  // below the status line
            }
            frame.pose = presenceOutcome.pose;
        } else {
            frame.pose = options.orbit ? orbitPose(options, cycleStart - start) : staticPose(options);
        }

        if (!link.publish(frame)) {
            err << "\nERROR: " << link.lastError() << "\n";
            reader.close();
            link.close();
            return withoutLink(game, err);
        }
        if (gameEnded) return *gameEnded;

        if (cycleStart >= nextStatus) {
            if (options.wow) {
                if (presenceOutcome.isolated) {
                    statusPrinter.print(
                        formatOfflineStatus(presenceOutcome.label, frame.pose.avatarPosition),
                        presenceOutcome.label);
                } else {
                    statusPrinter.print(formatOnlineStatus(snapshot, frame.pose.avatarPosition));
                }
            }
            nextStatus = cycleStart + kStatusIntervalNs;
        }

        pauseAfterCycle();
    }

    reader.close();
    link.close();
    return game.started() ? endWithGame(game, 0) : 0;
}

}  // namespace corvane
