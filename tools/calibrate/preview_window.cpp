#include "tools/calibrate/preview_window.h"

#include <SDL.h>

namespace kwo::calibrate {

struct PreviewWindow::Handles {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    cv::Size size;
    ~Handles() {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

PreviewWindow::PreviewWindow(std::unique_ptr<Handles> handles) : handles(std::move(handles)) {}
PreviewWindow::~PreviewWindow() = default;

std::unique_ptr<PreviewWindow> PreviewWindow::open(const std::string& title, cv::Size size, std::string* why) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (why) *why = SDL_GetError();
        return nullptr;
    }
    auto handles = std::make_unique<Handles>();
    handles->size = size;
    handles->window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, size.width,
                                       size.height, 0);
    if (handles->window) handles->renderer = SDL_CreateRenderer(handles->window, -1, 0);
    if (handles->renderer)
        handles->texture = SDL_CreateTexture(handles->renderer, SDL_PIXELFORMAT_BGR24, SDL_TEXTUREACCESS_STREAMING,
                                             size.width, size.height);
    if (!handles->texture) {
        if (why) *why = SDL_GetError();
        return nullptr;
    }
    return std::unique_ptr<PreviewWindow>(new PreviewWindow(std::move(handles)));
}

void PreviewWindow::show(const cv::Mat& picture) {
    CV_Assert(picture.type() == CV_8UC3 && picture.size() == handles->size);
    SDL_UpdateTexture(handles->texture, nullptr, picture.data, static_cast<int>(picture.step));
    SDL_RenderClear(handles->renderer);
    SDL_RenderCopy(handles->renderer, handles->texture, nullptr, nullptr);
    SDL_RenderPresent(handles->renderer);
}

PreviewEvent PreviewWindow::poll() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) return PreviewEvent::Quit;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) return PreviewEvent::Quit;
        if (event.type != SDL_KEYDOWN || event.key.repeat) continue;
        switch (event.key.keysym.sym) {
        case SDLK_SPACE: return PreviewEvent::TakeView;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return PreviewEvent::Finish;
        case SDLK_ESCAPE: return PreviewEvent::Quit;
        default: break;
        }
    }
    return PreviewEvent::None;
}

} // namespace kwo::calibrate
