#pragma once
// Reads the published record from outside the bridge, as the voice client
// does: the raw bytes, decoded with the field offsets written in
// programs.cpp, never with the product's record type; the link's name is
// written in the platform file (platform_<platform>.cpp).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

struct LinkRecord {
    std::uint32_t uiVersion = 0;
    std::uint32_t uiTick = 0;
    float fAvatarPosition[3] = {};
    float fAvatarFront[3] = {};
    float fAvatarTop[3] = {};
    float fCameraPosition[3] = {};
    float fCameraFront[3] = {};
    float fCameraTop[3] = {};
    std::uint32_t context_len = 0;
    std::string context;  // the first context_len bytes
    std::u32string name;  // each the code points up to the first NUL
    std::u32string identity;
    std::u32string description;
    std::vector<unsigned char> raw;
};

class LinkProbe {
public:
    LinkProbe() = default;
    LinkProbe(const LinkProbe&) = delete;
    LinkProbe& operator=(const LinkProbe&) = delete;
    ~LinkProbe();

    // Opens the existing link for reading; false while there is none.
    bool open(std::string& error);
    // A consistent copy of the record: two identical copies in a row.
    std::optional<LinkRecord> read() const;
    // Polls about every millisecond until `done` holds for a copy; nothing
    // after the timeout.
    std::optional<LinkRecord> waitFor(const std::function<bool(const LinkRecord&)>& done,
                                      std::chrono::milliseconds timeout) const;

private:
    const unsigned char* view_ = nullptr;
    void* handle_ = nullptr;  // Windows: the mapping
};

}  // namespace corvane::testing
