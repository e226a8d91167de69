// Arbitrary argument vectors through the command-line parser. The input is
// split at zero bytes into arguments; each argument and the vector itself get
// allocations of exactly their size, so any read past argc or past an
// argument's terminator is caught by AddressSanitizer. The outcome, every
// field and the error text are compared with the option table.

#include "driver/options.h"
#include "fuzz/fuzz_check.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using corvane::BridgeOptions;
using corvane::ParseOutcome;

struct NumberOption {
    const char* name;
    float BridgeOptions::*field;
};
constexpr NumberOption kNumberOptions[] = {
    {"--wow-scale", &BridgeOptions::wowScale}, {"--x", &BridgeOptions::x},
    {"--y", &BridgeOptions::y},                {"--z", &BridgeOptions::z},
    {"--yaw", &BridgeOptions::yaw},            {"--radius", &BridgeOptions::radius},
    {"--speed", &BridgeOptions::speed},
};

struct Expected {
    ParseOutcome outcome = ParseOutcome::Run;
    BridgeOptions options;
    std::string err;
};

// strtof in the "C" locale: anything it converts within float range.
bool convert(const std::string& text, float& field) {
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || errno == ERANGE) return false;
    field = value;
    return true;
}

Expected expectedFor(const std::vector<std::string>& args) {
    Expected expected;
    BridgeOptions& options = expected.options;
    const auto invalid = [&expected]() -> Expected& {
        expected.outcome = ParseOutcome::Invalid;
        return expected;
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            expected.outcome = ParseOutcome::Help;
            return expected;
        }
        if (arg == "--wow") {
            options.wow = true;
            continue;
        }
        if (arg == "--orbit") {
            options.orbit = true;
            continue;
        }
        if (arg == "--identity" || arg == "--context") {
            if (!hasValue) return invalid();
            (arg == "--identity" ? options.identity : options.context) = args[++i];
            continue;
        }
        const NumberOption* number = nullptr;
        for (const NumberOption& candidate : kNumberOptions) {
            if (arg == candidate.name) number = &candidate;
        }
        if (number == nullptr) {
            expected.err = "Unknown option: " + arg + "\n";
            return invalid();
        }
        if (!hasValue) return invalid();
        if (!convert(args[++i], options.*(number->field))) return invalid();
    }
    return expected;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Arguments are C strings, so zero bytes separate them. An empty input
    // stands for a vector without even the program name.
    std::vector<std::string> args;
    if (size > 0) {
        args.emplace_back("CorvaneVoiceBridge");
        const char* text = reinterpret_cast<const char*>(data);
        std::size_t start = 0;
        for (std::size_t i = 0; i <= size; ++i) {
            if (i == size || text[i] == '\0') {
                args.emplace_back(text + start, i - start);
                start = i + 1;
            }
        }
    }

    const int argc = static_cast<int>(args.size());
    std::vector<std::unique_ptr<char[]>> storage;
    std::unique_ptr<const char*[]> argv(argc > 0 ? new const char*[args.size()] : nullptr);
    for (std::size_t i = 0; i < args.size(); ++i) {
        storage.emplace_back(new char[args[i].size() + 1]);
        std::memcpy(storage.back().get(), args[i].c_str(), args[i].size() + 1);
        argv[i] = storage.back().get();
    }

    BridgeOptions options;
    std::ostringstream err;
    const ParseOutcome outcome = corvane::parseCommandLine(argc, argv.get(), options, err);
    const Expected expected = expectedFor(args);

    CORVANE_FUZZ_CHECK(outcome == expected.outcome);
    CORVANE_FUZZ_CHECK(err.str() == expected.err);
    // Fields set before a failure or a help request stay set.
    const BridgeOptions& want = expected.options;
    CORVANE_FUZZ_CHECK(options.identity == want.identity);
    CORVANE_FUZZ_CHECK(options.context == want.context);
    CORVANE_FUZZ_CHECK(options.wow == want.wow);
    CORVANE_FUZZ_CHECK(options.orbit == want.orbit);
    for (const NumberOption& number : kNumberOptions) {
        CORVANE_FUZZ_CHECK(sameBits(options.*(number.field), want.*(number.field)));
    }
    return 0;
}
