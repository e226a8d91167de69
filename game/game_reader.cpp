#include "game/game_reader.h"

#include "common/win32_error.h"
#include "game/character_read.h"

#include <chrono>
#include <cstring>

namespace corvane {

bool GameReader::attach(std::wstring_view exeName) {
    close();
    std::uint32_t code = 0;
    switch (process_.open(exeName, code)) {
    case GameProcess::Status::Ok:
        lastError_.clear();
        return true;
    case GameProcess::Status::ProcessSnapshotFailed:
        lastError_ = "CreateToolhelp32Snapshot(PROCESS) failed.";
        break;
    case GameProcess::Status::NotFound:
        lastError_ = "Wow.exe was not found.";
        break;
    case GameProcess::Status::OpenFailed:
        lastError_ = win32ErrorText("OpenProcess failed for Wow.exe", code);
        break;
    case GameProcess::Status::ModuleSnapshotFailed:
        lastError_ = "CreateToolhelp32Snapshot(MODULE) failed.";
        break;
    case GameProcess::Status::ModuleBaseUnknown:
        lastError_ = "Could not determine Wow.exe module base.";
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
