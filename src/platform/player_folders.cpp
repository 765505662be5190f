#include "platform/player_folders.h"

#include <cstdlib>

namespace dv {

namespace {

std::string EnvFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/" + fallbackUnderHome;
}

}  // namespace

PlayerFolders FindPlayerFolders(const std::string& configDir) {
    if (!configDir.empty()) return {configDir + "/settings.ini", configDir + "/saves", configDir + "/cache"};
    return {EnvFolder("XDG_CONFIG_HOME", ".config") + "/dedivirede/settings.ini",
            EnvFolder("XDG_DATA_HOME", ".local/share") + "/dedivirede/saves",
            EnvFolder("XDG_CACHE_HOME", ".cache") + "/dedivirede"};
}

}  // namespace dv
