#include "tools/link_monitor/monitor_format.h"

#include "link/utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace corvane {
namespace {

constexpr char kHexLower[] = "0123456789abcdef";

constexpr std::int64_t kRateWindowNs = 2'000'000'000;
constexpr std::int64_t kRateMinimumSpanNs = 1'000'000'000;


template <typename Unit, std::size_t N>
std::basic_string_view<Unit> textField(const Unit (&units)[N]) {
    return {units, N};
}

std::string jsonVector(const float (&vector)[3]) {
    std::string out = "[";
    out += jsonFloat(vector[0]);
    out += ',';
    out += jsonFloat(vector[1]);
    out += ',';
    out += jsonFloat(vector[2]);
    out += ']';
    return out;
}

// ,"key":value (no comma before the first key).
void appendMember(std::string& out, std::string_view key, std::string_view value) {
    out += out.empty() ? "{\"" : ",\"";
    out += key;
    out += "\":";
    out += value;
}

std::string jsonMeasure(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", *value);
    return buffer;
}

std::string displayFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", static_cast<double>(value));
    return buffer;
}

std::string displayVector(const float (&vector)[3]) {
    std::string line;
    for (float value : vector) {
        const std::string text = displayFloat(value);
        // Right-aligned columns keep the digits still while the values move.
        line.append(text.size() < 14 ? 14 - text.size() : 1, ' ');
        line += text;
    }
    return line;
}

void addLine(std::string& out, std::string_view label, std::string_view value) {
    out += label;
    out.append(label.size() < 20 ? 20 - label.size() : 1, ' ');
    out += value;
    out += '\n';
}

}  // namespace

std::string recordHex(const LinkedMem& record) {
    unsigned char bytes[sizeof(LinkedMem)];
    std::memcpy(bytes, &record, sizeof bytes);
    std::string out;
    out.reserve(2 * sizeof bytes);
    for (unsigned char byte : bytes) {
        out += kHexLower[byte >> 4];
        out += kHexLower[byte & 0xF];
    }
    return out;
}

std::string formatJson(const LinkedMem& record, const FrameTiming& timing,
                       const std::optional<std::string>& readers) {
    std::string out;
    out.reserve(2 * sizeof(LinkedMem) + 1024);
    appendMember(out, "version", std::to_string(record.uiVersion));
    appendMember(out, "tick", std::to_string(record.uiTick));
    appendMember(out, "framesPerSecond", jsonMeasure(timing.framesPerSecond));
    appendMember(out, "sinceLastFrameMs", jsonMeasure(timing.sinceLastFrameMs));
    appendMember(out, "avatarPosition", jsonVector(record.fAvatarPosition));
    appendMember(out, "avatarFront", jsonVector(record.fAvatarFront));
    appendMember(out, "avatarTop", jsonVector(record.fAvatarTop));
    appendMember(out, "cameraPosition", jsonVector(record.fCameraPosition));
    appendMember(out, "cameraFront", jsonVector(record.fCameraFront));
    appendMember(out, "cameraTop", jsonVector(record.fCameraTop));
    appendMember(out, "identity", jsonString(decodeText(textField(record.identity))));
    appendMember(out, "context", jsonString(escapeContext(record)));
    appendMember(out, "contextLen", std::to_string(record.context_len));
    appendMember(out, "name", jsonString(decodeText(textField(record.name))));
    appendMember(out, "description", jsonString(decodeText(textField(record.description))));
    std::string readersText = readers.value_or(std::string());
    if (readersText.ends_with('\n')) readersText.pop_back();
    appendMember(out, "readers", readers ? jsonString(readersText) : "null");
    appendMember(out, "raw", jsonString(recordHex(record)));
    out += '}';
    return out;
}

std::string formatDisplay(const LinkedMem& record, const FrameTiming& timing,
                          std::string_view liveness) {
    std::string out;
    addLine(out, "Version", std::to_string(record.uiVersion));
    addLine(out, "Tick", std::to_string(record.uiTick));
    if (!liveness.empty()) {
        addLine(out, "Bridge", liveness);
    } else {
        char buffer[64];
        if (timing.framesPerSecond) {
            std::snprintf(buffer, sizeof buffer, "%.1f", *timing.framesPerSecond);
            addLine(out, "New frames/s", buffer);
        } else {
            addLine(out, "New frames/s", "(measuring)");
        }
        if (timing.sinceLastFrameMs) {
            std::snprintf(buffer, sizeof buffer, "%.1f ms", *timing.sinceLastFrameMs);
            addLine(out, "Since last frame", buffer);
        } else {
            addLine(out, "Since last frame", "(no new frame seen)");
        }
    }
    addLine(out, "Avatar position", displayVector(record.fAvatarPosition));
    addLine(out, "Avatar front", displayVector(record.fAvatarFront));
    addLine(out, "Avatar top", displayVector(record.fAvatarTop));
    addLine(out, "Camera position", displayVector(record.fCameraPosition));
    addLine(out, "Camera front", displayVector(record.fCameraFront));
    addLine(out, "Camera top", displayVector(record.fCameraTop));
    addLine(out, "Identity", decodeText(textField(record.identity), true));
    std::string context = escapeContext(record);
    context += "  (";
    context += std::to_string(record.context_len);
    context += " bytes)";
    addLine(out, "Context", context);
    addLine(out, "Name", decodeText(textField(record.name), true));
    addLine(out, "Description", decodeText(textField(record.description), true));
    return out;
}

void FrameRateMeter::addSample(std::int64_t timeNs, std::uint32_t tick) {
    if (!firstSampleNs_) {
        firstSampleNs_ = timeNs;
        lastSampleNs_ = timeNs;
        lastTick_ = tick;
        return;
    }
    if (timeNs < lastSampleNs_) return;
    lastSampleNs_ = timeNs;
    if (tick != lastTick_) {
        changes_.push_back({timeNs, framesBetween(lastTick_, tick)});
        lastTick_ = tick;
        lastChangeNs_ = timeNs;
    }
    while (!changes_.empty() && changes_.front().timeNs <= timeNs - kRateWindowNs) {
        changes_.pop_front();
    }
}

std::optional<double> FrameRateMeter::framesPerSecond() const {
    if (!firstSampleNs_) return std::nullopt;
    const std::int64_t span = lastSampleNs_ - *firstSampleNs_;
    if (span < kRateMinimumSpanNs) return std::nullopt;
    const std::int64_t window = std::min(span, kRateWindowNs);
    std::uint64_t frames = 0;
    for (const Change& change : changes_) frames += change.frames;
    return static_cast<double>(frames) * 1e9 / static_cast<double>(window);
}

std::optional<double> FrameRateMeter::sinceLastFrameMs() const {
    if (!lastChangeNs_) return std::nullopt;
    return static_cast<double>(lastSampleNs_ - *lastChangeNs_) / 1e6;
}

}  // namespace corvane
