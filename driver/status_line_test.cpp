#include "driver/status_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace corvane {
namespace {

const std::string kPadding = "          ";

TEST(StatusLine, OnlineLinesShowTheGameValuesAndThePublishedPosition) {
    const struct {
        CharacterSnapshot snapshot;
        Vec3 published;
        const char* text;
    } rows[] = {
        {{.x = 10.0f, .y = 20.0f, .z = 30.0f, .guid = 0x2A, .connectionState = 1},
         {10.0f, 30.0f, 20.0f},
         "ONLINE | state=1 | map=0 | GUID=0x2A | WoW=(10.00, 20.00, 30.00)"
         " | Mumble=(10.00, 30.00, 20.00)"},
        {{.guid = 0xABC, .mapId = 2000, .connectionState = 1}, {},
         "ONLINE | state=1 | map=2000 | GUID=0xABC | WoW=(0.00, 0.00, 0.00)"
         " | Mumble=(0.00, 0.00, 0.00)"},
        // Unsigned numbers, the byte as a number; a GUID of 0 is "0".
        {{.guid = 0xFFFFFFFFFFFFFFFFull, .mapId = 4294967295u, .connectionState = 255}, {},
         "ONLINE | state=255 | map=4294967295 | GUID=0xFFFFFFFFFFFFFFFF | WoW=(0.00, 0.00, 0.00)"
         " | Mumble=(0.00, 0.00, 0.00)"},
        // Rounded as printf rounds: ties to even, 2.675f lies below 2.675, negatives keep "-".
        {{.x = 0.125f, .y = 2.675f, .z = -0.0f}, {-0.4f, 6750010.5f, 1.5f},
         "ONLINE | state=0 | map=0 | GUID=0x0 | WoW=(0.12, 2.67, -0.00)"
         " | Mumble=(-0.40, 6750010.50, 1.50)"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(formatOnlineStatus(row.snapshot, row.published),
                  std::string("\r") + row.text + kPadding);
    }
}

TEST(StatusLine, OfflineLinesShowTheReasonAndWholeMetres) {
    EXPECT_EQ(formatOfflineStatus("not in world", {10.0f, 30.0f, 20.0f}),
              "\rOFFLINE/GLUE SCREEN | isolated | not in world | Mumble=(10, 30, 20)" + kPadding);
    EXPECT_EQ(formatOfflineStatus("Could not read g_ClientConnectionState.",
                                  {50651000.0f, 0.0f, 50001000.0f}),
              "\rOFFLINE/GLUE SCREEN | isolated | Could not read g_ClientConnectionState."
              " | Mumble=(50651000, 0, 50001000)" + kPadding);
    EXPECT_EQ(formatOfflineStatus("x", {2.5f, -0.4f, 6750010.5f}),
              "\rOFFLINE/GLUE SCREEN | isolated | x | Mumble=(2, -0, 6750010)" + kPadding);
}

TEST(FitStatusLine, StaysOnOneConsoleRowAndCoversThePreviousLine) {
    const std::string northrend =  // 137 characters after the carriage return
        "\rONLINE | state=1 | map=571 | GUID=0x1000001C8A3F | WoW=(-5804.14, -2624.77, 1647.77)"
        " | Mumble=(6744692.50, 1506.72, 4247600.00)" + kPadding;
    const struct {
        std::string line;
        std::size_t previous;
        int width;
        std::string fitted;
    } rows[] = {
        {"\rABC", 50, 0, "\rABC"},  // no console: unchanged
        {"\rABC", 6, 80, "\rABC   "},
        {"\rABCDEFGH", 2, 5, "\rABCD"},
        {"\rABCDE", 0, 5, "\rABCD"},
        {"\rABCD", 0, 5, "\rABCD"},
        {"\rAB", 100, 5, "\rAB  "},  // a wider window's line: cover this row only
        {"\rABC", 3, 1, "\r"},
        {northrend, 0, 200, northrend},
        {northrend, 0, 120,
         "\rONLINE | state=1 | map=571 | GUID=0x1000001C8A3F | WoW=(-5804.14, -2624.77, 1647.77)"
         " | Mumble=(6744692.50, 1506.72, 424"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(fitStatusLine(row.line, row.previous, row.width), row.fitted)
            << row.line << " after " << row.previous << " at " << row.width;
    }
}

TEST(StatusPrinter, AFailedWriteDoesNotSilenceTheNextLine) {
    std::ostringstream out;
    out.setstate(std::ios::badbit);  // as a closed pipe leaves std::cout
    StatusPrinter printer(out);
    printer.print("\rA");
    printer.print("\rB");
    EXPECT_EQ(out.str(), "\rB");
}

}  // namespace
}  // namespace corvane
