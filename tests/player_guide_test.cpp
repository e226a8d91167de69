// The player guide as players read it, player-guide.html: every command they
// copy from it is exactly the one in release/player-guide.md, and every table
// is a table.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
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

TEST(PlayerGuide, EveryCommandIsWholeAndAloneInAPreAndEveryTableATable) {
    const std::string markdown = fileText(CORVANE_GUIDE_MARKDOWN), html = fileText(CORVANE_GUIDE_HTML);
    // Each fenced block's lines without the fence's indentation (a list item's).
    std::vector<std::string> blocks, shown;
    const std::regex fenced("\n( *)```[a-z]*\n([\\s\\S]*?\n)\\1```");
    for (std::sregex_iterator it(markdown.begin(), markdown.end(), fenced), end; it != end; ++it) {
        blocks.push_back(std::regex_replace((*it)[2].str(), std::regex("(^|\n)" + (*it)[1].str()), "$1"));
    }
    // Each <pre>'s text as a browser shows it.
    const std::regex pre("<pre>(?:<code[^>]*>)?([\\s\\S]*?)(?:</code>)?</pre>");
    for (std::sregex_iterator it(html.begin(), html.end(), pre), end; it != end; ++it) {
        std::string text = (*it)[1];
        for (const auto& [escape, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
            text = std::regex_replace(text, std::regex(escape), character);
        }
        shown.push_back(text);
    }
    EXPECT_GE(blocks.size(), 10u);  // so that a reading that finds none fails
    EXPECT_EQ(shown, blocks);

    // Every table: the row of dashes under its head in the Markdown, a <table> in the HTML.
    const std::regex dashes("\n\\|[-| :]+\\|\n"), table("<table>");
    const auto tables = std::distance(std::sregex_iterator(markdown.begin(), markdown.end(), dashes), {});
    EXPECT_GE(tables, 3);
    EXPECT_EQ(std::distance(std::sregex_iterator(html.begin(), html.end(), table), {}), tables);
}

}  // namespace
