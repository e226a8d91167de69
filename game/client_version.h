#pragma once
// Which client a process is: the file version in the version resource of the
// Windows program image loaded in it. Read from the game's memory like
// everything else, so the same on every platform; the image is untrusted.

#include "game/game_memory.h"

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct ClientVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;
    std::uint16_t build = 0;  // the last field, which tells the clients apart
    friend bool operator==(const ClientVersion&, const ClientVersion&) = default;
};

// The one build whose memory this bridge knows: 3.3.5a is 3.3.5.12340.
inline constexpr std::uint16_t kClientBuild = 12340;

// The file version of the program image whose headers lie at `base`: DOS and
// PE headers, the resource directory's version entry, its fixed file
// information. Nothing when any of it is missing, unreadable, malformed or
// out of bounds. Reads a few hundred bytes at most, in a bounded number of reads.
std::optional<ClientVersion> readClientVersion(GameMemory& memory, std::uint64_t base);

// "3.3.5.12340".
std::string versionText(const ClientVersion& version);

}  // namespace corvane
