// The shell's record for the app modules that keep a part of it, and for tests and benchmarks:
// write access to what Shell shows read-only, and the few fields it shows to nobody else.
#pragma once

#include <string>
#include <vector>

#include "app/shell.h"

namespace dv {

struct ShellInternals {
    // The title sequence (app/title_sequence.cpp), and tests that skip the title.
    static Shell::UpdateFn& UpdateCallback(Shell& s) { return s.updateCallback_; }
    static TitleStep& TitleState(Shell& s) { return s.titleState_; }
    static int32_t& TitleStartTime(Shell& s) { return s.titleStartTime_; }  // the clock the picture came up
    static int32_t& PlayStartedAt(Shell& s) { return s.playStartedAt_; }

    // The save slots (app/save_slots.cpp).
    static int32_t& PausedAt(Shell& s) { return s.pausedAt_; }
    static std::vector<std::string>& SlotLines(Shell& s) { return s.slotLines_; }
    static const LevelIdentity& LevelId(const Shell& s) { return s.levelId_; }
    static const std::vector<LevelIdentity>& LevelIds(const Shell& s) { return s.levelIds_; }

    // The menu's settings commands (app/player_settings.cpp).
    static PlayerSettings& Settings(Shell& s) { return s.settings_; }

    // The run loop's --watch (app/run.cpp): the source's fault, shown until a good save mends it.
    static std::string& ReloadError(Shell& s) { return s.reloadError_; }

    // The game's start (app/game.cpp): --at resolved on the loaded level, or null.
    static const PlacedStart* StartOverride(const Shell& s) {
        return s.hasStartOverride_ ? &s.startOverride_ : nullptr;
    }
    static float StartHeading(const Shell& s) { return s.startHeading_; }
};

}  // namespace dv
