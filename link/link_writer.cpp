#include "link/link_writer.h"

#include "common/win32_error.h"
#include "link/link_record.h"

#include <utility>

namespace corvane {

LinkWriter::LinkWriter(std::string name) : name_(std::move(name)) {}

bool LinkWriter::open() {
    close();
    lastError_.clear();
    tick_ = 0;

    std::uint32_t code = 0;
    switch (memory_.openOrCreate(name_, kLinkedMemSize, code, SharedMemory::Access::Exclusive)) {
    case SharedMemory::Status::Ok:
        break;
    case SharedMemory::Status::InUse:
        lastError_ = "Another CorvaneVoiceBridge is already publishing to MumbleLink.";
        return false;
    case SharedMemory::Status::NotOwned: {
        // Another user could read every frame from it, or hold it against us.
        const std::string location = sharedMemoryLocation(name_);
        lastError_ = "MumbleLink shared memory " + location + " belongs to user " +
                     std::to_string(code) + ", not to you, so the bridge leaves it alone: have it "
                     "removed (sudo rm " + location + ") and start the bridge again.";
        return false;
    }
    case SharedMemory::Status::MapFailed:
        lastError_ = win32ErrorText("Could not map MumbleLink shared memory", code);
        return false;
    case SharedMemory::Status::NotFound:
    case SharedMemory::Status::OpenFailed:
        lastError_ = win32ErrorText("Could not open or create MumbleLink shared memory", code);
        return false;
    }
    // A record someone else made keeps its contents until our first frame.
    if (memory_.created()) clearRecord(memory_.data());
    return true;
}

void LinkWriter::close() noexcept { memory_.reset(); }

bool LinkWriter::publish(const LinkFrame& frame) {
    if (!connected()) {
        lastError_ = "MumbleLink is not connected.";
        return false;
    }
    ++tick_;  // wraps from 4294967295 to 0
    assembleRecord(frame, tick_, record_);
    storeRecord(record_, memory_.data());
    return true;
}

}  // namespace corvane
