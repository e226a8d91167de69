#include "check/chain_check.h"
#include "check/check_platform.h"

#include "cli/console.h"
#include "cli/options.h"
#include "game/game_reader.h"
#include "link/link_look.h"
#include "link/link_readers.h"
#include "link/linked_mem.h"

namespace corvane {
namespace {

// Long enough for a bridge's 50 Hz tick to move several times on a busy machine.
constexpr std::uint32_t kTickSpanMs = 200;

GameFacts gatherGame(const BridgeOptions& options) {
    GameFacts game;
    game.pid = options.pid;
    GameReader reader;
    game.readable = options.pid != 0 ? reader.attachToProcess(options.pid) : reader.attach(L"Wow.exe");
    game.missing = !game.readable && reader.gameMissing();
    game.looks = reader.looks();
    game.othersLeftOut = reader.othersLeftOut();
    game.refusal = reader.lastError();
    if (!game.readable && !game.missing && game.looks.empty()) {
        // Refused before anything could be seen of it, or no list at all.
        if (options.pid == 0) {
            game.listed = false;
        } else {
            game.looks.push_back({options.pid, Candidate::Refused, std::nullopt, {}});
        }
    }
    if (game.readable) {
        game.shows = reader.readCharacter(game.character);
        game.readError = reader.lastError();
    }
    return game;
}

}  // namespace

ChainFacts gatherChainFacts(const BridgeOptions& options) {
    ChainFacts facts;
    facts.user = playersUser();
    facts.settingsGiven = options.identityGiven;
    facts.identity = options.identity;
    facts.context = options.context;
    facts.game = gatherGame(options);

    SharedMemory memory;
    facts.link.location = sharedMemoryLocation(linkName());
    facts.link.opening = openLinkToLook(memory);
    if (!memory.isOpen()) return facts;
    facts.link.details = memory.details();
    for (const std::uint32_t pid : memory.lockHolders()) facts.bridge.holders.push_back({pid, processUser(pid)});
    LinkedMem record{};
    facts.bridge.ticks = sampleTwice(memory, record, kTickSpanMs);
    if (facts.bridge.ticks->held == sizeof record) {
        facts.link.version = record.uiVersion;
        facts.link.identity = recordIdentity(record, true);
        facts.link.context = escapeContext(record);
    }
    facts.voice.readers = readersOnce(memory);
    facts.voice.partialView = !lookSeesEveryProcess();
    return facts;
}

int runChainCheck(const BridgeOptions& options, bool json) {
    const ChainFacts facts = gatherChainFacts(options);
    const ChainReport report = judgeChain(facts);
    writeStandardStream(StandardStream::Output, json ? formatChainJson(facts, report) : formatChainReport(report));
    return static_cast<int>(report.exit);
}

}  // namespace corvane
