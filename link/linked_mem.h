#pragma once
// The record the voice client reads from the "MumbleLink" shared memory.
// Field names are those of the published record.

#include <cstddef>
#include <cstdint>

namespace corvane {

struct LinkedMem {
    std::uint32_t uiVersion;
    std::uint32_t uiTick;
    float fAvatarPosition[3];
    float fAvatarFront[3];
    float fAvatarTop[3];
    char16_t name[256];
    float fCameraPosition[3];
    float fCameraFront[3];
    float fCameraTop[3];
    char16_t identity[256];
    std::uint32_t context_len;
    unsigned char context[256];
    char16_t description[2048];
};

inline constexpr std::size_t kLinkedMemSize = 5460;
inline constexpr std::size_t kLinkedMemWords = kLinkedMemSize / 4;
inline constexpr char kLinkName[] = "MumbleLink";

static_assert(sizeof(LinkedMem) == kLinkedMemSize);
static_assert(offsetof(LinkedMem, uiTick) == 4);
static_assert(offsetof(LinkedMem, fAvatarPosition) == 8);
static_assert(offsetof(LinkedMem, fAvatarFront) == 20);
static_assert(offsetof(LinkedMem, fAvatarTop) == 32);
static_assert(offsetof(LinkedMem, name) == 44);
static_assert(offsetof(LinkedMem, fCameraPosition) == 556);
static_assert(offsetof(LinkedMem, fCameraFront) == 568);
static_assert(offsetof(LinkedMem, fCameraTop) == 580);
static_assert(offsetof(LinkedMem, identity) == 592);
static_assert(offsetof(LinkedMem, context_len) == 1104);
static_assert(offsetof(LinkedMem, context) == 1108);
static_assert(offsetof(LinkedMem, description) == 1364);

}  // namespace corvane
