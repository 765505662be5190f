#include <gtest/gtest.h>

#include "level_builder.h"
#include "world/room_model.h"

namespace {

dv::LevelRecord LevelWithLights(std::vector<dv::LightSource> lights, int32_t hls, int16_t luminance) {
    dv::LevelRecord lev;
    dv::LevelRoom room;
    room.Header = dvtest::RoomHeader(0, 1, 1);
    room.Header.AmbientHls = hls;
    room.Header.AmbientLuminance = luminance;
    room.Lights = std::move(lights);
    room.LightCount = static_cast<int32_t>(room.Lights.size());
    lev.Map.Rooms = {room};
    lev.Map.RoomCount = 1;
    return lev;
}

dv::LightSource Light(int16_t kind, int8_t outer, int8_t inner) {
    dv::LightSource s{};
    s.Kind = kind;
    s.OuterRange = outer;
    s.InnerRange = inner;
    s.Position = dv::Vec3{1, 2, 3};
    s.Red = 255;
    s.Green = 51;
    s.Blue = 0;
    s.OuterCos = 0.5f;
    s.InnerCos = 0.8f;
    s.NoModels = 1;
    return s;
}

TEST(RoomLights, AmbientTermDividesBlueBy266) {
    dv::LightList list;
    // grey: luminance 240 in the top byte, saturation 0
    dv::BuildRoomLights(LevelWithLights({}, static_cast<int32_t>(240u << 24), -1), 0, list, 0, 0, 0);
    ASSERT_EQ(list.Count, 1);
    ASSERT_EQ(list.Items.size(), 1u);
    const dv::LightRecord& a = list.Items[0];
    EXPECT_EQ(a.Kind, dv::LightKind::Point);
    EXPECT_EQ(+a.Inner, -1.0f);
    EXPECT_EQ(+a.Outer, -1.0f);
    EXPECT_FLOAT_EQ(+a.ConstantB.x, 1.0f);
    EXPECT_FLOAT_EQ(+a.ConstantB.y, 1.0f);
    EXPECT_FLOAT_EQ(+a.ConstantB.z, 255.0f / 266.0f);
    EXPECT_EQ(+a.Diffuse.x, 0.0f);
    EXPECT_EQ(+a.SpecularIntensity, 0.0f);
}

TEST(RoomLights, LuminanceOverride) {
    dv::LightList own, fixed;
    const int32_t hls = static_cast<int32_t>(0u << 24);  // black by its own luminance
    dv::BuildRoomLights(LevelWithLights({}, hls, -1), 0, own, 0, 0, 0);
    dv::BuildRoomLights(LevelWithLights({}, hls, 120), 0, fixed, 0, 0, 0);
    EXPECT_EQ(+own.Items[0].ConstantB.x, 0.0f);
    EXPECT_FLOAT_EQ(+fixed.Items[0].ConstantB.x, 127.0f / 255.0f);  // mid grey
}

TEST(RoomLights, PointAndSpotLights) {
    dv::LightList list;
    const dv::LevelRecord lev = LevelWithLights(
        {Light(0, 10, 4), Light(0, -1, 4), Light(1, 20, 0), Light(1, 5, 3), Light(0x0101, 10, 4)}, 0, -1);
    dv::BuildRoomLights(lev, 0, list, 100, 200, 300);
    ASSERT_EQ(list.Count, 6);
    const auto& point = list.Items[1];
    EXPECT_EQ(+point.Inner, 64.0f);
    EXPECT_EQ(+point.Outer, 160.0f);
    EXPECT_EQ(+point.Position.x, 101.0f);
    EXPECT_EQ(+point.Position.z, 303.0f);
    EXPECT_FLOAT_EQ(+point.Diffuse.y, 0.2f);
    EXPECT_FLOAT_EQ(+point.Specular.x, 0.3f);
    EXPECT_FLOAT_EQ(+point.Sharpness, 0.01f);
    EXPECT_EQ(+point.NoModels, 1);
    EXPECT_EQ(+list.Items[2].Outer, -16.0f);
    const auto& cone = list.Items[3];
    EXPECT_EQ(cone.Kind, dv::LightKind::Spot);
    EXPECT_EQ(+cone.FalloffMode, 1);
    EXPECT_EQ(+cone.Outer, 0.0f);  // 1 - 0.09 * 20 raised to 0
    EXPECT_EQ(+cone.Inner, 0.8f);
    const auto& spot = list.Items[4];
    EXPECT_EQ(+spot.FalloffMode, 0);
    EXPECT_EQ(+spot.Outer, 0.5f);
    EXPECT_EQ(+spot.Inner, 0.8f);
    // kind 0x0101: light type from the low byte, but not the spot rule of the whole word
    EXPECT_EQ(list.Items[5].Kind, dv::LightKind::Spot);
    EXPECT_EQ(+list.Items[5].Outer, 160.0f);

    dv::BuildRoomLights(LevelWithLights({}, 0, -1), 0, list, 0, 0, 0);
    EXPECT_EQ(list.Count, 1);
}

TEST(RoomModel, AppendSector) {
    dv::TriangleBuffer list;
    dv::SectorTriangles a, empty;
    dvtest::AddTriangles(a, 2);
    dv::AppendSector(list, a);
    dv::AppendSector(list, empty);
    dv::AppendSector(list, a);
    EXPECT_EQ(list.Count, 4);
    ASSERT_EQ(list.Triangles.size(), 4u);
    EXPECT_EQ(list.Triangles[3].Texture, 1002);
    EXPECT_EQ(list.Vertices[2].V[2].Position.x, 64.0f);
}

TEST(RoomModel, CellHalves) {
    dv::LevelMap map;
    dv::LevelRoom room;
    room.Cells.assign(1, std::vector<dv::GridCell>(2));
    room.Cells[0][1].FloorFlags = 1;
    room.Cells[0][1].CeilingFlags = 1;
    map.Rooms = {room};
    EXPECT_EQ(dv::CellFloorHalf(0, 0, 0, map, 0, 31), 1);
    EXPECT_EQ(dv::CellFloorHalf(0, 0, 0, map, 0, 31.5f), 2);
    EXPECT_EQ(dv::CellFloorHalf(0, 1, 0, map, 10, 10), 2);
    EXPECT_EQ(dv::CellFloorHalf(0, 1, 0, map, 10, 11), 1);
    EXPECT_EQ(dv::CellCeilingHalf(0, 0, 0, map, 10, 10), 2);
    EXPECT_EQ(dv::CellCeilingHalf(0, 0, 0, map, 10, 11), 1);
    EXPECT_EQ(dv::CellCeilingHalf(0, 1, 0, map, 0, 31), 1);
    EXPECT_EQ(dv::CellCeilingHalf(0, 1, 0, map, 0, 31.5f), 2);
}

}  // namespace
