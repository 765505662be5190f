// Which key stands for each thing the game reads from the keyboard. The defaults are the
// game's own keys; the player may bind others in the settings.
#pragma once

#include <cstdint>
#include <string>

#include "input/keyboard.h"

namespace dv {

enum class GameKey : uint8_t {
    Forward,
    Back,
    Left,
    Right,
    Walk,
    Jump,
    LetGo,
    TurnAround,
    FreeLook,
    CameraHome,
    TiltUp,
    TiltDown,
    SwingLeft,
    SwingRight,
};
inline constexpr int kGameKeyCount = 14;

struct KeyBindings {
    uint8_t Code[kGameKeyCount] = {kKeyCharacterForward,
                                   kKeyCharacterBack,
                                   kKeyCharacterLeft,
                                   kKeyCharacterRight,
                                   kVkShift,
                                   kKeyCharacterJump,
                                   kKeyCharacterLetGo,
                                   kKeyCharacterTurnAround,
                                   kKeyCameraFreeLook,
                                   kKeyCameraHome,
                                   'Q',
                                   'A',
                                   'Z',
                                   'X'};
    bool InvertTilt = false;  // the tilt keys swap their directions

    int Of(GameKey key) const { return Code[static_cast<int>(key)]; }
    // Whether the key bound to `key` is down; letters count under their lower-case code too,
    // as the camera's keys have always been read.
    bool Held(const KeyboardState& keys, GameKey key) const;
};

// The settings file's name of each action ("forward", "swing_left", ...) and the label the
// menu shows ("Run forward", ...).
const char* GameKeyId(GameKey key);
const char* GameKeyLabel(GameKey key);
// The name a replay script and the settings file give `code` ("Up", "Q", "F5", or the decimal
// code of a key without a name).
std::string KeyName(int code);

}  // namespace dv
