// Windows' own verdict on byte strings as UTF-8: MultiByteToWideChar with
// CP_UTF8 and MB_ERR_INVALID_CHARS, called the way the bridge calls it (count
// first, then convert into a buffer of exactly that size).
//
//   utf8_oracle [CASES [VERDICTS]]    (missing or "-": standard input/output)

#include "common/windows_support.h"
#include "tools/utf8_oracle/utf8_cases.h"

#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

corvane::utf8cases::Verdict convert(const std::string& text) {
    corvane::utf8cases::Verdict verdict;
    const int length = static_cast<int>(text.size());
    SetLastError(0);
    verdict.units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (verdict.units <= 0) {
        verdict.units = 0;
        verdict.error = GetLastError();
        return verdict;
    }
    std::wstring units(static_cast<std::size_t>(verdict.units), L'\0');
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                                            units.data(), verdict.units);
    if (written != verdict.units) {
        // The two calls disagree: report it as a refusal the comparer cannot
        // mistake for an ordinary one.
        verdict.units = 0;
        verdict.error = 0xFFFFFFFFu;
        return verdict;
    }
    verdict.text.assign(units.begin(), units.end());
    return verdict;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string inputName = argc > 1 ? argv[1] : "-";
    const std::string outputName = argc > 2 ? argv[2] : "-";

    std::vector<std::string> cases;
    bool readOk = false;
    if (inputName == "-") {
        std::ostringstream all;
        _setmode(_fileno(stdin), _O_BINARY);
        all << std::cin.rdbuf();
        std::istringstream in(all.str());
        readOk = corvane::utf8cases::readCases(in, cases);
    } else {
        std::ifstream in(inputName, std::ios::binary);
        readOk = in && corvane::utf8cases::readCases(in, cases);
    }
    if (!readOk) {
        std::cerr << "utf8_oracle: cannot read the cases from " << inputName << "\n";
        return 2;
    }

    std::ostringstream verdicts;
    for (const std::string& text : cases) {
        if (text.size() > static_cast<std::size_t>(INT_MAX)) return 2;
        corvane::utf8cases::writeVerdict(verdicts, convert(text));
    }
    const std::string data = verdicts.str();
    if (outputName == "-") {
        _setmode(_fileno(stdout), _O_BINARY);
        std::fwrite(data.data(), 1, data.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    std::ofstream out(outputName, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return out.flush() ? 0 : 2;
}
