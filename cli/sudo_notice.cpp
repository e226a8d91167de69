#include "cli/sudo_notice.h"

namespace corvane {

std::string formatSudoNotice(std::uint32_t uid, std::string_view sudoUid,
                             std::string_view linkName) {
    if (uid != 0 || sudoUid.empty() || sudoUid.size() > 10) return {};
    std::uint64_t user = 0;
    for (const char c : sudoUid) {
        if (c < '0' || c > '9') return {};
        user = user * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (user == 0 || user > 0xFFFFFFFFu) return {};
    const std::string name(sudoUid);
    return "Started through sudo, the bridge publishes to /" + std::string(linkName) +
           ", root's link; the voice client of user " + name + " reads /MumbleLink." + name +
           " and gets nothing from it.\n"
           "Run the bridge as that user instead: allow it to read the game once with "
           "`sudo setcap cap_sys_ptrace=ep ./CorvaneVoiceBridge`, or let it start the game: "
           "./CorvaneVoiceBridge [options] -- GAME COMMAND\n";
}

}  // namespace corvane
