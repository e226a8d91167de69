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

// What is known at one moment of a game command's processes, as its platform
// sees them; the rules below decide from them alone.
struct CommandFacts {
    std::uint32_t command = 0;       // the command's own process
    bool commandEnded = false;
    std::optional<int> commandCode;  // none: it ended unseen (its code lost)
    std::uint32_t game = 0;          // the process read as the game; 0: none yet
    bool gameEnded = false;
    std::optional<int> gameCode;     // its own code, where the platform learned it
    bool gameOutlived = false;       // it ended after the command
    bool othersLeft = false;         // some process of the command's still runs
};

// How a run with a game command ends.
struct CommandEnd {
    int code = 0;
    bool codeKnown = true;  // false: nothing told the code; `code` is a stand-in
};

// The end without a stop: once the command has ended and the game read has
// ended (a helper that lingers, such as wineserver, holds nothing), or, while
// no game has been read, once nothing of the command is left (a launcher that
// starts the game late). The game's own code where it outlived the command,
// else the command's; a code nothing told is 0.
std::optional<CommandEnd> naturalEnd(const CommandFacts& facts) noexcept;

// The code after a stop that was passed on and waited for: the natural end's
// where there is one with a known code, else the game's own where it ended,
// else `stopped` (128 + the signal, or Windows' code of a process ended by a
// console event): never 0 for a game that was stopped.
int stoppedCode(const CommandFacts& facts, int stopped) noexcept;

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
    // program and the cause, when it cannot be started.
    bool start(const std::vector<std::string>& command);

    bool started() const noexcept { return impl_ != nullptr; }
    // Which processes are the command's, to tell the game it starts from
    // others. Linux: every descendant of this process, which also adopts what
    // the command's processes leave behind (Wine leaves every program it
    // starts to the nearest subreaper), so the game stays its descendant, also
    // for Yama. Windows: the processes of the job the command runs in, which
    // every process it starts joins unless it asks to break away; where the
    // system refused the job, every descendant of this process.
    CommandProcesses processes() const;

    // The process the bridge reads as the game, whose end and own code count
    // from now on. Called while that process is open to the reader, so its ID
    // names no other process.
    void follow(std::uint32_t pid) noexcept;

    // What is known now (Linux: reaping whatever of the command has ended).
    CommandFacts facts() noexcept;
    // The natural end (naturalEnd of the facts now).
    std::optional<CommandEnd> end() noexcept { return naturalEnd(facts()); }
    // Waits up to `timeout` for the command and the game read to end (what
    // lingers beside them does not count); true when they have.
    bool waitAfterStop(std::chrono::milliseconds timeout) noexcept;

    // Passes a stop the bridge got on to every process of the command's,
    // however deep behind a wrapper (POSIX: SIGTERM and SIGHUP to each but
    // wineserver, which other programs of its prefix may share and which ends
    // by itself; Windows: close, logoff and shutdown as WM_CLOSE to the job's
    // windows). True when something was told.
    bool passOn(int signal) noexcept;
    // The code of a process that such a stop ended: 128 + `signal` (POSIX),
    // STATUS_CONTROL_C_EXIT (Windows).
    static int stoppedBy(int signal) noexcept;

    const std::string& lastError() const noexcept { return lastError_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string lastError_;
};

}  // namespace corvane
