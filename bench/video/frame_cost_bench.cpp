// What one video frame costs the machine at 640x480: the clip camera's
// pipeline (decoding, conversion to BGRx, handing the frame to the viewer),
// measured as the CPU time of the whole process per delivered frame, against
// a plain copy of one frame's bytes measured in the same run. And the CPU
// time of the pipeline's own threads per motion JPEG frame, against
// gst-launch-1.0 decoding the same clip to BGRx into a fakesink in real time,
// in the same run (the tool's start-up, measured on a one-frame clip, taken
// off).
//
// Clips play in real time, so the decode benchmarks take as long as their
// frames last; the polling between frames sleeps and costs next to nothing.
#include "video/clip_cameras.h"
#include "video/clip_writer.h"
#include "video/video_capture.h"
#include "video/video_config.h"

#include <benchmark/benchmark.h>
#include <json/value.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <spawn.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

namespace {

constexpr int width = 640;
constexpr int height = 480;
constexpr int framesPerSecond = 60;

std::string clipPath(kwo::ClipEncoding encoding, int frames = framesPerSecond)
{
    const std::string name = std::string(encoding == kwo::ClipEncoding::Raw ? "bench-raw-" : "bench-mjpeg-") +
                             std::to_string(frames) + ".mkv";
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    // A moving picture with detail, so the encoder has real work to undo.
    const kwo::ClipFormat format{width, height, framesPerSecond, frames, encoding};
    kwo::writeClip(path, format, [](int index, std::uint8_t* frame) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
                p[0] = static_cast<std::uint8_t>(x + index * 4);
                p[1] = static_cast<std::uint8_t>(y * 2 + index);
                p[2] = static_cast<std::uint8_t>((x ^ y) + index);
                p[3] = 0;
            }
    });
    return path;
}

