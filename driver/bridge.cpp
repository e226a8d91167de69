#include "driver/bridge.h"

#include "driver/console.h"
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
#include <ostream>
#include <sstream>

namespace corvane {
namespace {

constexpr std::int64_t kStatusIntervalNs = 250'000'000;

// The only state shared with the signal handler.
std::atomic<bool> g_running{true};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) { g_running.exchange(false); }

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

    // Declared in this order so the reader is released before the link.
    LinkWriter link;
    GameReader reader;
    ReaderConnection connection(reader);
    GameSession session(connection, options.wait, options.pid);
    if (!link.open()) {
        err << "ERROR: " << link.lastError() << "\n";
        return 1;
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

    int exitCode = 0;
    while (g_running.load()) {
        const std::int64_t cycleStart = monotonicNanoseconds();
        CharacterSnapshot snapshot{};
        PresenceOutcome presenceOutcome;
        if (options.wow) {
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
            exitCode = 1;
            break;
        }

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
    return exitCode;
}

}  // namespace corvane
