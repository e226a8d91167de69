// The link the bridge creates on Windows is the player's own whatever the
// bridge's elevation, so a voice client that is not elevated opens it.

#include "link/shared_memory.h"
#include "link/shared_memory_win32.h"

#include "common/windows_support.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <tuple>
#include <vector>

namespace corvane {
namespace {

// Each ACE of `acl`: type, mask and SID as text.
std::vector<std::tuple<int, DWORD, std::wstring>> aces(const ACL* acl) {
    std::vector<std::tuple<int, DWORD, std::wstring>> out;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        wchar_t* sid = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &ace)) break;
        // Allowed and label ACEs alike: header, mask, then the SID.
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        ConvertSidToStringSidW(const_cast<DWORD*>(&allowed->SidStart), &sid);
        out.emplace_back(allowed->Header.AceType, allowed->Mask, sid != nullptr ? sid : L"?");
        LocalFree(sid);
    }
    return out;
}

// All access for the token's user and nobody else, labelled at the creator's
// integrity level but no higher than medium (S-1-16-8192), no write up.
TEST(WindowsLink, CreatedForTheUserAloneAtMostAtMediumIntegrity) {
    const std::wstring user = L"S-1-5-21-1004336348-1177238915-682003330-1001";
    // (the creator's integrity level, the label's)
    for (const auto& [creator, label] : {std::pair(0x4000u, L"S-1-16-8192"), std::pair(0x3000u, L"S-1-16-8192"),
                                         std::pair(0x2000u, L"S-1-16-8192"), std::pair(0x1000u, L"S-1-16-4096")}) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            creationSecurity(user, creator).c_str(), SDDL_REVISION_1, &sd, nullptr)) << creator;
        BOOL present = FALSE, defaulted = FALSE;
        ACL* dacl = nullptr;
        ACL* sacl = nullptr;
        GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
        GetSecurityDescriptorSacl(sd, &present, &sacl, &defaulted);
        using Aces = std::vector<std::tuple<int, DWORD, std::wstring>>;
        EXPECT_EQ(aces(dacl), (Aces{{ACCESS_ALLOWED_ACE_TYPE, GENERIC_ALL, user}})) << creator;
        EXPECT_EQ(aces(sacl), (Aces{{SYSTEM_MANDATORY_LABEL_ACE_TYPE, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, label}}))
            << creator;
        LocalFree(sd);
    }

    // A mapping we create carries it: a voice client of the user's that is not
    // elevated (a medium-integrity copy of our token) may open it for all access.
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
    ConvertStringSidToSidW(L"S-1-16-8192", &medium);
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
    EXPECT_TRUE(allowed);
    EXPECT_EQ(granted, static_cast<DWORD>(FILE_MAP_ALL_ACCESS));
    // Nobody but the user is named.
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted);
    unsigned char tokenUser[256];
    wchar_t* self = nullptr;
    ASSERT_TRUE(GetTokenInformation(ours, TokenUser, tokenUser, sizeof tokenUser, &size));
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid, &self);
    const auto named = aces(dacl);
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(std::get<2>(named[0]), self);
    LocalFree(self);
}

}  // namespace
}  // namespace corvane
