#include "game/game_reader.h"

#include "game/character_read.h"

#include <chrono>
#include <cstring>

namespace corvane {

bool GameReader::attach(std::wstring_view exeName, std::uint32_t ancestor) {
    close();
    std::uint32_t code = 0;
    attachStatus_ = process_.open(exeName, code, found_, ancestor);
    return finishAttach(attachStatus_, code, "Wow.exe");
}

bool GameReader::attachToProcess(std::uint32_t pid) {
    close();
    found_.clear();
    std::uint32_t code = 0;
    attachStatus_ = process_.openPid(pid, code);
    if (attachStatus_ == GameProcess::Status::NotFound) {
        lastError_ = "Process " + std::to_string(pid) + " was not found.";
        return false;
    }
    return finishAttach(attachStatus_, code, "process " + std::to_string(pid));
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
        lastError_ = openRefusedText("OpenProcess failed for " + name, code, process_.yamaScope());
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
