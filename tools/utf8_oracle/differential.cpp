// The native half of the UTF-8 differential check: writes the seeded set of
// byte strings, and later compares our decoder's result on each with the
// verdicts that utf8_oracle.exe wrote under Windows (or wine).
//
//   utf8_differential generate SEED CASES
//   utf8_differential compare CASES VERDICTS

#include "link/utf8.h"
#include "tools/utf8_oracle/utf8_cases.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

std::string hex(const std::string& text) {
    std::ostringstream out;
    out << std::hex << std::uppercase << std::setfill('0');
    for (std::size_t i = 0; i < text.size() && i < 24; ++i) {
        out << (i ? " " : "") << std::setw(2) << (static_cast<unsigned>(text[i]) & 0xFF);
    }
    if (text.size() > 24) out << " ... (" << std::dec << text.size() << " bytes)";
    return out.str();
}

std::string units(bool accepted, const std::u16string& text) {
    if (!accepted) return "rejected";
    std::ostringstream out;
    out << std::hex << std::uppercase << std::setfill('0');
    for (std::size_t i = 0; i < text.size() && i < 12; ++i) {
        out << (i ? " " : "") << std::setw(4) << static_cast<unsigned>(text[i]);
    }
    if (text.size() > 12) out << " ...";
    return out.str();
}

int generate(const char* seedText, const char* path) {
    const std::uint64_t seed = std::strtoull(seedText, nullptr, 0);
    const std::vector<std::string> cases = corvane::utf8cases::generate(seed);
    std::ofstream out(path, std::ios::binary);
    corvane::utf8cases::writeCases(out, cases);
    if (!out.flush()) {
        std::cerr << "utf8_differential: cannot write " << path << "\n";
        return 2;
    }
    std::cout << cases.size() << " strings written (seed " << seed << ")\n";
    return 0;
}

int compare(const char* casesPath, const char* verdictsPath) {
    std::ifstream casesIn(casesPath, std::ios::binary);
    std::vector<std::string> cases;
    if (!casesIn || !corvane::utf8cases::readCases(casesIn, cases)) {
        std::cerr << "utf8_differential: cannot read " << casesPath << "\n";
        return 2;
    }
    std::ifstream verdictsIn(verdictsPath, std::ios::binary);
    std::size_t accepted = 0;
    std::size_t rejected = 0;
    std::size_t disagreements = 0;
    for (const std::string& text : cases) {
        corvane::utf8cases::Verdict windows;
        if (!corvane::utf8cases::readVerdict(verdictsIn, windows)) {
            std::cerr << "utf8_differential: " << verdictsPath << " ends after "
                      << accepted + rejected + disagreements << " of " << cases.size()
                      << " verdicts\n";
            return 2;
        }
        const bool windowsAccepts = windows.units > 0;
        if (!windowsAccepts && windows.error != kErrorNoUnicodeTranslation) {
            std::cerr << "utf8_differential: MultiByteToWideChar failed with error "
                      << windows.error << " on " << hex(text) << "\n";
            return 2;
        }
        std::u16string ours;
        const bool weAccept = corvane::platformUtf8ToUtf16(text, ours);
        if (weAccept == windowsAccepts && (!weAccept || ours == windows.text)) {
            ++(weAccept ? accepted : rejected);
            continue;
        }
        if (++disagreements <= 20) {
            std::cout << "DISAGREE " << hex(text) << "\n  ours:    " << units(weAccept, ours)
                      << "\n  windows: " << units(windowsAccepts, windows.text) << "\n";
        }
    }
    std::cout << cases.size() << " strings: " << accepted << " accepted by both, " << rejected
              << " rejected by both, " << disagreements << " disagreements\n";
    return disagreements == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 4) return generate(argv[2], argv[3]);
    if (mode == "compare" && argc == 4) return compare(argv[2], argv[3]);
    std::cerr << "usage: utf8_differential generate SEED CASES\n"
                 "       utf8_differential compare CASES VERDICTS\n";
    return 2;
}
