// What the start-up's check of the default media archives costs: every
// member's size and CRC-32 (inflating the deflated ones), once per start-up,
// against only reading the six archives into memory, measured in the same run
// (thread CPU time). The check includes its own read.
#include "files/read_file.h"
#include "scene/media_archive_check.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

const std::vector<std::string>& defaultArchives()
{
    static const std::vector<std::string> archives = [] {
        // KWO_GRAPHICS_DIR points at another build's archives (they are the same
        // for every build type).
        const char* folder = std::getenv("KWO_GRAPHICS_DIR");
        const std::string graphics = folder ? folder : KWO_PROGRAM_DIR "/media/graphics";
        std::vector<std::string> paths;
        for (const char* name : {"Core", "Sliverfin", "Brackenjaw", "Quillmoth", "Mossglider", "Decor"})
            paths.push_back(graphics + "/" + name + ".dat");
        return paths;
    }();
    return archives;
}

void readArchives(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state)
        for (const std::string& path : defaultArchives()) {
            const kwo::FileBytes file = kwo::readFileBytes(path, std::numeric_limits<std::size_t>::max());
            benchmark::DoNotOptimize(file.bytes.data());
            bytes += file.bytes.size();
        }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void checkArchives(benchmark::State& state)
{
    for (auto _ : state)
        for (const std::string& path : defaultArchives()) {
            const auto damage = kwo::checkMediaArchive(path);
            if (damage) {
                state.SkipWithError(damage->c_str());
                return;
            }
        }
}

BENCHMARK(readArchives)->Unit(benchmark::kMillisecond)->Repetitions(7)->DisplayAggregatesOnly();
BENCHMARK(checkArchives)->Unit(benchmark::kMillisecond)->Repetitions(7)->DisplayAggregatesOnly();

// Keeps the median and the spread (standard deviation) of each benchmark's
// thread CPU time per iteration, to print the check against the plain read.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name == "median")
                median[run.run_name.function_name] = run.GetAdjustedCPUTime();
            if (run.aggregate_name == "stddev")
                spread[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> median, spread;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.median.count("readArchives") && reporter.median.count("checkArchives")) {
        const double read = reporter.median["readArchives"], check = reporter.median["checkArchives"];
        std::printf("check of the six default archives: %.2f ms (spread %.2f ms) = %.1fx reading them (%.2f ms)\n",
                    check, reporter.spread["checkArchives"], check / read, read);
    }
    benchmark::Shutdown();
}
