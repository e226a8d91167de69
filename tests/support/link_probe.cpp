#include "tests/support/link_probe.h"

#include "tests/support/child_process.h"

#include <cstring>

namespace corvane::testing {

namespace {

template <typename T>
T at(const std::vector<unsigned char>& raw, std::size_t offset) {
    T value;
    std::memcpy(&value, raw.data() + offset, sizeof value);
    return value;
}

// UTF-32, or UTF-16 with its surrogate pairs joined, up to the first NUL.
std::u32string text(const std::vector<unsigned char>& raw, std::size_t offset, std::size_t units) {
    std::u32string out;
    const bool utf16 = kLinkLayout.textUnit == 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::size_t unit = offset + i * kLinkLayout.textUnit;
        char32_t c = utf16 ? at<char16_t>(raw, unit) : at<char32_t>(raw, unit);
        const char32_t low = utf16 && i + 1 < units ? at<char16_t>(raw, unit + 2) : 0;
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && low >= 0xDC00 && low < 0xE000 && utf16) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        out += c;
    }
    return out;
}

}  // namespace

std::optional<LinkRecord> LinkProbe::read() const {
    // The writer may be storing a frame while we copy; a few tries find a quiet
    // moment between its frames, 20 ms apart. Word by word through volatile,
    // so the compiler neither merges nor skips the two copies.
    std::vector<unsigned char> raw(kLinkLayout.size);
    std::vector<unsigned char> again(kLinkLayout.size);
    for (int attempt = 0; view_ != nullptr && attempt < 20; ++attempt) {
        for (auto* copy : {&raw, &again}) {
            for (std::size_t i = 0; i < kLinkLayout.size; i += 4) {
                const std::uint32_t word = *reinterpret_cast<const volatile std::uint32_t*>(view_ + i);
                std::memcpy(copy->data() + i, &word, 4);
            }
        }
        if (raw != again) continue;
        LinkRecord r;
        r.uiVersion = at<std::uint32_t>(raw, 0);
        r.uiTick = at<std::uint32_t>(raw, 4);
        // The avatar's three vectors from offset 8, the camera's from its own.
        float* const vectors[] = {r.fAvatarPosition, r.fAvatarFront, r.fAvatarTop,
                                  r.fCameraPosition, r.fCameraFront, r.fCameraTop};
        for (std::size_t v = 0; v < 6; ++v) {
            std::memcpy(vectors[v], &raw[v < 3 ? 8 + 12 * v : kLinkLayout.cameraPosition + 12 * (v - 3)], 12);
        }
        r.context_len = at<std::uint32_t>(raw, kLinkLayout.contextLen);
        r.context.assign(&raw[kLinkLayout.context], &raw[kLinkLayout.context] + std::min(r.context_len, 256u));
        r.name = text(raw, kLinkLayout.name, 256);
        r.identity = text(raw, kLinkLayout.identity, 256);
        r.description = text(raw, kLinkLayout.description, 2048);
        r.raw = raw;
        return r;
    }
    return std::nullopt;
}

std::optional<LinkRecord> LinkProbe::waitFor(const std::function<bool(const LinkRecord&)>& done,
                                             std::chrono::milliseconds timeout) const {
    std::optional<LinkRecord> record;
    pollUntil([&] { return (record = read()) && done(*record); }, timeout);
    return record && done(*record) ? record : std::nullopt;
}

}  // namespace corvane::testing
