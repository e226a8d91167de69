// The link's Windows layer: who else holds the mapping.

#include "link/link_readers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {
using namespace corvane;

// Windows counts the handles to the mapping and names none: the writer's own
// is no reader, every other one is; a reader cannot tell the writer's from another's.
TEST(WindowsLink, CountsTheOtherHandlesToTheMapping) {
    const std::string name =
        "CorvaneReadersTest-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    SharedMemory writer, reader;
    std::uint32_t code = 0;
    ASSERT_EQ(writer.openOrCreate(name, 5460, code, SharedMemory::Access::Exclusive), SharedMemory::Status::Ok);
    ReaderScan scan;
    const std::atomic<bool> never{false};
    EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>());
    ASSERT_EQ(reader.openExisting(name, 5460, code), SharedMemory::Status::Ok);
    EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>(1));
    EXPECT_FALSE(scan.find(reader.identity(), never));
    reader.reset();
    EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>());
}

}  // namespace
