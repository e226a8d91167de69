#pragma once
// Where World of Warcraft 3.3.5a (build 12340) keeps what we read. The client
// holds 32-bit pointers; we carry addresses as 64-bit values.

#include <cstdint>

namespace corvane::layout {

// Relative to the main module's base.
inline constexpr std::uint64_t kConnectionState = 0x7D0792;    // g_ClientConnectionState, 1 byte
inline constexpr std::uint64_t kClientConnection = 0x879CE0;   // pointer

// Relative to the ClientConnection.
inline constexpr std::uint64_t kObjectManager = 0x2ED0;        // pointer

// Relative to the ObjectManager.
inline constexpr std::uint64_t kFirstObject = 0xAC;            // pointer
inline constexpr std::uint64_t kLocalPlayerGuid = 0xC0;        // 64-bit
inline constexpr std::uint64_t kMapId = 0xCC;                  // 32-bit

// Relative to an object.
inline constexpr std::uint64_t kObjectGuid = 0x30;             // 64-bit
inline constexpr std::uint64_t kNextObject = 0x3C;             // pointer
inline constexpr std::uint64_t kPositionY = 0x798;             // float
inline constexpr std::uint64_t kPositionX = 0x79C;             // float
inline constexpr std::uint64_t kPositionZ = 0x7A0;             // float
inline constexpr std::uint64_t kOrientation = 0x7A8;           // float, radians

// Pointers below this are absent (null and the lowest 64 KiB).
inline constexpr std::uint32_t kMinPointer = 0x10000;
inline constexpr int kMaxObjects = 8192;
inline constexpr std::uint32_t kMaxMapId = 2000;

}  // namespace corvane::layout
