// A stand-in for the game client: a process named Wow.exe whose memory holds
// the connection state, client connection, object manager and object list at
// the game's offsets. Tests steer it one command per line on standard input;
// --demo and --soak steer it themselves.

#include "tests/fake_game/fake_platform.h"
#include "tests/fake_game/fake_world.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane::fake {
namespace {

constexpr char kUsage[] =
    "Usage: Wow.exe [--demo | --soak]\n"
    "Without an option, reads one command per line from standard input and answers\n"
    "\"ok\" or \"error <why>\" once it is applied:\n"
    "  state N            connection-state byte (0 glue screen, 1 in the world)\n"
    "  pos X Y Z O        position and orientation (strtof syntax: 1.5, 0x1.8p0, nan, inf)\n"
    "  map N              map id\n"
    "  guid HEX           local player GUID\n"
    "  list COUNT INDEX   COUNT objects, the player at INDEX (INDEX >= COUNT: absent)\n"
    "  connection 0|1     clear or restore the ClientConnection pointer\n"
    "  platform           answers \"ok posix\", \"ok win32\" or \"ok wine\"\n"
    "  base               answers \"ok 0x...\", our module base\n"
    "  exit CODE          answers and exits with CODE\n"
    "End of input exits with 0. --demo walks a scripted route, --soak cycles through\n"
    "every state; both run until killed.\n";

void answer(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t\r\n", at);
        if (at == std::string::npos) break;
        const std::size_t end = line.find_first_of(" \t\r\n", at);
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

bool parseUnsigned(const std::string& word, int base, std::uint64_t limit, std::uint64_t& value) {
    if (word.empty() || word[0] == '-' || word[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(word.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    value = parsed;
    return true;
}

bool parseFloat(const std::string& word, float& value) {
    char* end = nullptr;
    value = std::strtof(word.c_str(), &end);
    return !word.empty() && *end == '\0';
}

bool parseInt(const std::string& word, int& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || errno != 0 || *end != '\0' || parsed < std::numeric_limits<int>::min() ||
        parsed > std::numeric_limits<int>::max()) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// Applies one command; returns the answer. Sets `exitCode` for "exit".
std::string apply(FakeWorld& world, const std::vector<std::string>& words,
                  std::optional<int>& exitCode) {
    if (words.empty()) return "error empty command";
    const std::string& name = words[0];
    const std::size_t arguments = words.size() - 1;
    const auto expect = [&](std::size_t count) { return arguments == count; };
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    int code = 0;

    if (name == "state" && expect(1) && parseUnsigned(words[1], 0, 0xFF, a)) {
        world.setConnectionState(static_cast<std::uint8_t>(a));
    } else if (name == "pos" && expect(4)) {
        float v[4] = {};
        for (std::size_t i = 0; i < 4; ++i) {
            if (!parseFloat(words[i + 1], v[i])) return "error bad number";
        }
        world.setPosition(v[0], v[1], v[2], v[3]);
    } else if (name == "map" && expect(1) && parseUnsigned(words[1], 0, 0xFFFFFFFFu, a)) {
        world.setMapId(static_cast<std::uint32_t>(a));
    } else if (name == "guid" && expect(1) &&
               parseUnsigned(words[1], 16, std::numeric_limits<std::uint64_t>::max(), a)) {
        world.setLocalGuid(a);
    } else if (name == "list" && expect(2) && parseUnsigned(words[1], 0, 0xFFFFFFFFu, a) &&
               parseUnsigned(words[2], 0, 0xFFFFFFFFu, b)) {
        if (!world.setObjectList(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b))) {
            return "error at most " + std::to_string(FakeWorld::kMaxObjects) + " objects";
        }
    } else if (name == "connection" && expect(1) && (words[1] == "0" || words[1] == "1")) {
        world.linkConnection(words[1] == "1");
    } else if (name == "platform" && expect(0)) {
        return std::string("ok ") + platformName();
    } else if (name == "base" && expect(0)) {
        char text[32];
        const auto base = static_cast<unsigned long long>(ownModuleBase());
        std::snprintf(text, sizeof text, "ok 0x%llX", base);
        return text;
    } else if (name == "exit" && expect(1) && parseInt(words[1], code)) {
        exitCode = code;
    } else {
        return "error bad command: " + name;
    }
    return "ok";
}

int runCommands(FakeWorld& world) {
    std::string line;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        line += buffer;
        if (line.empty() || line.back() != '\n') {
            if (!std::feof(stdin)) continue;  // a longer line than the buffer
        }
        const std::vector<std::string> words = splitWords(line);
        line.clear();
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

struct Spot {
    float x;
    float y;
    float z;
    float orientation;
};

// Where a walk round a circle of `radius` yards stands after `seconds`, one
// lap in `lapSeconds`, facing the way it goes.
Spot onCircle(float cx, float cy, float z, float radius, float lapSeconds, float seconds) {
    const float angle = kTwoPi * std::fmod(seconds / lapSeconds, 1.0f);
    return {cx + radius * std::cos(angle), cy + radius * std::sin(angle), z,
            std::fmod(angle + kTwoPi / 4.0f, kTwoPi)};
}

void standAt(FakeWorld& world, const Spot& spot) {
    world.setPosition(spot.x, spot.y, spot.z, spot.orientation);
}

[[noreturn]] void runDemo(FakeWorld& world) {
    world.setObjectList(24, 9);
    const auto start = Clock::now();
    for (auto next = start;; next += kTick) {
        std::this_thread::sleep_until(next);
        const float t = std::chrono::duration<float>(Clock::now() - start).count();
        const float inCycle = std::fmod(t, 45.0f);
        if (inCycle < 20.0f) {  // Elwynn Forest, near Goldshire
            world.setMapId(0);
            standAt(world, onCircle(-9464.0f, 62.0f, 56.0f, 25.0f, 20.0f, inCycle));
            world.setConnectionState(1);
        } else if (inCycle < 25.0f) {  // loading screen between continents
            world.setConnectionState(0);
        } else {  // Durotar, outside Orgrimmar
            world.setMapId(1);
            standAt(world, onCircle(1380.0f, -4370.0f, 26.0f, 40.0f, 20.0f, inCycle - 25.0f));
            world.setConnectionState(1);
        }
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
        {0, 0, 1, 0, Walk, true, true},           // glue screen
        {1, 0, 50, 50, Walk, true, true},         // entering: the player is not listed yet
        {1, 0, 1, 0, Walk, true, true},           // placed, the only object
        {1, 1, 50, 49, Walk, true, true},         // another map, the player last
        {1, 571, 500, 250, Walk, true, true},     // a far map, a long list
        {1, 571, 500, 250, FarOut, true, true},   // a coordinate of 100000
        {1, 571, 500, 250, NanFacing, true, true},
        {1, 2001, 50, 10, Walk, true, true},      // an implausible map id
        {1, 0, 50, 10, Walk, true, false},
        {1, 0, 50, 10, Walk, false, true},
        {2, 0, 50, 10, Walk, true, true},         // some other state byte
        {1, 32, 50, 10, Walk, true, true},        // the second row of map regions
    };
    constexpr int kTicksPerPhase = 50;  // 2.5 s
    const std::uint64_t guid = 0x0700000000001234ull;
    std::size_t phase = 0;
    const auto start = Clock::now();
    auto next = start;
    for (int tick = 0;; ++tick, next += kTick) {
        std::this_thread::sleep_until(next);
        const SoakPhase& p = phases[phase];
        if (tick % kTicksPerPhase == 0) {
            world.setConnectionState(0);  // as a loading screen would
            world.setLocalGuid(p.guid ? guid : 0);
            world.setObjectList(p.count, p.playerIndex);
            world.setMapId(p.mapId);
            world.linkConnection(p.connection);
            world.setConnectionState(p.state);
        }
        const float t = std::chrono::duration<float>(Clock::now() - start).count();
        Spot spot = onCircle(-9464.0f, 62.0f, 56.0f, 25.0f, 10.0f, t);
        if (p.motion == FarOut) spot.x = 100000.0f;
        if (p.motion == NanFacing) spot.orientation = std::numeric_limits<float>::quiet_NaN();
        standAt(world, spot);
        if (tick % kTicksPerPhase == kTicksPerPhase - 1) phase = (phase + 1) % std::size(phases);
    }
}

}  // namespace
}  // namespace corvane::fake

int main(int argc, char** argv) {
    using namespace corvane::fake;
    useBinaryStandardOutput();
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (argc > 2 || (argc == 2 && mode != "--demo" && mode != "--soak")) {
        std::fputs(kUsage, stderr);
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
    return runCommands(world);
}
