#include "common/file_error.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace corvane {

std::string fileErrorText(std::uint32_t code, const std::string& path) {
    const int error = static_cast<int>(code);
    struct stat info {};
    switch (error) {
    case ENOENT:  // the file's, or its folder's: a file made anew (the log) fails only for the folder
        return ::stat(folderOf(path, false).c_str(), &info) == 0 && S_ISDIR(info.st_mode)
                   ? "it does not exist"
                   : "its folder does not exist";
    case ENOTDIR:  // a part of the path that should be a folder is not one
        return "its folder does not exist";
    case EACCES:
    case EPERM:
        return "access is denied";
    case EISDIR:
        return "it is a folder";
    case ENXIO:  // a socket, or a FIFO that nobody reads
        return "it is not a file";
    default:
        return std::strerror(error);
    }
}

}  // namespace corvane
