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

// A failure text (a reason that is a sentence, ending with a period) that a
// console `width` columns wide cuts from the offline line is said in full on
// lines of its own below it: the first time and whenever the text changes.
class FailureEcho {
public:
    // `label` is the offline line's reason, empty for the online line. Returns
    // a line feed, the text and a line feed when it is to be said; otherwise
    // nothing. A width of 0 (no console) cuts nothing.
    std::string next(std::string_view label, int width);

private:
    std::string said_;
};

// Writes status lines to standard output, fitted to the console's width at
// that moment, and flushes each. Best effort: a failed write (a closed pipe or
// terminal) is forgotten, so the next line is tried and the bridge goes on.
// A failure text the console cuts goes in full to standard error, only when
// that is a console.
class StatusPrinter {
public:
    explicit StatusPrinter(std::ostream& out) : out_(out) {}
    void print(std::string_view line, std::string_view failureLabel = {});

private:
    std::ostream& out_;
    std::size_t previousLength_ = 0;  // what the last line covers after its carriage return
    FailureEcho echo_;
};

}  // namespace corvane
