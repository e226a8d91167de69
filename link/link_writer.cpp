#include "link/link_writer.h"

#include "common/win32_error.h"
#include "link/link_record.h"

#include <utility>

namespace corvane {
namespace {

std::string noSpaceText(const std::string& location, std::uint32_t code) {
    const std::string folder = location.substr(0, location.rfind('/'));
    return win32ErrorText(folder + " has no room for the " + std::to_string(kLinkedMemSize) +
                              " bytes of MumbleLink shared memory " + location,
                          code) +
           " Make room there (df -h " + folder + " shows how full it is) and start the bridge again.";
}

}  // namespace

LinkWriter::LinkWriter(std::string name) : name_(std::move(name)) {}

bool LinkWriter::open() {
    close();
    tick_ = 0;
    if (!openObject()) return false;
    // A record someone else made keeps its contents until our first frame.
    if (memory_.created()) {
        const LinkedMem zero{};
        std::uint32_t code = 0;
        memory_.write(&zero, sizeof zero, code);
    }
    return true;
}

bool LinkWriter::openObject() {
    lastError_.clear();
    madeWholeSaid_ = false;
    const std::string location = sharedMemoryLocation(name_);
    std::uint32_t code = 0;
    switch (memory_.openOrCreate(name_, kLinkedMemSize, code, SharedMemory::Access::Exclusive)) {
    case SharedMemory::Status::Ok:
        if (memory_.takenOver()) {
            notice_ = "MumbleLink shared memory " + location + " was held open by another user's "
                      "program, which could read it, so the bridge made it anew for you alone.\n";
        }
        return true;
    case SharedMemory::Status::InUse:
        lastError_ = "Another CorvaneVoiceBridge is already publishing to MumbleLink.";
        return false;
    case SharedMemory::Status::NotOwned:
        // Another user could read every frame from it, or hold it against us.
        lastError_ = "MumbleLink shared memory " + location + " belongs to user " +
                     std::to_string(code) + ", not to you, so the bridge leaves it alone: have it "
                     "removed (sudo rm " + location + ") and start the bridge again.";
        return false;
    case SharedMemory::Status::NotSharedMemory:
        lastError_ = "MumbleLink shared memory " + location + " is " + kindText(code) +
                     ", not shared memory, so the bridge leaves it alone: remove it (rm -r " +
                     location + ") and start the bridge again.";
        return false;
    case SharedMemory::Status::NoSpace:
        lastError_ = noSpaceText(location, code);
        return false;
    case SharedMemory::Status::MapFailed:
        lastError_ = win32ErrorText("Could not map MumbleLink shared memory", code);
        return false;
    case SharedMemory::Status::NotFound:
    case SharedMemory::Status::OpenFailed:
        break;
    }
    lastError_ = win32ErrorText("Could not open or create MumbleLink shared memory", code);
    return false;
}

void LinkWriter::close() noexcept {
    readers_.reset();
    memory_.reset();
}

bool LinkWriter::publish(const LinkFrame& frame) {
    if (!connected()) {
        lastError_ = "MumbleLink is not connected.";
        return false;
    }
    ++tick_;  // wraps from 4294967295 to 0
    assembleRecord(frame, tick_, record_);
    std::uint32_t code = 0;
    switch (memory_.write(&record_, sizeof record_, code)) {
    case SharedMemory::Written::Ok:
        return true;
    case SharedMemory::Written::MadeWhole:
        // Its readers faulted on the missing bytes meanwhile; the player hears why.
        if (!madeWholeSaid_) {
            notice_ = "MumbleLink shared memory " + sharedMemoryLocation(name_) +
                      " was cut short by another program; the bridge made it whole again and "
                      "publishes on.\n";
        }
        madeWholeSaid_ = true;
        return true;
    case SharedMemory::Written::NoSpace:
        lastError_ = noSpaceText(sharedMemoryLocation(name_), code);
        return false;
    case SharedMemory::Written::Failed:
        break;
    }
    lastError_ = win32ErrorText("Could not write MumbleLink shared memory", code);
    return false;
}

bool LinkWriter::follow() {
    if (!connected()) {
        lastError_ = "MumbleLink is not connected.";
        return false;
    }
    if (memory_.checkName() == SharedMemory::Name::Same) return true;
    // Released first, lock and all: should our own object be back at the
    // name, it must not be refused as another bridge's.
    memory_.reset();
    if (!openObject()) return false;
    if (memory_.takenOver()) return true;  // its own notice says it
    const std::string location = sharedMemoryLocation(name_);
    notice_ = memory_.created()
                  ? "MumbleLink shared memory " + location +
                        " was removed; the bridge made it again and publishes on.\n"
                  : "MumbleLink shared memory " + location + " was replaced, as a voice client "
                        "that restarts does; the bridge publishes to the new one.\n";
    return true;
}

std::string LinkWriter::takeNotice() { return std::exchange(notice_, {}); }

std::optional<std::string> LinkWriter::readers() {
    if (!connected()) return std::nullopt;
    if (!readers_) readers_ = std::make_unique<ReaderWatch>();
    readers_->watch(memory_.identity());
    return readers_->latest();
}

}  // namespace corvane
