#include "game/game_reader.h"

#include "game/character_read.h"
#include "game/game_layout.h"
#include "game/memory_values.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace corvane {

namespace {

// The game's memory through an opened process, for the look before attaching.
class OpenedProcess final : public GameMemory {
public:
    explicit OpenedProcess(const GameProcess& process) noexcept : process_(process) {}
    bool read(std::uint64_t address, void* out, std::size_t size) override {
        return process_.read(address, out, size);
    }

private:
    const GameProcess& process_;
};

// What an opened process is: its version, and whether the connection state
// lies where the client keeps it.
ProcessLook lookAt(const GameProcess& process) {
    OpenedProcess memory(process);
    ProcessLook look{process.id(), Candidate::Game,
                          readClientVersion(memory, process.moduleBase()), {}};
    std::uint8_t state = 0;
    if (look.version && look.version->build != kClientBuild) {
        look.candidate = Candidate::OtherBuild;
        look.why = "it is version " + versionText(*look.version);
    } else if (!readValue(memory, process.moduleBase() + layout::kConnectionState, state)) {
        look.candidate = Candidate::NotTheGame;
        look.why = "its connection state cannot be read, so it is no 3.3.5a client";
    } else if (!look.version) {
        look.candidate = Candidate::Unversioned;
        look.why = "it has no version resource";
    }
    return look;
}

std::string otherBuildText(std::string_view what, const ClientVersion& version) {
    return std::string(what) + " is version " + versionText(version) +
           "; this bridge reads 3.3.5a, build " + std::to_string(kClientBuild) + ".";
}

}  // namespace

bool GameReader::attach(std::wstring_view exeName, const CommandProcesses* command) {
    close();
    looks_.clear();
    std::vector<ProcessLink> links;
    if (!GameProcess::list(exeName, found_, command ? &links : nullptr, &others_)) {
        missing_ = false;
        return finishAttach(GameProcess::Status::ProcessSnapshotFailed, 0, "Wow.exe");
    }
    const std::vector<std::uint32_t> candidates = command ? commandsOwn(found_, links, *command) : found_;
    missing_ = candidates.empty();
    if (missing_) return finishAttach(GameProcess::Status::NotFound, 0, "Wow.exe");

    std::vector<GameProcess> opened(candidates.size());
    std::vector<GameProcess::Status> statuses;
    std::vector<std::uint32_t> codes(candidates.size(), 0);
    std::vector<Candidate> kinds;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        statuses.push_back(opened[i].open(candidates[i], exeName, codes[i]));
        if (statuses[i] == GameProcess::Status::Ok) {
            looks_.push_back(lookAt(opened[i]));
        } else if (statuses[i] == GameProcess::Status::OpenFailed) {
            looks_.push_back({candidates[i], Candidate::Refused, std::nullopt,
                              "it cannot be opened (Win32 error " + std::to_string(codes[i]) + ")"});
        } else {
            looks_.push_back({candidates[i], Candidate::NoModule, std::nullopt, "its main module cannot be found"});
        }
        kinds.push_back(looks_.back().candidate);
    }
    const std::size_t chosen = chooseCandidate(kinds);
    std::rotate(looks_.begin(), looks_.begin() + static_cast<std::ptrdiff_t>(chosen),
                looks_.begin() + static_cast<std::ptrdiff_t>(chosen) + 1);
    const auto first = std::find(found_.begin(), found_.end(), candidates[chosen]);
    std::rotate(found_.begin(), first, first + 1);
    switch (kinds[chosen]) {
    case Candidate::Game:
    case Candidate::Unversioned:
    case Candidate::NotTheGame:  // nothing better runs: read as it always was
        process_ = std::move(opened[chosen]);
        lastError_.clear();
        return true;
    case Candidate::OtherBuild:
        lastError_ = otherBuildText("Wow.exe", *looks_.front().version);
        return false;
    case Candidate::Refused:
        yamaScope_ = opened[chosen].yamaScope();
        [[fallthrough]];
    case Candidate::NoModule:
        break;
    }
    return finishAttach(statuses[chosen], codes[chosen], "Wow.exe");
}

bool GameReader::attachToProcess(std::uint32_t pid) {
    close();
    found_.clear();
    looks_.clear();
    others_ = 0;
    std::uint32_t code = 0;
    const GameProcess::Status status = process_.openPid(pid, code);
    missing_ = status == GameProcess::Status::NotFound;
    if (missing_) {
        lastError_ = "Process " + std::to_string(pid) + " was not found.";
        return false;
    }
    yamaScope_ = process_.yamaScope();
    if (!finishAttach(status, code, "process " + std::to_string(pid))) return false;
    looks_.push_back(lookAt(process_));
    if (looks_.front().candidate != Candidate::OtherBuild) return true;
    process_.close();
    lastError_ = otherBuildText("Process " + std::to_string(pid), *looks_.front().version);
    return false;
}

bool GameReader::finishAttach(GameProcess::Status status, std::uint32_t code,
                              std::string_view what) {
    const std::string name(what);
    switch (status) {
    case GameProcess::Status::Ok:
        lastError_.clear();
        return true;
    case GameProcess::Status::ProcessSnapshotFailed:
        lastError_ = "CreateToolhelp32Snapshot(PROCESS) failed.";
        break;
    case GameProcess::Status::NotFound:
        lastError_ = name + " was not found.";
        break;
    case GameProcess::Status::OpenFailed:
        lastError_ = openRefusedText("OpenProcess failed for " + name, code, yamaScope_);
        break;
    case GameProcess::Status::ModuleSnapshotFailed:
        lastError_ = "CreateToolhelp32Snapshot(MODULE) failed.";
        break;
    case GameProcess::Status::ModuleBaseUnknown:
        lastError_ = "Could not determine " + name + " module base.";
        break;
    }
    return false;
}

void GameReader::close() noexcept {
    process_.close();
    kept_ = KeptPlayer{};
}

bool GameReader::readBytes(std::uint64_t address, void* out, std::size_t size) {
    std::memset(out, 0, size);
    if (process_.isOpen() && process_.read(address, out, size)) return true;
    // A short read may have filled some bytes; a failed read yields zero.
    std::memset(out, 0, size);
    return false;
}

bool GameReader::findLocalPlayer(LocalPlayer& player) {
    return corvane::findLocalPlayer(*this, moduleBase(), player, lastError_);
}

ReadStatus GameReader::readCharacter(CharacterSnapshot& snapshot) {
    snapshot = CharacterSnapshot{};
    if (!attached()) {
        lastError_ = "Not attached to Wow.exe.";
        return ReadStatus::ReadError;
    }
    return readCharacterState(*this, moduleBase(), snapshot, lastError_, kept_, [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    });
}

}  // namespace corvane
