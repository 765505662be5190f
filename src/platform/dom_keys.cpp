#include "platform/dom_keys.h"

#include "input/keyboard.h"

namespace dv {

namespace {

struct NamedKey {
    std::string_view code;
    int vk;
};

constexpr NamedKey kNamedKeys[] = {
    {"ArrowLeft", kVkLeft},  {"ArrowUp", kVkUp},          {"ArrowRight", kVkRight}, {"ArrowDown", kVkDown},
    {"Insert", kVkInsert},   {"Home", kVkHome},           {"End", kVkEnd},          {"Escape", kVkEscape},
    {"ShiftLeft", kVkShift}, {"ShiftRight", kVkShift},    {"ControlLeft", kVkCtrl}, {"ControlRight", kVkCtrl},
    {"AltLeft", kVkAlt},     {"AltRight", kVkAlt},        {"Space", kVkSpace},      {"Enter", kVkEnter},
    {"Tab", kVkTab},         {"Backspace", kVkBackspace}, {"PageUp", kVkPageUp},    {"PageDown", kVkPageDown},
    {"Delete", kVkDelete},
};

}  // namespace

int VirtualKeyFromDomCode(std::string_view code) {
    if (code.size() == 4 && code.substr(0, 3) == "Key" && code[3] >= 'A' && code[3] <= 'Z')
        return kVkA + (code[3] - 'A');
    if (code.size() == 6 && code.substr(0, 5) == "Digit" && code[5] >= '0' && code[5] <= '9')
        return kVk0 + (code[5] - '0');
    if ((code.size() == 2 || code.size() == 3) && code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
        int n = code[1] - '0';
        if (code.size() == 3) {
            if (code[2] < '0' || code[2] > '9') return -1;
            n = n * 10 + (code[2] - '0');
        }
        return n >= 1 && n <= 12 ? kVkF1 + n - 1 : -1;
    }
    for (const NamedKey& k : kNamedKeys) {
        if (k.code == code) return k.vk;
    }
    return -1;
}

}  // namespace dv
