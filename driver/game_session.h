#pragma once
// Live mode's hold on the game over a player's evening: attaching at start,
// and with --wait or --pid also noticing that the game has ended and (with
// --wait, by name) attaching the next one when it appears.

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class GameReader;

// What the session needs of the game reader, so that tests can stand in for it.
class GameConnection {
public:
    enum class Attach { Attached, NotFound, Failed };
    virtual ~GameConnection() = default;
    // The first "Wow.exe"; with an `ancestor` other than 0, the first that descends from it.
    virtual Attach attachByName(std::uint32_t ancestor) = 0;
    virtual Attach attachToProcess(std::uint32_t pid) = 0;
    virtual bool hasExited() = 0;
    virtual void close() = 0;
    virtual const std::string& lastError() const = 0;
    // After a successful attach by name: every game process found, the attached one first.
    virtual std::vector<std::uint32_t> foundProcessIds() const = 0;
};

// The reader itself, searching for "Wow.exe".
class ReaderConnection final : public GameConnection {
public:
    explicit ReaderConnection(GameReader& reader) : reader_(reader) {}
    Attach attachByName(std::uint32_t ancestor) override;
    Attach attachToProcess(std::uint32_t pid) override;
    bool hasExited() override;
    void close() override;
    const std::string& lastError() const override;
    std::vector<std::uint32_t> foundProcessIds() const override;

private:
    GameReader& reader_;
};

inline constexpr char kLabelWaitingForGame[] = "waiting for Wow.exe";
// Attach attempts while waiting, and checks that an attached game still runs.
inline constexpr std::int64_t kGameRetryIntervalNs = 1'000'000'000;

class GameSession {
public:
    // `pid` 0 searches by name. Exits are watched with `wait` or a `pid`;
    // without either the game is attached once and never looked after.
    GameSession(GameConnection& game, bool wait, std::uint32_t pid) noexcept
        : game_(game), wait_(wait), pid_(pid) {}

    // The attach at start-up, at clock reading `now`. False when the bridge
    // must stop (no --wait); the connection's lastError says why.
    bool start(std::int64_t now);
    // Once per cycle before the read: retries and exit checks that are due.
    // True when the game is attached and is to be read in this cycle.
    bool update(std::int64_t now);

    // With a game command: only a Wow.exe that descends from process `pid` (the
    // bridge, which started the command) is read, however many others run.
    void readDescendantsOf(std::uint32_t pid) noexcept { ancestor_ = pid; }

    // Why the character is isolated while the game is not attached.
    const std::string& label() const noexcept { return label_; }
    // A line for standard error, without its line feed, left by the last
    // attach: the hint when several games were found. Empty once taken.
    std::string takeNotice();

private:
    enum class State { Attached, Waiting, Ended };

    bool tryAttach(std::int64_t now);

    GameConnection& game_;
    bool wait_;
    std::uint32_t pid_;
    std::uint32_t ancestor_ = 0;
    State state_ = State::Waiting;
    std::int64_t nextAttempt_ = 0;
    std::int64_t nextExitCheck_ = 0;
    std::string label_;
    std::string notice_;
};

}  // namespace corvane
