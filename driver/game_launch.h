#pragma once
// The game command given after "--", started as the bridge's own child: the
// game it starts then descends from the bridge, which Linux's Yama allows to
// be read, and a launcher that wraps the game sees the game's own result.

#include "game/game_process.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

class GameLaunch {
public:
    GameLaunch() noexcept;
    GameLaunch(GameLaunch&&) noexcept;
    GameLaunch& operator=(GameLaunch&&) noexcept;
    GameLaunch(const GameLaunch&) = delete;
    GameLaunch& operator=(const GameLaunch&) = delete;
    // A child that still runs is left running, as a player's game must be.
    ~GameLaunch();

    // Starts `command`: the program (looked up as the platform's shell does)
    // and its arguments, unchanged, with the environment this process was
    // given (on Linux as the kernel handed it over, before the C library's
    // secure mode took anything out of it), its working folder and standard
    // streams and nothing else of it. False, with lastError naming the
    // program, when it cannot be started.
    bool start(const std::vector<std::string>& command);

    bool started() const noexcept { return impl_ != nullptr; }
    // Which processes are the command's, to tell the game it starts from
    // others. Linux: every descendant of this process, which also adopts what
    // the command's processes leave behind (Wine leaves every program it
    // starts to the nearest subreaper), so the game stays its descendant, also
    // for Yama. Windows: the processes of the job the command runs in, which
    // every process it starts joins, whoever ends first; where the system
    // refused the job, every descendant of this process.
    CommandProcesses processes() const;

    // The command's own exit code once it and every process it left behind
    // (a launcher that does not wait for its game) have ended (POSIX: 128 +
    // the signal that ended it, as shells say); nothing while any of them
    // runs, or before a start.
    std::optional<int> exitCode() noexcept;
    // The same, waiting up to `timeout` for the end.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout) noexcept;
    // Passes a stop signal the bridge got on where such signals reach a game
    // (POSIX: SIGTERM and SIGHUP): to the command, or once it has ended to
    // what it left behind. True when it was sent.
    bool passOn(int signal) noexcept;

    const std::string& lastError() const noexcept { return lastError_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string lastError_;
};

}  // namespace corvane
