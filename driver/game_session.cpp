#include "driver/game_session.h"

#include "game/game_reader.h"

#include <utility>

namespace corvane {
namespace {

constexpr wchar_t kGameExecutable[] = L"Wow.exe";

GameConnection::Attach outcome(bool attached, const GameReader& reader) {
    if (attached) return GameConnection::Attach::Attached;
    return reader.attachStatus() == GameProcess::Status::NotFound ? GameConnection::Attach::NotFound
                                                                  : GameConnection::Attach::Failed;
}

}  // namespace

GameConnection::Attach ReaderConnection::attachByName(std::uint32_t ancestor) {
    return outcome(reader_.attach(kGameExecutable, ancestor), reader_);
}
GameConnection::Attach ReaderConnection::attachToProcess(std::uint32_t pid) {
    return outcome(reader_.attachToProcess(pid), reader_);
}
bool ReaderConnection::hasExited() { return reader_.gameHasExited(); }
void ReaderConnection::close() { reader_.close(); }
const std::string& ReaderConnection::lastError() const { return reader_.lastError(); }
std::vector<std::uint32_t> ReaderConnection::foundProcessIds() const {
    return reader_.foundProcessIds();
}

bool GameSession::start(std::int64_t now) { return tryAttach(now) || wait_; }

bool GameSession::update(std::int64_t now) {
    switch (state_) {
    case State::Attached:
        if ((!wait_ && pid_ == 0) || now < nextExitCheck_) return true;
        nextExitCheck_ = now + kGameRetryIntervalNs;
        if (!game_.hasExited()) return true;
        game_.close();
        if (pid_ != 0) {
            // Its ID may soon name another program: never look for it again.
            state_ = State::Ended;
            label_ = "Process " + std::to_string(pid_) + " has exited.";
        } else {
            // This cycle isolates, so the next game is read from a fresh start.
            state_ = State::Waiting;
            label_ = kLabelWaitingForGame;
            nextAttempt_ = now;
        }
        return false;
    case State::Waiting:
        return now >= nextAttempt_ && tryAttach(now);
    case State::Ended:
        break;
    }
    return false;
}

bool GameSession::tryAttach(std::int64_t now) {
    const GameConnection::Attach result =
        pid_ != 0 ? game_.attachToProcess(pid_) : game_.attachByName(ancestor_);
    if (result == GameConnection::Attach::Attached) {
        state_ = State::Attached;
        nextExitCheck_ = now + kGameRetryIntervalNs;
        label_.clear();
        const std::vector<std::uint32_t> found = pid_ != 0 ? std::vector<std::uint32_t>{}
                                                           : game_.foundProcessIds();
        if (found.size() > 1) {
            notice_ = "Found " + std::to_string(found.size()) + " Wow.exe processes (";
            for (std::size_t i = 0; i < found.size(); ++i) {
                notice_ += (i == 0 ? "" : ", ") + std::to_string(found[i]);
            }
            notice_ += "); reading " + std::to_string(found.front()) +
                       (ancestor_ != 0 ? ", started by the game command." : ". Use --pid to choose.");
        }
        return true;
    }
    state_ = State::Waiting;
    nextAttempt_ = now + kGameRetryIntervalNs;
    label_ = result == GameConnection::Attach::NotFound && pid_ == 0 ? kLabelWaitingForGame
                                                                     : game_.lastError();
    return false;
}

std::string GameSession::takeNotice() { return std::exchange(notice_, {}); }

}  // namespace corvane
