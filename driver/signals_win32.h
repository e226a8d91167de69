#pragma once
// Windows: what the console control handler does with each event, apart from
// the handler's installation so that tests can drive it.

#include <chrono>
#include <cstdint>

namespace corvane {

// Ctrl-C and Ctrl-Break, closing the console window, logoff and shutdown each
// stop the bridge through the function installStopSignals was given. The last
// three end the process once the handler returns, so the handler first waits,
// at most `wait`, until stopHandled() says the stop frame is published. False
// for an event that is not a stop.
bool handleConsoleControl(std::uint32_t event, std::chrono::milliseconds wait) noexcept;

}  // namespace corvane
