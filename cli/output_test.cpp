#include "cli/async_writer.h"
#include "cli/log_file.h"
#include "cli/output.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <tuple>

namespace corvane {
namespace {

using namespace std::chrono_literals;

// A reader that takes text only while it is let through.
struct Reader {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    bool asked = false;  // a write has come, taken or held
    std::string taken;
    bool take(std::string_view text) {
        std::unique_lock lock(mutex);
        asked = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
        taken += text;
        return true;
    }
    void setOpen(bool value) {
        const std::lock_guard lock(mutex);
        open = value;
        changed.notify_all();
    }
    std::string text() {
        const std::lock_guard lock(mutex);
        return taken;
    }
};

auto sinkOf(Reader& reader) {
    return [&reader](std::string_view text) { return reader.take(text); };
}

// A reader that stops reading holds nothing up: what waits is bounded, the
// newest status line replaces the one still waiting for the same stream (not
// another stream's text), and flushing gives up at its deadline. Once it reads
// again, everything kept comes in the order posted, whichever stream.
TEST(AsyncWriter, NeverWaitsOnAReaderAndKeepsWhatFitsInOrder) {
    Reader reader;
    reader.setOpen(false);
    const auto tagged = [&reader](std::string_view text) {
        std::string line = "E";
        line.append(text);
        return reader.take(line);
    };
    AsyncWriter writer({sinkOf(reader), tagged}, 8);
    writer.start();
    ASSERT_TRUE(writer.post("held"));  // taken by the thread, which then waits on the reader
    {
        std::unique_lock lock(reader.mutex);
        ASSERT_TRUE(reader.changed.wait_for(lock, 5s, [&] { return reader.asked; }));
    }
    ASSERT_FALSE(writer.flush(std::chrono::steady_clock::now() + 20ms));
    writer.postLatest("s1");
    writer.postLatest("s2");
    EXPECT_TRUE(writer.post("n1", 1));
    writer.postLatest("s3");
    EXPECT_FALSE(writer.post("toolong"));  // 2 + 2 + 2 waiting: 7 more would pass 8
    writer.postLatest("s4");
    EXPECT_EQ(writer.dropped(), 3u);  // s1 and s3 replaced, "toolong" refused
    reader.setOpen(true);
    EXPECT_TRUE(writer.flush(std::chrono::steady_clock::now() + 5s));
    EXPECT_EQ(reader.text(), "helds2En1s4");
}

struct Route {
    bool errorIsConsole;
    bool outputIsConsole;
    bool same;  // one console, file or pipe: `output` holds both streams
    bool gameCommand;
    std::string output;
    std::string error;
};

// Where each kind of text goes. Notices reach a redirected standard error only
// with a game command; where both streams show in one place a notice or error
// below a status line starts a line of its own; a launcher's log (a game
// command, standard output no console) gets a status line only when its label
// changed, as a line; the log gets everything but the repeating line,
// timestamped. Without a game command the words are written at once (no
// thread yet); with one they are kept until start().
TEST(Output, SendsEachKindOfTextWhereItBelongs) {
    const std::string notice = "CorvaneVoiceBridge: live mode.\n";
    const std::string error = "ERROR: lost.\n";
    const Route rows[] = {
        {false, false, false, false, "\rS1\rS1", error + "hint\n"},
        {true, false, false, false, "\rS1\rS1", notice + error + "hint\n\ncut\n"},
        {false, false, false, true, "S1\n", notice + error + "hint\n"},
        {false, true, false, false, "\rS1\rS1\n", error + "hint\n"},
        {true, true, true, false, notice + error + "\rS1\nhint\n\rS1\ncut\n", ""},
        {false, false, true, true, notice + error + "S1\nhint\n", ""},
        {false, false, true, false, error + "\rS1\nhint\n\rS1", ""},
    };
    for (const Route& row : rows) {
        Reader out, err;
        Output::Destinations destinations{sinkOf(out), row.same ? sinkOf(out) : sinkOf(err),
                                          row.outputIsConsole, row.errorIsConsole,
                                          [] { return std::string("T"); }, row.same};
        Output output(destinations, row.gameCommand);
        // One file a row: a writer's thread may still hold the last row's.
        const std::filesystem::path log =
            std::filesystem::temp_directory_path() / ("corvane-output-" + std::to_string(&row - rows) + ".log");
        std::filesystem::remove(log);
        std::string why;
        ASSERT_TRUE(output.openLog(log.string(), why)) << why;
        output.notice(notice);
        output.error(error);
        output.status("\rS1", true);
        output.error("hint\n");
        output.status("\rS1", false);
        output.errorToConsole("\ncut\n");
        EXPECT_EQ(out.text().empty(), row.gameCommand);
        output.start();
        EXPECT_TRUE(output.finish(5s));
        EXPECT_EQ(std::tuple(out.text(), err.text()), std::tuple(row.output, row.error))
            << row.errorIsConsole << row.outputIsConsole << row.same << row.gameCommand;
        std::ostringstream logged;
        logged << std::ifstream(log, std::ios::binary).rdbuf();
        EXPECT_EQ(logged.str(), "T CorvaneVoiceBridge: live mode.\nT ERROR: lost.\nT hint\n");
        std::filesystem::remove(log);
    }
}

std::string contentsOf(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A log that would pass its limit keeps its newest whole lines, with the new
// one at most half the limit, judged by the file's own size: what another
// program appended counts, however large the file (one larger than memory:
// sparse here), and one emptied from outside is not cut again.
TEST(LogFile, KeepsItsNewestWholeLinesByTheFilesOwnSize) {
    EXPECT_EQ(timestampedLines("T", "a\n\r\n\nb"), "T a\nT b\n");
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "corvane-limit.log";
    const std::string x99 = std::string(99, 'x') + "\n";
    std::string lines;  // 1.2 MB, numbered lines of 101 bytes
    for (int i = 0; i < 12000; ++i) lines += std::to_string(i % 10) + x99;
    const auto appendOutside = [&](std::uint64_t hole, std::string_view text) {
        std::filesystem::resize_file(path, std::filesystem::file_size(path) + hole);
        std::ofstream(path, std::ios::binary | std::ios::app) << text;
    };
    const std::uint64_t holes[] = {0, 64ull << 20, 64ull << 30};  // none, 64 MiB, 64 GiB
    for (const bool whileOpen : {false, true}) {
        for (const std::uint64_t hole : holes) {
            std::ofstream(path, std::ios::binary).close();
            if (!whileOpen) appendOutside(hole, lines);
            LogFile log;
            std::string error;
            ASSERT_TRUE(log.open(path.string(), error)) << error;
            if (whileOpen) {
                ASSERT_TRUE(log.append("first\n"));
                appendOutside(hole, lines);
            }
            ASSERT_TRUE(log.append("last\n"));
            const std::string text = contentsOf(path);
            EXPECT_LE(text.size(), kLogFileLimit / 2) << hole << whileOpen;
            EXPECT_GT(text.size(), kLogFileLimit / 2 - 101) << hole << whileOpen;
            EXPECT_TRUE(text.substr(1, 100) == x99 && text.ends_with(x99 + "last\n")) << hole << whileOpen;
        }
    }
    std::ofstream(path, std::ios::binary) << lines.substr(0, 9900 * 101);  // short of the limit
    LogFile log;
    std::string error;
    ASSERT_TRUE(log.open(path.string(), error)) << error;
    std::filesystem::resize_file(path, 0);
    ASSERT_TRUE(log.append(lines.substr(0, 1000 * 101)));
    EXPECT_EQ(std::filesystem::file_size(path), 1000u * 101);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace corvane
