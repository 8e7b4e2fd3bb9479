// What one video frame costs the machine at 640x480: the clip camera's
// pipeline (decoding, conversion to BGRx, the copy into the frame the viewer
// gets), measured as the CPU time of the whole process per delivered frame,
// against a plain copy of one frame's bytes measured in the same run.
//
// Clips play in real time, so the decode benchmarks take as long as their
// frames last; the polling between frames sleeps and costs next to nothing.
#include "video/clip_cameras.h"
#include "video/clip_writer.h"
#include "video/video_capture.h"
#include "video/video_config.h"

#include <benchmark/benchmark.h>
#include <json/value.h>

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

std::string clipPath(kwo::ClipEncoding encoding)
{
    const std::string name = encoding == kwo::ClipEncoding::Raw ? "bench-raw.mkv" : "bench-mjpeg.mkv";
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    // A moving picture with detail, so the encoder has real work to undo.
    const kwo::ClipFormat format{width, height, framesPerSecond, framesPerSecond, encoding};
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

// The same polling for one frame's time with no frame ever coming: what the
// waiting itself costs, to tell apart from the pipeline's work.
void BM_PollingOnly(benchmark::State& state)
{
    const std::string path = clipPath(kwo::ClipEncoding::Raw);
    setenv(kwo::clipCamerasVariable, path.c_str(), 1);
    kwo::VideoCapture capture;
    if (!capture.open(kwo::buildVideoConfig(Json::Value(Json::objectValue), "bench-raw.mkv"))) {
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

// Prints the console report and keeps each benchmark's CPU time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred)
                cpuPerIteration[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    std::map<std::string, double> cpuPerIteration;
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
    return 0;
}
