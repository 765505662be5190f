// Meshes of the static objects a level source can place.
#pragma once

#include <functional>

#include "tools/level/level_source.h"
#include "world/level_records.h"

namespace dv {

// Model space is world space / 3.2 (objects are drawn scaled by 3.2), origin at the foot of
// the object, +Y up. `textureOf` gives the face texture value (relative to the template's
// slot) of a material. Faces are wound so that cross(b - a, c - a) points outwards; the whole
// mesh is one face run; the bounds enclose every vertex.
ModelRecord BuildObjectModel(ObjectKind kind, const std::function<int16_t(Material)>& textureOf);

}  // namespace dv
