// The character's shadow for the viewport's projected shadow (render/projected_shadow.h): the
// skinned mesh as the caster, with the square of ground fitted around it, and as receivers the
// level's triangles and static objects' faces under that square that face up and lie no
// higher than the feet, each vertex weighted by how far below the feet it lies.
#pragma once

#include <cstdint>
#include <vector>

#include "render/projected_shadow.h"
#include "world/level_records.h"
#include "world/skinned_mesh.h"

namespace dv {

class IdList;

// A receiver vertex this far below the feet takes half the shadow. A triangle whose lowest
// corner lies more than kShadowAboveFeet above the feet takes none; one that reaches down to
// the feet takes it fully at its corners above them, so that a slope rising past the feet
// keeps a firm shadow instead of fading towards its upper corner.
inline constexpr float kShadowFadeHeight = 96.0f;
inline constexpr float kShadowAboveFeet = 2.0f;
// Receivers face up at least this much (the y of their unit normal): floors, slopes and the
// tops of objects, not walls or ceilings.
inline constexpr float kShadowMinUpward = 0.3f;

// Work arrays; they only grow, so a steady frame allocates nothing.
struct ShadowScratch {
    std::vector<float> X, Y, Z;
    std::vector<Vec3> ObjectPositions;
};

// The character's faces, placed as the frame draws them ((x, y, z) x m + at), as the caster;
// the square fitted around them with room for the soft edge, which widens with `drop` (the
// height from the feet down to the floor below them). Replaces the caster; clears the
// receivers. False (and no caster) when the mesh has no finite vertices.
bool CastCharacterShadow(const ModelRecord& mesh, const SkinnedMesh& skinned, const Vec3& at, const Mat4& m, float drop,
                         ProjectedShadow& shadow, ShadowScratch& scratch);

// Adds the receivers under the shadow's square: in every room whose cells lie under it, the
// sectors of its quadtree that reach into the square and their triangles that do, and the
// room's static objects' faces there, at exactly the positions the frame drew them.
void CollectShadowReceivers(const LevelRecord& level, const IdList& ids, float feetY, ProjectedShadow& shadow,
                            ShadowScratch& scratch);

// How strongly a receiver vertex at height `y` takes the shadow of feet at `feetY` (0 to 1;
// 1 at and above the feet).
float ShadowStrength(float y, float feetY);

}  // namespace dv
