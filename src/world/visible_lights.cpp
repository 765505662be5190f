#include "world/visible_lights.h"

namespace dv {

namespace {

constexpr float kLightProbeHeight = 16.0f;

}  // namespace

void CollectVisibleLights(const LightList& roomLights, const Vec3& position, const LightOccluder& occluder,
                          LightList& out) {
    out.Count = 0;
    if (roomLights.Count <= 0 || roomLights.Items.empty()) return;  // a list without its ambient entry
    auto append = [&out](const LightRecord& light) {
        if (static_cast<size_t>(out.Count) >= out.Items.size()) out.Items.push_back(light);
        else out.Items[static_cast<size_t>(out.Count)] = light;
        ++out.Count;
    };
    append(roomLights.Items[0]);
    const Vec3 probe = VecAdd(position, Vec3{0, kLightProbeHeight, 0});
    for (int16_t i = 1; i < roomLights.Count; ++i) {
        const LightRecord& light = roomLights.Items[static_cast<size_t>(i)];
        if (light.NoModels != 0) continue;
        if (occluder.Blocked != nullptr && occluder.Blocked(occluder.Context, light.Position, probe)) continue;
        append(light);
    }
}

}  // namespace dv
