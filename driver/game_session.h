#pragma once
// Live mode's hold on the game over a player's evening: attaching at start,
// and with --wait or --pid also noticing that the game has ended and (with
// --wait, by name) attaching the next one when it appears.

#include "game/game_process.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

class GameReader;

// What the session needs of the game reader, so that tests can stand in for it.
class GameConnection {
public:
    enum class Attach { Attached, NotFound, Failed };
    virtual ~GameConnection() = default;
    // The best "Wow.exe" of the player's; with a `command`, only of the command's.
    virtual Attach attachByName(const CommandProcesses* command) = 0;
    virtual Attach attachToProcess(std::uint32_t pid) = 0;
    virtual bool hasExited() = 0;
    virtual void close() = 0;
    virtual const std::string& lastError() const = 0;
    // After a successful attach by name: every game process found, the attached one first.
    virtual std::vector<std::uint32_t> foundProcessIds() const = 0;
    // After a successful attach: what was seen of the attached process, then of
    // the others looked at.
    virtual std::vector<ProcessLook> looks() const = 0;
};

// The reader itself, searching for "Wow.exe".
class ReaderConnection final : public GameConnection {
public:
    explicit ReaderConnection(GameReader& reader) : reader_(reader) {}
    Attach attachByName(const CommandProcesses* command) override;
    Attach attachToProcess(std::uint32_t pid) override;
    bool hasExited() override;
    void close() override;
    const std::string& lastError() const override;
    std::vector<std::uint32_t> foundProcessIds() const override;
    std::vector<ProcessLook> looks() const override;

private:
    GameReader& reader_;
};

inline constexpr char kLabelWaitingForGame[] = "waiting for Wow.exe";
// Without --wait, once the game read has closed: the loop runs on, parked.
inline constexpr char kLabelGameExited[] = "Wow.exe has exited. Use --wait to follow the next one.";
// Attach attempts while waiting, checks that an attached game still runs, and
// looks for a better one while what is attached does not read as the game.
inline constexpr std::int64_t kGameRetryIntervalNs = 1'000'000'000;

class GameSession {
public:
    // `pid` 0 searches by name. Exits are watched with `wait` or a `pid`;
    // without either the game is attached once and never looked after, unless
    // what was attached does not read as the game.
    GameSession(GameConnection& game, bool wait, std::uint32_t pid) noexcept
        : game_(game), wait_(wait), pid_(pid) {}

    // The attach at start-up, at clock reading `now`. False when the bridge
    // must stop (no --wait, or a --pid that names no process: a later process
    // of that ID would be another program); the connection's lastError says why.
    bool start(std::int64_t now);
    // Once per cycle before the read: retries and exit checks that are due.
    // True when the game is attached and is to be read in this cycle.
    bool update(std::int64_t now);
    // After a failed read of the attached game: whether it has ended, asked at
    // once so that the label says so rather than the failed read. Then it is
    // closed and waited for (--wait), or given up (--pid, or neither: a later
    // game is another session).
    bool readFailed(std::int64_t now);

    // With a game command: only the processes that `command` names at each
    // attempt (the command's own) are read, however many others run.
    void readOnlyTheCommands(std::function<CommandProcesses()> command) { command_ = std::move(command); }

    // Why the character is isolated while the game is not attached.
    const std::string& label() const noexcept { return label_; }
    // The process last attached (kept after its end); 0 before any.
    std::uint32_t gameProcess() const noexcept { return gameProcess_; }

    // What the last attach to a process not yet announced has to say, a line
    // each without its line feed: which process is read and its version, the
    // hint when several games were found (`hint`: scripts read it where errors
    // go), and each candidate passed over and why. Empty once taken.
    struct Notice {
        bool hint = false;
        std::string text;
    };
    std::vector<Notice> takeNotices() { return std::exchange(notices_, {}); }

private:
    enum class State { Attached, Waiting, Ended };

    bool tryAttach(std::int64_t now);
    void ended(std::int64_t now);
    void announce(const std::vector<ProcessLook>& looks);

    GameConnection& game_;
    bool wait_;
    std::uint32_t pid_;
    std::function<CommandProcesses()> command_;
    State state_ = State::Waiting;
    bool readsAsTheGame_ = false;  // what is attached: the client, its state readable
    std::uint32_t announced_ = 0;
    std::uint32_t gameProcess_ = 0;
    std::int64_t nextAttempt_ = 0;
    std::int64_t nextExitCheck_ = 0;
    std::string label_;
    std::vector<Notice> notices_;
};

}  // namespace corvane
