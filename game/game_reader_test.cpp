#include "game/game_reader.h"

#include "game/game_process.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

TEST(GameReader, DetachedReaderReadsNothing) {
    GameReader reader;
    std::uint32_t u32 = 0xDEADBEEF;
    float f = 1.5f;
    EXPECT_FALSE(reader.readRemote(0x00400000, u32));
    EXPECT_FALSE(reader.readRemote(0x00400000, f));
    EXPECT_EQ(u32, 0u);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(reader.lastError(), "");  // each caller words its own failure
    LocalPlayer player;
    EXPECT_FALSE(reader.findLocalPlayer(player));
    EXPECT_EQ(reader.lastError(), "Could not read the 3.3.5a ClientConnection pointer.");
    CharacterSnapshot snapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(reader.readCharacter(snapshot), ReadStatus::ReadError);
    EXPECT_EQ(reader.lastError(), "Not attached to Wow.exe.");
    EXPECT_EQ(snapshot, CharacterSnapshot{});
}

TEST(GameReader, FailedAttachNamesWowExeAndLeavesItDetached) {
    GameReader reader;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(reader.attach(L"CorvaneNoSuchGame-5f3c9a.exe"));
        EXPECT_EQ(reader.lastError(), "Wow.exe was not found.");
        EXPECT_FALSE(reader.attached());
        EXPECT_EQ(reader.processId(), 0u);
        EXPECT_EQ(reader.moduleBase(), 0u);
        reader.close();  // keeps the text; only the next attach replaces it
        EXPECT_EQ(reader.lastError(), "Wow.exe was not found.");
    }
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
