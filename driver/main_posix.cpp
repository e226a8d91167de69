#include "driver/bridge.h"

#include <iostream>

int main(int argc, char** argv) { return corvane::runBridge(argc, argv, std::cout, std::cerr); }
