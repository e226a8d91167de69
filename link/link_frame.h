#pragma once

#include "link/pose.h"

#include <string>

namespace corvane {

// The input of one publish.
struct LinkFrame {
    Pose pose;
    std::string identity;  // UTF-8 as typed; converted for the record
    std::string context;   // raw bytes
};

}  // namespace corvane
