#include "driver/status_line.h"

#include "driver/poses.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iomanip>
#include <sstream>
#include <string>
#include <tuple>

namespace corvane {
namespace {

const CharacterSnapshot kExample{
    .x = 10.0f, .y = 20.0f, .z = 30.0f, .guid = 0x2A, .connectionState = 1};
constexpr char kPadding[] = "          ";

TEST(StatusLine, OnlineLineByteForByte) {
    const char expected[] =
        "\rONLINE | state=1 | map=0 | GUID=0x2A | WoW=(10.00, 20.00, 30.00)"
        " | Mumble=(10.00, 30.00, 20.00)          ";
    // Whatever state the stream was left in, the line reads the same.
    std::ostringstream out;
    out << std::hex << std::uppercase << std::scientific << std::setprecision(9) << std::showpos;
    printOnlineStatus(out, kExample, livePose(kExample, 1.0f).avatarPosition);
    EXPECT_EQ(out.str(), expected);
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
}

TEST(StatusLine, GameValuesAsUnsignedNumbers) {
    const std::tuple<std::uint64_t, std::uint32_t, std::uint8_t, const char*> cases[] = {
        {0xABC, 2000, 1, "state=1 | map=2000 | GUID=0xABC | "},
        {0, 0, 0, "state=0 | map=0 | GUID=0x0 | "},
        {0xFFFFFFFFFFFFFFFFull, 4294967295u, 255,  // a byte shown as a number, not a char
         "state=255 | map=4294967295 | GUID=0xFFFFFFFFFFFFFFFF | "},
    };
    for (const auto& [guid, mapId, state, expected] : cases) {
        const CharacterSnapshot snapshot{.guid = guid, .mapId = mapId, .connectionState = state};
        EXPECT_EQ(formatOnlineStatus(snapshot, {}),
                  std::string("\rONLINE | ") + expected +
                      "WoW=(0.00, 0.00, 0.00) | Mumble=(0.00, 0.00, 0.00)" + kPadding);
    }
}

TEST(StatusLine, NumbersRoundAsPrintfDoes) {
    // Ties go to even; the float nearest 2.675 lies below it; negatives keep their sign.
    const std::tuple<float, const char*, const char*> cases[] = {
        {0.125f, "0.12", "0"}, {2.675f, "2.67", "3"},   {1.5f, "1.50", "2"},
        {2.5f, "2.50", "2"},   {-0.4f, "-0.40", "-0"}, {-0.0f, "-0.00", "-0"},
        {6750010.5f, "6750010.50", "6750010"},
    };
    for (const auto& [value, twoDecimals, noDecimals] : cases) {
        const std::string online = formatOnlineStatus(kExample, {value, 1.0f, 1.0f});
        EXPECT_TRUE(online.ends_with(std::string(" | Mumble=(") + twoDecimals + ", 1.00, 1.00)" +
                                     kPadding))
            << online;
        EXPECT_EQ(formatOfflineStatus("x", {1.0f, value, 1.0f}),
                  std::string("\rOFFLINE/GLUE SCREEN | isolated | x | Mumble=(1, ") + noDecimals +
                      ", 1)" + kPadding);
    }
}

}  // namespace
}  // namespace corvane
