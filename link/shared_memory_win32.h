#pragma once
// Windows: the security a shared-memory object gets when we create it.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// SDDL for an object that the user `userSid` ("S-1-5-21-...") may use in every
// way and nobody else in any, under a mandatory label of the creator's
// integrity level `integrityRid`, but no higher than medium. An elevated
// bridge's objects otherwise belong to the administrators alone, at high
// integrity, which the player's voice client, not elevated, cannot open.
std::wstring creationSecurity(std::wstring_view userSid, std::uint32_t integrityRid);

}  // namespace corvane
