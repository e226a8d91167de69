// A stand-in for the game client: a process named Wow.exe whose memory holds
// the connection state, client connection, object manager and object list at
// the game's offsets. Tests steer it one command per line on standard input,
// each answered "ok" (or "error <why>") once it is applied:
//   state N            connection-state byte (0 glue screen, 1 in the world)
//   pos X Y Z O        position and orientation (strtof syntax: 1.5, 0x1.8p0, nan, inf)
//   map N              map id
//   guid HEX           local player GUID
//   list COUNT INDEX   COUNT objects, the player at INDEX (INDEX >= COUNT: absent)
//   connection 0|1     clear or restore the ClientConnection pointer
//   platform           answers "ok posix", "ok win32" or "ok wine"
//   exit CODE          answers and exits with CODE
// End of input exits with 0. --demo walks a scripted route, --soak cycles
// through every state the bridge tells apart; both run until killed.

#include "tests/fake_game/fake_platform.h"
#include "tests/fake_game/fake_world.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane::fake {
namespace {

void answer(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A whole word as a number of at most `limit`, in strtoull's syntax for `base`.
bool parse(const std::string& word, std::uint64_t limit, std::uint64_t& value, int base = 0) {
    if (word[0] == '-' || word[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(word.c_str(), &end, base);
    return errno == 0 && *end == '\0' && value <= limit;
}

bool parse(const std::string& word, float& value) {
    char* end = nullptr;
    value = std::strtof(word.c_str(), &end);
    return *end == '\0';
}

bool parse(const std::string& word, int& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(word.c_str(), &end, 10);
    value = static_cast<int>(parsed);
    return errno == 0 && *end == '\0' && parsed == value;
}

// Applies one command and returns its answer; "exit" also sets `exitCode`.
std::string apply(FakeWorld& world, const std::vector<std::string>& words,
                  std::optional<int>& exitCode) {
    const std::string& name = words[0];
    const std::size_t count = words.size() - 1;
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    float v[4] = {};
    int code = 0;
    if (name == "state" && count == 1 && parse(words[1], 0xFF, a)) {
        world.setConnectionState(static_cast<std::uint8_t>(a));
    } else if (name == "pos" && count == 4 && parse(words[1], v[0]) && parse(words[2], v[1]) &&
               parse(words[3], v[2]) && parse(words[4], v[3])) {
        world.setPosition(v[0], v[1], v[2], v[3]);
    } else if (name == "map" && count == 1 && parse(words[1], 0xFFFFFFFF, a)) {
        world.setMapId(static_cast<std::uint32_t>(a));
    } else if (name == "guid" && count == 1 &&
               parse(words[1], std::numeric_limits<std::uint64_t>::max(), a, 16)) {
        world.setLocalGuid(a);
    } else if (name == "list" && count == 2 && parse(words[1], FakeWorld::kMaxObjects, a) &&
               parse(words[2], 0xFFFFFFFF, b)) {
        world.setObjectList(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
    } else if (name == "connection" && count == 1 && (words[1] == "0" || words[1] == "1")) {
        world.linkConnection(words[1] == "1");
    } else if (name == "platform" && count == 0) {
        return std::string("ok ") + platformName();
    } else if (name == "exit" && count == 1 && parse(words[1], code)) {
        exitCode = code;
    } else {
        return "error bad command or value: " + name;
    }
    return "ok";
}

int runCommands(FakeWorld& world) {
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream in(line);
        const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
        if (words.empty()) continue;
        std::optional<int> exitCode;
        answer(apply(world, words, exitCode));
        if (exitCode) return *exitCode;
    }
    return 0;
}

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(50);
constexpr float kTwoPi = 6.2831853f;

// Stands where a walk round a circle of `radius` yards is after `seconds`, one
// lap in `lapSeconds`, facing the way it goes.
void walkCircle(FakeWorld& world, float cx, float cy, float z, float radius, float lapSeconds,
                float seconds, std::optional<float> x = {}, std::optional<float> facing = {}) {
    const float angle = kTwoPi * std::fmod(seconds / lapSeconds, 1.0f);
    world.setPosition(x.value_or(cx + radius * std::cos(angle)), cy + radius * std::sin(angle), z,
                      facing.value_or(std::fmod(angle + kTwoPi / 4.0f, kTwoPi)));
}

float secondsSince(Clock::time_point start) {
    return std::chrono::duration<float>(Clock::now() - start).count();
}

[[noreturn]] void runDemo(FakeWorld& world) {
    world.setObjectList(24, 9);
    const auto start = Clock::now();
    for (auto next = start;; next += kTick) {
        std::this_thread::sleep_until(next);
        const float inCycle = std::fmod(secondsSince(start), 45.0f);
        if (inCycle < 20.0f) {  // Elwynn Forest, near Goldshire
            world.setMapId(0);
            walkCircle(world, -9464.0f, 62.0f, 56.0f, 25.0f, 20.0f, inCycle);
        } else if (inCycle >= 25.0f) {  // Durotar, outside Orgrimmar
            world.setMapId(1);
            walkCircle(world, 1380.0f, -4370.0f, 26.0f, 40.0f, 20.0f, inCycle - 25.0f);
        }
        // In between, a loading screen from one continent to the other.
        world.setConnectionState(inCycle < 20.0f || inCycle >= 25.0f ? 1 : 0);
    }
}

enum class Motion { Walk, FarOut, NanFacing };

// One step of the soak cycle: how the world looks during it.
struct SoakPhase {
    std::uint8_t state;
    std::uint32_t mapId;
    std::uint32_t count;
    std::uint32_t playerIndex;
    Motion motion;
    bool guid;        // false: a local GUID of 0
    bool connection;  // false: no ClientConnection pointer
};

[[noreturn]] void runSoak(FakeWorld& world) {
    using enum Motion;
    const SoakPhase phases[] = {
        {0, 0, 1, 0, Walk, true, true},          // glue screen
        {1, 0, 50, 50, Walk, true, true},        // entering: the player is not listed yet
        {1, 0, 1, 0, Walk, true, true},          // placed, the only object
        {1, 1, 50, 49, Walk, true, true},        // another map, the player last
        {1, 571, 500, 250, Walk, true, true},    // a far map, a long list
        {1, 571, 500, 250, FarOut, true, true},  // a coordinate of 100000
        {1, 571, 500, 250, NanFacing, true, true},
        {1, 2001, 50, 10, Walk, true, true},  // an implausible map id
        {1, 0, 50, 10, Walk, true, false},
        {1, 0, 50, 10, Walk, false, true},
        {2, 0, 50, 10, Walk, true, true},   // some other state byte
        {1, 32, 50, 10, Walk, true, true},  // the second row of map regions
    };
    constexpr int kTicksPerPhase = 50;  // 2.5 s
    const auto start = Clock::now();
    auto next = start;
    for (int tick = 0;; ++tick, next += kTick) {
        std::this_thread::sleep_until(next);
        const SoakPhase& p = phases[tick / kTicksPerPhase % std::size(phases)];
        if (tick % kTicksPerPhase == 0) {
            world.setConnectionState(0);  // as a loading screen would
            world.setLocalGuid(p.guid ? 0x0700000000001234ull : 0);
            world.setObjectList(p.count, p.playerIndex);
            world.setMapId(p.mapId);
            world.linkConnection(p.connection);
            world.setConnectionState(p.state);
        }
        walkCircle(world, -9464.0f, 62.0f, 56.0f, 25.0f, 10.0f, secondsSince(start),
                   p.motion == FarOut ? std::optional(100000.0f) : std::nullopt,
                   p.motion == NanFacing ? std::optional(std::numeric_limits<float>::quiet_NaN())
                                         : std::nullopt);
    }
}

}  // namespace
}  // namespace corvane::fake

int main(int argc, char** argv) {
    using namespace corvane::fake;
    useBinaryStandardOutput();
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (argc > 2 || (argc == 2 && mode != "--demo" && mode != "--soak")) {
        std::fputs("Usage: Wow.exe [--demo | --soak]\n", stderr);
        return 2;
    }
    FakeWorld world;
    std::string error;
    if (!world.setUp(ownModuleBase(), error)) {
        std::fprintf(stderr, "Wow.exe: %s.\n", error.c_str());
        return 3;
    }
    allowMemoryReaders();
    answer("ready");
    if (mode == "--demo") runDemo(world);
    if (mode == "--soak") runSoak(world);
    // No exit handlers: in sanitizer builds the leak check would start a
    // helper process that carries our name and could be taken for the game.
    std::_Exit(runCommands(world));
}
