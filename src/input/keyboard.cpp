#include "input/keyboard.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace dv {

bool KeyboardState::Press(int code, uint8_t shift) {
    if (code < 0 || code > 255) return false;
    Down[code] = 1;
    Shift = shift;
    return code == kVkEscape;
}

void KeyboardState::Release(int code, uint8_t shift) {
    if (code < 0 || code > 255) return;
    Down[code] = 0;
    Shift = shift;
}

void KeyboardState::Clear() {
    std::memset(Down, 0, sizeof Down);
    Shift = 0;
}

int KeyCodeFromName(const char* name) {
    struct Named {
        const char* name;
        int code;
    };
    static constexpr Named kNames[] = {
        {"Up", kVkUp},         {"Down", kVkDown},         {"Left", kVkLeft},
        {"Right", kVkRight},   {"Shift", kVkShift},       {"Ctrl", kVkCtrl},
        {"Alt", kVkAlt},       {"Insert", kVkInsert},     {"Home", kVkHome},
        {"End", kVkEnd},       {"Escape", kVkEscape},     {"Enter", kVkEnter},
        {"Space", kVkSpace},   {"Tab", kVkTab},           {"Backspace", kVkBackspace},
        {"PageUp", kVkPageUp}, {"PageDown", kVkPageDown}, {"Delete", kVkDelete},
    };
    if (name == nullptr || *name == '\0') return -1;
    for (const Named& n : kNames) {
        if (strcasecmp(name, n.name) == 0) return n.code;
    }
    const size_t len = std::strlen(name);
    if (len == 1 && name[0] >= 'A' && name[0] <= 'Z') return name[0];
    if (len == 1 && name[0] >= 'a' && name[0] <= 'z') return name[0] - 'a' + 'A';
    if ((name[0] == 'F' || name[0] == 'f') && len >= 2 && len <= 3) {
        char* end = nullptr;
        const long n = std::strtol(name + 1, &end, 10);
        if (*end == '\0' && n >= 1 && n <= 12) return kVkF1 + static_cast<int>(n) - 1;
    }
    // Single digits name the digit keys; longer digit strings are decimal key codes.
    if (len == 1 && name[0] >= '0' && name[0] <= '9') return name[0];
    char* end = nullptr;
    const long code = std::strtol(name, &end, 10);
    if (*end == '\0' && name[0] >= '0' && name[0] <= '9' && code >= 0 && code <= 255) return static_cast<int>(code);
    return -1;
}

}  // namespace dv
