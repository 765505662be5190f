#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dv {

namespace {

enum class BoxMode { Guess, StderrOnly, Boxes };

BoxMode g_mode = BoxMode::Guess;
MessageSink g_sink = nullptr;
void* g_sinkUser = nullptr;

bool Headless() {
    if (g_mode != BoxMode::Guess) return g_mode == BoxMode::StderrOnly;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) driver = SDL_getenv("SDL_VIDEODRIVER");
    return driver == nullptr || std::strcmp(driver, "offscreen") == 0 ||
           std::strcmp(driver, "dummy") == 0;
}

}  // namespace

void ShowMessage(const std::string& text, const std::string& caption, MessageKind kind, const std::string& reason) {
    if (caption.empty()) std::fprintf(stderr, "%s\n", text.c_str());
    else std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
    std::fflush(stderr);
    if (g_sink != nullptr) g_sink(g_sinkUser, text, caption);
    if (Headless()) return;
    const Uint32 flags = kind == MessageKind::Error     ? SDL_MESSAGEBOX_ERROR
                         : kind == MessageKind::Warning ? SDL_MESSAGEBOX_WARNING
                                                        : SDL_MESSAGEBOX_INFORMATION;
    SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr);
}

void SetMessagesHeadless(bool headless) { g_mode = headless ? BoxMode::StderrOnly : BoxMode::Boxes; }

void SetMessageSink(MessageSink sink, void* user) {
    g_sink = sink;
    g_sinkUser = user;
}

void FatalError(const std::string& text, const std::string& caption, const std::string& reason) {
    ShowMessage(text, caption, MessageKind::Error, reason);
    std::exit(1);
}

}  // namespace dv
