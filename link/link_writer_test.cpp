#include "link/link_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {
using namespace corvane;

using Bytes = std::vector<unsigned char>;

// This platform's record: 16-bit text units on Windows, 32-bit on Linux.
constexpr std::size_t kSize = sizeof(wchar_t) == 2 ? 5460 : 10580;
const LinkFrame kFrame{{}, "Oruli", "CORVANE:WORLD:1"};

// Each test has a name of its own, so no run disturbs a real link or another run.
class LinkWriterTest : public ::testing::Test {
protected:
    ~LinkWriterTest() override { removeSharedMemory(name_); }

    // Another process's hold on the object (the voice client's), filled with 0xA5.
    SharedMemory holder(std::size_t size) {
        SharedMemory memory;
        EXPECT_EQ(memory.openOrCreate(name_, size, code_, SharedMemory::Access::Shared),
                  SharedMemory::Status::Ok);
        const Bytes fill(size, 0xA5);
        memory.write(fill.data(), size, code_);
        return memory;
    }
    // The first `size` bytes a second process sees; empty when there are fewer.
    Bytes seen(std::size_t size = kSize) {
        SharedMemory reader;
        if (reader.openExisting(name_, size, code_) != SharedMemory::Status::Ok) return {};
        Bytes bytes(size);
        return reader.read(bytes.data(), size) == size ? bytes : Bytes();
    }

    const std::string name_ =
        "CorvaneLinkTest-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint32_t code_ = 0;  // the system's error code, unused here
};

TEST_F(LinkWriterTest, CreatesTheRecordOrKeepsAnExistingOneUntilTheFirstFrame) {
    LinkWriter creator(name_), writer(name_);
    EXPECT_FALSE(creator.publish(kFrame));
    EXPECT_EQ(creator.lastError(), "MumbleLink is not connected.");
    EXPECT_TRUE(seen(1).empty()) << "publish must not create the record";
    ASSERT_TRUE(creator.open() && creator.lastError().empty()) << "a successful open forgets the last error";
    EXPECT_FALSE(writer.open()) << "one writer at a time";
    EXPECT_EQ(writer.lastError(), "Another CorvaneVoiceBridge is already publishing to MumbleLink.");
    creator.close();

    const SharedMemory voiceClient = holder(kSize);
    ASSERT_TRUE(writer.open()) << writer.lastError();
    EXPECT_EQ(seen(), Bytes(kSize, 0xA5)) << "kept until the first frame";
    ASSERT_TRUE(writer.publish(kFrame) && writer.publish(kFrame));
    const Bytes published = seen();
    EXPECT_EQ(std::count(published.begin(), published.end(), 0xA5), 0) << "every byte is written";
    ASSERT_TRUE(writer.open() && writer.publish(kFrame));
    writer.close();
    EXPECT_EQ(seen().at(4), 1) << "reopening restarts the tick; closing writes nothing";
}

// Windows cannot map more than the section holds; Linux says what stands there.
TEST_F(LinkWriterTest, RefusesAnObjectSmallerThanTheRecordAndLeavesItAlone) {
    const SharedMemory small = holder(100);
    LinkWriter writer(name_);
    EXPECT_FALSE(writer.open());
    const std::string at = "/dev/shm/" + name_;
    EXPECT_EQ(writer.lastError(), kSize == 5460 ? "Could not map MumbleLink shared memory (Win32 error 5)."
        : "MumbleLink shared memory " + at + " holds only 100 bytes, fewer than the record's 10580: a program "
          "with another idea of the link made it, and the bridge leaves it alone: close that program, "
          "remove it (rm " + at + ") and start the bridge again.");
    EXPECT_EQ(seen(100), Bytes(100, 0xA5));
    EXPECT_TRUE(seen().empty()) << "not grown";
}

}  // namespace
