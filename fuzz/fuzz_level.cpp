// Parses arbitrary bytes as a level file; a malformed file must end in a LevelError only.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>
#include <string>

#include "world/level_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dv::LevelFileData level;
    std::string error;
    if (dv::ParseLevel(data, size, "fuzz.lev", level, error)) {
        // A level that parses must write back to the same bytes it came from, up to the
        // trailing bytes the reader ignores.
        const std::vector<uint8_t> bytes = dv::WriteLevel(level);
        if (bytes.size() > size || std::memcmp(bytes.data(), data, bytes.size()) != 0) __builtin_trap();
    }
    return 0;
}
