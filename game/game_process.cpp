#include "game/game_process.h"

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

}  // namespace corvane
