#include "check/chain_check.h"

#include "cli/start_line.h"
#include "game/client_version.h"
#include "link/link_record.h"

#include <algorithm>
#include <cstdio>

namespace corvane {
namespace {

std::string number(double value, const char* format) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string processName(const GameFacts& game, std::uint32_t pid) {
    return (game.pid != 0 ? "process " : "Wow.exe (pid ") + std::to_string(pid) + (game.pid != 0 ? "" : ")");
}

// "2 Wow.exe of other users are left out".
std::string othersLeftOut(std::size_t others) {
    return std::to_string(others) + (others == 1 ? " Wow.exe of another user is" : " Wow.exe of other users are") +
           " left out";
}

std::string othersClause(std::size_t others) { return others == 0 ? std::string() : "; " + othersLeftOut(others); }

LinkVerdict judgeGame(const GameFacts& game) {
    const auto broken = [](std::string found, std::string mend) {
        return LinkVerdict{LinkState::Broken, std::move(found), std::move(mend)};
    };
    if (!game.listed) {
        return broken("The processes cannot be listed: " + game.refusal,
                      "Run the check again; if it stays so, restart the computer.");
    }
    if (game.missing && game.pid != 0) {
        return broken("Process " + std::to_string(game.pid) + " is not running.",
                      "Give --pid the game's process ID as it is now, or leave --pid out.");
    }
    if (game.missing || game.looks.empty()) {
        if (game.othersLeftOut > 0) {
            return broken("Wow.exe runs only as another user: " + othersLeftOut(game.othersLeftOut) +
                              ", since the bridge reads only your own game.",
                          "Start the game as yourself, or the bridge as the user who runs the game.");
        }
        return broken("Wow.exe is not running.", "Start World of Warcraft 3.3.5a (Wow.exe), then check again.");
    }
    const ProcessLook& look = game.looks.front();
    const std::string name = processName(game, look.pid);
    const std::string others = othersClause(game.othersLeftOut);
    const std::string count =
        game.looks.size() > 1 ? " (the best of " + std::to_string(game.looks.size()) + " of yours)" : "";
    switch (look.candidate) {
    case Candidate::OtherBuild:
        return broken(name + " is version " + (look.version ? versionText(*look.version) : std::string("unknown")) +
                          count + others + ": this bridge reads 3.3.5a, build " + std::to_string(kClientBuild) + ".",
                      "Start the 3.3.5a client, build " + std::to_string(kClientBuild) + ": the bridge reads no other.");
    case Candidate::NotTheGame:
        return broken(name + ": " + look.why + count + others + ".",
                      "Close the program that bears the game's name and start World of Warcraft 3.3.5a.");
    case Candidate::Refused:
        // Linux's Yama: the sentence itself says what lets the bridge read the game.
        return broken(game.refusal, game.refusal.find("ptrace_scope") != std::string::npos
                                        ? std::string("Do one of the things the sentence above names.")
                                        : "Run the bridge as the same user as the game and, on Windows, both "
                                          "elevated or neither.");
    case Candidate::NoModule:
        return broken(name + ": " + look.why + count + others + ".",
                      "Wait until the game has started fully, then check again.");
    case Candidate::Game:
    case Candidate::Unversioned:
        break;
    }
    if (!game.readable) {
        return broken(game.refusal, "Run the bridge as the same user as the game, then check again.");
    }
    std::string found = name + ", " +
                        (look.version ? "version " + versionText(*look.version) : std::string("no version resource")) +
                        count + others + ", is read: ";
    if (game.shows == ReadStatus::InWorld) {
        const CharacterSnapshot& c = game.character;
        found += "in the world on map " + std::to_string(c.mapId) + " at " + number(c.x, "%.1f") + " " +
                 number(c.y, "%.1f") + " " + number(c.z, "%.1f") + ".";
    } else if (game.shows == ReadStatus::NotInWorld) {
        found += "not in the world (the login screen, or loading).";
    } else {
        found += "its character cannot be read now (" + game.readError + ").";
    }
    return {LinkState::Holds, found, {}};
}

bool tickMoves(const BridgeFacts& bridge) {
    return bridge.ticks && bridge.ticks->first != bridge.ticks->second;
}

// "pid 777, user 1000", as far as the system tells.
std::string holderText(const LockHolder& holder) {
    std::string text = holder.pid != 0 ? "pid " + std::to_string(holder.pid) : std::string("its pid unknown");
    if (holder.user) text += ", user " + std::to_string(*holder.user);
    return text;
}

LinkVerdict judgeBridge(const ChainFacts& facts) {
    const BridgeFacts& bridge = facts.bridge;
    // What stands at the name keeps every bridge off it: the link's to mend.
    const SharedMemory::Status opened = facts.link.opening.status;
    if ((opened != SharedMemory::Status::Ok && opened != SharedMemory::Status::NotFound) ||
        (bridge.ticks && bridge.ticks->held < kLinkedMemSize)) {
        return {LinkState::Unknown, "No bridge can publish to the link as it is.", {}};
    }
    const bool moves = tickMoves(bridge);
    const std::string rate =
        moves ? number(tickRate(bridge.ticks->first, bridge.ticks->second, bridge.ticks->elapsedNs), "%.0f") +
                    " frames a second"
              : std::string();
    const auto other = std::find_if(bridge.holders.begin(), bridge.holders.end(), [&](const LockHolder& h) {
        return h.user && *h.user != facts.user;
    });
    if (other != bridge.holders.end()) {
        return {LinkState::Broken,
                "Another user's bridge (" + holderText(*other) +
                    ") holds the link: it was open to others, and that user can read every frame.",
                "Start your own bridge: it makes the link anew, for you alone."};
    }
    if (!bridge.holders.empty() && moves) {
        return {LinkState::Holds, "A bridge (" + holderText(bridge.holders.front()) + ") publishes, " + rate + ".", {}};
    }
    if (!bridge.holders.empty()) {
        return {LinkState::Broken,
                "A bridge (" + holderText(bridge.holders.front()) +
                    ") holds the link, but its tick stands still at " + std::to_string(bridge.ticks ? bridge.ticks->second : 0) +
                    ": it has stopped (suspended, or hung).",
                "End that bridge and start it again."};
    }
    if (moves) {
        return {LinkState::Broken, "Another program, no bridge, writes the link (" + rate + ").",
                "Close the other program that writes MumbleLink (another game's link), then start the bridge."};
    }
    if (bridge.ticks && facts.link.version != 0) {
        return {LinkState::Broken,
                "No bridge runs: the link's tick stands still at " + std::to_string(bridge.ticks->second) +
                    ", left by a bridge that has stopped.",
                "Start the bridge with your settings, and keep it running while you play."};
    }
    return {LinkState::Broken, "No bridge runs: nothing publishes to the link.",
            "Start the bridge with your settings, and keep it running while you play."};
}

std::string modeText(std::uint32_t mode) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04o", static_cast<unsigned>(mode));
    return buffer;
}

LinkVerdict judgeLink(const ChainFacts& facts) {
    const LinkFacts& link = facts.link;
    const std::string& where = link.location;
    switch (link.opening.status) {
    case SharedMemory::Status::Ok:
        break;
    case SharedMemory::Status::NotFound:  // the bridge makes it: its absence is the bridge's
        return {LinkState::Unknown, "There is no link " + where + " yet: the bridge makes it when it starts.", {}};
    case SharedMemory::Status::NotOwned:
        return {LinkState::Broken,
                "The link " + where + " belongs to user " + std::to_string(link.opening.code) + ", not to you.",
                "Have it removed (sudo rm " + where + ") and start the bridge again."};
    case SharedMemory::Status::NotSharedMemory:
        return {LinkState::Broken, "The link " + where + " is " + kindText(link.opening.code) + ", not shared memory.",
                "Remove it (rm " + where + ") and start the bridge again."};
    default:
        return {LinkState::Broken, linkOpeningText(link.opening), "Restart the bridge and the voice client."};
    }
    const std::size_t held = facts.bridge.ticks ? facts.bridge.ticks->held : 0;
    if (held < kLinkedMemSize) {
        return {LinkState::Broken, cutShortText(held),
                "Close the voice client, remove the link (rm " + where + "), start the bridge, then the voice client."};
    }
    std::string found = "The link " + where;
    if (link.details) {
        found += ": yours, mode " + modeText(link.details->mode) + ", " + std::to_string(link.details->size) + " bytes";
        if (link.details->mode != 0600) {
            return {LinkState::Broken,
                    found + ": open to others, who could read where you are.",
                    "Stop the bridge, remove the link (rm " + where + ") and start the bridge again: it makes it "
                    "for you alone."};
        }
    }
    if (link.version == 0) return {LinkState::Holds, found + ", nothing written to it yet.", {}};
    found += ", identity " + quoted(link.identity) + ", context " + quoted(link.context);
    const std::string restart = " in the settings file, then start the bridge again.";
    if (link.identity.empty()) {
        return {LinkState::Broken, found + ": no identity, so the voice client cannot tell you apart.",
                "Write your character's name after identity =" + restart};
    }
    if (link.identity == kPlaceholderIdentity) {
        return {LinkState::Broken, found + ": the example's identity, which is no one's.",
                "Write your character's name after identity =" + restart};
    }
    if (facts.settingsGiven && link.identity != facts.identity) {
        return {LinkState::Broken, found + ": the settings say identity " + quoted(facts.identity) + ".",
                "Stop the bridge that runs and start it with these settings."};
    }
    if (facts.settingsGiven && link.context != facts.context) {
        return {LinkState::Broken, found + ": the settings say context " + quoted(facts.context) + ".",
                "Write your community's context after context =" + restart};
    }
    return {LinkState::Holds, found + ".", {}};
}

LinkVerdict judgeVoice(const ChainFacts& facts) {
    const VoiceFacts& voice = facts.voice;
    if (facts.link.opening.status != SharedMemory::Status::Ok) {
        return {LinkState::Unknown, "No voice client can read a link that cannot be opened.", {}};
    }
    if (!voice.readers) {
        return {LinkState::Unknown,
                "Who reads the link cannot be told from here: the bridge's window says it while it runs.", {}};
    }
    // A reader found is one; finding none says nothing where the look sees only part of the processes.
    if (voice.readers->empty() && voice.partialView) {
        return {LinkState::Unknown,
                "The check runs in a sandbox that sees only some of the processes: who reads the link cannot be told.",
                {}};
    }
    std::string text = describeReaders(*voice.readers, facts.link.location);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const bool reads = std::any_of(voice.readers->begin(), voice.readers->end(), [](const LinkReader& r) {
        return r.holds == LinkReader::Holds::ThisLink;
    });
    if (reads) return {LinkState::Holds, text, {}};
    if (voice.readers->empty()) {
        return {LinkState::Broken, "No voice client has the link " + facts.link.location + " open.", text};
    }
    return {LinkState::Broken, "No voice client reads this link; one reads another.", text};
}

}  // namespace

