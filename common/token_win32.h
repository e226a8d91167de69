#pragma once
// Windows: what a process's token says (its user, its integrity level). Only
// *_win32.cpp files include this header.

#include "common/windows_support.h"

#include <vector>

namespace corvane {

// The token of `process`, opened to be asked; no handle when it cannot be
// (an elevated process's, asked by one that is not).
UniqueNullHandle queryToken(HANDLE process);

// One kind of information about `token`, or nothing.
std::vector<unsigned char> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind);

// The user `process` runs as (a TOKEN_USER), from its token; empty when that
// cannot be told.
std::vector<unsigned char> tokenUser(HANDLE process);

// The user's SID in a TokenUser answer, which is not empty.
inline PSID userSid(const std::vector<unsigned char>& user) {
    return reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
}

}  // namespace corvane
