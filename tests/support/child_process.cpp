#include "tests/support/child_process.h"

#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace corvane::testing {

namespace {
std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

// Names no other test process picks, in this run or any other.
void detail::nameOutputFiles(std::filesystem::path (&files)[2]) {
    const std::string name = "corvane-child-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(std::random_device{}());
    files[0] = std::filesystem::temp_directory_path() / (name + ".out");
    files[1] = std::filesystem::temp_directory_path() / (name + ".err");
}

std::string ChildProcess::output() const { return readFile(files_[0]); }

std::string ChildProcess::errorOutput() const { return readFile(files_[1]); }

bool ChildProcess::waitForOutput(const std::function<bool(const std::string&)>& ready,
                                 std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready(output())) {
        // Once the child has ended its output is all there.
        if (!running() || std::chrono::steady_clock::now() >= deadline) return ready(output());
        std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    return true;
}

std::string siblingProgram(const std::string& name) {
    const std::filesystem::path self = detail::runningExecutable();
    std::filesystem::path sibling = self.parent_path() / std::u8string(name.begin(), name.end());
    if (!sibling.has_extension()) sibling += self.extension();
    const std::u8string text = sibling.u8string();
    return {text.begin(), text.end()};
}

}  // namespace corvane::testing
