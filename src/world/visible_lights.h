// The lights of a room that reach a model standing in it: what the character is lit by each
// frame, picked from its room's light list (world/room_model.h) by a sight test the caller
// supplies (the collision queries of motion/, which sit above this layer).
#pragma once

#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

// Whether the segment from a light at `light` to `point` is blocked; `context` is the
// caller's.
struct LightOccluder {
    bool (*Blocked)(const void* context, const Vec3& light, const Vec3& point) = nullptr;
    const void* Context = nullptr;
};

// The lights that reach a model standing at `position`: entry 0 (the ambient term) always,
// then every light not marked NoModels whose segment to a point 16 units above `position`
// `occluder` does not block. `out` keeps its vector and only grows it; without an ambient
// entry in `roomLights` it is left empty.
void CollectVisibleLights(const LightList& roomLights, const Vec3& position, const LightOccluder& occluder,
                          LightList& out);

}  // namespace dv
