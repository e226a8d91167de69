#include "driver/status_line.h"

#include <cinttypes>
#include <cstdio>
#include <ostream>

namespace corvane {
namespace {

constexpr char kPadding[] = "          ";

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

void write(std::ostream& out, const std::string& line) {
    out << line;
    out.flush();
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
    std::string line = "\rOFFLINE/GLUE SCREEN | isolated | ";
    line += label;
    line += " | Mumble=(";
    appendPosition(line, published, 0);
    line += ")";
    line += kPadding;
    return line;
}

void printOnlineStatus(std::ostream& out, const CharacterSnapshot& snapshot, const Vec3& published) {
    write(out, formatOnlineStatus(snapshot, published));
}

void printOfflineStatus(std::ostream& out, std::string_view label, const Vec3& published) {
    write(out, formatOfflineStatus(label, published));
}

}  // namespace corvane
