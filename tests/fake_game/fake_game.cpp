// A stand-in for the game client: a process named Wow.exe whose memory holds
// the connection state, client connection, object manager and object list at
// the game's offsets from its load address 0x400000, inside one static arena
// of its image (so every address fits the game's 32-bit pointers). Tests and
// scripts steer it one command per line on standard input, each answered "ok"
// (or "error ...") once it is applied:
//   state N            connection-state byte (0 glue screen, 1 in the world)
//   pos X Y Z O        position and orientation (strtof syntax: 1.5, 0x1.8p0, nan)
//   map N              map id
//   guid HEX           local player GUID
//   list COUNT INDEX   COUNT objects, the player at INDEX (INDEX >= COUNT: absent)
//   exit N             ends at once with exit code N, unanswered
// End of input exits with 0. Started with arguments, it first writes them on
// one line, "args [FIRST] [SECOND] ...", so a test sees what arrived. It starts on the glue screen, map 0, GUID 0x2A,
// the player alone at (0, 0, 0) facing 0.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept;  // from the platform file
void prepareProcess() noexcept;           // lets others read us; binary output

namespace {

// The game's offsets, written here apart from the reader's own table.
constexpr std::uint64_t kConnectionState = 0x7D0792;  // from the module base, 1 byte
constexpr std::uint64_t kClientConnection = 0x879CE0;  // from the module base
constexpr std::uint64_t kObjectManager = 0x2ED0;       // from the ClientConnection
constexpr std::uint64_t kFirstObject = 0xAC;           // from the ObjectManager
constexpr std::uint64_t kLocalGuid = 0xC0;
constexpr std::uint64_t kMapId = 0xCC;
constexpr std::uint64_t kGuid = 0x30;  // from an object
constexpr std::uint64_t kNext = 0x3C;
constexpr std::uint64_t kFloats[4] = {0x79C, 0x798, 0x7A0, 0x7A8};  // x, y, z, orientation

// Our own structures, past the two fixed locations; two banks of objects, a
// new list built in the one not published, so no reader walks a half-built one.
constexpr std::uint64_t kConnection = 0x880000;
constexpr std::uint64_t kManager = 0x884000;
constexpr std::uint64_t kMaxObjects = 9000;  // longer than any walk
constexpr std::size_t kArenaSize = 64u << 20;
alignas(4096) constinit unsigned char g_arena[kArenaSize] = {};

std::uint64_t g_base = 0;
std::uint64_t g_guid = 0x2A;
std::uint64_t g_count = 1;
std::uint64_t g_player = 0;
std::uint64_t g_bank = 0;
float g_floats[4] = {};

// Single aligned atomic stores, which the compiler also never drops.
template <typename T>
void put(std::uint64_t offset, T value) {
    unsigned char* at = g_arena + (g_base + offset - reinterpret_cast<std::uintptr_t>(g_arena));
    std::atomic_ref<T>(*reinterpret_cast<T*>(at)).store(value, std::memory_order_release);
}

std::uint32_t address(std::uint64_t offset) { return static_cast<std::uint32_t>(g_base + offset); }

std::uint64_t object(std::uint64_t bank, std::uint64_t index) {
    return 0x890000 + (bank * kMaxObjects + index) * 0x800;
}

void putPlayer(std::uint64_t bank) {
    for (int f = 0; f < 4 && g_player < g_count; ++f) put(object(bank, g_player) + kFloats[f], g_floats[f]);
}

void publishList() {
    const std::uint64_t bank = g_bank ^ 1;
    for (std::uint64_t i = 0; i < g_count; ++i) {
        // Every other GUID differs from the player's and from each other.
        put(object(bank, i) + kGuid, i == g_player ? g_guid : g_guid ^ (1ull << 63 | (i + 1)));
        put(object(bank, i) + kNext, i + 1 < g_count ? address(object(bank, i + 1)) : 0u);
    }
    putPlayer(bank);
    put(kManager + kFirstObject, g_count > 0 ? address(object(bank, 0)) : 0u);
    g_bank = bank;
}

bool apply(const std::string& name, std::istringstream& in) {
    std::string word[4];
    in >> word[0] >> word[1] >> word[2] >> word[3];
    char* end = nullptr;
    const std::uint64_t value = std::strtoull(word[0].c_str(), &end, name == "guid" ? 16 : 0);
    if (name == "pos" && !word[3].empty()) {
        for (int f = 0; f < 4; ++f) g_floats[f] = std::strtof(word[f].c_str(), nullptr);
        putPlayer(g_bank);
    } else if (word[0].empty() || *end != '\0') {
        return false;
    } else if (name == "state") {
        put(kConnectionState, static_cast<std::uint8_t>(value));
    } else if (name == "map") {
        put(kManager + kMapId, static_cast<std::uint32_t>(value));
    } else if (name == "exit") {
        std::fflush(stdout);
        std::_Exit(static_cast<int>(value));
    } else if (name == "guid" || name == "list") {
        g_guid = name == "guid" ? value : g_guid;
        g_count = name == "list" ? std::min(value, kMaxObjects) : g_count;
        g_player = name == "list" ? std::strtoull(word[1].c_str(), nullptr, 0) : g_player;
        publishList();
        put(kManager + kLocalGuid, g_guid);
    } else {
        return false;
    }
    return true;
}

}  // namespace
}  // namespace corvane::fake

int main(int argc, char** argv) {
    using namespace corvane::fake;
    prepareProcess();
    if (argc > 1) {
        std::string line = "args";
        for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
        std::printf("%s\n", line.c_str());
    }
    g_base = ownModuleBase();
    const std::uint64_t arena = reinterpret_cast<std::uintptr_t>(g_arena);
    if (g_base + kConnectionState < arena || g_base + object(2, 0) > arena + kArenaSize ||
        g_base + object(2, 0) > 0x100000000ull) {
        std::fputs("Wow.exe: the arena does not hold every game address below 4 GiB.\n", stderr);
        return 3;
    }
    put(kManager + kLocalGuid, g_guid);
    put(kConnection + kObjectManager, address(kManager));
    put(kClientConnection, address(kConnection));
    publishList();
    std::string answer = "ready";
    for (std::string line; std::printf("%s\n", answer.c_str()) && std::fflush(stdout) == 0 &&
                           std::getline(std::cin, line);) {
        std::istringstream in(line);
        std::string name;
        in >> name;
        answer = apply(name, in) ? "ok" : "error bad command or value: " + line;
    }
    // No exit handlers: in sanitizer builds the leak check would start a
    // helper process that carries our name and could be taken for the game.
    std::_Exit(0);
}
