// Any settings.ini text leaves settings within their ranges, with no key bound twice, and
// warnings of one line each naming the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/player_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dv::PlayerSettings s;
    std::vector<std::string> warnings;
    dv::ParsePlayerSettings(std::string_view(reinterpret_cast<const char*>(data), size), "settings.ini", s, warnings);
    for (const std::string& w : warnings) {
        if (w.rfind("settings.ini:", 0) != 0 || w.find('\n') != std::string::npos) std::abort();
    }
    for (const int v : {s.MasterVolume, s.EffectsVolume, s.AmbienceVolume, s.MusicVolume}) {
        if (v < 0 || v > 100) std::abort();
    }
    if (s.WindowWidth < dv::kMinWindowSide || s.WindowHeight > dv::kMaxWindowSide) std::abort();
    for (int a = 0; a < dv::kGameKeyCount; ++a) {
        for (int b = a + 1; b < dv::kGameKeyCount; ++b) {
            if (s.Keys.Code[a] == s.Keys.Code[b]) std::abort();
        }
    }
    return 0;
}
