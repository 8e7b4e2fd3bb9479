#include "tools/make_marker/camera_training.h"

#include "tools/make_marker/marker_pattern.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/tracker.h"
#include "video/video_capture.h"
#include "video/video_config.h"
#include "video/video_devices.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace kwo::make_marker {

namespace {

using Clock = std::chrono::steady_clock;

// A copy of the newest frame (top row first), so the capture can have its
// buffer back at once.
bool takeFrame(kwo::VideoCapture& capture, std::vector<std::uint8_t>& frame) {
    const std::uint8_t* image = capture.newestFrame();
    if (!image) return false;
    const kwo::FrameSize size = capture.size();
    const std::size_t row = 4 * static_cast<std::size_t>(size.width);
    frame.assign(image, image + row * size.height);
    capture.release();
    return true;
}

const ARMarkerInfo* biggestSquare(const std::vector<ARMarkerInfo>& squares) {
    const auto biggest = std::max_element(squares.begin(), squares.end(),
                                          [](const ARMarkerInfo& a, const ARMarkerInfo& b) { return a.area < b.area; });
    return biggest == squares.end() ? nullptr : &*biggest;
}

struct SdlSession {
    bool started = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    ~SdlSession() {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        if (started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

bool openWindow(SdlSession& sdl, const kwo::FrameSize& size, const std::string& camera, std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("no display for the camera window (") + SDL_GetError() + "); --take-first works without one";
        return false;
    }
    sdl.started = true;
    const std::string title = "kwo-make-marker: " + camera + " - Space takes the outlined square, Escape cancels";
    sdl.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  std::max(size.width, 320), std::max(size.height, 240), 0);
    if (sdl.window) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, 0);
    // 4-byte pixels, blue first in memory: SDL's ARGB8888 on a little-endian
    // machine, as everything this project runs on is.
    if (sdl.renderer)
        sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, size.width,
                                        size.height);
    if (!sdl.texture) {
        error = std::string("the camera window cannot be opened (") + SDL_GetError() + ")";
        return false;
    }
    SDL_RenderSetLogicalSize(sdl.renderer, size.width, size.height);
    return true;
}

void showFrame(SdlSession& sdl, const std::vector<std::uint8_t>& frame, const kwo::FrameSize& size,
               const ARMarkerInfo* square, const double distFactor[4]) {
    SDL_UpdateTexture(sdl.texture, nullptr, frame.data(), 4 * size.width);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
    if (square) {
        // The corners are ideal pixels; the picture is as observed.
        SDL_FPoint corners[5];
        for (int i = 0; i < 5; ++i) {
            double x, y;
            arParamIdeal2Observ(distFactor, square->vertex[i % 4][0], square->vertex[i % 4][1], &x, &y);
            corners[i] = {static_cast<float>(x), static_cast<float>(y)};
        }
        SDL_SetRenderDrawColor(sdl.renderer, 0, 255, 0, 255);
        for (int offset = -1; offset <= 1; ++offset) {
            SDL_FPoint shifted[5];
            for (int i = 0; i < 5; ++i) shifted[i] = {corners[i].x + offset, corners[i].y + offset};
            SDL_RenderDrawLinesF(sdl.renderer, shifted, 5);
        }
        SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    }
    SDL_RenderPresent(sdl.renderer);
}

enum class Key { None, Take, Cancel };

Key pollKeys() {
    SDL_Event event;
    Key key = Key::None;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) key = Key::Cancel;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) key = Key::Cancel;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_SPACE && key == Key::None) key = Key::Take;
    }
    return key;
}

} // namespace

std::optional<std::string> unlistedCamera(const std::string& camera) {
    std::vector<std::string> names;
    for (const kwo::VideoDevice& device : kwo::findVideoDevices()) names.push_back(device.name);
    if (std::find(names.begin(), names.end(), camera) != names.end()) return std::nullopt;
    std::string listed;
    for (const std::string& name : names) listed += (listed.empty() ? "'" : ", '") + name + "'";
    return "--camera: no camera named '" + camera + "' (" +
           (listed.empty() ? std::string("no camera found") : "cameras: " + listed) + ")";
}

std::optional<kwo::ar::PatternFile> trainFromCamera(const TrainingSettings& settings, std::string& error) {
    kwo::VideoCapture capture;
    std::string text;
    try {
        text = kwo::buildVideoConfig(settings.video, settings.camera);
    } catch (const std::exception& failure) {
        error = std::string("the station's video settings: ") + failure.what();
        return std::nullopt;
    }
    if (!capture.open(text)) {
        error = "--camera: camera '" + settings.camera + "' does not play (see above)";
        return std::nullopt;
    }
    const kwo::FrameSize size = capture.size();
    kwo::ar::Tracker tracker;
    if (settings.calibration) {
        ARParam resized;
        if (arParamChangeSize(&*settings.calibration, size.width, size.height, &resized) < 0 ||
            !tracker.setCalibration(resized)) {
            error = "the station's calibration does not fit frames of " + std::to_string(size.width) + "x" +
                    std::to_string(size.height);
            return std::nullopt;
        }
    }
    const double* distFactor = tracker.calibration().dist_factor;

    SdlSession sdl;
    if (!settings.takeFirst && !openWindow(sdl, size, settings.camera, error)) return std::nullopt;
    capture.start();
    std::printf("Camera '%s': %dx%d, threshold %d. %s\n", settings.camera.c_str(), size.width, size.height,
                settings.threshold,
                settings.takeFirst ? "Taking the first square seen." : "Hold the printed marker upright; Space takes it.");
    std::fflush(stdout);

    std::vector<std::uint8_t> frame;
    const Clock::time_point start = Clock::now();
    const auto waited = [&] {
        if (Clock::now() - start <= std::chrono::duration<double>(settings.waitSeconds)) return false;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", settings.waitSeconds);
        error = "--camera: no square seen by camera '" + settings.camera + "' within " + seconds + " s (threshold " +
                std::to_string(settings.threshold) + ")";
        return true;
    };
    // Space takes the square of the next frame that arrives.
    bool wantTake = settings.takeFirst;
    for (;;) {
        if (!settings.takeFirst) {
            const Key key = pollKeys();
            if (key == Key::Cancel) {
                error = "cancelled";
                return std::nullopt;
            }
            wantTake = wantTake || key == Key::Take;
        }
        if (!takeFrame(capture, frame)) {
            if (settings.takeFirst && waited()) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const auto view = kwo::ar::FrameView::packed(frame.data(), size.width, size.height);
        tracker.resetHistory(); // only this frame's squares count
        const ARMarkerInfo* square = biggestSquare(tracker.detect(view, settings.threshold));
        if (!settings.takeFirst) showFrame(sdl, frame, size, square, distFactor);
        if (!wantTake) continue;
        kwo::ar::PatternFile pattern;
        if (square && patternFromSquare(view, distFactor, square->vertex, pattern)) {
            std::printf("Took the square of %d pixels at (%.0f, %.0f).\n", square->area, square->pos[0], square->pos[1]);
            return pattern;
        }
        if (settings.takeFirst) {
            if (waited()) return std::nullopt;
        } else {
            std::printf("No whole square in view: hold the marker so its black border shows.\n");
            std::fflush(stdout);
            wantTake = false;
        }
    }
}

} // namespace kwo::make_marker
