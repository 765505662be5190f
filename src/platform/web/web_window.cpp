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

// Room left under a page-sized canvas for the status line, so what the game says shows too.
constexpr int kStatusLinePx = 28;

// The canvas's size for the page as it is now: the browser window's inner size less the
// page's margins and the status line, or the whole screen when the canvas is full screen.
// `side` 0 asks for the width, 1 for the height.
int PageSide(const char* canvas, int side) {
    // clang-format off
    return EM_ASM_INT({
        var c = document.querySelector(UTF8ToString($0));
        if (!c) return 0;
        var full = document.fullscreenElement === c;
        if ($1 === 0) return Math.max(320, (full ? screen.width : window.innerWidth - 2 * c.offsetLeft) | 0);
        return Math.max(240, (full ? screen.height : window.innerHeight - c.offsetTop - $2) | 0);
    }, canvas, side, kStatusLinePx);
    // clang-format on
}

EM_BOOL OnPageResize(int, const EmscriptenUiEvent*, void* user) {
    static_cast<dv::WebWindow*>(user)->FitToPage();
    return EM_FALSE;
}

EM_BOOL OnFullscreenChange(int, const EmscriptenFullscreenChangeEvent*, void* user) {
    static_cast<dv::WebWindow*>(user)->FitToPage();
    return EM_FALSE;
}

}  // namespace

namespace dv {

std::unique_ptr<WebWindow> WebWindow::Create(const std::string& canvas, int fixedWidth, int fixedHeight,
                                             std::string& error) {
    SDL_Window* window = CurrentWindow();
    window->canvas = canvas;
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
    std::unique_ptr<WebWindow> made(new WebWindow());
    made->followPage_ = fixedWidth <= 0 || fixedHeight <= 0;
    if (!made->followPage_) {
        emscripten_set_canvas_element_size(canvas.c_str(), fixedWidth, fixedHeight);
        return made;
    }
    made->FitToPage();
    made->resized_ = false;
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, made.get(), false, OnPageResize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, made.get(), false, OnFullscreenChange);
    return made;
}

WebWindow::~WebWindow() {
    if (followPage_) {
        emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, false, nullptr);
        emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, false, nullptr);
    }
    SDL_Window* window = CurrentWindow();
    if (window->context > 0) emscripten_webgl_destroy_context(window->context);
    window->context = 0;
}

bool WebWindow::FitToPage() {
    const char* canvas = CurrentWindow()->canvas.c_str();
    const int width = PageSide(canvas, 0), height = PageSide(canvas, 1);
    int nowWidth = 0, nowHeight = 0;
    Size(nowWidth, nowHeight);
    if (width <= 0 || height <= 0 || (width == nowWidth && height == nowHeight)) return false;
    emscripten_set_canvas_element_size(canvas, width, height);
    resized_ = true;
    return true;
}

void WebWindow::Size(int& width, int& height) const {
    width = height = 0;
    emscripten_get_canvas_element_size(CurrentWindow()->canvas.c_str(), &width, &height);
}

bool WebWindow::TakeResize(int& width, int& height) {
    if (!resized_) return false;
    resized_ = false;
    Size(width, height);
    return true;
}

SDL_Window* WebWindow::Window() const { return CurrentWindow(); }

void ShowPageMessage(const std::string& caption, const std::string& text) {
    const std::string line = caption.empty() ? text : caption + ": " + text;
    EM_ASM(
        {
            if (Module.dvShowMessage) Module.dvShowMessage(UTF8ToString($0));
        },
        line.c_str());
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

// The page decides the canvas's size (WebWindow); the game's window-size setting has no say in
// a browser.
void SDL_SetWindowSize(SDL_Window*, int, int) {}

int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags) {
    if (window == nullptr) return -1;
    if (flags == 0) return emscripten_exit_fullscreen() == EMSCRIPTEN_RESULT_SUCCESS ? 0 : -1;
    // Browsers grant full screen only inside an input event's handler; the game asks from its
    // frame, so the request waits for the next one (the key's release).
    const EMSCRIPTEN_RESULT r = emscripten_request_fullscreen(window->canvas.c_str(), true);
    return r == EMSCRIPTEN_RESULT_SUCCESS || r == EMSCRIPTEN_RESULT_DEFERRED ? 0 : -1;
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
