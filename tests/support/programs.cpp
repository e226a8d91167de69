#include "tests/support/programs.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace corvane::testing {

namespace {

// Where the fields lie, text units of textUnit bytes. Linux (4-byte wchar_t):
//   uiVersion 0, uiTick 4, fAvatarPosition 8, fAvatarFront 20, fAvatarTop 32,
//   name 44 (256 x 4), fCameraPosition 1068, fCameraFront 1080, fCameraTop 1092,
//   identity 1104 (256 x 4), context_len 2128, context 2132 (256),
//   description 2388 (2048 x 4); 10580 bytes.
// Windows: the same fields with UTF-16 text, so name 44 (256 x 2),
//   fCameraPosition 556, identity 592, context_len 1104, context 1108,
//   description 1364 (2048 x 2); 5460 bytes.
struct LinkLayout {
    std::size_t size, textUnit, name, cameraPosition, identity, contextLen, context, description;
};
constexpr LinkLayout kLinkLayout = sizeof(wchar_t) == 4
    ? LinkLayout{10580, 4, 44, 1068, 1104, 2128, 2132, 2388}
    : LinkLayout{5460, 2, 44, 556, 592, 1104, 1108, 1364};

template <typename T>
T at(const std::vector<unsigned char>& raw, std::size_t offset) {
    T value;
    std::memcpy(&value, raw.data() + offset, sizeof value);
    return value;
}

// UTF-32, or UTF-16 with its surrogate pairs joined, up to the first NUL.
std::u32string text(const std::vector<unsigned char>& raw, std::size_t offset, std::size_t units) {
    std::u32string out;
    for (std::size_t i = 0; i < units; ++i) {
        const std::size_t unit = offset + i * kLinkLayout.textUnit;
        char32_t c = kLinkLayout.textUnit == 4 ? at<char32_t>(raw, unit) : at<char16_t>(raw, unit);
        if (c == 0) break;
        if (kLinkLayout.textUnit == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            c = 0x10000 + ((c - 0xD800) << 10) + (at<char16_t>(raw, offset + ++i * 2) - 0xDC00);
        }
        out += c;
    }
    return out;
}

// Wine's C runtime writes "\r\n" for "\n".
std::string unixLines(std::string text) {
    for (auto at = text.find("\r\n"); at != text.npos; at = text.find("\r\n", at)) text.erase(at, 1);
    return text;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::filesystem::path uniqueTempFile() {
    return std::filesystem::temp_directory_path() /
           ("corvane-child-" + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}()));
}

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    return true;
}

std::string ChildProcess::output() const { return readFile(files_[0]); }

std::string ChildProcess::errorOutput() const { return unixLines(readFile(files_[1])); }

// Once the child has ended its output is all there.
bool ChildProcess::waitForOutput(const std::function<bool(const std::string&)>& ready,
                                 std::chrono::milliseconds timeout) {
    pollUntil([&] { return ready(output()) || !running(); }, timeout);
    return ready(output());
}

std::optional<LinkRecord> LinkProbe::read() const {
    // The writer may be storing a frame while we copy; a few tries find a quiet
    // moment between its frames, 20 ms apart. Word by word through volatile,
    // so the compiler neither merges nor skips the two copies.
    std::vector<unsigned char> raw(kLinkLayout.size), again(kLinkLayout.size);
    for (int attempt = 0; view_ != nullptr && attempt < 20; ++attempt) {
        for (auto* copy : {&raw, &again}) {
            for (std::size_t i = 0; i < kLinkLayout.size; i += 4) {
                const std::uint32_t word = *reinterpret_cast<const volatile std::uint32_t*>(view_ + i);
                std::memcpy(copy->data() + i, &word, 4);
            }
        }
        if (raw != again) continue;
        LinkRecord r;
        r.uiVersion = at<std::uint32_t>(raw, 0);
        r.uiTick = at<std::uint32_t>(raw, 4);
        // The avatar's three vectors from offset 8, the camera's from its own.
        float* const vectors[] = {r.fAvatarPosition, r.fAvatarFront, r.fAvatarTop,
                                  r.fCameraPosition, r.fCameraFront, r.fCameraTop};
        for (std::size_t v = 0; v < 6; ++v) {
            std::memcpy(vectors[v], &raw[v < 3 ? 8 + 12 * v : kLinkLayout.cameraPosition + 12 * (v - 3)], 12);
        }
        r.context_len = at<std::uint32_t>(raw, kLinkLayout.contextLen);
        r.context.assign(&raw[kLinkLayout.context], &raw[kLinkLayout.context] + std::min(r.context_len, 256u));
        r.name = text(raw, kLinkLayout.name, 256);
        r.identity = text(raw, kLinkLayout.identity, 256);
        r.description = text(raw, kLinkLayout.description, 2048);
        r.raw = raw;
        return r;
    }
    return std::nullopt;
}

