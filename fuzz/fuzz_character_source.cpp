// Any three texts (the skeleton, the mesh and the clips, split at the first two NUL bytes)
// either parse as a character source or fail with one line naming one of the files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/character/character_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const size_t first = all.find('\0');
    const size_t second = first == std::string::npos ? std::string::npos : all.find('\0', first + 1);
    const std::string skeleton = all.substr(0, first);
    const std::string mesh = first == std::string::npos ? "" : all.substr(first + 1, second - first - 1);
    const std::string clips = second == std::string::npos ? "" : all.substr(second + 1);
    try {
        dv::ParseCharacterSource("skeleton.txt", skeleton, "mesh.txt", mesh, "clips.txt", clips);
    } catch (const dv::CharacterSourceError& e) {
        const std::string what = e.what();
        const bool named =
            what.rfind("skeleton.txt", 0) == 0 || what.rfind("mesh.txt", 0) == 0 || what.rfind("clips.txt", 0) == 0;
        if (!named || what.find('\n') != std::string::npos) std::abort();
    }
    return 0;
}
