// The browser's keyboard, gamepads and focus, turned into the same KeyboardState calls as
// the desktop's SDL events (platform/keymap.h, platform/gamepad.h).
#pragma once

#include <cstdint>

namespace dv {

struct KeyboardState;

class WebInput {
public:
    // Listens to the page's keyboard and focus events until destroyed.
    explicit WebInput(KeyboardState& keys);
    ~WebInput();
    WebInput(const WebInput&) = delete;
    WebInput& operator=(const WebInput&) = delete;

    // Reads the gamepads the browser reports and presses or releases the keys whose state
    // changed since the last call.
    void PollGamepads();

    void KeyDown(int vk, uint8_t shift, bool repeat);
    void KeyUp(int vk, uint8_t shift);
    void FocusChanged(bool focused);

    bool Focused = true;
    bool CloseRequested = false;    // Escape
    bool ScreenshotWanted = false;  // F12

private:
    KeyboardState& keys_;
    uint16_t padHeld_ = 0;
};

}  // namespace dv
