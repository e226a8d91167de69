#pragma once
// Assembling a record is pure, so it is tested without any shared memory.

#include "link/link_frame.h"
#include "link/linked_mem.h"

#include <cstdint>
#include <string_view>

namespace corvane {

inline constexpr std::u16string_view kLinkProgramName = u"Corvane Voice Bridge";
inline constexpr std::u16string_view kLinkDescription =
    u"Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.";
inline constexpr std::uint32_t kLinkVersion = 2;
inline constexpr std::size_t kMaxNameUnits = 255;
inline constexpr std::size_t kMaxIdentityUnits = 255;
inline constexpr std::size_t kMaxDescriptionUnits = 2047;
inline constexpr std::size_t kMaxContextBytes = 255;

// Fills every byte of `record` from the frame, with `tick` as uiTick.
void assembleRecord(const LinkFrame& frame, std::uint32_t tick, LinkedMem& record);

// Copies the record into shared memory as plain 32-bit stores in ascending
// address order, so that uiTick lands before the data it announces.
void storeRecord(const LinkedMem& record, void* view) noexcept;

// Stores zero into every word of the record in shared memory.
void clearRecord(void* view) noexcept;

}  // namespace corvane
