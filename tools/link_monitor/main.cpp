// CorvaneLinkMonitor: shows what is in the link's shared memory (this
// platform's name and layout), as the voice client would see it. It only reads; it never creates the link.

#include "common/clock.h"
#include "common/version.h"
#include "common/win32_error.h"
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
std::string openLink(SharedMemory& memory) {
    const std::string location = sharedMemoryLocation(linkName());
    std::uint32_t code = 0;
    switch (memory.openExisting(linkName(), kLinkedMemSize, code)) {
    case SharedMemory::Status::Ok:
        return {};
    case SharedMemory::Status::NotFound:
        return "MumbleLink shared memory does not exist: start the bridge or the voice client first.";
    case SharedMemory::Status::NotOwned:
        return "MumbleLink shared memory " + location + " belongs to user " + std::to_string(code) +
               ", not to you; the monitor leaves it alone.";
    case SharedMemory::Status::NotSharedMemory:
        return "MumbleLink shared memory " + location + " is " + kindText(code) +
               ", not shared memory; the monitor leaves it alone.";
    case SharedMemory::Status::MapFailed:
        return win32ErrorText("Could not map MumbleLink shared memory", code);
    case SharedMemory::Status::InUse:  // writers' outcomes; reading never gives them
    case SharedMemory::Status::NoSpace:
    case SharedMemory::Status::TooSmall:  // a short record is sampled, and said so
    case SharedMemory::Status::OpenFailed:
        break;
    }
    return win32ErrorText("Could not open MumbleLink shared memory", code);
}

// A record of the link, or what stands in the way: the object was cut short.
std::string sample(const SharedMemory& memory, LinkedMem& record) {
    const std::size_t held = copyRecord(memory, record);
    if (held == sizeof record) return {};
    return "MumbleLink shared memory " + sharedMemoryLocation(linkName()) + " holds only " +
           std::to_string(held) + " of the record's " + std::to_string(sizeof record) +
           " bytes: another program cut it short.";
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
        ReaderScan scan;
        const std::atomic<bool> never{false};
        std::optional<std::string> readers;
        if (const auto found = scan.find(memory.identity(), never)) {
            readers = describeReaders(*found, sharedMemoryLocation(linkName()), lookSeesEveryProcess());
        }
        // Two samples apart tell a running bridge from a record left behind.
        std::string problem = sample(memory, record);
        const std::uint32_t firstTick = record.uiTick;
        const std::int64_t firstAt = monotonicNanoseconds();
        sleepMilliseconds(kLivenessSpanMs);
        if (problem.empty()) problem = sample(memory, record);
        if (!problem.empty()) {
            std::cerr << problem << '\n';
            return 1;
        }
        const std::int64_t elapsed = monotonicNanoseconds() - firstAt;
        const FrameTiming timing{framesBetween(firstTick, record.uiTick) * 1e9 /
                                     static_cast<double>(elapsed),
                                 std::nullopt};
        return show(console, record, timing, options,
                    formatLiveness(firstTick, record.uiTick, elapsed), readers)
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
            if (!memory.isOpen() || memory.checkName() != SharedMemory::Name::Same) {
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
