#include "game/game_reader.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace corvane {
namespace {

// A forked copy of this test renamed to `name`; it sleeps until killed, or
// exits at once and stays unreaped (a zombie) while the test looks at it.
pid_t spawnNamed(const char* name, bool exitAtOnce) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (name != nullptr) prctl(PR_SET_NAME, name, 0, 0, 0);
        if (exitAtOnce) _exit(0);
        for (;;) pause();
    }
    return pid;
}

std::string procFile(pid_t pid, const char* file) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

char processState(pid_t pid) {
    const std::string text = procFile(pid, "stat");
    const auto close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return condition();
}

TEST(GameProcessPosix, ExitedProcessOfThatNameIsNotTheGame) {
    const pid_t zombie = spawnNamed("ZombieGame.exe", true);
    ASSERT_TRUE(zombie > 0 && eventually([&] { return processState(zombie) == 'Z'; }));

    GameReader reader;
    EXPECT_FALSE(reader.attach(L"zombiegame.EXE"));
    EXPECT_EQ(reader.lastError(), "Wow.exe was not found.");
    waitpid(zombie, nullptr, 0);
}

TEST(GameProcessPosix, ModuleBaseComesFromAMappingOfAFileOfThatName) {
    // The renamed copy still maps the test program's file, not one called
    // "OtherName.exe": found and opened, but no module base.
    const pid_t live = spawnNamed("OtherName.exe", false);
    ASSERT_TRUE(live > 0 && eventually([&] { return procFile(live, "comm") == "OtherName.exe\n"; }));
    GameReader reader;
    EXPECT_FALSE(reader.attach(L"OtherName.exe"));
    EXPECT_EQ(reader.lastError(), "Could not determine Wow.exe module base.");
    EXPECT_FALSE(reader.attached());
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
}

// The start of this test program's image, its lowest mapping (GNU linkers).
extern "C" const char __executable_start[];

// A process chosen by ID is read until it ends, whatever its name: this
// test's forked copy, and programs whose file names are long (the kernel
// keeps 15 bytes of a command name) or not ASCII (bytes taken as they are).
// Once killed it is a zombie until reaped, then gone, and "exited" either way.
TEST(GameProcessPosix, ProcessChosenByIdIsReadUntilItEnds) {
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-names-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const char* name : {"", "Wow-\xC3\xA9\xD0\x96.exe", "A-rather-long-name-of-a-game.exe"}) {
        SCOPED_TRACE(name);
        pid_t child = 0;
        if (*name == '\0') {
            child = spawnNamed(nullptr, false);
        } else {
            std::filesystem::copy_file("/bin/sleep", folder / name, std::filesystem::copy_options::overwrite_existing);
            const std::string path = (folder / name).string();
            if ((child = fork()) == 0) {
                execl(path.c_str(), path.c_str(), "600", static_cast<char*>(nullptr));
                _exit(127);
            }
            ASSERT_TRUE(eventually([&] { return procFile(child, "comm").starts_with(std::string(name).substr(0, 8)); }));
        }
        ASSERT_GT(child, 0);
        GameReader reader;
        ASSERT_TRUE(reader.attachToProcess(static_cast<std::uint32_t>(child))) << reader.lastError();
        if (*name == '\0') {
            EXPECT_EQ(reader.moduleBase(), reinterpret_cast<std::uintptr_t>(__executable_start));
        }
        std::uint32_t elf = 0;
        EXPECT_TRUE(reader.readRemote(reader.moduleBase(), elf) && elf == 0x464C457F) << "the image's start";
        EXPECT_FALSE(reader.gameHasExited());
        kill(child, SIGKILL);
        EXPECT_TRUE(eventually([&] { return reader.gameHasExited(); })) << "zombie";
        waitpid(child, nullptr, 0);
        EXPECT_TRUE(reader.gameHasExited()) << "reaped";
        EXPECT_FALSE(reader.attachToProcess(static_cast<std::uint32_t>(child)));
        EXPECT_EQ(reader.lastError(), "Process " + std::to_string(child) + " was not found.");
    }
    std::filesystem::remove_all(folder);
}

TEST(GameProcessPosix, ValueRunningIntoAnUnmappedPageIsNotRead) {
    const long page = sysconf(_SC_PAGESIZE);
    auto* bytes = static_cast<unsigned char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(bytes, MAP_FAILED);
    ASSERT_EQ(munmap(bytes + page, page), 0);
    std::memset(bytes, 0xAB, page);
    GameReader self;
    ASSERT_TRUE(self.attachToProcess(static_cast<std::uint32_t>(getpid()))) << self.lastError();
    std::uint64_t value = 1;
    const auto at = reinterpret_cast<std::uintptr_t>(bytes) + page;
    EXPECT_TRUE(self.readRemote(at - 8, value));
    EXPECT_EQ(value, 0xABABABABABABABABu);
    EXPECT_FALSE(self.readRemote(at - 4, value)) << "4 of the 8 bytes are mapped";
    EXPECT_EQ(value, 0u);
    munmap(bytes, page);
}

}  // namespace
}  // namespace corvane
