#include "driver/game_session.h"

#include "game/game_reader.h"

#include <utility>

namespace corvane {
namespace {

constexpr wchar_t kGameExecutable[] = L"Wow.exe";

GameConnection::Attach outcome(bool attached, const GameReader& reader) {
    if (attached) return GameConnection::Attach::Attached;
    return reader.gameMissing() ? GameConnection::Attach::NotFound : GameConnection::Attach::Failed;
}

}  // namespace

GameConnection::Attach ReaderConnection::attachByName(const CommandProcesses* command) {
    return outcome(reader_.attach(kGameExecutable, command), reader_);
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
std::vector<ProcessLook> ReaderConnection::looks() const { return reader_.looks(); }

bool GameSession::start(std::int64_t now) {
    if (tryAttach(now)) return true;
    return wait_ && state_ != State::Ended;
}

bool GameSession::update(std::int64_t now) {
    switch (state_) {
    case State::Attached: {
        // Not the game after all (a program that only bears the name): the
        // next candidate, at the pace of the retries.
        const bool seekBetter = pid_ == 0 && !readsAsTheGame_;
        if ((!wait_ && pid_ == 0 && !seekBetter) || now < nextExitCheck_) return true;
        nextExitCheck_ = now + kGameRetryIntervalNs;
        if (seekBetter) return tryAttach(now);
        if (!game_.hasExited()) return true;
        ended(now);
        return false;
    }
    case State::Waiting:
        return now >= nextAttempt_ && tryAttach(now);
    case State::Ended:
        break;
    }
    return false;
}

bool GameSession::readFailed(std::int64_t now) {
    if (state_ != State::Attached || !game_.hasExited()) return false;
    ended(now);
    return true;
}

void GameSession::ended(std::int64_t now) {
    game_.close();
    if (pid_ != 0) {
        // Its ID may soon name another program: never look for it again.
        state_ = State::Ended;
        label_ = "Process " + std::to_string(pid_) + " has exited.";
    } else if (wait_) {
        // This cycle isolates, so the next game is read from a fresh start.
        state_ = State::Waiting;
        label_ = kLabelWaitingForGame;
        nextAttempt_ = now;
    } else {
        state_ = State::Ended;
        label_ = kLabelGameExited;
    }
}

bool GameSession::tryAttach(std::int64_t now) {
    CommandProcesses command;
    if (command_) command = command_();
    const GameConnection::Attach result = pid_ != 0 ? game_.attachToProcess(pid_)
                                                    : game_.attachByName(command_ ? &command : nullptr);
    if (result == GameConnection::Attach::Attached) {
        state_ = State::Attached;
        nextExitCheck_ = now + kGameRetryIntervalNs;
        label_.clear();
        const std::vector<ProcessLook> looks = game_.looks();
        gameProcess_ = looks.empty() ? 0 : looks.front().pid;
        readsAsTheGame_ = !looks.empty() && (looks.front().candidate == Candidate::Game ||
                                             looks.front().candidate == Candidate::Unversioned);
        if (!looks.empty() && looks.front().pid != announced_) announce(looks);
        return true;
    }
    state_ = State::Waiting;
    nextAttempt_ = now + kGameRetryIntervalNs;
    label_ = result == GameConnection::Attach::NotFound && pid_ == 0 ? kLabelWaitingForGame
                                                                     : game_.lastError();
    if (pid_ != 0 && result == GameConnection::Attach::NotFound) {
        // No process of that ID now: whichever gets it later is another program.
        state_ = State::Ended;
        label_ = "Process " + std::to_string(pid_) + " has exited.";
    }
    return false;
}

void GameSession::announce(const std::vector<ProcessLook>& looks) {
    const ProcessLook& read = looks.front();
    announced_ = read.pid;
    const std::string id = std::to_string(read.pid);
    notices_.push_back({false, "Reading " + (pid_ != 0 ? "process " + id : "Wow.exe (process " + id + ")") +
                                   (read.version ? ", version " + versionText(*read.version) + "."
                                                 : ", which has no version resource; it is read as "
                                                   "3.3.5a, build " + std::to_string(kClientBuild) + ".")});
    const std::vector<std::uint32_t> found = pid_ != 0 ? std::vector<std::uint32_t>{}
                                                       : game_.foundProcessIds();
    if (found.size() > 1) {
        std::string hint = "Found " + std::to_string(found.size()) + " Wow.exe processes (";
        for (std::size_t i = 0; i < found.size(); ++i) {
            hint += (i == 0 ? "" : ", ") + std::to_string(found[i]);
        }
        hint += "); reading " + id + (command_ ? ", started by the game command." : ". Use --pid to choose.");
        notices_.push_back({true, hint});
    }
    for (std::size_t i = 1; i < looks.size(); ++i) {
        if (looks[i].candidate == read.candidate) continue;  // as good: the hint says how to choose
        notices_.push_back({false, "Passed over Wow.exe process " + std::to_string(looks[i].pid) + ": " +
                                       looks[i].why + "."});
    }
}

}  // namespace corvane
