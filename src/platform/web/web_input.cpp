#include "platform/web/web_input.h"

#include <emscripten/html5.h>

#include <cstring>

#include "input/keyboard.h"
#include "platform/dom_keys.h"

namespace dv {

namespace {

constexpr int kVkScreenshot = kVkF1 + 11;

// The standard gamepad layout's buttons and the keys they hold, as on the desktop: the
// d-pad runs and turns, A jumps, B lets go, Y turns around, the shoulders walk and look.
struct PadButton {
    int button;
    int vk;
};

constexpr PadButton kPadButtons[] = {
    {14, kVkLeft}, {12, kVkUp}, {15, kVkRight}, {13, kVkDown},  {0, kVkAlt},
    {1, kVkCtrl},  {3, kVkEnd}, {4, kVkShift},  {5, kVkInsert},
};
constexpr int kPadKeys = static_cast<int>(sizeof kPadButtons / sizeof kPadButtons[0]);
constexpr double kStickPress = 0.5;  // the left stick holds an arrow past half its travel

uint8_t ShiftOf(const EmscriptenKeyboardEvent& e) {
    return static_cast<uint8_t>((e.shiftKey ? kShiftBit : 0) | (e.altKey ? kAltBit : 0) | (e.ctrlKey ? kCtrlBit : 0));
}

// Keys the game uses are kept from the page (arrows would scroll it, Alt opens menus).
EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void* user) {
    auto& input = *static_cast<WebInput*>(user);
    const int vk = VirtualKeyFromDomCode(e->code);
    if (vk < 0) return EM_FALSE;
    if (type == EMSCRIPTEN_EVENT_KEYDOWN) input.KeyDown(vk, ShiftOf(*e), e->repeat);
    else input.KeyUp(vk, ShiftOf(*e));
    return EM_TRUE;
}

EM_BOOL OnFocus(int type, const EmscriptenFocusEvent*, void* user) {
    static_cast<WebInput*>(user)->FocusChanged(type == EMSCRIPTEN_EVENT_FOCUS);
    return EM_FALSE;
}

uint16_t HeldOf(const EmscriptenGamepadEvent& pad) {
    if (std::strcmp(pad.mapping, "standard") != 0) return 0;
    uint16_t held = 0;
    for (int i = 0; i < kPadKeys; ++i) {
        if (kPadButtons[i].button < pad.numButtons && pad.digitalButton[kPadButtons[i].button]) held |= 1u << i;
    }
    if (pad.numAxes >= 2) {
        if (pad.axis[0] <= -kStickPress) held |= 1u << 0;
        if (pad.axis[1] <= -kStickPress) held |= 1u << 1;
        if (pad.axis[0] >= kStickPress) held |= 1u << 2;
        if (pad.axis[1] >= kStickPress) held |= 1u << 3;
    }
    return held;
}

}  // namespace

WebInput::WebInput(KeyboardState& keys) : keys_(keys) {
    const char* target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(target, this, true, OnKey);
    emscripten_set_keyup_callback(target, this, true, OnKey);
    emscripten_set_focus_callback(target, this, true, OnFocus);
    emscripten_set_blur_callback(target, this, true, OnFocus);
}

WebInput::~WebInput() {
    const char* target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(target, nullptr, true, nullptr);
    emscripten_set_keyup_callback(target, nullptr, true, nullptr);
    emscripten_set_focus_callback(target, nullptr, true, nullptr);
    emscripten_set_blur_callback(target, nullptr, true, nullptr);
}

void WebInput::KeyDown(int vk, uint8_t shift, bool repeat) {
    if (vk == kVkScreenshot && !repeat) ScreenshotWanted = true;
    if (keys_.Press(vk, shift)) CloseRequested = true;
}

void WebInput::KeyUp(int vk, uint8_t shift) { keys_.Release(vk, shift); }

// A key held while the page loses focus never sends its key-up.
void WebInput::FocusChanged(bool focused) {
    Focused = focused;
    if (!focused) keys_.Clear();
}

void WebInput::PollGamepads() {
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return;
    uint16_t held = 0;
    const int count = emscripten_get_num_gamepads();
    for (int i = 0; i < count; ++i) {
        EmscriptenGamepadEvent pad;
        if (emscripten_get_gamepad_status(i, &pad) == EMSCRIPTEN_RESULT_SUCCESS && pad.connected) held |= HeldOf(pad);
    }
    const uint16_t changed = held ^ padHeld_;
    padHeld_ = held;
    for (int i = 0; i < kPadKeys && changed != 0; ++i) {
        if ((changed & (1u << i)) == 0) continue;
        const int vk = kPadButtons[i].vk;
        if ((held & (1u << i)) != 0) {
            if (keys_.Press(vk, keys_.ModifiersDown())) CloseRequested = true;
        } else {
            keys_.Release(vk, keys_.ModifiersDown());
        }
    }
}

}  // namespace dv
