#include "link/linked_mem.h"

namespace corvane {

// No namespace prefix: the voice client opens exactly this name.
std::string linkName() { return "MumbleLink"; }

}  // namespace corvane
