#include "common/file_error.h"

namespace corvane {

std::string folderOf(const std::string& path, bool backslash) {
    const std::size_t slash = path.find_last_of(backslash ? "/\\" : "/");
    if (slash == std::string::npos) return ".";
    // "/x" and "C:\x": the folder keeps its slash, which makes it the root.
    const bool root = slash == 0 || (backslash && slash == 2 && path[1] == ':');
    return path.substr(0, root ? slash + 1 : slash);
}

}  // namespace corvane
