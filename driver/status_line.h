#pragma once
// The live-mode console line, rewritten in place: a carriage return first,
// ten spaces last and no line feed.

#include "game/character_snapshot.h"
#include "link/pose.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace corvane {

// The character placed in the world: the game's values and the published position.
std::string formatOnlineStatus(const CharacterSnapshot& snapshot, const Vec3& published);
// The character isolated: why, and the isolation position.
std::string formatOfflineStatus(std::string_view label, const Vec3& published);

void printOnlineStatus(std::ostream& out, const CharacterSnapshot& snapshot, const Vec3& published);
void printOfflineStatus(std::ostream& out, std::string_view label, const Vec3& published);

}  // namespace corvane
