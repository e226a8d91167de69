#pragma once
// The chain check (--check): what positional audio needs, link by link (the
// game, the bridge, the link, the voice client), judged from facts gathered
// once. Judging is pure, so every broken chain is tested as a table; the
// gathering (gather_chain.cpp) only looks, through what game/ and link/ have.

#include "game/character_snapshot.h"
#include "game/game_process.h"
#include "link/link_look.h"
#include "link/link_readers.h"
#include "link/shared_memory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct BridgeOptions;

// The exit code of a check, by the first link that is broken.
enum class ChainExit : int {
    Holds = 0,
    Game = 3,
    Bridge = 4,
    Link = 5,
    VoiceClient = 6,
};

struct GameFacts {
    bool listed = true;           // the processes could be listed
    std::uint32_t pid = 0;        // --pid: this process, whatever its name; 0 by name
    bool missing = false;         // no such process of the player's
    std::size_t othersLeftOut = 0;
    // What the bridge saw of each process it looked at, the one it would read
    // (or that refused it) first.
    std::vector<ProcessLook> looks;
    bool readable = false;        // the bridge would read the first
    std::string refusal;          // the bridge's own sentence when it would not
    // What the game shows now, when readable.
    std::optional<ReadStatus> shows;
    CharacterSnapshot character;
    std::string readError;
};

struct LockHolder {
    std::uint32_t pid = 0;                // 0: not named (Windows, or outside our view)
    std::optional<std::uint32_t> user;    // its real user, where it can be told
};

struct BridgeFacts {
    std::vector<LockHolder> holders;      // of the writers' lock on the link
    std::optional<TickSamples> ticks;     // when the link could be read
};

struct LinkFacts {
    std::string location;
    LinkOpening opening;
    std::optional<SharedMemory::Details> details;  // POSIX
    std::uint32_t version = 0;            // the record's uiVersion: 0 before any writer
    std::string identity;
    std::string context;
};

struct VoiceFacts {
    std::optional<std::vector<LinkReader>> readers;  // nothing: cannot be told
    // The check sees only part of the processes (it runs in a sandbox).
    bool partialView = false;
};

struct ChainFacts {
    GameFacts game;
    BridgeFacts bridge;
    LinkFacts link;
    VoiceFacts voice;
    std::uint32_t user = 0;       // the player's (POSIX real user id)
    // What the settings say, compared with the link only when they were
    // given (--config or --identity).
    bool settingsGiven = false;
    std::string identity;
    std::string context;
};

enum class LinkState { Holds, Broken, Unknown };

struct LinkVerdict {
    LinkState state = LinkState::Unknown;
    std::string found;  // one sentence
    std::string mend;   // one sentence, when broken
};

struct ChainReport {
    LinkVerdict game, bridge, link, voice;
    std::string verdict;
    ChainExit exit = ChainExit::Holds;
};

ChainReport judgeChain(const ChainFacts& facts);
// The report as the player reads it, lines ending in line feeds.
std::string formatChainReport(const ChainReport& report);
// The same as one JSON object (and a line feed).
std::string formatChainJson(const ChainFacts& facts, const ChainReport& report);

// Gathers the facts without publishing, creating, locking or changing
// anything (gather_chain.cpp).
ChainFacts gatherChainFacts(const BridgeOptions& options);

// --check: prints the report (as JSON with `json`) to standard output and
// returns the exit code.
int runChainCheck(const BridgeOptions& options, bool json);

}  // namespace corvane
