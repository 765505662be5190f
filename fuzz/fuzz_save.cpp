// Any bytes either parse as a saved game of the given level or fail with one line naming the
// file; a parsed game then restores or is refused, never reaching out of the level.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/game.h"
#include "app/save_game.h"
#include "render/viewport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const dv::LevelIdentity level{1234, 0x1122334455667788ull};
    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    if (!dv::ParseSaveFile(bytes, "fuzz.sav", level, header, game, error)) {
        if (error.rfind("fuzz.sav: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    dv::LevelMap map;
    map.Rooms.resize(4);
    dv::GameState state(dv::Vec3{0, 0, 0});
    state.Follow = std::make_unique<dv::FollowCamera>();
    dv::Camera view;
    if (dv::RestoreGame(game, map, state, view, 1000, error) &&
        static_cast<size_t>(state.Body.Room) >= map.Rooms.size())
        std::abort();
    return 0;
}
