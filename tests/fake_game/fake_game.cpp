// A stand-in for the game client: a process named Wow.exe whose memory holds
// the connection state, client connection, object manager and object list at
// the game's offsets from its load address 0x400000, inside one static arena
// of its image (so every address fits the game's 32-bit pointers; a 32-bit
// build keeps its objects above 2 GiB, as the large-address-aware client
// does). Tests and scripts steer it one command per line on standard input,
// each answered "ok" (or "error ...") once it is applied:
//   state N            connection-state byte (0 glue screen, 1 in the world)
//   pos X Y Z O        position and orientation (strtof syntax: 1.5, 0x1.8p0, nan)
//   map N              map id
//   guid HEX           local player GUID
//   list COUNT INDEX [BACK]
//                      COUNT objects, the player at INDEX (INDEX >= COUNT: absent);
//                      with BACK, the last one's next pointer leads back to the
//                      object at BACK, a list without end
//   churn COUNT RATE PERIOD
//                      COUNT objects, the player in the middle, then RATE times a
//                      second one other object unlinked, given a new GUID and
//                      coordinates in its memory, and linked in again at a random
//                      place; every PERIOD ms (0: never) the player re-created in
//                      another object's memory and its old memory reused likewise.
//                      Until the next list, guid or churn.
//   sleep MS           waits MS milliseconds before it answers (a script run
//                      from a file stays a while)
//   vanish             makes the connection-state byte unreadable, as in a
//                      program that only bears the game's name (where the
//                      platform can: error elsewhere)
//   exit N             ends at once with exit code N, unanswered
// End of input exits with 0. Started with arguments, it first writes them on
// one line, "args [FIRST] [SECOND] ...", so a test sees what arrived. It starts
// on the glue screen, map 0, GUID 0x2A,
// the player alone at (0, 0, 0) facing 0.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept;        // from the platform file
void prepareProcess() noexcept;                 // lets others read us; binary output
void* objectArea(std::size_t bytes) noexcept;  // where the objects live; null: in the arena
bool makeUnreadable(std::uint64_t address) noexcept;  // the page that holds it; false: cannot

namespace {

// The game's offsets, written here apart from the reader's own table.
constexpr std::uint64_t kConnectionState = 0x7D0792;  // from the module base, 1 byte
constexpr std::uint64_t kClientConnection = 0x879CE0;  // from the module base
constexpr std::uint64_t kObjectManager = 0x2ED0;       // from the ClientConnection
constexpr std::uint64_t kFirstObject = 0xAC, kLocalGuid = 0xC0, kMapId = 0xCC;  // from the ObjectManager
constexpr std::uint64_t kGuid = 0x30, kNext = 0x3C;  // from an object
constexpr std::uint64_t kFloats[4] = {0x79C, 0x798, 0x7A0, 0x7A8};  // x, y, z, orientation

// Our own structures, past the two fixed locations; two banks of objects, a
// new list built in the one not published, so no reader walks a half-built one.
constexpr std::uint64_t kConnection = 0x880000, kManager = 0x884000, kObjectsInArena = 0x890000;
constexpr std::uint32_t kMaxObjects = 9000;  // longer than any walk; also "absent"
constexpr std::size_t kObjectBytes = std::size_t{2} * kMaxObjects * 0x800;
constexpr std::size_t kArenaSize = 64u << 20;
alignas(4096) constinit unsigned char g_arena[kArenaSize] = {};

std::uint64_t g_base = 0, g_objects = 0, g_guid = 0x2A;
float g_floats[4] = {};
std::mutex g_mutex;  // what follows, between the commands and the churn
std::vector<std::uint32_t> g_list;  // the published list, as object numbers
std::uint32_t g_player = 0, g_bank = 0;
std::uint64_t g_serial = 0;  // makes every other GUID new
std::mt19937 g_random(12340);
std::jthread g_churn;

// Single aligned atomic stores, which the compiler also never drops.
template <typename T>
void put(std::uint64_t address, T value) {
    std::atomic_ref<T>(*reinterpret_cast<T*>(static_cast<std::uintptr_t>(address))).store(value, std::memory_order_release);
}

std::uint64_t object(std::uint32_t number) { return g_objects + (std::uint64_t{g_bank} * kMaxObjects + number) * 0x800; }
std::uint32_t listed(std::size_t at) { return at < g_list.size() ? static_cast<std::uint32_t>(object(g_list[at])) : 0u; }
// The pointer to the object `at` in the list: the first-object pointer, or the one before's next.
std::uint64_t linkTo(std::size_t at) { return at == 0 ? g_base + kManager + kFirstObject : object(g_list[at - 1]) + kNext; }
std::size_t anywhere(std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(g_random); }

void putFloats(std::uint32_t number, const float (&floats)[4]) {
    for (int f = 0; f < 4 && number < kMaxObjects; ++f) put(object(number) + kFloats[f], floats[f]);
}

// The object at `at` out of the list, made a new object (the player, or
// another with a new GUID written before its coordinates, so that no reader
// takes them for the old object's), and linked in again at a random place,
// its own next pointer first.
std::uint32_t relink(std::size_t at, bool asPlayer) {
    const std::uint32_t number = g_list[at];
    put(linkTo(at), listed(at + 1));
    g_list.erase(g_list.begin() + static_cast<std::ptrdiff_t>(at));
    std::uniform_real_distribution<float> place(-9000.0f, 9000.0f);
    if (!asPlayer) put(object(number) + kGuid, g_guid ^ (1ull << 63 | ++g_serial));
    const float elsewhere[4] = {place(g_random), place(g_random), place(g_random) / 90, 1};
    putFloats(number, asPlayer ? g_floats : elsewhere);
    if (asPlayer) put(object(number) + kGuid, g_guid);
    at = anywhere(g_list.size() + 1);
    put(object(number) + kNext, listed(at));
    g_list.insert(g_list.begin() + static_cast<std::ptrdiff_t>(at), number);
    put(linkTo(at), listed(at));
    return number;
}

std::size_t anotherObject() {
    for (;;) if (const std::size_t at = anywhere(g_list.size()); g_list[at] != g_player) return at;
}

void churn(const std::stop_token& stop, double rate, std::chrono::milliseconds period) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto recreateAt = start + period;
    for (double done = 0; !stop.stop_requested(); std::this_thread::sleep_for(std::chrono::milliseconds{1})) {
        const std::lock_guard lock(g_mutex);
        const double due = rate * std::chrono::duration<double>(Clock::now() - start).count();
        for (done = std::max(done, due - rate / 10); done < due && g_list.size() > 1; ++done) relink(anotherObject(), false);
        if (period.count() > 0 && Clock::now() >= recreateAt && g_list.size() > 1) {
            // The player anew in another object's memory, linked in before the old one goes.
            const std::uint32_t old = std::exchange(g_player, relink(anotherObject(), true));
            relink(static_cast<std::size_t>(std::ranges::find(g_list, old) - g_list.begin()), false);
            recreateAt += period;
        }
    }
}