void takeFrames(benchmark::State& state, kwo::ClipEncoding encoding)
{
    const std::string path = clipPath(encoding);
    setenv(kwo::clipCamerasVariable, path.c_str(), 1);
    kwo::VideoCapture capture;
    const std::string name = std::filesystem::path(path).filename().string();
    if (!capture.open(kwo::buildVideoConfig(Json::Value(Json::objectValue), name))) {
        state.SkipWithError("the clip does not open");
        return;
    }
    capture.start();
    // Let the pipeline settle before measuring.
    for (int taken = 0; taken < 10;) {
        if (capture.newestFrame()) {
            capture.release();
            ++taken;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (auto _ : state) {
        std::uint8_t* frame = nullptr;
        while (!(frame = capture.newestFrame()))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        benchmark::DoNotOptimize(frame);
        capture.release();
    }
    capture.close();
    std::filesystem::remove(path);
}

double seconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The viewer's pipeline on a motion JPEG clip: the CPU time of every thread
// but this one (GStreamer's streaming threads: reading, demuxing, decoding,
// converting, handing over) per frame, over rounds of `decodeFrames` frames.
constexpr int decodeFrames = 120;
constexpr int launchFrames = 240;

void BM_DecodeThreadsViewer(benchmark::State& state)
{
    const std::string path = clipPath(kwo::ClipEncoding::Mjpeg, launchFrames);
    setenv(kwo::clipCamerasVariable, path.c_str(), 1);
    kwo::VideoCapture capture;
    if (!capture.open(kwo::buildVideoConfig(Json::Value(Json::objectValue),
                                            std::filesystem::path(path).filename().string()))) {
        state.SkipWithError("the clip does not open");
        return;
    }
    capture.start();
    for (auto _ : state) {
        const double process = seconds(CLOCK_PROCESS_CPUTIME_ID), own = seconds(CLOCK_THREAD_CPUTIME_ID);
        for (int taken = 0; taken < decodeFrames;) {
            if (capture.newestFrame()) {
                capture.release();
                ++taken;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double others = (seconds(CLOCK_PROCESS_CPUTIME_ID) - process) - (seconds(CLOCK_THREAD_CPUTIME_ID) - own);
        state.SetIterationTime(others / decodeFrames);
    }
    capture.close();
    std::filesystem::remove(path);
}

// The CPU time (user and system) of one gst-launch-1.0 decoding `clip` to
// BGRx into a fakesink; negative when it cannot run. The sink plays the clip
// in real time, as the viewer does: decoding flat out would wake the
// threads differently and measure another thing.
double gstLaunchSeconds(const std::string& clip)
{
    const std::string location = "location=" + clip;
    const char* argv[] = {"gst-launch-1.0", "-q", "filesrc", location.c_str(), "!", "decodebin", "!",
                          "videoconvert", "!", "video/x-raw,format=BGRx", "!", "fakesink", "sync=true", nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    const auto toSeconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

// The reference: gst-launch-1.0 on the same clip, less the same tool on a
// one-frame clip of the same kind (starting, loading plugins, stopping).
void BM_DecodeGstLaunch(benchmark::State& state)
{
    const std::string clip = clipPath(kwo::ClipEncoding::Mjpeg, launchFrames);
    const std::string single = clipPath(kwo::ClipEncoding::Mjpeg, 1);
    for (auto _ : state) {
        const double whole = gstLaunchSeconds(clip), startUp = gstLaunchSeconds(single);
        if (whole < 0 || startUp < 0) {
            state.SkipWithError("gst-launch-1.0 did not run");
            break;
        }
        state.SetIterationTime((whole - startUp) / (launchFrames - 1));
    }
    std::filesystem::remove(clip);
    std::filesystem::remove(single);
}

// The same polling for one frame's time with no frame ever coming: what the
// waiting itself costs, to tell apart from the pipeline's work.
void BM_PollingOnly(benchmark::State& state)
{
    const std::string path = clipPath(kwo::ClipEncoding::Raw);
    setenv(kwo::clipCamerasVariable, path.c_str(), 1);
    kwo::VideoCapture capture;
    const std::string name = std::filesystem::path(path).filename().string();
    if (!capture.open(kwo::buildVideoConfig(Json::Value(Json::objectValue), name))) {
        state.SkipWithError("the clip does not open");
        return;
    }
    const auto frameTime = std::chrono::microseconds(1000000 / framesPerSecond);
    for (auto _ : state) {
        const auto end = std::chrono::steady_clock::now() + frameTime;
        while (std::chrono::steady_clock::now() < end) {
            benchmark::DoNotOptimize(capture.newestFrame()); // never started: always null
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    capture.close();
    std::filesystem::remove(path);
}

void BM_MjpegClipFrame(benchmark::State& state) { takeFrames(state, kwo::ClipEncoding::Mjpeg); }
void BM_RawClipFrame(benchmark::State& state) { takeFrames(state, kwo::ClipEncoding::Raw); }

void BM_FrameMemcpy(benchmark::State& state)
{
    std::vector<std::uint8_t> from(width * height * 4, 1), to(width * height * 4);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// Every thread of the process counts: GStreamer decodes on its own threads.
BENCHMARK(BM_MjpegClipFrame)->MeasureProcessCPUTime()->UseRealTime()->Iterations(240)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawClipFrame)->MeasureProcessCPUTime()->UseRealTime()->Iterations(240)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PollingOnly)->MeasureProcessCPUTime()->UseRealTime()->Iterations(120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameMemcpy)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
// One iteration is a round of frames; its time is CPU time per frame.
BENCHMARK(BM_DecodeThreadsViewer)->UseManualTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGstLaunch)->UseManualTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// Prints the console report and keeps each benchmark's CPU time per
// iteration, and the median and spread of the rounds timed by hand.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            if (run.run_type != Run::RT_Aggregate)
                cpuPerIteration[run.benchmark_name()] = run.GetAdjustedCPUTime();
            else if (run.aggregate_name == "median")
                roundMedian[run.run_name.function_name] = run.GetAdjustedRealTime();
            else if (run.aggregate_name == "stddev")
                roundSpread[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
    std::map<std::string, double> cpuPerIteration;
    std::map<std::string, double> roundMedian, roundSpread; // by function name
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto find = [&](const std::string& prefix) {
        for (const auto& [name, cpu] : reporter.cpuPerIteration)
            if (name.rfind(prefix, 0) == 0)
                return cpu;
        return 0.0;
    };
    const double copy = find("BM_FrameMemcpy");
    const double polling = find("BM_PollingOnly");
    if (copy > 0) {
        for (const char* name : {"BM_MjpegClipFrame", "BM_RawClipFrame"})
            if (const double cpu = find(name); cpu > 0)
                std::cout << name << ": " << cpu << " ms CPU per 640x480 frame (" << cpu - polling
                          << " ms without the polling), " << (cpu - polling) / copy
                          << " times a plain copy of one frame (" << copy << " ms)\n";
    }
    const double viewer = reporter.roundMedian["BM_DecodeThreadsViewer"];
    const double launch = reporter.roundMedian["BM_DecodeGstLaunch"];
    if (viewer > 0 && launch > 0)
        std::cout << "decoding threads per 640x480 motion JPEG frame: " << viewer / launch
                  << " x gst-launch-1.0 decoding the same clip to BGRx into a fakesink (" << viewer << " +- "
                  << reporter.roundSpread["BM_DecodeThreadsViewer"] << " ms against " << launch << " +- "
                  << reporter.roundSpread["BM_DecodeGstLaunch"]
                  << " ms CPU time, medians of 5 rounds with their standard deviation)\n";
    return 0;
}
