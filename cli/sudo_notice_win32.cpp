#include "cli/sudo_notice.h"

namespace corvane {

std::string sudoNotice() { return {}; }

}  // namespace corvane
