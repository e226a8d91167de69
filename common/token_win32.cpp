#include "common/token_win32.h"

namespace corvane {

UniqueNullHandle queryToken(HANDLE process) {
    HANDLE token = nullptr;
    return UniqueNullHandle(OpenProcessToken(process, TOKEN_QUERY, &token) ? token : nullptr);
}

std::vector<unsigned char> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    if (token == nullptr) return {};
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<unsigned char> information(size);
    if (size == 0 || !GetTokenInformation(token, kind, information.data(), size, &size)) return {};
    return information;
}

std::vector<unsigned char> tokenUser(HANDLE process) {
    const UniqueNullHandle token = queryToken(process);
    return tokenInformation(token.get(), TokenUser);
}

}  // namespace corvane
