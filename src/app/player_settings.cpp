#include "app/player_settings.h"

#include "app/shell.h"

namespace dv {

std::vector<std::string> SettingsLines(const Shell&) { return {"Back"}; }
void ChangeSetting(Shell&, int, int) {}
void BindKey(Shell&, int, int) {}
std::string RebindPrompt(const Shell&) { return {}; }

}  // namespace dv
