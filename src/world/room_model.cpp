#include "world/room_model.h"

#include <algorithm>

#include "math/lighting.h"

namespace dv {
namespace {

float Div(double a, double b) { return static_cast<float>(a / b); }

// Half 1 lies on the side of the diagonal where w <= 31 - u when `antiDiagonal`, else where w > u.
int HalfOf(bool antiDiagonal, float u, float w) {
    if (antiDiagonal) return w <= 31.0f - u ? 1 : 2;
    return w > u ? 1 : 2;
}

}  // namespace

void BuildRoomLights(const LevelRecord& level, int roomIndex, LightList& list, float ox, float oy, float oz) {
    const LevelRoom& room = level.Map.Rooms[static_cast<size_t>(roomIndex)];
    const int32_t n = room.LightCount;
    list.Count = static_cast<int16_t>(n + 1);
    list.Items.resize(static_cast<size_t>(n) + 1);

    LightRecord& ambient = list.Items[0];
    uint8_t r = 0, g = 0, b = 0;
    HlsToRgbBytes(static_cast<uint32_t>(room.Header.AmbientHls), room.Header.AmbientLuminance, r, g, b);
    ambient.Kind = LightKind::Point;
    ambient.Inner = -1.0f;
    ambient.Outer = -1.0f;
    ambient.ConstantA = Vec3{0, 0, 0};
    ambient.Diffuse = Vec3{0, 0, 0};
    ambient.Sharpness = 0.0f;
    ambient.SpecularIntensity = 0.0f;
    // The blue byte is divided by 266: stored levels are lit with this tint.
    ambient.ConstantB = Vec3{Div(r, 255), Div(g, 255), Div(b, 266)};

    for (int32_t i = 0; i < n; ++i) {
        const LightSource& s = room.Lights[static_cast<size_t>(i)];
        LightRecord& l = list.Items[static_cast<size_t>(i) + 1];
        l.Kind = static_cast<LightKind>(s.Kind & 0xFF);
        l.Position = Vec3{s.Position.x + ox, s.Position.y + oy, s.Position.z + oz};
        l.CutOffset = s.CutOffset;
        l.Direction = s.Direction;
        l.Inner = s.InnerRange * 16.0f;
        l.Outer = s.OuterRange * 16.0f;
        l.FalloffMode = 0;
        l.NoModels = s.NoModels;
        if (s.Kind == static_cast<int16_t>(LightKind::Spot)) {
            l.Inner = s.InnerCos;
            l.Outer = s.OuterCos;
            if (s.InnerRange == 0) {
                l.FalloffMode = 1;
                l.Outer = std::max(static_cast<float>(1.0 - 0.09 * s.OuterRange), 0.0f);
            }
        }
        l.ConstantA = Vec3{0, 0, 0};
        l.ConstantB = Vec3{0, 0, 0};
        l.Diffuse = Vec3{Div(s.Red, 255), Div(s.Green, 255), Div(s.Blue, 255)};
        l.Specular = Vec3{0.3f, 0.3f, 0.3f};
        l.Sharpness = 0.01f;
        l.SpecularIntensity = 0.0f;
    }
}

int CellFloorHalf(int x, int z, int roomIndex, const LevelMap& map, float u, float w) {
    const GridCell& c = map.Rooms[static_cast<size_t>(roomIndex)].Cells[static_cast<size_t>(x)][static_cast<size_t>(z)];
    return HalfOf((c.FloorFlags & 1) == 0, u, w);
}

int CellCeilingHalf(int x, int z, int roomIndex, const LevelMap& map, float u, float w) {
    const GridCell& c = map.Rooms[static_cast<size_t>(roomIndex)].Cells[static_cast<size_t>(x)][static_cast<size_t>(z)];
    return HalfOf((c.CeilingFlags & 1) != 0, u, w);
}

}  // namespace dv
