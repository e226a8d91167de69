#include "cli/sudo_notice.h"

#include "link/linked_mem.h"

#include <cstdlib>

#include <unistd.h>

namespace corvane {

std::string sudoNotice() {
    const char* sudoUid = std::getenv("SUDO_UID");
    return formatSudoNotice(getuid(), sudoUid != nullptr ? sudoUid : "", linkName());
}

}  // namespace corvane