// Builds the list in the bank not published, then publishes it whole.
void publishList(std::uint32_t count, std::uint32_t player, std::uint32_t back = kMaxObjects) {
    g_churn = {};
    const std::lock_guard lock(g_mutex);
    g_bank ^= 1;
    g_list.resize(std::min(count, kMaxObjects));
    g_player = player < g_list.size() ? player : kMaxObjects;
    for (std::uint32_t i = 0; i < g_list.size(); ++i) {
        g_list[i] = i;  // every other GUID differs from the player's and from each other
        put(object(i) + kGuid, i == g_player ? g_guid : g_guid ^ (1ull << 63 | (i + 1)));
        put(object(i) + kNext, i + 1 < g_list.size() ? static_cast<std::uint32_t>(object(i + 1)) : listed(back));
    }
    g_serial = g_list.size();
    putFloats(g_player, g_floats);
    put(linkTo(0), listed(0));
    put(g_base + kManager + kLocalGuid, g_guid);
}

bool applyCommand(const std::string& name, std::istringstream& in) {
    std::string word[4];
    in >> word[0] >> word[1] >> word[2] >> word[3];
    char* end = nullptr;
    const std::uint64_t value = std::strtoull(word[0].c_str(), &end, name == "guid" ? 16 : 0);
    const auto number = [&word](int i) { return static_cast<std::uint32_t>(std::strtoul(word[i].c_str(), nullptr, 0)); };
    if (name == "vanish") return makeUnreadable(g_base + kConnectionState);
    if (name == "pos" && !word[3].empty()) {
        const std::lock_guard lock(g_mutex);
        for (int f = 0; f < 4; ++f) g_floats[f] = std::strtof(word[f].c_str(), nullptr);
        putFloats(g_player, g_floats);
    } else if (word[0].empty() || *end != '\0') {
        return false;
    } else if (name == "state") {
        put(g_base + kConnectionState, static_cast<std::uint8_t>(value));
    } else if (name == "map") {
        put(g_base + kManager + kMapId, static_cast<std::uint32_t>(value));
    } else if (name == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds{value});
    } else if (name == "exit") {
        std::fflush(stdout);
        std::_Exit(static_cast<int>(value));
    } else if (name == "guid") {
        g_guid = value;
        publishList(static_cast<std::uint32_t>(g_list.size()), g_player);
    } else if (name == "list") {
        publishList(number(0), number(1), word[2].empty() ? kMaxObjects : number(2));
    } else if (name == "churn") {
        publishList(number(0), number(0) / 2);
        g_churn = std::jthread(churn, std::strtod(word[1].c_str(), nullptr), std::chrono::milliseconds{number(2)});
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
    for (int i = 1; i < argc; ++i) std::printf(i + 1 < argc ? "%s[%s]" : "%s[%s]\n", i == 1 ? "args " : " ", argv[i]);
    g_base = ownModuleBase();
    const std::uint64_t arena = reinterpret_cast<std::uintptr_t>(g_arena);
    void* const area = objectArea(kObjectBytes);
    g_objects = area != nullptr ? reinterpret_cast<std::uintptr_t>(area) : g_base + kObjectsInArena;
    if (g_base + kConnectionState < arena || g_base + kObjectsInArena > arena + kArenaSize ||
        (area == nullptr && g_objects + kObjectBytes > arena + kArenaSize) ||
        g_objects + kObjectBytes > 0x100000000ull) {
        std::fputs("Wow.exe: the arena does not hold every game address below 4 GiB.\n", stderr);
        return 3;
    }
    put(g_base + kConnection + kObjectManager, static_cast<std::uint32_t>(g_base + kManager));
    put(g_base + kClientConnection, static_cast<std::uint32_t>(g_base + kConnection));
    publishList(1, 0);
    std::string answer = "ready";
    for (std::string line; std::printf("%s\n", answer.c_str()) && std::fflush(stdout) == 0 &&
                           std::getline(std::cin, line);) {
        std::istringstream in(line);
        std::string name;
        in >> name;
        answer = applyCommand(name, in) ? "ok" : "error bad command or value: " + line;
    }
    // No exit handlers: in sanitizer builds the leak check would start a
    // helper process that carries our name and could be taken for the game.
    std::_Exit(0);
}
