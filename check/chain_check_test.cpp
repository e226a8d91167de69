// The chain check's judgement: each row a chain broken in one place, and the
// report names that place, and only it, with the documented exit code (0 when
// every link holds, 3 the game, 4 the bridge, 5 the link, 6 the voice client).

#include "check/chain_check.h"
#include "cli/start_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace corvane {
namespace {

// A whole chain: the player's game read in the world, their bridge moving
// the tick, their link as the bridge makes it, Mumble reading it.
ChainFacts wholeChain() {
    ChainFacts facts;
    facts.user = 1000;
    facts.settingsGiven = true;
    facts.identity = "Oruli";
    facts.context = "CORVANE:WORLD:1";
    facts.game.looks = {{4242, Candidate::Game, ClientVersion{3, 3, 5, 12340}, {}}};
    facts.game.readable = true;
    facts.game.shows = ReadStatus::InWorld;
    facts.game.character.mapId = 1;
    facts.game.character.x = 10.0f;
    facts.game.character.y = -20.5f;
    facts.game.character.z = 3.25f;
    facts.bridge.holders = {{777, 1000}};
    facts.bridge.ticks = TickSamples{100, 110, 200'000'000, 10580};
    facts.link.location = "/dev/shm/MumbleLink.1000";
    facts.link.details = SharedMemory::Details{1000, 0600, 10580};
    facts.link.version = 2;
    facts.link.identity = "Oruli";
    facts.link.context = "CORVANE:WORLD:1";
    facts.voice.readers = std::vector<LinkReader>{{555, "mumble", LinkReader::Holds::ThisLink}};
    return facts;
}

TEST(ChainCheck, AWholeChainHoldsLinkByLink) {
    const ChainFacts facts = wholeChain();
    const ChainReport report = judgeChain(facts);
    EXPECT_EQ(formatChainReport(report),
              "Game:          holds. Wow.exe (pid 4242), version 3.3.5.12340, is read: in the world on map 1 at "
              "10.0 -20.5 3.2.\n"
              "Bridge:        holds. A bridge (pid 777, user 1000) publishes, 50 frames a second.\n"
              "Link:          holds. The link /dev/shm/MumbleLink.1000: yours, mode 0600, 10580 bytes, identity "
              "\"Oruli\", context \"CORVANE:WORLD:1\".\n"
              "Voice client:  holds. The link /dev/shm/MumbleLink.1000 is read by mumble (pid 555).\n"
              "Every link holds: you should hear the others in 3D. (exit code 0)\n");
    const std::string json = formatChainJson(facts, report);
    for (const char* member : {"\"brokenLink\":null", "\"exitCode\":0", "\"processes\":[{\"pid\":4242,\"kind\":\"game\","
                               "\"version\":\"3.3.5.12340\"}]", "\"position\":[10,-20.5,3.25]", "\"lockHolders\":[{\"pid\":777,"
                               "\"user\":1000}]", "\"framesPerSecond\":50.0", "\"mode\":\"0600\"", "\"whole\":true",
                               "\"readers\":[{\"pid\":555,\"program\":\"mumble\",\"holds\":\"thisLink\"}]"}) {
        EXPECT_NE(json.find(member), std::string::npos) << member << " in " << json;
    }
}

TEST(ChainCheck, FromASandboxOnlyAReaderFoundCounts) {
    ChainFacts facts = wholeChain();
    facts.voice.partialView = true;
    EXPECT_EQ(static_cast<int>(judgeChain(facts).exit), 0);
    EXPECT_NE(formatChainReport(judgeChain(facts)).find("Voice client:  holds."), std::string::npos);
    facts.voice.readers->clear();
    const ChainReport report = judgeChain(facts);
    EXPECT_EQ(static_cast<int>(report.exit), 0);
    EXPECT_NE(formatChainReport(report).find("Voice client:  unknown. The check runs in a sandbox"), std::string::npos);
}

// A game that is not read: the one process seen (none: pid 0), and other users' left out.
GameFacts game(const ProcessLook& look, std::size_t others, const std::string& refusal = {}) {
    GameFacts facts;
    facts.missing = look.pid == 0;
    if (!facts.missing) facts.looks = {look};
    facts.othersLeftOut = others;
    facts.refusal = refusal;
    return facts;
}

TEST(ChainCheck, NamesTheOneBrokenLinkWithItsExitCode) {
    using Change = std::function<void(ChainFacts&)>;
    const auto noLink = [](ChainFacts& f) {
        f.link.opening = {SharedMemory::Status::NotFound, 2};
        f.link.details.reset();
        f.bridge = {};
        f.voice.readers.reset();
    };
    const struct {
        const char* chain;
        Change change;
        int exit;
        const char* row;   // the one that is broken
        const char* says;  // in the report
    } rows[] = {
        {"no game", [](ChainFacts& f) { f.game = game({}, 0); }, 3, "Game:", "Wow.exe is not running."},
        {"another user's game only", [](ChainFacts& f) { f.game = game({}, 2); }, 3,
         "Game:", "Wow.exe runs only as another user: 2 Wow.exe of other users are left out"},
        {"a program that bears the name",
         [](ChainFacts& f) {
             f.game.looks[0] = {4242, Candidate::NotTheGame, std::nullopt,
                                "its connection state cannot be read, so it is no 3.3.5a client"};
         },
         3, "Game:", "Wow.exe (pid 4242): its connection state cannot be read"},
        {"another build",
         [](ChainFacts& f) {
             f.game = game({4242, Candidate::OtherBuild, ClientVersion{4, 3, 4, 15595}, {}}, 0);
         },
         3, "Game:", "Wow.exe (pid 4242) is version 4.3.4.15595: this bridge reads 3.3.5a, build 12340."},
        {"a game the bridge may not read",
         [](ChainFacts& f) {
             f.game = game({4242, Candidate::Refused, std::nullopt, {}}, 0,
                           "OpenProcess failed for Wow.exe (Win32 error 5).");
         },
         3, "Game:", "OpenProcess failed for Wow.exe (Win32 error 5)."},
        {"no bridge", noLink, 4, "Bridge:", "No bridge runs: nothing publishes to the link."},
        {"a bridge that stopped",
         [](ChainFacts& f) {
             f.bridge = {{}, TickSamples{110, 110, 200'000'000, 10580}};
         },
         4, "Bridge:", "the link's tick stands still at 110, left by a bridge that has stopped"},
        {"a bridge frozen at the lock",
         [](ChainFacts& f) { f.bridge.ticks->second = 100; }, 4, "Bridge:", "End that bridge and start it again."},
        {"another user's bridge at the name",
         [](ChainFacts& f) { f.bridge.holders = {{888, 1001}}; }, 4, "Bridge:",
         "Another user's bridge (pid 888, user 1001) holds the link"},
        {"a link of the wrong size",
         [](ChainFacts& f) {
             f.bridge.ticks->held = 64;
             f.link.details->size = 64;
         },
         5, "Link:", "holds only 64 of the record's"},
        {"another user's object at the name",
         [](ChainFacts& f) {
             f.link.opening = {SharedMemory::Status::NotOwned, 1001};
             f.bridge = {};
             f.voice.readers.reset();
         },
         5, "Link:", "belongs to user 1001, not to you"},
        {"a link open to others", [](ChainFacts& f) { f.link.details->mode = 0644; }, 5, "Link:",
         "mode 0644, 10580 bytes: open to others"},
        {"the placeholder identity",
         [](ChainFacts& f) { f.link.identity = f.identity = kPlaceholderIdentity; }, 5, "Link:",
         "the example's identity"},
        {"another context than the settings'", [](ChainFacts& f) { f.link.context = "CORVANE:WORLD:2"; }, 5,
         "Link:", "the settings say context \"CORVANE:WORLD:1\""},
        {"no reader", [](ChainFacts& f) { f.voice.readers->clear(); }, 6, "Voice client:",
         "To mend: No voice client has the link /dev/shm/MumbleLink.1000 open yet"},
        {"a reader of a removed link",
         [](ChainFacts& f) { f.voice.readers->front().holds = LinkReader::Holds::Removed; }, 6, "Voice client:",
         "mumble (pid 555) still reads a link that was removed"},
    };
    for (const auto& row : rows) {
        ChainFacts facts = wholeChain();
        row.change(facts);
        const ChainReport report = judgeChain(facts);
        const std::string text = formatChainReport(report);
        EXPECT_EQ(static_cast<int>(report.exit), row.exit) << row.chain << "\n" << text;
        EXPECT_NE(text.find(row.says), std::string::npos) << row.chain << "\n" << text;
        // Broken there, and nowhere else.
        const std::size_t broken = text.find("BROKEN");
        EXPECT_EQ(text.rfind("\n", broken) + 1, text.find(row.row)) << row.chain << "\n" << text;
        EXPECT_EQ(text.find("BROKEN", broken + 1), std::string::npos) << row.chain << "\n" << text;
        EXPECT_NE(formatChainJson(facts, report).find("\"exitCode\":" + std::to_string(row.exit)), std::string::npos);
    }
}

}  // namespace
}  // namespace corvane
