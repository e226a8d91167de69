#pragma once
// A bridge that sudo runs as root publishes to root's link, which the voice
// client of the player who typed "sudo" never reads. Linux only: Windows has
// one link for every user.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The notice for a process of user `uid` writing the link `linkName`, started
// through sudo by the user `sudoUid` (the SUDO_UID variable, possibly absent:
// empty). Empty unless `uid` is root and `sudoUid` names another user. Each
// line ends with a line feed.
std::string formatSudoNotice(std::uint32_t uid, std::string_view sudoUid,
                             std::string_view linkName);

// This process's notice; always empty on Windows.
std::string sudoNotice();

}  // namespace corvane
