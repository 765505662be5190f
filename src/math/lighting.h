// Per-vertex lighting and the two colour conversions the level model and renderer use.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

namespace dv {

// The byte values are the low byte of a level file's light kind; other values may occur and
// light with their constant terms only.
enum class LightKind : uint8_t { Point = 0, Spot = 1, Omni = 2, Directional = 3 };

// One entry of a room's light list.
struct LightRecord {
    LightKind Kind;
    Vec3 Position;
    Vec3 ConstantA;  // both constant terms are added unconditionally
    Vec3 ConstantB;
    Vec3 Diffuse;
    Vec3 Specular;
    float Sharpness;  // specular skipped when <= 0
    float SpecularIntensity;
    float Inner;      // inner radius (point) or cosine of the inner cone (spot)
    float Outer;      // outer radius (point) or cosine of the outer cone (spot)
    float CutOffset;  // offset of the spot's cut-off plane, normal = Direction
    Vec3 Direction;
    int32_t FalloffMode;  // 1: plain cosine falloff; otherwise cone falloff with cut-off plane
    uint8_t NoModels;     // non-zero: not used for the character
};

// Adds one light's contribution to `colour` and clamps each component to [0, 1].
// A kind above 3 contributes only its constant terms.
void LightVertex(const Vec3& position, const Vec3& normal, Vec3& colour, const LightRecord& light, const Vec3& eye);
// The same with `specularIntensity` in place of the light's own (a mesh adds its vertex gloss),
// so that callers need no copy of the record per vertex.
void LightVertex(const Vec3& position, const Vec3& normal, Vec3& colour, const LightRecord& light, const Vec3& eye,
                 float specularIntensity);
// Adds only the light's constant terms and clamps: what LightVertex does for a vertex the
// light does not reach.
void LightVertexConstantOnly(Vec3& colour, const LightRecord& light);
// True when `light` is a point light whose outer radius cannot reach any point of the box
// [lo, hi]: for every vertex in the box LightVertex then adds only the constant terms.
bool PointLightMissesBox(const LightRecord& light, const Vec3& lo, const Vec3& hi);
// A normal-map texel: ARGB with alpha 255, R/G/B = trunc(component * 127 + 128).
uint32_t NormalToColor(const Vec3& n);
// HLS (hue low 16 bits, saturation bits 16..23, luminance bits 24..31 or the argument when it
// is not negative) to RGB bytes by the Windows colour-dialog rule (HLSMAX 240, RGBMAX 255).
void HlsToRgbBytes(uint32_t packed, int32_t luminance, uint8_t& r, uint8_t& g, uint8_t& b);

}  // namespace dv
