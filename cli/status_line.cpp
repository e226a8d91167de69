#include "cli/status_line.h"

#include "cli/console.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace corvane {
namespace {

constexpr char kPadding[] = "          ";
constexpr std::string_view kOfflinePrefix = "OFFLINE/GLUE SCREEN | isolated | ";

// Fixed notation rounded as printf rounds, whatever the stream's locale.
void appendFixed(std::string& line, float value, int precision) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, static_cast<double>(value));
    line += buffer;
}

void appendPosition(std::string& line, const Vec3& p, int precision) {
    appendFixed(line, p.x, precision);
    line += ", ";
    appendFixed(line, p.y, precision);
    line += ", ";
    appendFixed(line, p.z, precision);
}

}  // namespace

std::string formatOnlineStatus(const CharacterSnapshot& snapshot, const Vec3& published) {
    char guid[32];
    std::snprintf(guid, sizeof guid, "%" PRIX64, snapshot.guid);
    std::string line = "\rONLINE | state=";
    line += std::to_string(static_cast<unsigned>(snapshot.connectionState));
    line += " | map=";
    line += std::to_string(snapshot.mapId);
    line += " | GUID=0x";
    line += guid;
    line += " | WoW=(";
    appendPosition(line, {snapshot.x, snapshot.y, snapshot.z}, 2);
    line += ") | Mumble=(";
    appendPosition(line, published, 2);
    line += ")";
    line += kPadding;
    return line;
}

std::string formatOfflineStatus(std::string_view label, const Vec3& published) {
    std::string line = "\r";
    line += kOfflinePrefix;
    line += label;
    line += " | Mumble=(";
    appendPosition(line, published, 0);
    line += ")";
    line += kPadding;
    return line;
}

std::string fitStatusLine(std::string_view line, std::size_t previousLength, int width) {
    if (width <= 0) return std::string(line);
    const bool hasReturn = line.starts_with('\r');
    const std::size_t columns = static_cast<std::size_t>(width) - 1;
    const std::string_view text = line.substr(hasReturn ? 1 : 0).substr(0, columns);
    std::string fitted = hasReturn ? "\r" : "";
    fitted += text;
    const std::size_t cover = std::min(previousLength, columns);
    if (text.size() < cover) fitted.append(cover - text.size(), ' ');
    return fitted;
}

std::string FailureEcho::next(std::string_view label, int width) {
    if (width <= 0 || !label.ends_with('.') || label == said_) return {};
    // fitStatusLine keeps width - 1 characters after the carriage return.
    if (kOfflinePrefix.size() + label.size() < static_cast<std::size_t>(width)) return {};
    said_ = label;
    return "\n" + said_ + "\n";
}

void StatusPrinter::printOnline(const CharacterSnapshot& snapshot, const Vec3& published) {
    print(formatOnlineStatus(snapshot, published), {}, "ONLINE");
}

void StatusPrinter::printOffline(std::string_view label, const Vec3& published) {
    print(formatOfflineStatus(label, published), label,
          std::string(kOfflinePrefix) + std::string(label));
}

void StatusPrinter::print(std::string_view line, std::string_view failureLabel,
                          std::string_view logged) {
    const int width = standardOutputConsoleWidth();
    std::string fitted = fitStatusLine(line, previousLength_, width);
    previousLength_ = fitted.size() - (fitted.starts_with('\r') ? 1 : 0);
    // One test of a change for the log and for a launcher's log alike.
    const bool changed = logged != logged_;
    output_.status(std::move(fitted), changed);
    if (const std::string full = echo_.next(failureLabel, width); !full.empty()) {
        output_.errorToConsole(full);
    }
    if (changed) {
        logged_ = logged;
        output_.log(logged_ + "\n");
    }
}

}  // namespace corvane
