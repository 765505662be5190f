#include <gtest/gtest.h>

#include "motion/collision.h"
#include "world/visible_lights.h"
#include "world/sorted_array.h"

using namespace dv;

namespace {

// One open room of 4 x 4 cells, 4 cells high, at the origin.
LevelRecord OpenRoomLevel() {
    LevelRecord level;
    LevelRoom room;
    room.Header.CellsX = 4;
    room.Header.CellsZ = 4;
    room.Header.HeightCells = 4;
    room.Header.MaxY = 128;
    room.Cells.assign(4, std::vector<GridCell>(4));
    level.Map.Rooms.push_back(std::move(room));
    level.Map.RoomCount = 1;
    return level;
}

LightRecord Light(float x, uint8_t noModels) {
    LightRecord l{};
    l.Kind = LightKind::Point;
    l.Position = {x, 40, 64};
    l.Outer = 100;
    l.NoModels = noModels;
    return l;
}

}  // namespace

TEST(VisibleLights, KeepTheAmbientSkipNoModelsAndGrowPastFifty) {
    const LevelRecord level = OpenRoomLevel();
    IdList ids;
    LightList room;
    room.Items.push_back(Light(0, 1));  // entry 0 is used even when marked NoModels
    room.Items.push_back(Light(10, 1));
    for (int i = 0; i < 70; ++i) room.Items.push_back(Light(20 + i, 0));
    room.Count = static_cast<int16_t>(room.Items.size());

    const LevelSight sight{&level, &ids, 0};
    LightList visible;
    visible.Items.resize(50);
    visible.Count = 50;
    CollectVisibleLights(room, Vec3{64, 0, 64}, LevelLightOccluder(sight), visible);
    ASSERT_EQ(visible.Count, 71);
    ASSERT_GE(visible.Items.size(), 71u);
    EXPECT_EQ(visible.Items[0].Position.x, 0.0f);
    EXPECT_EQ(visible.Items[1].Position.x, 20.0f);  // the NoModels light was left out
    EXPECT_EQ(visible.Items[70].Position.x, 89.0f);

    LightList empty;
    CollectVisibleLights(empty, Vec3{64, 0, 64}, LevelLightOccluder(sight), visible);
    EXPECT_EQ(visible.Count, 0);  // no ambient entry: nothing is copied
}

TEST(VisibleLights, TheOccluderDecidesAndSeesTheProbeAboveTheFeet) {
    LightList room;
    for (int i = 0; i < 4; ++i) room.Items.push_back(Light(10.0f * i, 0));
    room.Count = 4;
    // Blocks the lights left of x = 15, and records the point they were tested against.
    struct Seen {
        Vec3 Point{};
    } seen;
    const LightOccluder occluder{[](const void* c, const Vec3& light, const Vec3& point) {
                                     const_cast<Seen*>(static_cast<const Seen*>(c))->Point = point;
                                     return light.x < 15.0f;
                                 },
                                 &seen};
    LightList visible;
    CollectVisibleLights(room, Vec3{64, 8, 32}, occluder, visible);
    ASSERT_EQ(visible.Count, 3);  // the ambient entry is never tested
    EXPECT_EQ(visible.Items[1].Position.x, 20.0f);
    EXPECT_EQ(visible.Items[2].Position.x, 30.0f);
    EXPECT_EQ(seen.Point.y, 24.0f);
}
