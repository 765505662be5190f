// A shadow cast straight down by one model, as a projected shadow texture: the scene hands
// the viewport the model's triangles (the caster) and the triangles of the ground under it
// (the receivers). The viewport draws the caster flat into a square texture seen from above
// the ground, several times slightly shifted so that its edge is soft, and then draws the
// receivers once more over the frame with that texture projected onto them, darkening what
// is already there.
#pragma once

#include <cstdint>
#include <vector>

#include "math/vecmath.h"

namespace dv {

// A caster or receiver vertex (D3DFVF_XYZ | D3DFVF_DIFFUSE): the world position and, for a
// receiver, how strongly it takes the shadow (grey, 255 = fully).
#pragma pack(push, 1)
struct ShadowVertex {
    PackedVec3 Position;
    uint32_t Diffuse;
};
#pragma pack(pop)
static_assert(sizeof(ShadowVertex) == 16);
inline constexpr uint32_t kShadowFvf = 0x042;  // XYZ | DIFFUSE

// Texels along each side of the shadow texture.
inline constexpr int kShadowTextureSize = 256;
// How many shifted copies of the caster make its soft edge.
inline constexpr int kShadowTaps = 9;

struct ProjectedShadow {
    bool Active = false;  // drawn in this frame
    // The square of ground the texture covers: centre and half its side, in world x and z.
    float CentreX = 0.0f;
    float CentreZ = 0.0f;
    float HalfSize = 1.0f;
    float BlurTexels = 1.5f;           // how far the shifted copies of the caster lie from the middle one
    uint8_t Darkness = 150;            // what the full shadow takes away from the ground, of 255
    std::vector<ShadowVertex> Caster;  // three vertices per triangle; the vector only grows
    int32_t CasterCount = 0;           // vertices in use
    std::vector<ShadowVertex> Receivers;
    int32_t ReceiverCount = 0;

    void Clear() {
        Active = false;
        CasterCount = ReceiverCount = 0;
    }
    // Room for `count` more vertices at the end of the list; they count as used.
    ShadowVertex* AddCaster(int32_t count);
    ShadowVertex* AddReceivers(int32_t count);
};

// World position to the shadow texture's clip space, looking down: world x to clip x, world z
// to clip y (the texture's top row is the square's far side in z), the constant `depth` as
// depth; the square moved by (shiftX, shiftY) in clip units.
Mat4 ShadowProjection(const ProjectedShadow& shadow, float shiftX, float shiftY, float depth);
// Camera-space position to the shadow texture's (u, v), for a stage with camera-space
// coordinates and a two-output transform. `view` is the camera's view matrix.
Mat4 ShadowTextureMatrix(const ProjectedShadow& shadow, const Mat4& view);

}  // namespace dv
