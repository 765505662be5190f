// Where the player's own files live: the settings file and the folder of saved games.
#pragma once

#include <string>

namespace dv {

// With `configDir` (--config) that folder and its "saves" folder; else
// $XDG_CONFIG_HOME/dedivirede/settings.ini (~/.config/dedivirede) and
// $XDG_DATA_HOME/dedivirede/saves (~/.local/share/dedivirede/saves). A variable that is not
// an absolute path counts as unset. Levels compiled from sources go to the "cache" folder of
// `configDir`, else to $XDG_CACHE_HOME/dedivirede (~/.cache/dedivirede).
struct PlayerFolders {
    std::string SettingsPath;
    std::string SavesDir;
    std::string CacheDir;
};
PlayerFolders FindPlayerFolders(const std::string& configDir);

}  // namespace dv
