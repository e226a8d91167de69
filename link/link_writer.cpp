#include "link/link_writer.h"

#include "common/win32_error.h"
#include "link/link_record.h"

#include <cstring>
#include <utility>

namespace corvane {
namespace {

std::string folderOf(const std::string& location) { return location.substr(0, location.rfind('/')); }

// Without the ending: what to do next depends on whether the bridge runs on.
std::string noSpaceText(const std::string& location, std::uint32_t code) {
    const std::string folder = folderOf(location);
    return win32ErrorText(folder + " has no room for the " + std::to_string(kLinkedMemSize) +
                              " bytes of MumbleLink shared memory " + location,
                          code) +
           " Make room there (df -h " + folder + " shows how full it is)";
}

constexpr char kStartAgain[] = " and start the bridge again.";
constexpr char kLooksAgain[] = "; until then your character is parked, and the bridge looks again "
                               "every second.";

}  // namespace

LinkWriter::LinkWriter(std::string name) : name_(std::move(name)) {}

bool LinkWriter::open() {
    close();
    tick_ = 0;
    waitingFor_.clear();
    waitingSaid_.clear();
    if (openObject(false) != Opened::Ok) return false;
    // A record someone else made keeps its contents until our first frame.
    if (memory_.created()) {
        const LinkedMem zero{};
        std::uint32_t code = 0;
        memory_.write(&zero, sizeof zero, code);
    }
    return true;
}

LinkWriter::Opened LinkWriter::openObject(bool running) {
    lastError_.clear();
    madeWholeSaid_ = false;
    const std::string location = sharedMemoryLocation(name_);
    const std::string at = "MumbleLink shared memory " + location;
    std::uint32_t code = 0;
    // What stands at the name and what the player can do, ended by kStartAgain
    // or kLooksAgain; and the status line's few words.
    std::string sentence, label;
    switch (memory_.openOrCreate(name_, kLinkedMemSize, code, SharedMemory::Access::Exclusive)) {
    case SharedMemory::Status::Ok:
        if (SharedMemory former = memory_.takeFormer(); former.isOpen()) park(former);
        if (memory_.takenOver() == SharedMemory::TakeOver::LockedByAnotherUser) {
            notice_ += at + " was held open by another user's program, which could read it, so the "
                            "bridge made it anew for you alone; the old one shows your character parked.\n";
        } else if (memory_.takenOver() == SharedMemory::TakeOver::OpenToOthers) {
            notice_ += at + " could be opened by other users of the computer, so the bridge made it "
                            "anew for you alone; the old one shows your character parked.\n";
        }
        return Opened::Ok;
    case SharedMemory::Status::InUse:
        lastError_ = "Another CorvaneVoiceBridge is already publishing to MumbleLink.";
        return Opened::Failed;
    case SharedMemory::Status::NotOwned:
        // Another user could read every frame from it, or hold it against us.
        sentence = at + " belongs to user " + std::to_string(code) + ", not to you, so the bridge "
                   "leaves it alone: have it removed (sudo rm " + location + ")";
        label = location + " belongs to user " + std::to_string(code);
        break;
    case SharedMemory::Status::NotSharedMemory:
        sentence = at + " is " + kindText(code) + ", not shared memory, so the bridge leaves it "
                   "alone: remove it (rm -r " + location + ")";
        label = location + " is " + kindText(code);
        break;
    case SharedMemory::Status::TooSmall:
        sentence = at + " holds only " + std::to_string(code) + " bytes, fewer than the record's " +
                   std::to_string(kLinkedMemSize) + ": a program with another idea of the link made "
                   "it, and the bridge leaves it alone: close that program, remove it (rm " +
                   location + ")";
        label = location + " holds only " + std::to_string(code) + " bytes";
        break;
    case SharedMemory::Status::NoSpace:
        sentence = noSpaceText(location, code);
        label = folderOf(location) + " has no room for the link";
        break;
    case SharedMemory::Status::MapFailed:
        lastError_ = win32ErrorText("Could not map MumbleLink shared memory", code);
        label = "the link cannot be mapped";
        break;
    case SharedMemory::Status::NotFound:
    case SharedMemory::Status::OpenFailed:
        lastError_ = win32ErrorText("Could not open or create MumbleLink shared memory", code);
        label = "the link cannot be opened";
        break;
    }
    if (!running) {
        if (!sentence.empty()) lastError_ = sentence + kStartAgain;
        return Opened::Failed;
    }
    // The system's errors are whole sentences of their own.
    startWaiting(sentence.empty() ? lastError_ + " Your character is parked, and the bridge looks "
                                                 "again every second."
                                  : sentence + kLooksAgain,
                 label);
    return Opened::Waiting;
}

void LinkWriter::startWaiting(const std::string& sentence, std::string label) {
    waitingFor_ = std::move(label);
    if (sentence != waitingSaid_) notice_ += sentence + "\n";
    waitingSaid_ = sentence;
}

void LinkWriter::park(SharedMemory& memory) {
    if (!parking_ || !memory.isOpen()) return;
    // A tick of its own after the last one there, so its readers take it.
    unsigned char head[8] = {};
    std::uint32_t last = 0;
    if (memory.read(head, sizeof head) == sizeof head) std::memcpy(&last, head + 4, 4);
    LinkedMem record{};
    assembleRecord(*parking_, last + 1, record);
    std::uint32_t code = 0;
    memory.write(&record, sizeof record, code);
}

void LinkWriter::close() noexcept {
    readers_.reset();
    memory_.reset();
}

bool LinkWriter::publish(const LinkFrame& frame) {
    if (waiting()) return true;
    if (!connected()) {
        lastError_ = "MumbleLink is not connected.";
        return false;
    }
    ++tick_;  // wraps from 4294967295 to 0
    assembleRecord(frame, tick_, record_);
    std::uint32_t code = 0;
    const SharedMemory::Written written = memory_.write(&record_, sizeof record_, code);
    if (written == SharedMemory::Written::NoSpace) {
        // Cut short, with no room to grow: nothing can be written into it, not even the parking frame.
        startWaiting(noSpaceText(sharedMemoryLocation(name_), code) + "; until then the bridge publishes "
                                                                      "nothing, and looks again every second.",
                     folderOf(sharedMemoryLocation(name_)) + " has no room for the link");
        return true;
    }
    if (written == SharedMemory::Written::Failed) {
        lastError_ = win32ErrorText("Could not write MumbleLink shared memory", code);
        return false;
    }
    if (!waitingSaid_.empty()) {
        notice_ += "MumbleLink shared memory " + sharedMemoryLocation(name_) +
                   " can be used again; the bridge publishes to it.\n";
        waitingSaid_.clear();
    }
    // Its readers faulted on the missing bytes meanwhile; the player hears why.
    if (written == SharedMemory::Written::MadeWhole && !madeWholeSaid_) {
        notice_ += "MumbleLink shared memory " + sharedMemoryLocation(name_) +
                   " was cut short by another program; the bridge made it whole again and "
                   "publishes on.\n";
        madeWholeSaid_ = true;
    }
    return true;
}

bool LinkWriter::follow() {
    const bool wasWaiting = waiting();
    if (!connected() && !wasWaiting) {
        lastError_ = "MumbleLink is not connected.";
        return false;
    }
    const SharedMemory::Name name = memory_.checkName();
    if (connected() && name == SharedMemory::Name::Same) {
        waitingFor_.clear();  // no room before: the next frame tries again
        return true;
    }
    // Its lock let go first: should our own object be back at the name, it
    // must not be refused as another bridge's.
    SharedMemory last = std::move(memory_);
    last.unlock();
    waitingFor_.clear();
    const Opened opened = openObject(true);
    if (last.isOpen() && !(connected() && memory_.identity() == last.identity())) park(last);
    if (opened != Opened::Ok) return opened == Opened::Waiting;
    if (wasWaiting || memory_.takenOver() != SharedMemory::TakeOver::None) return true;  // said otherwise
    const std::string location = sharedMemoryLocation(name_);
    notice_ += memory_.created()
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
    if (const std::string failure = readers_->takeFailure(); !failure.empty()) {
        notice_ += "The readers of the link cannot be looked for: " + failure + "; the bridge publishes on.\n";
    }
    return readers_->latest();
}

}  // namespace corvane
