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
    // Sizes the canvas named by the CSS selector `canvas` to `width` x `height` pixels and
    // makes a WebGL 2 context on it current. Null with `error` set when the browser has no
    // WebGL 2.
    static std::unique_ptr<WebWindow> Create(const std::string& canvas, int width, int height, std::string& error);
    ~WebWindow();
    WebWindow(const WebWindow&) = delete;
    WebWindow& operator=(const WebWindow&) = delete;

    SDL_Window* Window() const;

private:
    WebWindow() = default;
};

// Where message boxes go in the page: the text under the canvas, and the console.
void ShowPageMessage(const std::string& caption, const std::string& text);

}  // namespace dv
