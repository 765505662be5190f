// What the pause menu's commands do to the shell's game.
#pragma once

#include "app/pause_menu.h"

namespace dv {

class Shell;

void RunMenuCommand(Shell& shell, const MenuResult& result);

}  // namespace dv
