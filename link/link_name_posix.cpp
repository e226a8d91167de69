#include "link/linked_mem.h"

#include <unistd.h>

namespace corvane {

// Per user, as the Linux voice client names it, so two users' links never meet.
std::string linkName() { return "MumbleLink." + std::to_string(getuid()); }

}  // namespace corvane
