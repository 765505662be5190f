// Any levels.txt text either gives one to kMaxLevels levels with plain file names, distinct
// files and printable names, or fails with one line naming the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/level_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<dv::LevelEntry> levels;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!dv::ParseLevelList(text, "levels.txt", levels, error)) {
        if (error.rfind("levels.txt", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (levels.empty() || levels.size() > dv::kMaxLevels) std::abort();
    for (size_t i = 0; i < levels.size(); ++i) {
        const dv::LevelEntry& e = levels[i];
        if (e.File.find('/') != std::string::npos || e.Card.find('/') != std::string::npos) std::abort();
        if (e.Name.empty() || e.Name.size() > dv::kMaxLevelNameBytes) std::abort();
        for (const char c : e.Name) {
            if (c < 0x20 || c > 0x7e) std::abort();
        }
        for (size_t j = 0; j < i; ++j) {
            if (levels[j].File == e.File) std::abort();
        }
    }
    return 0;
}
