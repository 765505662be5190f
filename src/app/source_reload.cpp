// Shell::ReloadLevel: the level compiled again from a watched source, swapped in between two
// frames with the game kept where it was when the new level still has room for it.
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/game.h"
#include "app/save_game.h"
#include "app/shell.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "motion/start_place.h"

namespace dv {

namespace {

// The floor under a world position of `room`: the room and place PlaceOnFloor gives for it.
PlaceResult FloorUnder(const LevelMap& map, int32_t room, const Vec3& p) {
    if (room < 0 || room >= map.RoomCount) return PlaceResult{PlaceFault::OutsideRoom, {}, 0};
    const Vec3 origin = map.Rooms[static_cast<size_t>(room)].Header.Origin;
    return PlaceOnFloor(map, room, (p.x - origin.x) / kCellSize, (p.z - origin.z) / kCellSize);
}

}  // namespace

void Shell::ReloadLevel(const CompiledSource& level) {
    const int32_t now = ClockMs();
    // The game as it is, and whether the character stands on its floor (then it stands on the
    // new floor after the swap, raised or lowered).
    std::optional<SavedGame> kept;
    bool onFloor = false;
    std::unique_ptr<FILE, TraceFileCloser> trace;
    if (Game) {
        trace = std::move(Game->Trace);
        if (InGame()) {
            kept = CaptureGame(*Game, ViewCamera, now);
            const PlaceResult floor = FloorUnder(Level.Map, Game->Body.Room, Game->Body.Movement.Position);
            onFloor = floor.Fault == PlaceFault::None &&
                      std::fabs(floor.Start.Position.y - Game->Body.Movement.Position.y) < 0.5f;
        }
    }

    levels_[0].File = level.LevelPath;
    setup_.SingleLevel = level.LevelPath;
    setup_.RoomNames = level.RoomNames;
    LoadLevelAt(0);
    if (setup_.StartAt.Given) {
        const std::string fault = PlaceStartAt();
        if (!fault.empty())
            std::fprintf(stderr, "--at %s: %s; the level's start is used\n", setup_.StartAt.Room.c_str(),
                         fault.c_str());
    }
    CreateGameState(*this);
    Game->Trace = std::move(trace);

    if (kept) {
        SavedGame& saved = *kept;
        const Vec3 p{saved.Body.Position.x, saved.Body.Position.y, saved.Body.Position.z};
        const PlaceResult floor = FloorUnder(Level.Map, saved.Body.Room, p);
        bool stays = floor.Fault == PlaceFault::None;
        if (stays) {
            // Feet below the new floor or on the old one: on the new floor.
            if (onFloor || p.y < floor.Start.Position.y) saved.Body.Position.y = floor.Start.Position.y;
            saved.Body.Room = floor.Start.Room;
            const Vec3 at = floor.Start.Position;
            const CellCoord cell = WorldToCell(Level.Map, floor.Start.Room, at.x, at.z);
            saved.Body.CellColumn = cell.Column;
            saved.Body.CellRow = cell.Row;
            std::string error;
            stays = RestoreGame(saved, Level.Map, *Game, ViewCamera, now, error);
        }
        if (!stays) {
            // A restore refused half-way may leave pieces of the old game: start afresh.
            trace = std::move(Game->Trace);
            CreateGameState(*this);
            Game->Trace = std::move(trace);
        }
        ClampCameraToLevel(*this);
        RebuildCharacterLights(*this);
    }
    std::vector<std::string> warnings;
    Audio.ChangeLevel(LevelPath(0), Level.Map, warnings);
    PrintWarnings(warnings);
}

}  // namespace dv
