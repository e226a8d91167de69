#include "driver/bridge.h"

int main(int argc, char** argv) { return corvane::runBridge(argc, argv); }
