// An SDL window with a current OpenGL 3.3 core context (16-bit depth, double-buffered).
//
// For headless use the caller sets SDL_VIDEODRIVER=offscreen before SDL is initialised;
// SDL then makes a real (Mesa, EGL) context without a display.
#pragma once

#include <memory>
#include <string>

struct SDL_Window;

namespace dv {

// Whether SDL reaches a window system a player can see. False, with SDL's own words in
// `reason`, when it has no video driver at all or only one that draws nowhere ("offscreen",
// "dummy"), which SDL may pick by itself when no display answers. When true, SDL video stays
// initialised, so a window created next opens on the driver found here.
bool DisplayReachable(std::string& reason);

class GLWindow {
public:
    // Initialises SDL video (reference counted), creates the window and its context and makes
    // the context current. Null with `error` set on failure.
    static std::unique_ptr<GLWindow> Create(const std::string& title, int width, int height, bool visible,
                                            bool resizable, std::string& error);
    ~GLWindow();
    GLWindow(const GLWindow&) = delete;
    GLWindow& operator=(const GLWindow&) = delete;

    SDL_Window* Window() const { return window_; }
    void* Context() const { return context_; }
    void MakeCurrent() const;

private:
    GLWindow() = default;
    SDL_Window* window_ = nullptr;
    void* context_ = nullptr;
    bool videoInit_ = false;
};

}  // namespace dv
