// The player guide as players read it, player-guide.html: every command they
// copy from it is exactly the one in release/player-guide.md, and every table
// is a table.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string fileText(const char* path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// The text between each `open` and the `close` after it.
std::vector<std::string> between(const std::string& text, const std::string& open, const std::string& close) {
    std::vector<std::string> found;
    for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
        const std::size_t end = text.find(close, at);
        if (end == std::string::npos) break;
        found.push_back(text.substr(at + open.size(), end - at - open.size()));
        at = end;
    }
    return found;
}

TEST(PlayerGuide, EveryCommandIsWholeAndAloneInAPreAndEveryTableATable) {
    const std::string markdown = fileText(CORVANE_GUIDE_MARKDOWN), html = fileText(CORVANE_GUIDE_HTML);
    // Each fenced block's lines without the fence's indentation (a list item's);
    // and the rows of dashes under the tables' heads.
    std::vector<std::string> blocks, shown;
    std::size_t indent = std::string::npos, tables = 0;  // npos: outside a block
    std::istringstream lines(markdown);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find_first_not_of(' ');
        const bool fence = at != std::string::npos && line.compare(at, 3, "```") == 0;
        if (indent == std::string::npos && fence) {
            blocks.emplace_back();
            indent = at;
        } else if (fence && at == indent) {
            indent = std::string::npos;
        } else if (indent != std::string::npos) {
            blocks.back() += line.substr(std::min(indent, line.size())) + "\n";
        }
        tables += line.starts_with("|-") && line.find_first_not_of("|-: ") == std::string::npos ? 1 : 0;
    }
    // Each <pre>'s text as a browser shows it.
    for (std::string text : between(html, "<pre>", "</pre>")) {
        if (text.starts_with("<code")) text.erase(0, text.find('>') + 1);
        if (text.ends_with("</code>")) text.resize(text.size() - 7);
        for (const auto& [escape, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
            for (std::size_t at = 0; (at = text.find(escape, at)) != std::string::npos; ++at) {
                text.replace(at, std::string(escape).size(), character);
            }
        }
        shown.push_back(text);
    }
    EXPECT_GE(blocks.size(), 10u);  // so that a reading that finds none fails
    EXPECT_EQ(shown, blocks);
    EXPECT_GE(tables, 3u);
    EXPECT_EQ(between(html, "<table>", "</table>").size(), tables);
}

}  // namespace
