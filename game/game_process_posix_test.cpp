#include "game/game_reader.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
        prctl(PR_SET_NAME, name, 0, 0, 0);
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
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TEST(GameProcessPosix, ExitedProcessOfThatNameIsNotTheGame) {
    const pid_t zombie = spawnNamed("ZombieGame.exe", true);
    ASSERT_GT(zombie, 0);
    ASSERT_TRUE(eventually([&] { return processState(zombie) == 'Z'; }));

    GameReader reader;
    EXPECT_FALSE(reader.attach(L"zombiegame.EXE"));
    EXPECT_EQ(reader.lastError(), "Wow.exe was not found.");
    waitpid(zombie, nullptr, 0);
}

TEST(GameProcessPosix, ModuleBaseComesFromAMappingOfAFileOfThatName) {
    // The renamed copy still maps the test program's file, not one called
    // "OtherName.exe": found and opened, but no module base.
    const pid_t live = spawnNamed("OtherName.exe", false);
    ASSERT_GT(live, 0);
    ASSERT_TRUE(eventually([&] { return procFile(live, "comm") == "OtherName.exe\n"; }));
    GameReader reader;
    EXPECT_FALSE(reader.attach(L"OtherName.exe"));
    EXPECT_EQ(reader.lastError(), "Could not determine Wow.exe module base.");
    EXPECT_FALSE(reader.attached());
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
}

}  // namespace
}  // namespace corvane
