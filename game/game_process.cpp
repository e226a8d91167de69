#include "game/game_process.h"

#include "common/win32_error.h"

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
           scope +
           "; run `sudo sysctl kernel.yama.ptrace_scope=0`, or allow the bridge with "
           "`sudo setcap cap_sys_ptrace=ep CorvaneVoiceBridge`.";
}

}  // namespace corvane
