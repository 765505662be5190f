#include "input/key_bindings.h"

namespace dv {

namespace {

struct GameKeyText {
    const char* Id;
    const char* Label;
};

constexpr GameKeyText kGameKeyTexts[kGameKeyCount] = {
    {"forward", "Run forward"},
    {"back", "Step back"},
    {"left", "Turn left"},
    {"right", "Turn right"},
    {"walk", "Walk, side-step"},
    {"jump", "Jump, climb"},
    {"let_go", "Let go"},
    {"turn_around", "Turn around"},
    {"free_look", "Free look"},
    {"camera_home", "Camera behind"},
    {"tilt_up", "Tilt camera up"},
    {"tilt_down", "Tilt camera down"},
    {"swing_left", "Swing camera left"},
    {"swing_right", "Swing camera right"},
};

}  // namespace

bool KeyBindings::Held(const KeyboardState& keys, GameKey key) const {
    const int code = Of(key);
    if (code >= 'A' && code <= 'Z' && keys.IsDown(code - 'A' + 'a')) return true;
    return keys.IsDown(code);
}

const char* GameKeyId(GameKey key) { return kGameKeyTexts[static_cast<int>(key)].Id; }
const char* GameKeyLabel(GameKey key) { return kGameKeyTexts[static_cast<int>(key)].Label; }

std::string KeyName(int code) {
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return std::string(1, static_cast<char>(code));
    if (code >= kVkF1 && code < kVkF1 + 12) return "F" + std::to_string(code - kVkF1 + 1);
    for (const char* name : {"Up", "Down", "Left", "Right", "Shift", "Ctrl", "Alt", "Insert", "Home", "End", "Escape",
                             "Enter", "Space", "Tab", "Backspace", "PageUp", "PageDown", "Delete"}) {
        if (KeyCodeFromName(name) == code) return name;
    }
    // Unnamed codes as decimal numbers; below 10 with leading zeros, which single digits
    // would name the digit keys.
    return (code >= 0 && code < 10 ? "00" : "") + std::to_string(code);
}

}  // namespace dv
