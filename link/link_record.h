#pragma once
// Assembling a record is pure, so it is tested without any shared memory, in
// both layouts on every platform.

#include "link/link_frame.h"
#include "link/linked_mem.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane {

// ASCII, so each character is one unit in either layout.
inline constexpr std::string_view kLinkProgramName = "Corvane Voice Bridge";
inline constexpr std::string_view kLinkDescription =
    "Corvane proximity voice positional-data bridge for World of Warcraft 3.3.5a.";
inline constexpr std::uint32_t kLinkVersion = 2;
inline constexpr std::size_t kMaxNameUnits = 255;
inline constexpr std::size_t kMaxIdentityUnits = 255;
inline constexpr std::size_t kMaxDescriptionUnits = 2047;
inline constexpr std::size_t kMaxContextBytes = 255;

// Fills every byte of `record` from the frame, with `tick` as uiTick. The
// identity is converted for the layout: utf8ToUtf16 for 16-bit units,
// utf8ToUtf32 for 32-bit units.
template <typename Unit>
void assembleRecord(const LinkFrame& frame, std::uint32_t tick, BasicLinkedMem<Unit>& record);
extern template void assembleRecord(const LinkFrame&, std::uint32_t, WindowsLinkedMem&);
extern template void assembleRecord(const LinkFrame&, std::uint32_t, LinuxLinkedMem&);

// Plain 32-bit stores in ascending address order, one per word; with a null
// `source`, zeros.
void storeWords(const void* source, std::size_t words, void* view) noexcept;

// Copies the record into shared memory with the version and uiTick last, so a
// reader that sees a new tick (word by word, or the whole record at once)
// finds the frame it marks already stored.
void storeFrameThenTick(const void* source, std::size_t words, void* view) noexcept;

template <typename Unit>
void storeRecord(const BasicLinkedMem<Unit>& record, void* view) noexcept {
    storeFrameThenTick(&record, sizeof record / 4, view);
}

}  // namespace corvane
