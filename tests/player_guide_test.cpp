// The player guide as players read it, player-guide.html: every command they
// copy from it must be exactly the one in release/player-guide.md, and every
// table a table.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string fileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Each fenced block's text, its lines without the fence's indentation (the
// list item's), each ending in a line feed.
std::vector<std::string> fencedBlocks(const std::string& markdown) {
    std::vector<std::string> blocks;
    std::size_t indent = std::string::npos;  // npos: outside a block
    for (const std::string& line : linesOf(markdown)) {
        const std::size_t at = line.find_first_not_of(' ');
        const bool fence = at != std::string::npos && line.compare(at, 3, "```") == 0;
        if (indent == std::string::npos) {
            if (fence) blocks.emplace_back(), indent = at;
        } else if (fence && at == indent) {
            indent = std::string::npos;
        } else {
            blocks.back() += line.substr(std::min(indent, line.size())) + "\n";
        }
    }
    return blocks;
}

// The text between each `open` and the `close` after it.
std::vector<std::string> elements(const std::string& html, const std::string& open,
                                  const std::string& close) {
    std::vector<std::string> found;
    for (std::size_t at = html.find(open); at != std::string::npos; at = html.find(open, at)) {
        const std::size_t end = html.find(close, at);
        if (end == std::string::npos) break;
        found.push_back(html.substr(at + open.size(), end - at - open.size()));
        at = end;
    }
    return found;
}

// A <pre>'s text as the browser shows it: without the <code> round it and
// with HTML's escapes undone.
std::string shownText(std::string pre) {
    if (pre.starts_with("<code")) pre = pre.substr(pre.find('>') + 1);
    if (pre.ends_with("</code>")) pre.resize(pre.size() - 7);
    std::string shown;
    for (std::size_t i = 0; i < pre.size(); ++i) {
        bool replaced = false;
        for (const auto& [escape, character] :
             {std::pair{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}}) {
            if (pre.compare(i, std::string(escape).size(), escape) == 0) {
                shown += character;
                i += std::string(escape).size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) shown += pre[i];
    }
    return shown;
}

TEST(PlayerGuide, EveryCommandIsWholeInAPreAndEveryTableATable) {
    const std::string markdown = fileText(CORVANE_GUIDE_MARKDOWN);
    const std::string html = fileText(CORVANE_GUIDE_HTML);
    ASSERT_FALSE(markdown.empty());
    ASSERT_FALSE(html.empty());

    // In order, one <pre> for each block, holding that block alone.
    const std::vector<std::string> blocks = fencedBlocks(markdown);
    std::vector<std::string> shown;
    for (const std::string& pre : elements(html, "<pre>", "</pre>")) shown.push_back(shownText(pre));
    EXPECT_GE(blocks.size(), 10u);  // the guide's own count, so a broken reading shows
    EXPECT_EQ(shown, blocks);

    // A table is a row of cells above a row of dashes; each has its <table>
    // with as many rows.
    std::vector<std::size_t> tableRows;
    bool inTable = false;
    for (const std::string& line : linesOf(markdown)) {
        if (!line.starts_with("|")) {
            inTable = false;
        } else if (line.starts_with("|---")) {
            inTable = true;
            tableRows.push_back(1);
        } else if (inTable) {
            ++tableRows.back();
        }
    }
    std::vector<std::size_t> htmlRows;
    for (const std::string& table : elements(html, "<table>", "</table>")) {
        htmlRows.push_back(elements(table, "<tr>", "</tr>").size());
    }
    EXPECT_GE(tableRows.size(), 3u);
    EXPECT_EQ(htmlRows, tableRows);
}

}  // namespace
