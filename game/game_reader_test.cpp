#include "game/game_reader.h"

#include "game/game_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>

namespace corvane {
namespace {

const char* const kNotFound = "Wow.exe was not found.";

// A name no process on the machine carries.
std::wstring missingGameName() {
    std::random_device device;
    const auto salt =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return L"NoSuchGame-" + std::to_wstring(salt ^ device()) + L".exe";
}

void expectDetached(const GameReader& reader) {
    EXPECT_FALSE(reader.attached());
    EXPECT_EQ(reader.processId(), 0u);
    EXPECT_EQ(reader.moduleBase(), 0u);
}

TEST(GameReader, NewReaderIsDetachedAndReadsNothing) {
    GameReader reader;
    expectDetached(reader);
    EXPECT_EQ(reader.lastError(), "");

    std::uint8_t u8 = 0xAB;
    std::uint32_t u32 = 0xDEADBEEF;
    std::uint64_t u64 = 0xDEADBEEFCAFEF00D;
    float f = 1.5f;
    EXPECT_FALSE(reader.readRemote(0x00400000, u8));
    EXPECT_FALSE(reader.readRemote(0x00400000, u32));
    EXPECT_FALSE(reader.readRemote(0x00400000, u64));
    EXPECT_FALSE(reader.readRemote(0x00400000, f));
    EXPECT_EQ(u8, 0u);
    EXPECT_EQ(u32, 0u);
    EXPECT_EQ(u64, 0u);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(reader.lastError(), "");

    LocalPlayer player{1, 2, 3};
    EXPECT_FALSE(reader.findLocalPlayer(player));
    EXPECT_EQ(reader.lastError(), "Could not read the 3.3.5a ClientConnection pointer.");
    EXPECT_EQ(player.playerObject, 1u);
    EXPECT_EQ(player.guid, 2u);
    EXPECT_EQ(player.objectManager, 3u);

    CharacterSnapshot snapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(reader.readCharacter(snapshot), ReadStatus::ReadError);
    EXPECT_EQ(reader.lastError(), "Not attached to Wow.exe.");
    EXPECT_EQ(snapshot, CharacterSnapshot{});

    reader.close();
    reader.close();
    expectDetached(reader);
    EXPECT_EQ(reader.lastError(), "Not attached to Wow.exe.");
}

TEST(GameReader, FailedAttachLeavesReaderDetachedWithItsMessage) {
    GameReader reader;
    EXPECT_FALSE(reader.attach(missingGameName()));
    EXPECT_EQ(reader.lastError(), kNotFound);
    expectDetached(reader);

    // Only the next attach replaces the text; neither closing nor reading does.
    reader.close();
    std::uint32_t value = 7;
    EXPECT_FALSE(reader.readRemote(0x00400000, value));
    EXPECT_EQ(reader.lastError(), kNotFound);

    EXPECT_FALSE(reader.attach(missingGameName()));
    EXPECT_EQ(reader.lastError(), kNotFound);
    expectDetached(reader);
}

TEST(ExecutableName, WholeNameIgnoringCase) {
    const struct {
        const char* name;
        bool same;
    } cases[] = {
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
