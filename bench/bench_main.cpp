// Google Benchmark's main, except that the program exits with 1 when a
// benchmark failed (a failed read, a missed target, a character that was
// never placed): a script or CI step sees it. With --benchmark_repetitions=N
// a benchmark fails when all N of its runs reported an error, so that one
// run disturbed by other work on a busy machine does not fail it alone.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

class FailureCountingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            auto& [errors, total] = runs_[run.benchmark_name()];
            errors += run.error_occurred ? 1 : 0;
            ++total;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    int failures() const {
        int failed = 0;
        for (const auto& [name, counts] : runs_) {
            if (counts.first != 0 && counts.first == counts.second) {
                std::fprintf(stderr, "FAIL: %s\n", name.c_str());
                ++failed;
            }
        }
        return failed;
    }

private:
    std::map<std::string, std::pair<int, int>> runs_;  // errors, runs
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    FailureCountingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.failures() == 0 ? 0 : 1;
}
