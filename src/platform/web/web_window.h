// The browser's window: the page's canvas with a WebGL 2 context. It stands where the
// desktop build has its SDL window (platform/gl_window.h), and the SDL_Window the engine
// hands around is this canvas.
#pragma once

#include <memory>
#include <string>

struct SDL_Window;

namespace dv {

class WebWindow {
public:
    // Makes a WebGL 2 context current on the canvas named by the CSS selector `canvas`. With
    // `fixedWidth` and `fixedHeight` above 0 the canvas keeps that size (replays compared with
    // the desktop game); with 0 it follows the browser window, and full screen. Null with
    // `error` set when the browser has no WebGL 2.
    static std::unique_ptr<WebWindow> Create(const std::string& canvas, int fixedWidth, int fixedHeight,
                                             std::string& error);
    ~WebWindow();
    WebWindow(const WebWindow&) = delete;
    WebWindow& operator=(const WebWindow&) = delete;

    SDL_Window* Window() const;
    // The canvas's size in pixels now.
    void Size(int& width, int& height) const;
    // True once after the canvas has changed size (the browser window was resized or went to
    // or left full screen), with the new size.
    bool TakeResize(int& width, int& height);
    // Sizes a page-following canvas to what the page leaves for it (the page's resize and
    // full-screen events call this); true when that changed its size.
    bool FitToPage();

private:
    WebWindow() = default;

    bool followPage_ = false;
    bool resized_ = false;
};

// Where message boxes go in the page: the text under the canvas, and the console.
void ShowPageMessage(const std::string& caption, const std::string& text);

}  // namespace dv
