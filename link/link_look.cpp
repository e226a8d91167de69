#include "link/link_look.h"

#include "common/clock.h"
#include "common/win32_error.h"
#include "link/utf8.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace corvane {
namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

// No sampler is this late; a bigger step means the writer started over.
constexpr std::uint32_t kMaxTickStep = 1000;

void appendUnitEscape(std::string& out, char32_t unit) {
    const int digits = unit > 0xFFFF ? 8 : 4;
    out += digits == 8 ? "\\U" : "\\u";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHexUpper[(unit >> shift) & 0xF];
}


bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool isControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

void appendCode(std::string& out, char32_t code, bool escapeControls) {
    if (isHighSurrogate(code) || isLowSurrogate(code) || code > 0x10FFFF ||
        (escapeControls && isControl(code))) {
        appendUnitEscape(out, code);
    } else {
        appendUtf8(out, code);
    }
}


// The length of the well-formed UTF-8 sequence that `bytes` starts with, 0
// when it starts with none or with a control character.
std::size_t utf8SequenceLength(std::string_view bytes) {
    char32_t code = 0;
    const std::size_t length = decodeUtf8Sequence(bytes, code);
    return length > 0 && !isControl(code) ? length : 0;
}

}  // namespace

LinkOpening openLinkToLook(SharedMemory& memory) {
    LinkOpening opening;
    opening.status = memory.openExisting(linkName(), kLinkedMemSize, opening.code);
    return opening;
}

std::string linkOpeningText(const LinkOpening& opening) {
    const std::string location = sharedMemoryLocation(linkName());
    switch (opening.status) {
    case SharedMemory::Status::Ok:
        return {};
    case SharedMemory::Status::NotFound:
        return "MumbleLink shared memory does not exist: start the bridge or the voice client first.";
    case SharedMemory::Status::NotOwned:
        return "MumbleLink shared memory " + location + " belongs to user " + std::to_string(opening.code) +
               ", not to you; the monitor leaves it alone.";
    case SharedMemory::Status::NotSharedMemory:
        return "MumbleLink shared memory " + location + " is " + kindText(opening.code) +
               ", not shared memory; the monitor leaves it alone.";
    case SharedMemory::Status::MapFailed:
        return win32ErrorText("Could not map MumbleLink shared memory", opening.code);
    case SharedMemory::Status::InUse:  // writers' outcomes; reading never gives them
    case SharedMemory::Status::NoSpace:
    case SharedMemory::Status::TooSmall:  // a short record is sampled, and said so
    case SharedMemory::Status::OpenFailed:
        break;
    }
    return win32ErrorText("Could not open MumbleLink shared memory", opening.code);
}

std::string cutShortText(std::size_t held) {
    return "MumbleLink shared memory " + sharedMemoryLocation(linkName()) + " holds only " +
           std::to_string(held) + " of the record's " + std::to_string(kLinkedMemSize) +
           " bytes: another program cut it short.";
}

TickSamples sampleTwice(const SharedMemory& memory, LinkedMem& record, std::uint32_t spanMs) {
    TickSamples samples;
    samples.held = copyRecord(memory, record);
    samples.first = record.uiTick;
    const std::int64_t firstAt = monotonicNanoseconds();
    sleepMilliseconds(spanMs);
    samples.held = std::min(samples.held, copyRecord(memory, record));
    samples.second = record.uiTick;
    samples.elapsedNs = monotonicNanoseconds() - firstAt;
    return samples;
}

std::optional<std::vector<LinkReader>> readersOnce(const SharedMemory& memory) {
    ReaderScan scan;
    const std::atomic<bool> never{false};
    return scan.find(memory.identity(), never);
}

std::string recordIdentity(const LinkedMem& record, bool escapeControls) {
    return decodeText({record.identity, std::size(record.identity)}, escapeControls);
}

double tickRate(std::uint32_t firstTick, std::uint32_t secondTick, std::int64_t elapsedNs) noexcept {
    if (elapsedNs <= 0) return 0;
    return framesBetween(firstTick, secondTick) * 1e9 / static_cast<double>(elapsedNs);
}

std::string decodeText(std::u16string_view units, bool escapeControls) {
    std::string out;
    for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        char32_t code = units[i];
        if (isHighSurrogate(code) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(units[i + 1]) - 0xDC00);
            ++i;
        }
        appendCode(out, code, escapeControls);
    }
    return out;
}

std::string decodeText(std::u32string_view units, bool escapeControls) {
    std::string out;
    for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        appendCode(out, units[i], escapeControls);
    }
    return out;
}

std::string escapeContext(const LinkedMem& record) {
    const std::size_t count =
        std::min<std::size_t>(record.context_len, std::size(record.context));
    const std::string_view bytes(reinterpret_cast<const char*>(record.context), count);
    std::string out;
    for (std::size_t i = 0; i < count;) {
        const std::size_t length = utf8SequenceLength(bytes.substr(i));
        if (length > 0) {
            out.append(bytes, i, length);
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[i++]);
        out += "\\x";
        out += kHexUpper[byte >> 4];
        out += kHexUpper[byte & 0xF];
    }
    return out;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHexLower[byte >> 4];
                out += kHexLower[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string jsonFloat(float value) {
    if (!std::isfinite(value)) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

std::size_t copyRecord(const SharedMemory& memory, LinkedMem& out, int attempts) noexcept {
    LinkedMem again;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::size_t held = memory.read(&out, sizeof out);
        if (held < sizeof out) return held;
        if (memory.read(&again, sizeof again) == sizeof again &&
            std::memcmp(&out, &again, sizeof out) == 0) {
            break;
        }
    }
    return sizeof out;
}

std::uint32_t framesBetween(std::uint32_t firstTick, std::uint32_t secondTick) noexcept {
    const std::uint32_t step = secondTick - firstTick;
    return step <= kMaxTickStep ? step : 1u;
}

std::string formatLiveness(std::uint32_t firstTick, std::uint32_t secondTick,
                           std::int64_t elapsedNs) {
    if (firstTick == secondTick || elapsedNs <= 0) return "not changing: no bridge is publishing";
    const double rate = tickRate(firstTick, secondTick, elapsedNs);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", rate);
    return std::string("live, ") + buffer + " frames a second";
}

}  // namespace corvane