std::optional<LinkRecord> LinkProbe::waitFor(const std::function<bool(const LinkRecord&)>& done,
                                             std::chrono::milliseconds timeout) const {
    std::optional<LinkRecord> record;
    pollUntil([&] { return (record = read()) && done(*record); }, timeout);
    return record && done(*record) ? record : std::nullopt;
}

::testing::AssertionResult startBridge(ChildProcess& bridge, LinkProbe& probe,
                                       std::vector<std::string> args) {
    args.insert(args.begin(), bridgePath());
    std::string error;
    // The bridge makes the link: open it as soon as it is there, then wait for
    // a new frame, as the link may still hold an earlier run's last one.
    if (bridge.start(args, error) &&
        pollUntil([&] { return probe.open(error) || !bridge.running(); }, kStartTimeout) &&
        bridge.running()) {
        const std::uint32_t before = probe.read().value_or(LinkRecord{}).uiTick;
        const auto fresh = [before](const LinkRecord& r) { return r.uiTick != before; };
        if (probe.waitFor(fresh, kStartTimeout)) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "No frame was published. " << error << " "
                                         << bridge.errorOutput();
}

::testing::AssertionResult awaitOutput(ChildProcess& child, const std::string& text, std::size_t from) {
    const auto has = [&](const std::string& out) { return out.find(text, from) != out.npos; };
    if (child.waitForOutput(has, kStepTimeout)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "No \"" << text << "\" in: " << child.output();
}

::testing::AssertionResult awaitFile(const std::string& path, const std::string& text) {
    if (pollUntil([&] { return readFile(path).find(text) != std::string::npos; }, kStepTimeout)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "No \"" << text << "\" in: " << readFile(path);
}

void expectPose(const LinkRecord& r, std::vector<float> pose, float tolerance) {
    pose.insert(pose.end(), {0, 1, 0});
    const float* const fields[] = {r.fAvatarPosition, r.fAvatarFront, r.fAvatarTop,
                                   r.fCameraPosition, r.fCameraFront, r.fCameraTop};
    for (std::size_t i = 0; i < 18; ++i) {
        EXPECT_NEAR(fields[i / 3][i % 3], pose[i % 9], tolerance) << "float " << i << " of 18";
    }
}

::testing::AssertionResult stopBridge(ChildProcess& bridge) {
    const bool signalled = bridge.signal(SIGINT);
    if (!signalled) bridge.kill();
    const std::optional<int> code = bridge.wait(kExitTimeout);
    if (code && (*code == 0 || !signalled) && bridge.errorOutput().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "The bridge ended with " << code.value_or(-1)
                                         << " and said: " << bridge.errorOutput();
}

Finished runToEnd(const std::vector<std::string>& args) {
    ChildProcess child;
    Finished finished;
    if (!child.start(args, finished.errorOutput)) return finished;
    return {child.wait(kExitTimeout), unixLines(child.output()), child.errorOutput()};  // in this order
}

std::string fakeGameProgram() {
    const char* const game = std::getenv("CORVANE_GAME");
    return game != nullptr ? game : siblingProgram("Wow.exe");
}

bool isWindowsProgram(const std::string& program) { return readFile(program).starts_with("MZ"); }

std::vector<std::string> fakeGameCommand(const std::string& program) {
    const char* const loader = std::getenv("CORVANE_GAME_LOADER");
    if (loader != nullptr && std::getenv("CORVANE_GAME") != nullptr) return {loader, program};
    return {program};
}

::testing::AssertionResult FakeGame::start(std::vector<std::string> command) {
    if (command.empty()) command = fakeGameCommand(fakeGameProgram());
    std::string error;
    if (process_.start(command, error) && ask("") == "ready") return ::testing::AssertionSuccess();
    const std::optional<int> ended = process_.wait(std::chrono::milliseconds{0});
    return ::testing::AssertionFailure() << "The fake game did not start. " << error << " Output: \""
                                         << process_.output() << "\"; " << (ended ? "ended with " + std::to_string(*ended) : "runs")
                                         << ". " << process_.errorOutput();
}

// Each answer is one line; an empty command only waits for the next one.
std::string FakeGame::ask(const std::string& command) {
    const std::size_t from = process_.output().size();
    if (!command.empty() && !process_.writeInput(command + "\n")) return "(not sent)";
    process_.waitForOutput([from](const std::string& out) { return out.find('\n', from) != out.npos; },
                           command.empty() ? kStartTimeout : kStepTimeout);
    const std::string out = process_.output();
    return out.substr(from, out.find_first_of("\r\n", from) - from);
}

::testing::AssertionResult FakeGame::send(std::initializer_list<std::string> commands) {
    for (const std::string& command : commands) {
        const std::string answer = ask(command);
        if (answer != "ok") return ::testing::AssertionFailure() << command << ": " << answer;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace corvane::testing
