#include <gtest/gtest.h>

#include "app/game.h"
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
    l.Kind = kLightPoint;
    l.Position = {x, 40, 64};
    l.Outer = 100;
    l.NoModels = noModels;
    return l;
}

}  // namespace

TEST(GameScene, VisibleLightsKeepTheAmbientSkipNoModelsAndGrowPastFifty) {
    const LevelRecord level = OpenRoomLevel();
    IdList ids;
    LightList room;
    room.Items.push_back(Light(0, 1));  // entry 0 is used even when marked NoModels
    room.Items.push_back(Light(10, 1));
    for (int i = 0; i < 70; ++i) room.Items.push_back(Light(20 + i, 0));
    room.Count = static_cast<int16_t>(room.Items.size());

    LightList visible;
    visible.Items.resize(50);
    visible.Count = 50;
    CollectVisibleLights(level, ids, room, Vec3{64, 0, 64}, 0, visible);
    ASSERT_EQ(visible.Count, 71);
    ASSERT_GE(visible.Items.size(), 71u);
    EXPECT_EQ(visible.Items[0].Position.x, 0.0f);
    EXPECT_EQ(visible.Items[1].Position.x, 20.0f);  // the NoModels light was left out
    EXPECT_EQ(visible.Items[70].Position.x, 89.0f);

    LightList empty;
    CollectVisibleLights(level, ids, empty, Vec3{64, 0, 64}, 0, visible);
    EXPECT_EQ(visible.Count, 0);  // no ambient entry: nothing is copied
}