ChainReport judgeChain(const ChainFacts& facts) {
    ChainReport report;
    report.game = judgeGame(facts.game);
    report.bridge = judgeBridge(facts);
    report.link = judgeLink(facts);
    report.voice = judgeVoice(facts);
    const std::pair<const LinkVerdict*, std::pair<ChainExit, const char*>> order[] = {
        {&report.game, {ChainExit::Game, "the game"}},
        {&report.bridge, {ChainExit::Bridge, "the bridge"}},
        {&report.link, {ChainExit::Link, "the link"}},
        {&report.voice, {ChainExit::VoiceClient, "the voice client"}},
    };
    for (const auto& [verdict, which] : order) {
        if (verdict->state != LinkState::Broken) continue;
        report.exit = which.first;
        report.verdict = std::string("The chain breaks at ") + which.second + ": " + verdict->mend;
        return report;
    }
    report.verdict = "Every link holds" + std::string(report.voice.state == LinkState::Unknown
                                                          ? " that can be told."
                                                          : ": you should hear the others in 3D.");
    return report;
}

std::string formatChainReport(const ChainReport& report) {
    std::string out;
    const auto row = [&out](const char* name, const LinkVerdict& verdict) {
        static constexpr const char* kStates[] = {"holds", "BROKEN", "unknown"};
        std::string label = std::string(name) + ":";
        label.resize(15, ' ');
        out += label + kStates[static_cast<int>(verdict.state)] + ". " + verdict.found + "\n";
        if (verdict.state == LinkState::Broken) out += std::string(15, ' ') + "To mend: " + verdict.mend + "\n";
    };
    row("Game", report.game);
    row("Bridge", report.bridge);
    row("Link", report.link);
    row("Voice client", report.voice);
    out += report.verdict + " (exit code " + std::to_string(static_cast<int>(report.exit)) + ")\n";
    return out;
}

