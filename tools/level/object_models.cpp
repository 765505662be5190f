#include "tools/level/object_models.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/blend_mode.h"

namespace dv {

namespace {

constexpr float kScale = 3.2f;

class MeshBuilder {
public:
    explicit MeshBuilder(const std::function<int16_t(Material)>& textureOf) : textureOf_(textureOf) {}

    // A quad a, b, c, d (counter-clockwise seen from outside in a right-handed view, i.e. the
    // order that makes cross(b - a, c - a) point outwards in this left-handed world).
    void Quad(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, Material m,
              BlendMode blend = BlendMode::Opaque, float uRepeat = 1, float vRepeat = 1) {
        const Vec3 n = Normal(a, b, c);
        const uint16_t i = Vertex(a, n), j = Vertex(b, n), k = Vertex(c, n), l = Vertex(d, n);
        const float uv[4][2] = {{0, vRepeat}, {0, 0}, {uRepeat, 0}, {uRepeat, vRepeat}};
        Face(i, j, k, uv[0], uv[1], uv[2], m, blend);
        Face(i, k, l, uv[0], uv[2], uv[3], m, blend);
    }

    // An axis-aligned box in world units, min/max corners; `top` false leaves the lid off.
    void Box(Vec3 lo, Vec3 hi, Material m, bool top = true, bool bottom = false) {
        lo = VecScale(lo, 1 / kScale);
        hi = VecScale(hi, 1 / kScale);
        const float ur = std::max(1.0f, (hi.x - lo.x) * kScale / 32), vr = std::max(1.0f, (hi.y - lo.y) * kScale / 32);
        constexpr BlendMode kOpaque = BlendMode::Opaque;
        Quad({lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z}, m, kOpaque, ur, vr);  // -z
        Quad({hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z}, m, kOpaque, ur, vr);  // +z
        Quad({lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, m, kOpaque, ur, vr);  // -x
        Quad({hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, m, kOpaque, ur, vr);  // +x
        if (top) Quad({lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z}, m);
        if (bottom) Quad({lo.x, lo.y, hi.z}, {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, m);
    }

    // A prism of `sides` faces around the Y axis, world units.
    void Prism(float radius, float y0, float y1, int sides, Material m) {
        const float r = radius / kScale, a = y0 / kScale, b = y1 / kScale;
        for (int i = 0; i < sides; ++i) {
            const float t0 = 2 * 3.14159265f * i / sides, t1 = 2 * 3.14159265f * (i + 1) / sides;
            const Vec3 p0{r * std::cos(t0), a, r * std::sin(t0)}, p1{r * std::cos(t1), a, r * std::sin(t1)};
            const Vec3 q0{p0.x, b, p0.z}, q1{p1.x, b, p1.z};
            Quad(p0, q0, q1, p1, m, BlendMode::Opaque, 1, std::max(1.0f, (y1 - y0) / 32));
        }
    }

    // Two crossed double-sided quads (for glows and flames), world units.
    void Cross(float half, float y0, float y1, Material m, BlendMode blend) {
        const float h = half / kScale, a = y0 / kScale, b = y1 / kScale;
        for (int s = 0; s < 2; ++s) {
            const Vec3 u = s == 0 ? Vec3{h, 0, 0} : Vec3{0, 0, h};
            const Vec3 p0{-u.x, a, -u.z}, p1{u.x, a, u.z}, q1{u.x, b, u.z}, q0{-u.x, b, -u.z};
            Quad(p0, q0, q1, p1, m, blend);
            Quad(p1, q1, q0, p0, m, blend);
        }
    }

    ModelRecord Finish() {
        ModelRecord model;
        model.VertexCount = static_cast<int16_t>(vertices_.size());
        model.Vertices = vertices_;
        model.FaceCount = static_cast<int16_t>(faces_.size());
        model.Faces = faces_;
        Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
        for (const ModelVertex& v : vertices_) {
            lo = {std::min(lo.x, v.Position.x), std::min(lo.y, v.Position.y), std::min(lo.z, v.Position.z)};
            hi = {std::max(hi.x, v.Position.x), std::max(hi.y, v.Position.y), std::max(hi.z, v.Position.z)};
        }
        model.BoundsMin = lo;
        model.BoundsMax = hi;
        model.FaceRuns[0] = static_cast<uint16_t>(faces_.size());
        return model;
    }

private:
    static Vec3 Normal(const Vec3& a, const Vec3& b, const Vec3& c) {
        Vec3 n = VecCross(VecSub(b, a), VecSub(c, a));
        const float len = VecLength(n);
        return len > 0 ? VecScale(n, 1 / len) : Vec3{0, 1, 0};
    }

    uint16_t Vertex(const Vec3& p, const Vec3& n) {
        ModelVertex v;
        std::memset(&v, 0, sizeof v);
        v.Position = p;
        v.Normal = n;
        for (int16_t& b : v.Bones) b = -1;
        v.Gloss = 20;
        vertices_.push_back(v);
        return static_cast<uint16_t>(vertices_.size() - 1);
    }

    void Face(uint16_t a, uint16_t b, uint16_t c, const float* ua, const float* ub, const float* uc, Material m,
              BlendMode blend) {
        ModelFace f;
        std::memset(&f, 0, sizeof f);
        f.Vertex[0] = a;
        f.Vertex[1] = b;
        f.Vertex[2] = c;
        f.Texture = textureOf_(m);
        const float* uvs[3] = {ua, ub, uc};
        for (int k = 0; k < 3; ++k) {
            f.Uv[k][0] = f.BumpUv[k][0] = uvs[k][0];
            f.Uv[k][1] = f.BumpUv[k][1] = uvs[k][1];
        }
        f.Blend = BlendByte(blend);
        faces_.push_back(f);
    }

    const std::function<int16_t(Material)>& textureOf_;
    std::vector<ModelVertex> vertices_;
    std::vector<ModelFace> faces_;
};

}  // namespace

ModelRecord BuildObjectModel(ObjectKind kind, const std::function<int16_t(Material)>& textureOf) {
    MeshBuilder b(textureOf);
    switch (kind) {
        case ObjectKind::Pillar:
            b.Box({-14, 0, -14}, {14, 8, 14}, Material::Marble);
            b.Prism(10, 8, 120, 8, Material::Marble);
            b.Box({-14, 120, -14}, {14, 128, 14}, Material::Marble, false, true);
            break;
        case ObjectKind::Crate: b.Box({-16, 0, -16}, {16, 32, 16}, Material::Planks); break;
        case ObjectKind::Torch:
            b.Box({-2, 0, -2}, {2, 20, 2}, Material::Planks);
            b.Box({-4, 20, -4}, {4, 24, 4}, Material::Metal);
            b.Cross(7, 22, 38, Material::Glow, BlendMode::Additive);
            break;
        case ObjectKind::Statue:
            b.Box({-14, 0, -14}, {14, 16, 14}, Material::Stone);
            b.Box({-6, 16, -4}, {6, 40, 4}, Material::Marble);
            b.Box({-9, 40, -5}, {9, 60, 5}, Material::Marble);
            b.Box({-14, 44, -3}, {-9, 60, 3}, Material::Marble);
            b.Box({9, 44, -3}, {14, 60, 3}, Material::Marble);
            b.Box({-4, 60, -4}, {4, 70, 4}, Material::Marble);
            break;
        case ObjectKind::Grate: {
            const float h = 16 / kScale, t = 32 / kScale;
            b.Quad({-h, 0, 0}, {-h, t, 0}, {h, t, 0}, {h, 0, 0}, Material::Grate, BlendMode::AlphaTested);
            b.Quad({h, 0, 0}, {h, t, 0}, {-h, t, 0}, {-h, 0, 0}, Material::Grate, BlendMode::AlphaTested);
            break;
        }
        case ObjectKind::Glow: b.Cross(14, 0, 28, Material::Glow, BlendMode::Additive); break;
        case ObjectKind::Count: break;
    }
    return b.Finish();
}

}  // namespace dv
