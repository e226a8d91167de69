// The link's Windows layer: the mapping the bridge creates is the player's own
// whatever the bridge's elevation, so a voice client that is not elevated opens
// it; and who else holds the mapping.

#include "link/link_readers.h"
#include "link/shared_memory.h"
#include "link/shared_memory_win32.h"

#include "common/windows_support.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace corvane {
namespace {

// All access for the token's user alone, labelled medium (S-1-16-8192) or the
// creator's own level if lower, no write up: a voice client of the user's that
// is not elevated (a medium-integrity copy of our token) is granted all access
// to a mapping we create.
TEST(WindowsLink, CreatedForTheUserAloneAtMostAtMediumIntegrity) {
    const std::wstring user = L"S-1-5-21-1004336348-1177238915-682003330-1001";
    EXPECT_EQ(creationSecurity(user, 0x3000), L"D:P(A;;GA;;;" + user + L")S:(ML;;NW;;;S-1-16-8192)");
    EXPECT_EQ(creationSecurity(user, 0x1000), L"D:P(A;;GA;;;" + user + L")S:(ML;;NW;;;S-1-16-4096)");

    const std::string name = "CorvaneSecurityTest-" + std::to_string(GetCurrentProcessId());
    SharedMemory created;
    std::uint32_t code = 0;
    ASSERT_EQ(created.openOrCreate(name, 5460, code, SharedMemory::Access::Shared), SharedMemory::Status::Ok);
    const UniqueNullHandle mapping(OpenFileMappingA(READ_CONTROL, FALSE, name.c_str()));
    std::vector<unsigned char> sd(4096);
    DWORD size = 0;
    ASSERT_TRUE(GetKernelObjectSecurity(mapping.get(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
        DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, sd.data(), 4096, &size));
    HANDLE ours = nullptr, copy = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &ours));
    ASSERT_TRUE(DuplicateTokenEx(ours, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation, &copy));
    const UniqueNullHandle token(ours), voiceClient(copy);
    PSID medium = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-16-8192", &medium));
    TOKEN_MANDATORY_LABEL label{{medium, SE_GROUP_INTEGRITY}};
    ASSERT_TRUE(SetTokenInformation(copy, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(medium)));
    LocalFree(medium);
    GENERIC_MAPPING sections{STANDARD_RIGHTS_READ | SECTION_QUERY | SECTION_MAP_READ, STANDARD_RIGHTS_WRITE |
        SECTION_MAP_WRITE, STANDARD_RIGHTS_EXECUTE | SECTION_MAP_EXECUTE, SECTION_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof privileges, granted = 0;
    BOOL allowed = FALSE;
    ASSERT_TRUE(AccessCheck(sd.data(), copy, FILE_MAP_ALL_ACCESS, &sections, &privileges, &privilegesSize,
                            &granted, &allowed));
    EXPECT_TRUE(allowed && granted == FILE_MAP_ALL_ACCESS) << granted;
}

// Windows counts the handles to the mapping and names none: the writer's own
// is no reader, a voice client's is; a reader such as the monitor keeps only
// its view, so it is never counted, and cannot count itself.
TEST(WindowsLink, CountsTheOtherHandlesToTheMapping) {
    const std::string name =
        "CorvaneReadersTest-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    SharedMemory writer, monitor;
    std::uint32_t code = 0;
    ASSERT_EQ(writer.openOrCreate(name, 5460, code, SharedMemory::Access::Exclusive), SharedMemory::Status::Ok);
    ReaderScan scan;
    const std::atomic<bool> never{false};
    EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>());
    ASSERT_EQ(monitor.openExisting(name, 5460, code), SharedMemory::Status::Ok);
    EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>()) << "the monitor counted";
    EXPECT_FALSE(scan.find(monitor.identity(), never));
    std::uint32_t version = 0;
    writer.write("\2\0\0\0\7\0\0\0", 8, code);
    EXPECT_TRUE(monitor.read(&version, 4) == 4 && version == 2) << "the view outlives the handle";
    {
        const UniqueNullHandle voiceClient(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
        EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>(1));
    }
    EXPECT_EQ(scan.find(writer.identity(), never), std::vector<LinkReader>());
}

}  // namespace
}  // namespace corvane
