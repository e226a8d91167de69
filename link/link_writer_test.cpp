#include "link/link_writer.h"

#include "link/link_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::vector<unsigned char>;

const LinkFrame kFrame{{{1.0f, 2.0f, 3.0f}, {}, {}, {}, {}, {}}, "Oruli", "CORVANE:WORLD:1"};

Bytes expectedRecord(std::uint32_t tick) {
    LinkedMem record{};
    assembleRecord(kFrame, tick, record);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return {bytes, bytes + kLinkedMemSize};
}

// Each test has a name of its own, so no run disturbs a real link or another run.
class LinkWriterTest : public ::testing::Test {
protected:
    LinkWriterTest()
        : name_("CorvaneLinkTest-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())) {
        removeSharedMemory(name_);
    }
    ~LinkWriterTest() override { removeSharedMemory(name_); }

    // A second, read-only view, as the voice client would hold.
    Bytes observed() {
        SharedMemory reader;
        std::uint32_t code = 0;
        if (reader.openExisting(name_, kLinkedMemSize, code) != SharedMemory::Status::Ok) return {};
        const auto* bytes = static_cast<const unsigned char*>(reader.data());
        return {bytes, bytes + kLinkedMemSize};
    }

    // Another process's hold on the object, which keeps it alive across a reopen.
    SharedMemory holder(std::size_t size = kLinkedMemSize) {
        SharedMemory memory;
        std::uint32_t code = 0;
        EXPECT_EQ(memory.openOrCreate(name_, size, code), SharedMemory::Status::Ok);
        return memory;
    }

    std::string name_;
};

TEST_F(LinkWriterTest, OpenCreatesAClearedRecordAndPublishCountsFromOne) {
    LinkWriter writer(name_);
    EXPECT_FALSE(writer.publish(kFrame));
    EXPECT_EQ(writer.lastError(), "MumbleLink is not connected.");
    EXPECT_TRUE(observed().empty()) << "publish must not create the record";

    ASSERT_TRUE(writer.open()) << writer.lastError();
    EXPECT_TRUE(writer.created());
    EXPECT_EQ(writer.lastError(), "");
    EXPECT_EQ(observed(), Bytes(kLinkedMemSize, 0));
    ASSERT_TRUE(writer.publish(kFrame));
    EXPECT_EQ(observed(), expectedRecord(1));
    ASSERT_TRUE(writer.publish(kFrame));
    EXPECT_EQ(observed(), expectedRecord(2));
}

TEST_F(LinkWriterTest, AnExistingRecordIsNeverClearedAndClosingWritesNothing) {
    SharedMemory voiceClient = holder();
    ASSERT_NE(voiceClient.data(), nullptr);
    std::memset(voiceClient.data(), 0xA5, kLinkedMemSize);
    {
        LinkWriter writer(name_);
        ASSERT_TRUE(writer.open()) << writer.lastError();
        EXPECT_FALSE(writer.created());
        EXPECT_EQ(observed(), Bytes(kLinkedMemSize, 0xA5)) << "kept until the first frame";
        ASSERT_TRUE(writer.publish(kFrame));
        ASSERT_TRUE(writer.publish(kFrame));
        ASSERT_TRUE(writer.open());
        EXPECT_EQ(writer.tick(), 0u);
        EXPECT_EQ(observed(), expectedRecord(2)) << "reopening must not clear the record";

        writer.close();
        EXPECT_FALSE(writer.connected());
        EXPECT_FALSE(writer.publish(kFrame));
        EXPECT_EQ(observed(), expectedRecord(2)) << "closing must not clear the record";
        ASSERT_TRUE(writer.open());
        EXPECT_EQ(writer.lastError(), "") << "a successful open forgets the last error";
        ASSERT_TRUE(writer.publish(kFrame));
    }
    EXPECT_EQ(observed(), expectedRecord(1)) << "destruction writes nothing either";
}

TEST_F(LinkWriterTest, TooSmallAnObjectCannotBeMapped) {
    const SharedMemory small = holder(100);
    LinkWriter writer(name_);
    EXPECT_FALSE(writer.open());
    EXPECT_EQ(writer.lastError(), "Could not map MumbleLink shared memory (Win32 error 5).");
    EXPECT_FALSE(writer.connected());
    EXPECT_FALSE(writer.publish(kFrame));
    EXPECT_EQ(writer.lastError(), "MumbleLink is not connected.");
}

}  // namespace
}  // namespace corvane
