#include "game/game_reader.h"

#include "game/game_process.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(GameReader, DetachedReaderReadsNothing) {
    GameReader reader;
    float value = 1.5f;
    EXPECT_FALSE(reader.readRemote(0x00400000, value));
    EXPECT_EQ(value, 0.0f);
    EXPECT_EQ(reader.lastError(), "");  // each caller words its own failure
    LocalPlayer player;
    EXPECT_FALSE(reader.findLocalPlayer(player));
    EXPECT_EQ(reader.lastError(), "Could not read the 3.3.5a ClientConnection pointer.");
    CharacterSnapshot snapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(reader.readCharacter(snapshot), ReadStatus::ReadError);
    EXPECT_EQ(reader.lastError(), "Not attached to Wow.exe.");
    EXPECT_EQ(snapshot, CharacterSnapshot{});
}

TEST(ExecutableName, WholeNameIgnoringCase) {
    const struct { const char* name; bool same; } cases[] = {
        {"Wow.exe", true},    {"WOW.EXE", true}, {"wow.exe", true}, {"Wow.exe.bak", false},
        {"MyWow.exe", false}, {"Wow.ex", false}, {"", false},       {"Wow.exe ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sameExecutableName(c.name, L"Wow.exe"), c.same);
    }
}

}  // namespace
}  // namespace corvane
