#include "driver/game_launch.h"

#include <thread>

namespace corvane {

std::optional<CommandEnd> naturalEnd(const CommandFacts& facts) noexcept {
    if (!facts.commandEnded) return std::nullopt;
    if (facts.game != 0) {
        if (!facts.gameEnded) return std::nullopt;
        if (facts.gameOutlived && facts.gameCode) return CommandEnd{*facts.gameCode, true};
    } else if (facts.othersLeft) {
        return std::nullopt;  // a launcher's game may yet start
    }
    if (facts.commandCode) return CommandEnd{*facts.commandCode, true};
    return CommandEnd{0, false};
}

int stoppedCode(const CommandFacts& facts, int stopped) noexcept {
    if (const auto end = naturalEnd(facts); end && end->codeKnown) return end->code;
    if (facts.game != 0 && facts.gameEnded && facts.gameCode) return *facts.gameCode;
    return stopped;
}

bool GameLaunch::waitAfterStop(std::chrono::milliseconds timeout) noexcept {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const CommandFacts now = facts();
        if (now.commandEnded && (now.game == 0 || now.gameEnded)) return true;
        if (!started() || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds{10});
    }
}

}  // namespace corvane
