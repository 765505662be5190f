// Any bytes either parse into a sidecar whose grids, emitters and footfalls keep their
// promises (and serialise back to the same bytes), or give one line of error naming the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "world/level_sounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dv::LevelSounds s;
    std::string error;
    if (!dv::ParseLevelSounds(data, size, "f.snd", s, error)) {
        if (error.rfind("f.snd: offset ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    for (const dv::RoomFloorSounds& r : s.Rooms) {
        if (r.Cells.size() != static_cast<size_t>(r.CellsX) * static_cast<size_t>(r.CellsZ)) std::abort();
        for (dv::FloorSound f : r.Cells)
            if (static_cast<int>(f) >= dv::kFloorSoundCount) std::abort();
    }
    for (const dv::AmbienceEmitter& e : s.Emitters) {
        if (!dv::IsValidSoundName(e.Sound) || !(e.Radius > 0) || !(e.Volume >= 0 && e.Volume <= 1)) std::abort();
        if (e.Room < 0 || static_cast<size_t>(e.Room) >= s.Rooms.size()) std::abort();
    }
    for (const dv::ClipFootfalls& f : s.Footfalls)
        if (f.Frames.empty() || s.FootfallsOf(f.Clip) != &f) std::abort();
    std::vector<uint8_t> again;
    if (!dv::SerializeLevelSounds(s, again, error)) std::abort();
    if (again.size() != size) std::abort();
    return 0;
}
