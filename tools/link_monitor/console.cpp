#include "tools/link_monitor/console.h"

namespace corvane {

// Home, each line cleared to its end, then everything below cleared: the
// view is rewritten in place without flicker.
std::string redrawnWithEscapes(std::string_view view, bool first) {
    std::string out = first ? "\x1b[2J\x1b[H" : "\x1b[H";
    std::size_t start = 0;
    for (std::size_t end = view.find('\n'); end != std::string_view::npos;
         start = end + 1, end = view.find('\n', start)) {
        out.append(view, start, end - start);
        out += "\x1b[K\n";
    }
    out += "\x1b[J";
    return out;
}

}  // namespace corvane
