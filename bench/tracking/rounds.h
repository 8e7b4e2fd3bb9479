#pragma once

// The rounds of a benchmark run kept for a summary printed after Google
// Benchmark's own report: medians of rounds, as the figures are given.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kwo::bench {

// Keeps every round's processor time per iteration, by benchmark name.
class RoundsReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                rounds[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
    }
    std::map<std::string, std::vector<double>> rounds;
};

inline double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Per-round ratios factor * a[i] / b[i]: rounds are interleaved, so each
// pair ran under the same load.
inline std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b, double factor = 1) {
    std::vector<double> r;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) r.push_back(factor * a[i] / b[i]);
    return r;
}

// "median [min..max]" of a figure's rounds.
inline std::string spread(const std::vector<double>& v) {
    if (v.empty()) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.3f [%.3f..%.3f]", medianOf(v), *std::min_element(v.begin(), v.end()),
                  *std::max_element(v.begin(), v.end()));
    return text;
}

// Google Benchmark's start, with 9 interleaved rounds of every benchmark
// unless the command line asks for something else.
inline void initializeWithRounds(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    static std::string repetitions = "--benchmark_repetitions=9",
                       interleave = "--benchmark_enable_random_interleaving=true";
    if (argc == 1) {
        args.push_back(repetitions.data());
        args.push_back(interleave.data());
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
}

} // namespace kwo::bench
