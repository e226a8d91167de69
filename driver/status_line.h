#pragma once
// The live-mode console line, rewritten in place: a carriage return first,
// ten spaces last and no line feed.

#include "game/character_snapshot.h"
#include "link/pose.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace corvane {

// The character placed in the world: the game's values and the published position.
std::string formatOnlineStatus(const CharacterSnapshot& snapshot, const Vec3& published);
// The character isolated: why, and the isolation position.
std::string formatOfflineStatus(std::string_view label, const Vec3& published);

// The line as a console `width` columns wide shows it on one row: the text
// after the carriage return cut to width - 1 characters (a full row would wrap)
// and padded with spaces over the `previousLength` characters the previous line
// left. A width of 0 (no console) leaves the line exactly as it is.
std::string fitStatusLine(std::string_view line, std::size_t previousLength, int width);

// Writes status lines to standard output, fitted to the console's width at
// that moment, and flushes each. Best effort: a failed write (a closed pipe or
// terminal) is forgotten, so the next line is tried and the bridge goes on.
class StatusPrinter {
public:
    explicit StatusPrinter(std::ostream& out) : out_(out) {}
    void print(std::string_view line);

private:
    std::ostream& out_;
    std::size_t previousLength_ = 0;  // what the last line covers after its carriage return
};

}  // namespace corvane
