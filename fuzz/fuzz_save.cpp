// Saved games two ways. Bytes whose first is odd go to the reader as a whole file: it parses
// or fails with one line naming the file. Otherwise the rest is a game sealed here with a
// valid header and checksum, so that it reaches the restore checks: it restores into a real
// small level (rooms, a character with clips and animations) or is refused with the game
// untouched, and a restored game then plays its animation and camera without a number
// turning infinite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "level_builder.h"
#include "app/game.h"
#include "app/save_game.h"
#include "character/character.h"
#include "math/clock.h"
#include "render/viewport.h"

namespace {

const dv::LevelIdentity kLevelId{1234, 0x1122334455667788ull};

const dv::LevelRecord& SmallLevel() {
    static const dv::LevelRecord level = dvtest::SampleLevel().Level;
    return level;
}

bool Finite(const dv::Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void ParseWholeFile(const std::string& bytes) {
    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    if (!dv::ParseSaveFile(bytes, "fuzz.sav", kLevelId, header, game, error) &&
        (error.rfind("fuzz.sav: ", 0) != 0 || error.find('\n') != std::string::npos))
        std::abort();
}

void RestoreSealed(const uint8_t* data, size_t size) {
    dv::SavedGame payload{};
    std::memcpy(&payload, data, std::min(size, sizeof payload));
    dv::SaveHeader header{};
    std::memcpy(header.Magic, dv::kSaveMagic, sizeof header.Magic);
    header.Version = dv::kSaveVersion;
    header.PayloadBytes = sizeof payload;
    header.LevelBytes = kLevelId.Bytes;
    header.LevelHash = kLevelId.Hash;
    header.Room = payload.Body.Room;
    header.Checksum = dv::SaveChecksum(header, payload);
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(reinterpret_cast<const char*>(&payload), sizeof payload);
    dv::SaveHeader readHeader{};
    dv::SavedGame game{};
    std::string error;
    if (!dv::ParseSaveFile(bytes, "fuzz.sav", kLevelId, readHeader, game, error)) std::abort();

    const dv::LevelRecord& level = SmallLevel();
    dv::GameState state(level.Map.StartPosition);
    state.Follow = std::make_unique<dv::FollowCamera>();
    state.Follow->Level = &level.Map;
    state.CharacterModel.Create(level);
    if (!state.CharacterModel.BindMovable(0)) std::abort();
    dv::Camera view;
    const bool fits = dv::SaveFitsLevel(game, level, error);
    const bool restored = dv::RestoreGame(game, level.Map, state, view, 1000, error);
    if (fits != restored) std::abort();
    // DV_FUZZ_SAY=1 with a corpus as arguments tells which check each input stops at.
    if (std::getenv("DV_FUZZ_SAY") != nullptr)
        std::fprintf(stderr, "restore: %s\n", restored ? "whole" : error.c_str());
    if (!restored) {
        if (state.Body.Room != 0 || !dv::VecEqual(state.Body.Movement.Position, level.Map.StartPosition)) std::abort();
        return;
    }
    if (static_cast<size_t>(state.Body.Room) >= level.Map.Rooms.size()) std::abort();
    for (int tick = 0; tick < 4; ++tick) {
        dv::ClockAdvanceVirtual(18);
        state.CharacterModel.Update();
        state.Follow->Update();
    }
    if (!Finite(state.Follow->Eye()) || !Finite(state.Follow->Target()) ||
        !std::isfinite(state.CharacterModel.Playback().FramePos))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    dv::ClockUseVirtual(true);
    dv::ClockSetVirtualMs(1000);
    if (data[0] & 1) ParseWholeFile(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    else RestoreSealed(data + 1, size - 1);
    return 0;
}
