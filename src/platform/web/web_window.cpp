#include "platform/web/web_window.h"

#include <SDL.h>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

struct SDL_Window {
    std::string canvas;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
};

namespace {

// The page has one canvas and so one window; SDL's calls name it by pointer.
SDL_Window* CurrentWindow() {
    static SDL_Window window;
    return &window;
}

Uint32 videoInit = 0;

}  // namespace

namespace dv {

std::unique_ptr<WebWindow> WebWindow::Create(const std::string& canvas, int width, int height, std::string& error) {
    SDL_Window* window = CurrentWindow();
    window->canvas = canvas;
    emscripten_set_canvas_element_size(canvas.c_str(), width, height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = false;
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false;
    // Screenshots read the frame after it is drawn, within the same animation frame.
    attributes.preserveDrawingBuffer = false;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(canvas.c_str(), &attributes);
    if (context <= 0) {
        error = "the browser offers no WebGL 2 context on " + canvas;
        return nullptr;
    }
    emscripten_webgl_make_context_current(context);
    window->context = context;
    return std::unique_ptr<WebWindow>(new WebWindow());
}

WebWindow::~WebWindow() {
    SDL_Window* window = CurrentWindow();
    if (window->context > 0) emscripten_webgl_destroy_context(window->context);
    window->context = 0;
}

SDL_Window* WebWindow::Window() const { return CurrentWindow(); }

void ShowPageMessage(const std::string& caption, const std::string& text) {
    const std::string line = caption.empty() ? text : caption + ": " + text;
    EM_ASM({ if (Module.dvShowMessage) Module.dvShowMessage(UTF8ToString($0)); }, line.c_str());
}

}  // namespace dv

int SDL_InitSubSystem(Uint32 flags) {
    videoInit |= flags;
    return 0;
}

void SDL_QuitSubSystem(Uint32 flags) { videoInit &= ~flags; }

Uint32 SDL_WasInit(Uint32 flags) { return videoInit & flags; }

const char* SDL_GetCurrentVideoDriver() { return "emscripten"; }

const char* SDL_getenv(const char* name) { return std::getenv(name); }

int SDL_GetDesktopDisplayMode(int displayIndex, SDL_DisplayMode* mode) {
    if (displayIndex != 0 || mode == nullptr) return -1;
    mode->w = EM_ASM_INT({ return screen.width | 0; });
    mode->h = EM_ASM_INT({ return screen.height | 0; });
    mode->refresh_rate = 60;
    mode->format = 32u << 8;
    return 0;
}

void SDL_SetWindowSize(SDL_Window* window, int w, int h) {
    if (window != nullptr) emscripten_set_canvas_element_size(window->canvas.c_str(), w, h);
}

int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags) {
    if (window == nullptr) return -1;
    if (flags == 0) return emscripten_exit_fullscreen() == EMSCRIPTEN_RESULT_SUCCESS ? 0 : -1;
    return emscripten_request_fullscreen(window->canvas.c_str(), false) == EMSCRIPTEN_RESULT_SUCCESS ? 0 : -1;
}

int SDL_GL_SetSwapInterval(int) { return 0; }

SDL_GLContext SDL_GL_GetCurrentContext() {
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_get_current_context();
    return context > 0 ? reinterpret_cast<SDL_GLContext>(static_cast<intptr_t>(context)) : nullptr;
}

SDL_Window* SDL_GL_GetCurrentWindow() {
    SDL_Window* window = CurrentWindow();
    return window->context > 0 && emscripten_webgl_get_current_context() == window->context ? window : nullptr;
}

void SDL_GL_GetDrawableSize(SDL_Window* window, int* w, int* h) {
    int width = 0, height = 0;
    if (window != nullptr) emscripten_get_canvas_element_size(window->canvas.c_str(), &width, &height);
    if (w != nullptr) *w = width;
    if (h != nullptr) *h = height;
}

// The browser shows the frame when the animation-frame callback returns.
void SDL_GL_SwapWindow(SDL_Window*) {}

void SDL_LogError(int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

int SDL_ShowSimpleMessageBox(Uint32, const char* title, const char* message, SDL_Window*) {
    dv::ShowPageMessage(title != nullptr ? title : "", message != nullptr ? message : "");
    return 0;
}
