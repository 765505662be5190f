#include "app/message_boxes.h"

#include <SDL.h>
#if defined(__EMSCRIPTEN__)
#include <emscripten/emscripten.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dv {

bool MessageBoxes::Headless() const {
    if (mode_ != Mode::Guess) return mode_ == Mode::StderrOnly;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) driver = SDL_getenv("SDL_VIDEODRIVER");
    return driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

void MessageBoxes::Show(const std::string& text, const std::string& caption, MessageKind kind,
                        const std::string& reason) const {
    if (caption.empty()) std::fprintf(stderr, "%s\n", text.c_str());
    else std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
    std::fflush(stderr);
    if (observer_) observer_(text, caption);
    if (Headless()) return;
    const Uint32 flags = kind == MessageKind::Error     ? SDL_MESSAGEBOX_ERROR
                         : kind == MessageKind::Warning ? SDL_MESSAGEBOX_WARNING
                                                        : SDL_MESSAGEBOX_INFORMATION;
    SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr);
}

void MessageBoxes::Fatal(const std::string& text, const std::string& caption, const std::string& reason) const {
    Show(text, caption, MessageKind::Error, reason);
    ExitProgram(1);
}

void ExitProgram(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
#if defined(__EMSCRIPTEN__)
    EM_ASM(
        {
            if (Module.dvFinished) Module.dvFinished($0);
        },
        status);
    emscripten_cancel_main_loop();
#endif
    std::exit(status);
}

MessageSink MessageBoxes::Sink() const {
    return [this](const std::string& text, const std::string& caption, MessageKind kind) { Show(text, caption, kind); };
}

}  // namespace dv
