#include "link/link_writer.h"

#include "link/link_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace corvane {
namespace {

// A name of its own per test, so no run disturbs a real link or another run.
std::string uniqueName() {
    static const auto run = std::random_device{}() ^
                            static_cast<unsigned long long>(
                                std::chrono::steady_clock::now().time_since_epoch().count());
    static int counter = 0;
    return "CorvaneLinkTest-" + std::to_string(run) + "-" + std::to_string(++counter);
}

class LinkWriterTest : public ::testing::Test {
protected:
    LinkWriterTest() : name_(uniqueName()) { removeSharedMemory(name_); }
    ~LinkWriterTest() override { removeSharedMemory(name_); }

    // A second, read-only view, as the voice client would hold.
    std::vector<unsigned char> observed() {
        SharedMemory reader;
        std::uint32_t code = 0;
        if (reader.openExisting(name_, kLinkedMemSize, code) != SharedMemory::Status::Ok) return {};
        const auto* bytes = static_cast<const unsigned char*>(reader.data());
        return {bytes, bytes + kLinkedMemSize};
    }

    static std::vector<unsigned char> expectedRecord(const LinkFrame& frame, std::uint32_t tick) {
        LinkedMem record{};
        assembleRecord(frame, tick, record);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
        return {bytes, bytes + kLinkedMemSize};
    }

    static LinkFrame frame() {
        LinkFrame f;
        f.pose.avatarPosition = {1.0f, 2.0f, 3.0f};
        f.identity = "CorvaneTest";
        f.context = "CORVANE:WORLD:1";
        return f;
    }

    std::string name_;
};

TEST_F(LinkWriterTest, PublishBeforeOpenFails) {
    LinkWriter writer(name_);
    EXPECT_FALSE(writer.publish(frame()));
    EXPECT_EQ(writer.lastError(), "MumbleLink is not connected.");
    EXPECT_EQ(writer.tick(), 0u);
    EXPECT_FALSE(writer.connected());
    EXPECT_TRUE(observed().empty()) << "publish must not create the record";
}

TEST_F(LinkWriterTest, OpenCreatesAClearedRecordAndPublishCountsFromOne) {
    LinkWriter writer(name_);
    ASSERT_TRUE(writer.open()) << writer.lastError();
    EXPECT_TRUE(writer.connected());
    EXPECT_TRUE(writer.created());
    EXPECT_EQ(writer.lastError(), "");
    EXPECT_EQ(observed(), std::vector<unsigned char>(kLinkedMemSize, 0));

    ASSERT_TRUE(writer.publish(frame()));
    EXPECT_EQ(writer.tick(), 1u);
    EXPECT_EQ(observed(), expectedRecord(frame(), 1));
    ASSERT_TRUE(writer.publish(frame()));
    EXPECT_EQ(observed(), expectedRecord(frame(), 2));
}

TEST_F(LinkWriterTest, ExistingRecordIsKeptUntilTheFirstPublish) {
    SharedMemory other;
    std::uint32_t code = 0;
    ASSERT_EQ(other.openOrCreate(name_, kLinkedMemSize, code), SharedMemory::Status::Ok);
    std::vector<unsigned char> pattern(kLinkedMemSize);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    std::memcpy(other.data(), pattern.data(), pattern.size());

    LinkWriter writer(name_);
    ASSERT_TRUE(writer.open()) << writer.lastError();
    EXPECT_FALSE(writer.created());
    EXPECT_EQ(observed(), pattern);

    ASSERT_TRUE(writer.publish(frame()));
    EXPECT_EQ(observed(), expectedRecord(frame(), 1));
}

TEST_F(LinkWriterTest, ReopeningRestartsTheTickAndForgetsTheError) {
    LinkWriter writer(name_);
    ASSERT_TRUE(writer.open());
    // Keeps the object alive across the reopen, as the voice client would.
    SharedMemory holder;
    std::uint32_t code = 0;
    ASSERT_EQ(holder.openOrCreate(name_, kLinkedMemSize, code), SharedMemory::Status::Ok);
    ASSERT_TRUE(writer.publish(frame()));
    ASSERT_TRUE(writer.publish(frame()));

    ASSERT_TRUE(writer.open());
    EXPECT_EQ(writer.tick(), 0u);
    EXPECT_FALSE(writer.created());
    EXPECT_EQ(observed(), expectedRecord(frame(), 2)) << "reopening must not clear a record";
    ASSERT_TRUE(writer.publish(frame()));
    EXPECT_EQ(observed(), expectedRecord(frame(), 1));

    writer.close();
    EXPECT_FALSE(writer.publish(frame()));
    EXPECT_EQ(writer.lastError(), "MumbleLink is not connected.");
    ASSERT_TRUE(writer.open());
    EXPECT_EQ(writer.lastError(), "");
    ASSERT_TRUE(writer.publish(frame()));
    EXPECT_EQ(writer.tick(), 1u);
}

TEST_F(LinkWriterTest, TooSmallAnObjectCannotBeMapped) {
    SharedMemory small;
    std::uint32_t code = 0;
    ASSERT_EQ(small.openOrCreate(name_, 100, code), SharedMemory::Status::Ok);

    LinkWriter writer(name_);
    EXPECT_FALSE(writer.open());
    EXPECT_EQ(writer.lastError(), "Could not map MumbleLink shared memory (Win32 error 5).");
    EXPECT_FALSE(writer.connected());
    EXPECT_EQ(writer.tick(), 0u);
    EXPECT_FALSE(writer.publish(frame()));
    EXPECT_EQ(writer.lastError(), "MumbleLink is not connected.");
}

TEST_F(LinkWriterTest, ClosingLeavesTheLastFrameInPlace) {
    SharedMemory holder;
    std::uint32_t code = 0;
    {
        LinkWriter writer(name_);
        ASSERT_TRUE(writer.open());
        ASSERT_EQ(holder.openOrCreate(name_, kLinkedMemSize, code), SharedMemory::Status::Ok);
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer.publish(frame()));
        writer.close();
        EXPECT_FALSE(writer.connected());
        EXPECT_EQ(observed(), expectedRecord(frame(), 3));
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.publish(frame()));
    }  // destruction writes nothing either
    EXPECT_EQ(observed(), expectedRecord(frame(), 1));
}

}  // namespace
}  // namespace corvane