namespace {

void member(std::string& out, const char* key, const std::string& value) {
    out += out.back() == '{' ? "\"" : ",\"";
    out += key;
    out += "\":";
    out += value;
}

std::string orNull(bool has, const std::string& value) { return has ? value : "null"; }

std::string verdictMembers(const LinkVerdict& verdict) {
    static constexpr const char* kStates[] = {"\"holds\"", "\"broken\"", "\"unknown\""};
    std::string out = "{";
    member(out, "state", kStates[static_cast<int>(verdict.state)]);
    member(out, "found", jsonString(verdict.found));
    member(out, "mend", orNull(verdict.state == LinkState::Broken, jsonString(verdict.mend)));
    return out;
}

const char* candidateName(Candidate candidate) {
    switch (candidate) {
    case Candidate::Game:
        return "\"game\"";
    case Candidate::Unversioned:
        return "\"unversioned\"";
    case Candidate::Refused:
        return "\"refused\"";
    case Candidate::OtherBuild:
        return "\"otherBuild\"";
    case Candidate::NotTheGame:
        return "\"notTheGame\"";
    case Candidate::NoModule:
        break;
    }
    return "\"noModule\"";
}

}  // namespace

std::string formatChainJson(const ChainFacts& facts, const ChainReport& report) {
    std::string game = verdictMembers(report.game);
    std::string processes = "[";
    for (const ProcessLook& look : facts.game.looks) {
        std::string item = "{";
        member(item, "pid", std::to_string(look.pid));
        member(item, "kind", candidateName(look.candidate));
        member(item, "version", orNull(look.version.has_value(), look.version ? jsonString(versionText(*look.version)) : ""));
        processes += (processes.size() > 1 ? "," : "") + item + "}";
    }
    member(game, "processes", processes + "]");
    member(game, "othersLeftOut", std::to_string(facts.game.othersLeftOut));
    const bool inWorld = facts.game.readable && facts.game.shows == ReadStatus::InWorld;
    member(game, "read", orNull(facts.game.readable, std::to_string(facts.game.looks.empty() ? facts.game.pid
                                                                                               : facts.game.looks.front().pid)));
    member(game, "inWorld", inWorld ? "true" : "false");
    member(game, "mapId", orNull(inWorld, std::to_string(facts.game.character.mapId)));
    std::string position = "[";
    for (const float value : {facts.game.character.x, facts.game.character.y, facts.game.character.z}) {
        if (position.size() > 1) position += ',';
        position += jsonFloat(value);
    }
    member(game, "position", orNull(inWorld, position + "]"));

    std::string bridge = verdictMembers(report.bridge);
    std::string holders = "[";
    for (const LockHolder& holder : facts.bridge.holders) {
        std::string item = "{";
        member(item, "pid", orNull(holder.pid != 0, std::to_string(holder.pid)));
        member(item, "user", orNull(holder.user.has_value(), std::to_string(holder.user.value_or(0))));
        holders += (holders.size() > 1 ? "," : "") + item + "}";
    }
    member(bridge, "lockHolders", holders + "]");
    const auto& ticks = facts.bridge.ticks;
    member(bridge, "tickBefore", orNull(ticks.has_value(), std::to_string(ticks ? ticks->first : 0)));
    member(bridge, "tickAfter", orNull(ticks.has_value(), std::to_string(ticks ? ticks->second : 0)));
    member(bridge, "framesPerSecond",
           orNull(ticks.has_value(), number(ticks ? tickRate(ticks->first, ticks->second, ticks->elapsedNs) : 0, "%.1f")));

    std::string link = verdictMembers(report.link);
    const auto& details = facts.link.details;
    const bool open = facts.link.opening.status == SharedMemory::Status::Ok;
    member(link, "location", jsonString(facts.link.location));
    member(link, "owner", orNull(details.has_value(), std::to_string(details ? details->owner : 0)));
    member(link, "mode", orNull(details.has_value(), jsonString(modeText(details ? details->mode : 0))));
    member(link, "size", orNull(details.has_value(), std::to_string(details ? details->size : 0)));
    member(link, "whole", open && ticks && ticks->held >= kLinkedMemSize ? "true" : "false");
    member(link, "identity", orNull(open && facts.link.version != 0, jsonString(facts.link.identity)));
    member(link, "context", orNull(open && facts.link.version != 0, jsonString(facts.link.context)));

    std::string voice = verdictMembers(report.voice);
    std::string readers = "[";
    static constexpr const char* kHolds[] = {"\"thisLink\"", "\"removed\"", "\"elsewhere\""};
    for (const LinkReader& reader : facts.voice.readers.value_or(std::vector<LinkReader>{})) {
        std::string item = "{";
        member(item, "pid", orNull(reader.pid != 0, std::to_string(reader.pid)));
        member(item, "program", jsonString(reader.program));
        member(item, "holds", kHolds[static_cast<int>(reader.holds)]);
        readers += (readers.size() > 1 ? "," : "") + item + "}";
    }
    member(voice, "readers", orNull(facts.voice.readers.has_value(), readers + "]"));
    member(voice, "partialView", facts.voice.partialView ? "true" : "false");

    static constexpr const char* kLinks[] = {"null", "\"game\"", "\"bridge\"", "\"link\"", "\"voiceClient\""};
    const int exit = static_cast<int>(report.exit);
    std::string out = "{";
    member(out, "game", game + "}");
    member(out, "bridge", bridge + "}");
    member(out, "link", link + "}");
    member(out, "voiceClient", voice + "}");
    member(out, "brokenLink", kLinks[exit == 0 ? 0 : exit - 2]);
    member(out, "verdict", jsonString(report.verdict));
    member(out, "exitCode", std::to_string(exit));
    return out + "}\n";
}

}  // namespace corvane
