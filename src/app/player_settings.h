// The player's settings: kept in settings.ini, shown and changed on the menu's settings page.
#pragma once

#include <string>
#include <vector>

namespace dv {

class Shell;

// The settings page's lines as the menu shows them, Back last.
std::vector<std::string> SettingsLines(const Shell& shell);
// Left (-1) or right (+1) on line `line` of the settings page.
void ChangeSetting(Shell& shell, int line, int step);
// The new key `code` for the key binding on line `line`.
void BindKey(Shell& shell, int line, int code);
std::string RebindPrompt(const Shell& shell);

}  // namespace dv
