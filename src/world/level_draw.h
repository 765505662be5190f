// Portal-based drawing of the level: sector culling, per-triangle preparation (placement,
// culling, software fog, bump effect), static objects and the character mesh.
//
// The renderer never draws: it appends triangle lists to a LevelDrawTarget, which carries
// what it reads from the viewport (camera eye and direction, view distance, fog settings,
// bump limit, the viewport's own frustum) and where the triangles go. The level's own
// records are never changed; sectors are prepared on a copy.
#pragma once

#include <cstdint>
#include <vector>

#include "math/lighting.h"
#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

class IdList;
class Viewport;

// What the renderer reads from the viewport, and the viewport's AddTriangles.
struct LevelDrawTarget {
    Vec3 Eye{};                    // camera eye
    Vec3 ViewDirection{};          // unit look direction
    float ViewDistance = 1024.0f;  // D: the fog end without the fog offset
    float FogStart = 192.0f;
    uint8_t FogRed = 0, FogGreen = 0, FogBlue = 0;
    bool HardwareFog = true;   // software fog is applied only when this is off
    int32_t LevelLimit = 0;    // base slots up to this get the bump effect
    float FarPlane = 1000.0f;  // the projection's far distance, for portal far planes
    Frustum ViewFrustum{};     // the viewport's own frustum, used for object faces
    void* User = nullptr;
    void (*Append)(void* user, const TriangleHeader* triangles, const TriangleVertices* vertices,
                   int32_t count) = nullptr;
};

// The target for drawing into `viewport`: its camera's eye and direction, its fog settings
// (D = Fog.End without the fog offset), far plane, LevelLimit and frustum; the
// triangles go to its AddTriangles. The viewport must outlive the target.
LevelDrawTarget ViewportDrawTarget(Viewport& viewport);

// Where a static object of a room placed at `roomOrigin` stands: its model matrix (scale and
// turn) and its position in the world. The shadow's receivers place objects with it too, so
// that they land on exactly the positions the frame drew.
void PlaceObjectInstance(const ObjectInstance& instance, const Vec3& roomOrigin, Mat4& m, Vec3& at);

// A room's static object as the frame draws it: its template, its model and where it stands.
struct PlacedObject {
    const ObjectTemplate* Template = nullptr;
    const ModelRecord* Model = nullptr;
    Mat4 M{};
    Vec3 At{};
};

// Looks up instance -> template -> model through `ids` and places it with PlaceObjectInstance;
// false (and `out` untouched) when the id or the template's model index names nothing. The
// level drawing and the shadow's receivers both go through it, so they skip and place alike.
bool PlaceRoomObject(const LevelRecord& level, const IdList& ids, const ObjectInstance& instance,
                     const Vec3& roomOrigin, PlacedObject& out);

// The room's instances that its instance count says are in use (never more than it holds).
size_t RoomInstanceCount(const LevelRoom& room);

// Portal recursion stops at this depth; no portal is passed twice within one descent.
inline constexpr int kMaxPortalDepth = 64;

// Work lists reused between calls so that a frame allocates only when a list grows.
struct LevelDrawScratch {
    SectorTriangles Sector;
    TriangleBuffer Objects;
    LightList Lights;
    std::vector<Vec3> Positions;  // per mesh vertex: world position, normal, lit colour
    std::vector<Vec3> Normals;
    std::vector<Vec3> Colours;
    std::vector<uint8_t> Lit;                 // per mesh vertex: colour computed in this placement
    const LightRecord* MeshLights = nullptr;  // the lights of the mesh being drawn
    int32_t LightCount = 0;
    std::vector<uint8_t> LightReaches;  // per light: may reach the mesh's bounds
};

// Draws room `room` placed at origin (ox, oy, oz) within `frustum` and, when `recurse` is set,
// the rooms seen through its portals (each with the narrowed portal frustum). A room reached
// through two portals is drawn twice. Instances whose id or template is unknown are skipped.
void DrawLevelRoom(const LevelRecord& level, int room, const IdList& ids, float ox, float oy, float oz,
                   const LevelDrawTarget& target, const Frustum& frustum, bool recurse,
                   LevelDrawScratch* scratch = nullptr);

// The same, drawing into the viewport.
void DrawLevelRoom(const LevelRecord& level, int room, const IdList& ids, float ox, float oy, float oz,
                   Viewport& viewport, const Frustum& frustum, bool recurse, LevelDrawScratch* scratch = nullptr);

// Software fog by the farthest corner's distance `r` from the eye (when the target's fog is not
// the hardware's and r reaches the fog start), and the sort key -r.
void FogAndSortKey(TriangleHeader& tri, TriangleVertices& block, float r, const LevelDrawTarget& t);

// Places the list's room-relative triangles at the origin, removes those outside the frustum,
// facing away from the eye or beyond the view distance (swap with the last, no shifting),
// applies software fog, stores the negated distance as the sort key and marks bump triangles.
void PrepareSectorTriangles(SectorTriangles& list, float ox, float oy, float oz, const LevelDrawTarget& target,
                            const Frustum& frustum);

// Lights, transforms and culls a static object's mesh into `out` (replacing its content;
// out.Count tells how many records are valid, the arrays only grow): the faces of the model's
// ten FaceRuns, lit per vertex by `lights` with the vertex gloss. A bump-slot base below 0
// disables bump mapping.
void DrawLevelObject(int32_t baseSlot, int32_t bumpSlotBase, const ModelRecord& mesh, float px, float py, float pz,
                     const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                     const LightList& lights, LevelDrawScratch* scratch = nullptr);

// The same for the character: all faces in order, vertices from `vertices` when given (the
// animator's skinned vertices, as many as the mesh has) or else from the mesh.
void DrawMovableModel(int32_t baseSlot, int32_t bumpSlotBase, const ModelRecord& mesh, float px, float py, float pz,
                      const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                      const LightList& lights, const ModelVertices* vertices = nullptr,
                      LevelDrawScratch* scratch = nullptr);

}  // namespace dv
