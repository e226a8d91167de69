#include "driver/status_line.h"

#include "driver/poses.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iomanip>
#include <sstream>
#include <string>

namespace corvane {
namespace {

CharacterSnapshot exampleSnapshot() {
    CharacterSnapshot snapshot;
    snapshot.connectionState = 1;
    snapshot.mapId = 0;
    snapshot.guid = 0x2A;
    snapshot.x = 10.0f;
    snapshot.y = 20.0f;
    snapshot.z = 30.0f;
    return snapshot;
}

const char kExampleOnline[] =
    "\rONLINE | state=1 | map=0 | GUID=0x2A | WoW=(10.00, 20.00, 30.00)"
    " | Mumble=(10.00, 30.00, 20.00)          ";

TEST(StatusLine, OnlineLineByteForByte) {
    const CharacterSnapshot snapshot = exampleSnapshot();
    const Vec3 published = livePose(snapshot, 1.0f).avatarPosition;
    EXPECT_EQ(formatOnlineStatus(snapshot, published), kExampleOnline);

    // Whatever state the stream was left in, the line reads the same.
    std::ostringstream out;
    out << std::hex << std::uppercase << std::scientific << std::setprecision(9) << std::showpos;
    printOnlineStatus(out, snapshot, published);
    EXPECT_EQ(out.str(), kExampleOnline);
}

TEST(StatusLine, OfflineLineByteForByte) {
    EXPECT_EQ(formatOfflineStatus("not in world", {10.0f, 30.0f, 20.0f}),
              "\rOFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(10, 30, 20)          ");

    std::ostringstream out;
    out << std::hex << std::setprecision(5) << std::showpoint;
    printOfflineStatus(out, "Could not read g_ClientConnectionState.",
                       isolationPose("CorvaneTest").avatarPosition);
    EXPECT_EQ(out.str(),
              "\rOFFLINE/GLUE SCREEN | isolated | Could not read g_ClientConnectionState."
              " | Mumble=(50651000, 0, 50001000)          ");

    EXPECT_EQ(formatOfflineStatus("", {0.0f, 0.0f, 0.0f}),
              "\rOFFLINE/GLUE SCREEN | isolated |  | Mumble=(0, 0, 0)          ");
}

TEST(StatusLine, GameValuesAsUnsignedNumbers) {
    struct Case {
        std::uint64_t guid;
        std::uint32_t mapId;
        std::uint8_t state;
        const char* expected;
    } cases[] = {
        {0xABC, 0, 1, "state=1 | map=0 | GUID=0xABC | "},
        {0, 2000, 1, "state=1 | map=2000 | GUID=0x0 | "},
        {0xFFFFFFFFFFFFFFFFull, 4294967295u, 255,
         "state=255 | map=4294967295 | GUID=0xFFFFFFFFFFFFFFFF | "},
        {0x100000000ull, 571, 0, "state=0 | map=571 | GUID=0x100000000 | "},
        {0x0700000000000001ull, 1, 65, "state=65 | map=1 | GUID=0x700000000000001 | "},
    };
    for (const auto& c : cases) {
        CharacterSnapshot snapshot = exampleSnapshot();
        snapshot.guid = c.guid;
        snapshot.mapId = c.mapId;
        snapshot.connectionState = c.state;
        EXPECT_EQ(formatOnlineStatus(snapshot, {}),
                  std::string("\rONLINE | ") + c.expected +
                      "WoW=(10.00, 20.00, 30.00) | Mumble=(0.00, 0.00, 0.00)          ");
    }
}

TEST(StatusLine, NumbersRoundAsPrintfDoes) {
    struct Case {
        float value;
        const char* twoDecimals;
        const char* noDecimals;
    } cases[] = {
        {0.125f, "0.12", "0"},  // ties go to even
        {0.375f, "0.38", "0"},
        {2.675f, "2.67", "3"},  // the float lies below 2.675
        {0.5f, "0.50", "0"},
        {1.5f, "1.50", "2"},
        {2.5f, "2.50", "2"},
        {-0.001f, "-0.00", "-0"},
        {-0.4f, "-0.40", "-0"},
        {-0.0f, "-0.00", "-0"},
        {-10.5f, "-10.50", "-10"},
        {1234567.0f, "1234567.00", "1234567"},
        {6750010.5f, "6750010.50", "6750010"},
        {15500020.0f, "15500020.00", "15500020"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.twoDecimals);
        const std::string online = formatOnlineStatus(exampleSnapshot(), {c.value, 1.0f, 1.0f});
        EXPECT_NE(online.find(std::string(" | Mumble=(") + c.twoDecimals + ", 1.00, 1.00)"),
                  std::string::npos)
            << online;
        CharacterSnapshot snapshot = exampleSnapshot();
        snapshot.z = c.value;
        const std::string game = std::string(", 20.00, ") + c.twoDecimals + ")";
        EXPECT_NE(formatOnlineStatus(snapshot, {}).find(game), std::string::npos);
        EXPECT_EQ(formatOfflineStatus("x", {1.0f, c.value, 1.0f}),
                  std::string("\rOFFLINE/GLUE SCREEN | isolated | x | Mumble=(1, ") + c.noDecimals +
                      ", 1)          ");
    }
}

}  // namespace
}  // namespace corvane
