// The few SDL calls the shared engine code makes, for the browser build, where SDL does not
// exist: the window is the page's canvas and the context a WebGL 2 context (see
// platform/web/web_window.h). Names and meanings follow SDL's, so the engine compiles
// unchanged; only what the engine calls is here.
#pragma once

#include <cstdint>

using Uint32 = uint32_t;

struct SDL_Window;
using SDL_GLContext = void*;

struct SDL_DisplayMode {
    Uint32 format = 0;
    int w = 0;
    int h = 0;
    int refresh_rate = 0;
    void* driverdata = nullptr;
};

inline constexpr Uint32 SDL_INIT_VIDEO = 0x20;
inline constexpr int SDL_LOG_CATEGORY_RENDER = 5;
inline constexpr Uint32 SDL_MESSAGEBOX_ERROR = 0x10;
inline constexpr Uint32 SDL_MESSAGEBOX_WARNING = 0x20;
inline constexpr Uint32 SDL_MESSAGEBOX_INFORMATION = 0x40;
inline constexpr Uint32 SDL_WINDOW_FULLSCREEN_DESKTOP = 0x1001;

inline constexpr int SDL_BITSPERPIXEL(Uint32 format) { return static_cast<int>((format >> 8) & 0xFF); }

int SDL_InitSubSystem(Uint32 flags);
void SDL_QuitSubSystem(Uint32 flags);
Uint32 SDL_WasInit(Uint32 flags);
const char* SDL_GetCurrentVideoDriver();
const char* SDL_getenv(const char* name);
int SDL_GetDesktopDisplayMode(int displayIndex, SDL_DisplayMode* mode);
void SDL_SetWindowSize(SDL_Window* window, int w, int h);
// The page's canvas to the browser's full screen (any non-zero flags) and back.
int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags);
// The browser paces frames itself; accepted and ignored.
int SDL_GL_SetSwapInterval(int interval);
SDL_GLContext SDL_GL_GetCurrentContext();
SDL_Window* SDL_GL_GetCurrentWindow();
void SDL_GL_GetDrawableSize(SDL_Window* window, int* w, int* h);
void SDL_GL_SwapWindow(SDL_Window* window);
void SDL_LogError(int category, const char* format, ...);
int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* message, SDL_Window* window);
