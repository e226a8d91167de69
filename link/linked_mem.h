#pragma once
// The record the voice client reads from the link's shared memory. Field names
// are those of the published record. Its text fields hold the platform's
// wchar_t: 16-bit UTF-16 units on Windows, 32-bit UTF-32 units on Linux, so
// the record is 5460 bytes there and 10580 bytes here. Both layouts are
// defined on every platform, so both are assembled and tested everywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace corvane {

template <typename Unit>
struct BasicLinkedMem {
    using TextUnit = Unit;
    std::uint32_t uiVersion;
    std::uint32_t uiTick;
    float fAvatarPosition[3];
    float fAvatarFront[3];
    float fAvatarTop[3];
    Unit name[256];
    float fCameraPosition[3];
    float fCameraFront[3];
    float fCameraTop[3];
    Unit identity[256];
    std::uint32_t context_len;
    unsigned char context[256];
    Unit description[2048];
};

using WindowsLinkedMem = BasicLinkedMem<char16_t>;
using LinuxLinkedMem = BasicLinkedMem<char32_t>;

static_assert(sizeof(WindowsLinkedMem) == 5460);
static_assert(offsetof(WindowsLinkedMem, fCameraPosition) == 556);
static_assert(offsetof(WindowsLinkedMem, identity) == 592);
static_assert(offsetof(WindowsLinkedMem, context_len) == 1104);
static_assert(offsetof(WindowsLinkedMem, description) == 1364);
static_assert(sizeof(LinuxLinkedMem) == 10580);
static_assert(offsetof(LinuxLinkedMem, fCameraPosition) == 1068);
static_assert(offsetof(LinuxLinkedMem, identity) == 1104);
static_assert(offsetof(LinuxLinkedMem, context_len) == 2128);
static_assert(offsetof(LinuxLinkedMem, description) == 2388);

// The layout this platform's voice client reads: its wchar_t decides.
using LinkedMem =
    std::conditional_t<sizeof(wchar_t) == sizeof(char16_t), WindowsLinkedMem, LinuxLinkedMem>;

inline constexpr std::size_t kLinkedMemSize = sizeof(LinkedMem);
inline constexpr std::size_t kLinkedMemWords = kLinkedMemSize / 4;

// The name of this platform's link object, as the voice client opens it:
// "MumbleLink" on Windows, "MumbleLink.<uid>" (the real user ID in decimal)
// on Linux, where the shared-memory object itself is "/MumbleLink.<uid>".
std::string linkName();

}  // namespace corvane
