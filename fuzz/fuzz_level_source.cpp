// Any text either parses as a level source whose rooms have cells and whose start names one
// of them, or fails with one line naming the file and a line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/level/level_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const dv::LevelSource source = dv::ParseLevelSource(text, "f.txt");
        if (source.Rooms.empty()) std::abort();
    } catch (const dv::SourceError& e) {
        const std::string what = e.what();
        if (what.rfind("f.txt", 0) != 0 || what.find('\n') != std::string::npos) std::abort();
    }
    return 0;
}
