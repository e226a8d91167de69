// CorvaneLinkMonitor: shows what is in the link's shared memory (this
// platform's name and layout), as the voice client would see it. It only reads; it never creates the link.

#include "common/clock.h"
#include "common/version.h"
#include "link/link_look.h"
#include "link/link_readers.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"
#include "tools/link_monitor/console.h"
#include "tools/link_monitor/monitor_format.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {
namespace {

constexpr std::uint32_t kSampleIntervalMs = 10;  // sees every tick of a 50 Hz writer
constexpr std::int64_t kPrintIntervalNs = 250'000'000;
// --once: long enough for a 50 Hz writer to move the tick several times.
constexpr std::uint32_t kLivenessSpanMs = 100;
// How often the monitor looks whether the link's name still leads to what it reads.
constexpr std::int64_t kCheckIntervalNs = 1'000'000'000;

constexpr char kUsage[] =
    "Usage: CorvaneLinkMonitor [--once] [--json]\n"
    "Shows the record in the MumbleLink shared memory, refreshed four times a second\n"
    "until Ctrl-C.\n"
    "  --once      show one snapshot, and whether a bridge is publishing, and exit\n"
    "  --json      print each snapshot as one line of JSON\n"
    "  --help      show this help and exit\n"
    "  --version   show the program name and version and exit\n";

struct MonitorOptions {
    bool once = false;
    bool json = false;
};

std::atomic<bool> g_running{true};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) { g_running.store(false); }

// Who else has the link open, on a line of its own; nothing where that cannot be told.
std::string readersLine(const std::optional<std::string>& text) {
    return text ? "Readers             " + *text : std::string();
}

// False when whoever reads the output has gone.
bool show(MonitorConsole& console, const LinkedMem& record, const FrameTiming& timing,
          const MonitorOptions& options, std::string_view liveness = {},
          const std::optional<std::string>& readers = std::nullopt) {
    if (options.json) return console.write(formatJson(record, timing, readers) + '\n');
    if (options.once) return console.write(formatDisplay(record, timing, liveness) + readersLine(readers));
    return console.draw(formatDisplay(record, timing) + readersLine(readers));
}

// Opens the link for reading: empty, or what stands in the way.
std::string openLink(SharedMemory& memory) { return linkOpeningText(openLinkToLook(memory)); }

// A record of the link, or what stands in the way: the object was cut short.
std::string sample(const SharedMemory& memory, LinkedMem& record) {
    const std::size_t held = copyRecord(memory, record);
    return held == sizeof record ? std::string() : cutShortText(held);
}

int monitor(const MonitorOptions& options) {
    SharedMemory memory;
    if (const std::string problem = openLink(memory); !problem.empty()) {
        std::cerr << problem << '\n';
        return 1;
    }

    MonitorConsole console;
    LinkedMem record{};
    if (options.once) {
        std::optional<std::string> readers;
        if (const auto found = readersOnce(memory)) {
            readers = describeReaders(*found, sharedMemoryLocation(linkName()), lookSeesEveryProcess());
        }
        // Two samples apart tell a running bridge from a record left behind.
        const TickSamples ticks = sampleTwice(memory, record, kLivenessSpanMs);
        if (ticks.held < sizeof record) {
            std::cerr << cutShortText(ticks.held) << '\n';
            return 1;
        }
        const FrameTiming timing{tickRate(ticks.first, ticks.second, ticks.elapsedNs), std::nullopt};
        return show(console, record, timing, options,
                    formatLiveness(ticks.first, ticks.second, ticks.elapsedNs), readers)
                   ? 0
                   : 1;
    }

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    ReaderWatch readers;
    readers.watch(memory.identity());
    FrameRateMeter meter;
    std::int64_t nextPrint = monotonicNanoseconds();
    std::int64_t nextCheck = nextPrint + kCheckIntervalNs;
    std::string problem, shownProblem;
    while (g_running.load()) {
        const std::int64_t now = monotonicNanoseconds();
        // The link that is there: a replaced one is followed, a missing one waited for.
        if (now >= nextCheck) {
            nextCheck = now + kCheckIntervalNs;
            const SharedMemory::Name name = memory.checkName();
            if (name == SharedMemory::Name::Replaced || name == SharedMemory::Name::Removed) {
                problem = openLink(memory);
                if (memory.isOpen()) readers.watch(memory.identity());
            }
        }
        if (memory.isOpen()) problem = sample(memory, record);
        if (problem.empty()) meter.addSample(now, record.uiTick);
        if (now >= nextPrint) {
            if (!problem.empty() && options.json) {
                if (problem != shownProblem) std::cerr << problem << '\n';
            } else if (!problem.empty()) {
                const auto readersNow = memory.isOpen() ? readers.latest() : std::nullopt;
                if (!console.draw(problem + "\n" + readersLine(readersNow))) return 1;
            } else if (!show(console, record, meter.timing(), options, {}, readers.latest())) {
                return 1;  // whoever read our output has gone
            }
            shownProblem = problem;
            nextPrint += kPrintIntervalNs;
            if (nextPrint <= now) nextPrint = now + kPrintIntervalNs;  // after a stall
        }
        sleepMilliseconds(kSampleIntervalMs);
    }
    return 0;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    corvane::MonitorOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--once") {
            options.once = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--help") {
            std::cout << corvane::kUsage;
            return 0;
        } else if (argument == "--version") {
            std::cout << "CorvaneLinkMonitor " << corvane::kProgramVersion << '\n';
            return 0;
        } else {
            std::cerr << "Unknown option \"" << argument << "\"; run with --help for usage.\n";
            return 2;
        }
    }
    const int code = corvane::monitor(options);
    // A double-clicked monitor's window would close before its error could be read.
    if (code != 0 && corvane::ownsConsoleWindow()) {
        std::cerr << "Press any key to close this window.\n";
        corvane::waitForKeyPress();
    }
    return code;
}
