// Arbitrary argument vectors through the command-line parser. The input is
// split at zero bytes into arguments, each in an allocation of exactly its
// size, and so is the vector: AddressSanitizer catches any read past argc or
// past an argument's end. The outcomes are tabled in cli/options_test.cpp;
// here only what holds for every input, also for the frames the options make.

#include "cli/options.h"
#include "driver/poses.h"
#include "driver/presence.h"
#include "fuzz/fuzz_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An empty input stands for a vector without even the program name.
    std::vector<std::string> args;
    if (size > 0) args.emplace_back("CorvaneVoiceBridge");
    for (std::size_t start = 0, i = 0; size > 0 && i <= size; ++i) {
        if (i < size && data[i] != 0) continue;
        args.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
        start = i + 1;
    }
    std::vector<std::unique_ptr<char[]>> copies;
    std::unique_ptr<const char*[]> argv(args.empty() ? nullptr : new const char*[args.size()]);
    for (std::size_t i = 0; i < args.size(); ++i) {
        argv[i] = copies.emplace_back(new char[args[i].size() + 1]).get();
        std::memcpy(copies[i].get(), args[i].c_str(), args[i].size() + 1);
    }

    corvane::BridgeOptions o;
    std::ostringstream err;
    const auto outcome = corvane::parseCommandLine(static_cast<int>(args.size()), argv.get(), o, err);
    // Nothing but finite numbers may reach the record.
    for (const float f : {o.x, o.y, o.z, o.yaw, o.radius, o.speed, o.wowScale}) CORVANE_FUZZ_CHECK(std::isfinite(f));
    // And every frame published from them: the synthetic poses over any run's
    // length, and the character placed anywhere the reader accepts.
    CORVANE_FUZZ_CHECK(corvane::isFinitePose(corvane::staticPose(o)));
    for (const std::int64_t elapsed : {0LL, 20'000'000LL, 86'400'000'000'000LL, 0x7FFFFFFFFFFFFFFFLL}) {
        CORVANE_FUZZ_CHECK(corvane::isFinitePose(corvane::orbitPose(o, elapsed)));
    }
    corvane::PresenceTracker presence(corvane::isolationPose(o.identity));
    for (const float at : {0.0f, 99999.99f, -99999.99f}) {
        const corvane::CharacterSnapshot s{.x = at, .y = -at, .z = at, .orientation = 3e38f, .mapId = 2000};
        for (int read = 0; read < 5; ++read) {
            CORVANE_FUZZ_CHECK(corvane::isFinitePose(presence.step(corvane::ReadStatus::InWorld, s, "", o).pose));
        }
    }
    // A game command is run live; it is all that follows a "--" (a rejected
    // line's too: the game starts whatever is wrong before it).
    const auto tail = std::ranges::find(args, "--") - args.begin();
    CORVANE_FUZZ_CHECK(o.command.empty() ||
                       (o.wow && o.wait && o.command.size() < args.size() &&
                        std::equal(o.command.begin(), o.command.end(), args.end() - static_cast<std::ptrdiff_t>(o.command.size())) &&
                        args[args.size() - o.command.size() - 1] == "--" &&
                        static_cast<std::size_t>(tail) <= args.size() - o.command.size() - 1));
    // The one message names an argument given, on a rejected line, or the
    // settings file that "--config" named.
    const std::string message = err.str();
    const auto names = [&](auto& arg) { return message == "Unknown option: " + arg + "\n"; };
    const bool invalid = outcome == corvane::ParseOutcome::Invalid;
    CORVANE_FUZZ_CHECK(message.empty() || (invalid && std::ranges::any_of(args, names)) ||
                       (outcome == corvane::ParseOutcome::InvalidSettings && message.starts_with("Settings file \"")));
    return 0;
}
