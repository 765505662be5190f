// A sound sidecar that parses is held against a real small level: it fits, and then every
// floor lookup and emitter stays inside the level's rooms and cells, or it is refused in one
// line naming the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "level_builder.h"
#include "world/level_sounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const dv::LevelRecord level = dvtest::SampleLevel().Level;
    dv::LevelSounds s;
    std::string error;
    if (!dv::ParseLevelSounds(data, size, "f.snd", s, error)) return 0;
    if (!dv::CheckLevelSoundsFit(s, level.Map, "f.snd", error)) {
        if (error.rfind("f.snd", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    const auto rooms = static_cast<int32_t>(level.Map.Rooms.size());
    for (const dv::AmbienceEmitter& e : s.Emitters) {
        if (e.Room < 0 || e.Room >= rooms) std::abort();
    }
    for (int32_t room = -1; room <= rooms; ++room) {
        for (int32_t x = -1; x <= 40; ++x) {
            for (int32_t z = -1; z <= 40; ++z) s.FloorAt(room, x, z);
        }
    }
    return 0;
}
