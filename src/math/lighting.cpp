#include "math/lighting.h"

#include <algorithm>

#include "math/geometry.h"

namespace dv {

namespace {

float Attenuation(const LightRecord& light, const Vec3& position, float dist) {
    switch (light.Kind) {
        case LightKind::Point:
            if (dist >= light.Outer) return 0.0f;
            if (dist <= light.Inner) return 1.0f;
            return (light.Outer - dist) / (light.Outer - light.Inner);
        case LightKind::Spot: {
            const Vec3 l0 = VecDirection(light.Position, position);
            const float cs = VecDot(light.Direction, l0);
            float f = 0.0f;
            if (cs > light.Inner && cs <= 1.0f) {
                f = 1.0f;
            } else if (cs <= light.Inner && cs > light.Outer) {
                f = (cs - light.Outer) / (light.Inner - light.Outer);
            }
            if (PointSide(light.Direction, position, light.CutOffset) == 1) f = 0.0f;
            if (light.FalloffMode == 1) f = (cs >= light.Outer && cs <= 1.0f) ? cs : 0.0f;
            return f;
        }
        case LightKind::Omni:
        case LightKind::Directional: return 1.0f;
        default: return 0.0f;  // undefined kinds add only their constant terms
    }
}

void Accumulate(Vec3& colour, const Vec3& c, double k) {
    colour.x = static_cast<float>(colour.x + c.x * k);
    colour.y = static_cast<float>(colour.y + c.y * k);
    colour.z = static_cast<float>(colour.z + c.z * k);
}

float Clamp01(float v) {
    if (v > 1.0f) v = 1.0f;
    if (v < 0.0f) v = 0.0f;
    return v;
}

}  // namespace

void LightVertex(const Vec3& position, const Vec3& normal, Vec3& colour, const LightRecord& light, const Vec3& eye) {
    LightVertex(position, normal, colour, light, eye, light.SpecularIntensity);
}

void LightVertexConstantOnly(Vec3& colour, const LightRecord& light) {
    colour = VecAdd(colour, light.ConstantA);
    colour = VecAdd(colour, light.ConstantB);
    colour = {Clamp01(colour.x), Clamp01(colour.y), Clamp01(colour.z)};
}

bool PointLightMissesBox(const LightRecord& light, const Vec3& lo, const Vec3& hi) {
    if (light.Kind != LightKind::Point || !(light.Outer >= 0.0f)) return false;
    const Vec3& c = light.Position;
    const double dx = std::max({0.0, double(lo.x) - c.x, double(c.x) - hi.x});
    const double dy = std::max({0.0, double(lo.y) - c.y, double(c.y) - hi.y});
    const double dz = std::max({0.0, double(lo.z) - c.z, double(c.z) - hi.z});
    // The margin covers the float rounding of the per-vertex distance.
    const double outer = double(light.Outer) * (1.0 + 1e-5) + 1e-3;
    return dx * dx + dy * dy + dz * dz > outer * outer;
}

void LightVertex(const Vec3& position, const Vec3& normal, Vec3& colour, const LightRecord& light, const Vec3& eye,
                 float specularIntensity) {
    colour = VecAdd(colour, light.ConstantA);
    colour = VecAdd(colour, light.ConstantB);
    const float dist = VecDistance(position, light.Position);
    const float f = Attenuation(light, position, dist);
    if (f != 0.0f) {
        Vec3 direction = light.Direction;
        if (light.Kind == LightKind::Omni || light.Kind == LightKind::Directional) VecNegate(direction);

        // A vertex exactly at the light (or at the eye) has no direction: it gets no diffuse
        // (or view) term instead of a NaN colour.
        const Vec3 lv = VecDirection(position, light.Position);
        const float nd = std::clamp(VecDot(normal, light.Kind == LightKind::Directional ? direction : lv), 0.0f, 1.0f);
        Accumulate(colour, light.Diffuse, static_cast<double>(f) * nd);

        if (light.Sharpness > 0.0f) {
            const float k = light.Sharpness;
            const Vec3 v = VecDirection(position, eye);
            const Vec3 h = VecDirection(Vec3{0, 0, 0}, VecAdd(lv, v));
            const double s = std::max(VecDot(normal, h), 0.0f);
            const double sp = s / (k - k * s + s);
            Accumulate(colour, light.Specular, f * sp * specularIntensity);
        }
    }
    colour = {Clamp01(colour.x), Clamp01(colour.y), Clamp01(colour.z)};
}

uint32_t NormalToColor(const Vec3& n) {
    auto channel = [](float c) {
        return static_cast<uint32_t>(std::clamp<int64_t>(TruncToInt64(c * 127.0 + 128.0), 0, 255));
    };
    return 0xFF000000u | channel(n.x) << 16 | channel(n.y) << 8 | channel(n.z);
}

namespace {

constexpr int kHlsMax = 240;
constexpr int kRgbMax = 255;

int HueToRgb(int n1, int n2, int hue) {
    if (hue < 0) hue += kHlsMax;
    if (hue > kHlsMax) hue -= kHlsMax;
    if (hue < kHlsMax / 6) return n1 + ((n2 - n1) * hue + kHlsMax / 12) / (kHlsMax / 6);
    if (hue < kHlsMax / 2) return n2;
    if (hue < kHlsMax * 2 / 3) return n1 + ((n2 - n1) * (kHlsMax * 2 / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6);
    return n1;
}

uint8_t ToByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

void HlsToRgbBytes(uint32_t packed, int32_t luminance, uint8_t& r, uint8_t& g, uint8_t& b) {
    const int hue = static_cast<int>(packed & 0xFFFF);
    const int sat = static_cast<int>((packed >> 16) & 0xFF);
    const int lum = luminance < 0 ? static_cast<int>(packed >> 24) : luminance;
    if (sat == 0) {
        r = g = b = ToByte(lum * kRgbMax / kHlsMax);
        return;
    }
    const int magic2 = lum <= kHlsMax / 2 ? (lum * (kHlsMax + sat) + kHlsMax / 2) / kHlsMax
                                          : lum + sat - (lum * sat + kHlsMax / 2) / kHlsMax;
    const int magic1 = 2 * lum - magic2;
    r = ToByte((HueToRgb(magic1, magic2, hue + kHlsMax / 3) * kRgbMax + kHlsMax / 2) / kHlsMax);
    g = ToByte((HueToRgb(magic1, magic2, hue) * kRgbMax + kHlsMax / 2) / kHlsMax);
    b = ToByte((HueToRgb(magic1, magic2, hue - kHlsMax / 3) * kRgbMax + kHlsMax / 2) / kHlsMax);
}

}  // namespace dv
