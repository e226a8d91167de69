#pragma once
// Reads the published record from outside the bridge, as the voice client
// does: the raw bytes, decoded with the field offsets written in the platform
// file, never with the product's own record type.

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
    // The code points up to the first NUL.
    std::u32string name;
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
    // Creates a link object of `size` bytes, as a voice client may, and keeps
    // it writable through bytes().
    bool create(std::size_t size, std::string& error);
    unsigned char* bytes() const { return view_; }

    // A consistent copy of the record: two identical copies in a row.
    std::optional<LinkRecord> read() const;
    // Polls about every millisecond until `done` holds for a copy; nothing
    // after the timeout.
    std::optional<LinkRecord> waitFor(const std::function<bool(const LinkRecord&)>& done,
                                      std::chrono::milliseconds timeout) const;

private:
    bool map(bool create, std::size_t size, std::string& error);
    unsigned char* view_ = nullptr;
    std::size_t size_ = 0;
    void* handle_ = nullptr;  // Windows: the mapping
};

// The record of this platform, field by field (link_probe_<platform>.cpp).
struct LinkLayout {
    std::size_t size;
    std::size_t textUnit;  // bytes per unit of name, identity and description
    std::size_t name;
    std::size_t cameraPosition;
    std::size_t identity;
    std::size_t contextLen;
    std::size_t context;
    std::size_t description;
};
extern const LinkLayout kLinkLayout;

}  // namespace corvane::testing
