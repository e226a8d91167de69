#pragma once
// The live-mode console line, rewritten in place: a carriage return first,
// ten spaces last and no line feed.

#include "cli/output.h"
#include "game/character_snapshot.h"
#include "link/pose.h"

#include <cstddef>
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

// Hands status lines to the output, fitted to the console's width at that
// moment. Best effort: a line the reader does not take is dropped, so the next
// one is tried and the bridge goes on. A failure text the console cuts goes in
// full to standard error, only when that is a console; each change of the
// label goes to the log (and is what a launcher's log is written on).
class StatusPrinter {
public:
    explicit StatusPrinter(Output& output) : output_(output) {}
    void printOnline(const CharacterSnapshot& snapshot, const Vec3& published);
    void printOffline(std::string_view label, const Vec3& published);

private:
    void print(std::string_view line, std::string_view failureLabel, std::string_view logged);

    Output& output_;
    std::size_t previousLength_ = 0;  // what the last line covers after its carriage return
    FailureEcho echo_;
    std::string logged_;  // the label the log holds last
};

}  // namespace corvane
