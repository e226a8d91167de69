// CorvaneLinkMonitor: shows what is in the link's shared memory (this
// platform's name and layout), as the voice client would see it. It only reads; it never creates the link.

#include "common/clock.h"
#include "common/version.h"
#include "common/win32_error.h"
#include "link/linked_mem.h"
#include "link/shared_memory.h"
#include "tools/link_monitor/console.h"
#include "tools/link_monitor/monitor_format.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

namespace corvane {
namespace {

constexpr std::uint32_t kSampleIntervalMs = 10;  // sees every tick of a 50 Hz writer
constexpr std::int64_t kPrintIntervalNs = 250'000'000;
// --once: long enough for a 50 Hz writer to move the tick several times.
constexpr std::uint32_t kLivenessSpanMs = 100;

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

// False when whoever reads the output has gone.
bool show(MonitorConsole& console, const LinkedMem& record, const FrameTiming& timing,
          const MonitorOptions& options, std::string_view liveness = {}) {
    if (options.json) return console.write(formatJson(record, timing) + '\n');
    if (options.once) return console.write(formatDisplay(record, timing, liveness));
    return console.draw(formatDisplay(record, timing));
}

int monitor(const MonitorOptions& options) {
    SharedMemory memory;
    std::uint32_t code = 0;
    switch (memory.openExisting(linkName(), kLinkedMemSize, code)) {
    case SharedMemory::Status::Ok:
        break;
    case SharedMemory::Status::NotFound:
        std::cerr << "MumbleLink shared memory does not exist: start the bridge or the voice "
                     "client first.\n";
        return 1;
    case SharedMemory::Status::NotOwned:  // writers' checks; reading never gives them
    case SharedMemory::Status::InUse:
    case SharedMemory::Status::OpenFailed:
        std::cerr << win32ErrorText("Could not open MumbleLink shared memory", code) << '\n';
        return 1;
    case SharedMemory::Status::MapFailed:
        std::cerr << win32ErrorText("Could not map MumbleLink shared memory", code) << '\n';
        return 1;
    }

    MonitorConsole console;
    LinkedMem record{};
    if (options.once) {
        // Two samples apart tell a running bridge from a record left behind.
        copyRecord(memory.data(), record);
        const std::uint32_t firstTick = record.uiTick;
        const std::int64_t firstAt = monotonicNanoseconds();
        sleepMilliseconds(kLivenessSpanMs);
        copyRecord(memory.data(), record);
        const std::int64_t elapsed = monotonicNanoseconds() - firstAt;
        const FrameTiming timing{framesBetween(firstTick, record.uiTick) * 1e9 /
                                     static_cast<double>(elapsed),
                                 std::nullopt};
        return show(console, record, timing, options, formatLiveness(firstTick, record.uiTick, elapsed))
                   ? 0
                   : 1;
    }

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    FrameRateMeter meter;
    std::int64_t nextPrint = monotonicNanoseconds();
    while (g_running.load()) {
        copyRecord(memory.data(), record);
        const std::int64_t now = monotonicNanoseconds();
        meter.addSample(now, record.uiTick);
        if (now >= nextPrint) {
            if (!show(console, record, meter.timing(), options)) return 1;
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
