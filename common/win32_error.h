#pragma once
// Failure texts quote the Win32 code of the failed call; the POSIX stand-ins
// quote the code the same failure gives on Windows, so both read alike.

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Win32 codes the POSIX stand-ins translate errno values into.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorPartialCopy = 299;
inline constexpr std::uint32_t kErrorBadExeFormat = 193;

// The Win32 code the same failure gives on Windows, for an errno value: the
// one table of every POSIX file. Only a refusal reads as access denied.
inline std::uint32_t win32CodeForErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return kErrorAccessDenied;
    case ENOENT:
    case ENOTDIR:
        return kErrorFileNotFound;
    case ENOEXEC:
        return kErrorBadExeFormat;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case ENOMEM:
    case ENOSPC:
        return kErrorNotEnoughMemory;
    default:
        return kErrorInvalidParameter;
    }
}

// "<prefix> (Win32 error <code>)."
inline std::string win32ErrorText(std::string_view prefix, std::uint32_t code) {
    std::string text(prefix);
    text += " (Win32 error ";
    text += std::to_string(code);
    text += ").";
    return text;
}

}  // namespace corvane
