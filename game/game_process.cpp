#include "game/game_process.h"

#include "common/win32_error.h"

#include <algorithm>
#include <iterator>

namespace corvane {

bool sameExecutableName(std::string_view name, std::wstring_view wanted) noexcept {
    if (name.size() != wanted.size()) return false;
    const auto fold = [](std::uint32_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint32_t a = static_cast<unsigned char>(name[i]);
        const auto b = static_cast<std::uint32_t>(wanted[i]);
        if (fold(a) != fold(b)) return false;
    }
    return true;
}

std::vector<std::uint32_t> commandsOwn(const std::vector<std::uint32_t>& found,
                                       const std::vector<ProcessLink>& processes,
                                       const CommandProcesses& command) {
    const auto descends = [&](std::uint32_t pid) {
        if (command.members &&
            std::find(command.members->begin(), command.members->end(), pid) != command.members->end()) {
            return true;
        }
        // Each step climbs one generation; more steps than processes means a loop.
        for (std::size_t steps = 0; pid != 0 && steps <= processes.size(); ++steps) {
            if (pid == command.ancestor) return true;
            const auto link = std::find_if(processes.begin(), processes.end(),
                                           [pid](const ProcessLink& p) { return p.pid == pid; });
            if (link == processes.end()) return false;
            pid = link->parent;
        }
        return false;
    };
    std::vector<std::uint32_t> own;
    std::copy_if(found.begin(), found.end(), std::back_inserter(own), descends);
    return own;
}

std::size_t chooseCandidate(const std::vector<Candidate>& looks) {
    return static_cast<std::size_t>(std::min_element(looks.begin(), looks.end()) - looks.begin());
}

std::string openRefusedText(std::string_view prefix, std::uint32_t code, int yamaScope) {
    std::string text = win32ErrorText(prefix, code);
    if (yamaScope < 1 || yamaScope > 3) return text;
    text.pop_back();  // the period: the sentence goes on
    const std::string scope = " (kernel.yama.ptrace_scope is " + std::to_string(yamaScope) + ")";
    if (yamaScope == 3) {
        return text + ": Linux lets no program read another one until the next restart" + scope +
               "; set kernel.yama.ptrace_scope = 0 in /etc/sysctl.d and restart.";
    }
    return text + ": Linux lets " +
           (yamaScope == 1 ? "a program read only the programs it started"
                           : "only privileged programs read other programs") +
           scope + "; " +
           // A game the bridge starts is its own descendant, which scope 1 allows.
           (yamaScope == 1 ? "start the game through the bridge (CorvaneVoiceBridge [options] -- "
                             "GAME COMMAND), "
                           : "") +
           "run `sudo sysctl kernel.yama.ptrace_scope=0`, or allow the bridge with "
           "`sudo setcap cap_sys_ptrace=ep CorvaneVoiceBridge`.";
}

}  // namespace corvane
