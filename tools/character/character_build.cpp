// Building the character pack from its source. In order: the skeleton; the mesh (each
// part's profile rings, bone weights across joints, normals); the texture (noise, face and
// texels, packed to R5G6B5); markers; the animation clips (monotone interpolation of the keys,
// body displacement); the entry points (BuildCharacter, CharacterClipFrame,
// AddCharacterToLevel, CharacterOnlyLevel).
#include "tools/character/character_build.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "tools/character/character_normals.h"
#include "render/texture_slots.h"

namespace dv {
namespace {

constexpr float kPi = 3.14159265358979f;

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
    throw CharacterSourceError(file + ":" + std::to_string(line) + ": " + what);
}

float Smooth(float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

Vec3 Normalized(Vec3 v) {
    const float l = VecLength(v);
    return l > 1e-12f ? VecScale(v, 1.0f / l) : Vec3{0, 1, 0};
}

SkeletonRecord BuildSkeleton(const CharacterSource& src) {
    SkeletonRecord s;
    for (const CharacterJoint& j : src.Joints) {
        SkeletonBone b{};
        b.Parent = static_cast<int16_t>(j.Parent);
        b.Pivot = j.Pivot;
        s.Bones.push_back(b);
    }
    s.BoneCount = static_cast<int16_t>(s.Bones.size());
    return s;
}

// One ring of a part's profile: its centre on the axis, its two radii and its v coordinate.
struct Ring {
    Vec3 Centre;
    float R1, R2;
    float V;
};

std::vector<Ring> PartProfile(const CharacterPart& p) {
    const Vec3 d = Normalized(VecSub(p.To, p.From));
    const float capFrom = 0.5f * (p.FromR1 + p.FromR2);
    const float capTo = 0.5f * (p.ToR1 + p.ToR2);
    std::vector<Ring> rings;
    rings.push_back({VecSub(p.From, VecScale(d, capFrom)), 0, 0, 0});
    for (int i = 1; i < p.Caps; ++i) {
        const float phi = 0.5f * kPi * static_cast<float>(i) / static_cast<float>(p.Caps);
        rings.push_back({VecSub(p.From, VecScale(d, capFrom * std::cos(phi))), p.FromR1 * std::sin(phi),
                         p.FromR2 * std::sin(phi), 0});
    }
    for (int i = 0; i <= p.Rings; ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(p.Rings);
        rings.push_back(
            {VecLerp(p.From, p.To, t), LerpScalar(p.FromR1, p.ToR1, t), LerpScalar(p.FromR2, p.ToR2, t), 0});
    }
    for (int i = p.Caps - 1; i >= 1; --i) {
        const float phi = 0.5f * kPi * static_cast<float>(i) / static_cast<float>(p.Caps);
        rings.push_back(
            {VecAdd(p.To, VecScale(d, capTo * std::cos(phi))), p.ToR1 * std::sin(phi), p.ToR2 * std::sin(phi), 0});
    }
    rings.push_back({VecAdd(p.To, VecScale(d, capTo)), 0, 0, 0});
    // v runs along the profile's length, measured at the mean radius.
    float total = 0;
    for (size_t i = 1; i < rings.size(); ++i) {
        const float dr = 0.5f * ((rings[i].R1 + rings[i].R2) - (rings[i - 1].R1 + rings[i - 1].R2));
        total += std::sqrt(VecDistance(rings[i].Centre, rings[i - 1].Centre) *
                               VecDistance(rings[i].Centre, rings[i - 1].Centre) +
                           dr * dr);
        rings[i].V = total;
    }
    for (Ring& r : rings) r.V /= total;
    return rings;
}

// Weight of the bone across one joint of a part: 0.5 at the joint, fading to 0 over `blend`.
struct JointPartner {
    int Bone;
    Vec3 Joint;
    int Mode;  // 0 sphere around the joint, 1 along the axis from the part's start, 2 towards its end
};

std::vector<JointPartner> PartPartners(const CharacterSource& src, const CharacterPart& p) {
    std::vector<JointPartner> out;
    auto add = [&](int bone, const Vec3& joint) {
        const float rFrom = 0.5f * std::max(p.FromR1, p.FromR2);
        const float rTo = 0.5f * std::max(p.ToR1, p.ToR2);
        int mode = 0;
        if (VecDistance(joint, p.From) <= rFrom) mode = 1;
        else if (VecDistance(joint, p.To) <= rTo) mode = 2;
        out.push_back({bone, joint, mode});
    };
    const CharacterJoint& own = src.Joints[static_cast<size_t>(p.Bone)];
    if (own.Parent >= 0) add(own.Parent, own.Pivot);
    for (size_t c = 0; c < src.Joints.size(); ++c) {
        if (src.Joints[c].Parent == p.Bone) add(static_cast<int>(c), src.Joints[c].Pivot);
    }
    return out;
}

// Up to four bones and their weights in percent, summing to 100.
void AssignWeights(ModelVertex& v, const CharacterPart& p, const std::vector<JointPartner>& partners) {
    const Vec3 d = Normalized(VecSub(p.To, p.From));
    std::vector<std::pair<float, int>> w;
    float others = 0;
    for (const JointPartner& j : partners) {
        float s = 0;
        if (j.Mode == 1) s = std::max(0.0f, VecDot(VecSub(v.Position, j.Joint), d));
        else if (j.Mode == 2) s = std::max(0.0f, VecDot(VecSub(j.Joint, v.Position), d));
        else s = VecDistance(v.Position, j.Joint);
        const float weight = 0.5f * (1.0f - Smooth(s / p.Blend));
        if (weight > 0.005f) {
            w.push_back({weight, j.Bone});
            others += weight;
        }
    }
    // Two overlapping joints may not take the part away from its own bone.
    if (others > 0.5f) {
        for (auto& e : w) e.first *= 0.5f / others;
        others = 0.5f;
    }
    w.push_back({1.0f - others, p.Bone});
    std::sort(w.begin(), w.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (w.size() > 4) w.resize(4);
    float sum = 0;
    for (const auto& e : w) sum += e.first;
    // Largest remainders, so the rounded percentages sum to exactly 100.
    std::array<int, 4> pct{};
    std::array<float, 4> rem{};
    int given = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const float exact = 100.0f * w[i].first / sum;
        pct[i] = static_cast<int>(std::floor(exact));
        rem[i] = exact - static_cast<float>(pct[i]);
        given += pct[i];
    }
    while (given < 100) {
        size_t best = 0;
        for (size_t i = 1; i < w.size(); ++i) {
            if (rem[i] > rem[best]) best = i;
        }
        ++pct[best];
        rem[best] = -1;
        ++given;
    }
    for (int s = 0; s < 4; ++s) {
        const bool used = static_cast<size_t>(s) < w.size() && pct[static_cast<size_t>(s)] > 0;
        v.Bones[s] = used ? static_cast<int16_t>(w[static_cast<size_t>(s)].second) : int16_t{-1};
        v.Weights[s] = used ? static_cast<uint8_t>(pct[static_cast<size_t>(s)]) : uint8_t{0};
    }
}

void AddPart(const CharacterSource& src, const CharacterPart& p, ModelRecord& model) {
    const Vec3 d = Normalized(VecSub(p.To, p.From));
    Vec3 ref{1, 0, 0};
    if (std::fabs(VecDot(d, ref)) > 0.9f) ref = {0, 0, 1};
    const Vec3 e1 = Normalized(VecSub(ref, VecScale(d, VecDot(d, ref))));
    const Vec3 e2 = VecCross(d, e1);
    const std::vector<Ring> rings = PartProfile(p);
    const std::vector<JointPartner> partners = PartPartners(src, p);
    const size_t base = model.Vertices.size();
    const int sides = p.Sides;

    auto vertex = [&](const Vec3& pos) {
        ModelVertex v{};
        v.Position = pos;
        v.Gloss = p.Gloss;
        AssignWeights(v, p, partners);
        model.Vertices.push_back(v);
    };
    // Index of ring r's vertex j (rings 0 and last are single poles).
    std::vector<size_t> ringStart(rings.size());
    for (size_t r = 0; r < rings.size(); ++r) {
        ringStart[r] = model.Vertices.size() - base;
        if (r == 0 || r + 1 == rings.size()) {
            vertex(rings[r].Centre);
            continue;
        }
        for (int j = 0; j < sides; ++j) {
            const float a = 2.0f * kPi * static_cast<float>(j) / static_cast<float>(sides);
            vertex(VecAdd(rings[r].Centre,
                          VecAdd(VecScale(e1, rings[r].R1 * std::cos(a)), VecScale(e2, rings[r].R2 * std::sin(a)))));
        }
    }
    const Vec3 mid = VecLerp(p.From, p.To, 0.5f);
    auto face = [&](size_t a, size_t b, size_t c, float ua, float ub, float uc, float va, float vb, float vc) {
        ModelFace f{};
        uint16_t idx[3] = {static_cast<uint16_t>(base + a), static_cast<uint16_t>(base + b),
                           static_cast<uint16_t>(base + c)};
        float uv[3][2] = {{ua, va}, {ub, vb}, {uc, vc}};
        const Vec3& p0 = model.Vertices[idx[0]].Position;
        const Vec3& p1 = model.Vertices[idx[1]].Position;
        const Vec3& p2 = model.Vertices[idx[2]].Position;
        const Vec3 n = VecCross(VecSub(p1, p0), VecSub(p2, p0));
        const Vec3 centroid = VecScale(VecAdd(VecAdd(p0, p1), p2), 1.0f / 3.0f);
        // Front faces wind clockwise as seen from outside: their cross product points out.
        if (VecDot(n, VecSub(centroid, mid)) < 0) {
            std::swap(idx[1], idx[2]);
            std::swap(uv[1][0], uv[2][0]);
            std::swap(uv[1][1], uv[2][1]);
        }
        for (int k = 0; k < 3; ++k) {
            f.Vertex[k] = idx[k];
            f.Uv[k][0] = uv[k][0];
            f.Uv[k][1] = uv[k][1];
        }
        f.Texture = static_cast<int16_t>(p.Texture);
        model.Faces.push_back(f);
    };
    const float fs = static_cast<float>(sides);
    for (size_t r = 0; r + 1 < rings.size(); ++r) {
        const float v0 = rings[r].V, v1 = rings[r + 1].V;
        for (int j = 0; j < sides; ++j) {
            const size_t j1 = static_cast<size_t>((j + 1) % sides);
            const float u0 = static_cast<float>(j) / fs, u1 = static_cast<float>(j + 1) / fs;
            const size_t sj = static_cast<size_t>(j);
            if (r == 0) {
                face(ringStart[0], ringStart[1] + sj, ringStart[1] + j1, 0.5f * (u0 + u1), u0, u1, v0, v1, v1);
            } else if (r + 2 == rings.size()) {
                face(ringStart[r] + sj, ringStart[r + 1], ringStart[r] + j1, u0, 0.5f * (u0 + u1), u1, v0, v1, v0);
            } else {
                face(ringStart[r] + sj, ringStart[r + 1] + sj, ringStart[r + 1] + j1, u0, u0, u1, v0, v1, v1);
                face(ringStart[r] + sj, ringStart[r + 1] + j1, ringStart[r] + j1, u0, u1, u1, v0, v1, v0);
            }
        }
    }
}

void ComputeNormals(ModelRecord& m, size_t firstVertex, size_t firstFace) {
    for (size_t i = firstVertex; i < m.Vertices.size(); ++i) m.Vertices[i].Normal = {0, 0, 0};
    for (size_t f = firstFace; f < m.Faces.size(); ++f) {
        const ModelFace& face = m.Faces[f];
        const Vec3& p0 = m.Vertices[face.Vertex[0]].Position;
        const Vec3 n =
            VecCross(VecSub(m.Vertices[face.Vertex[1]].Position, p0), VecSub(m.Vertices[face.Vertex[2]].Position, p0));
        for (int k = 0; k < 3; ++k) {
            PackedVec3& vn = m.Vertices[face.Vertex[k]].Normal;
            vn = VecAdd(vn, n);
        }
    }
    for (size_t i = firstVertex; i < m.Vertices.size(); ++i) m.Vertices[i].Normal = Normalized(m.Vertices[i].Normal);
}

ModelRecord BuildModel(const CharacterSource& src) {
    ModelRecord m;
    std::vector<JointNormalSource> joints;
    for (size_t i = 0; i < src.Parts.size(); ++i) {
        const CharacterPart& p = src.Parts[i];
        const size_t v0 = m.Vertices.size(), f0 = m.Faces.size();
        AddPart(src, p, m);
        ComputeNormals(m, v0, f0);
        if (m.Vertices.size() > 32767 || m.Faces.size() > 32767) {
            Fail(src.MeshFile, p.Line, "part '" + p.Name + "' takes the model past 32767 vertices or faces");
        }
        joints.resize(m.Vertices.size(), JointNormalSource{p.Bone, p.Blend});
    }
    SmoothNormalsAcrossJoints(m, joints);
    m.VertexCount = static_cast<int16_t>(m.Vertices.size());
    m.FaceCount = static_cast<int16_t>(m.Faces.size());
    m.BoundsMin = m.BoundsMax = m.Vertices.front().Position;
    for (const ModelVertex& v : m.Vertices) {
        m.BoundsMin = {std::min(m.BoundsMin.x, v.Position.x), std::min(m.BoundsMin.y, v.Position.y),
                       std::min(m.BoundsMin.z, v.Position.z)};
        m.BoundsMax = {std::max(m.BoundsMax.x, v.Position.x), std::max(m.BoundsMax.y, v.Position.y),
                       std::max(m.BoundsMax.z, v.Position.z)};
    }
    m.FaceRuns[0] = static_cast<uint16_t>(m.Faces.size());
    return m;
}

// ---- Textures ----

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

float Random01(int x, int y, uint32_t seed) {
    return static_cast<float>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0xffffu) / 65535.0f;
}

// Value noise that wraps around the texture's width, so a tube's seam does not show.
float Noise(float u, float v, int cellsU, int cellsV, uint32_t seed) {
    const float x = u * static_cast<float>(cellsU), y = v * static_cast<float>(cellsV);
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const float fx = Smooth(x - static_cast<float>(x0)), fy = Smooth(y - static_cast<float>(y0));
    auto at = [&](int xi, int yi) { return Random01(((xi % cellsU) + cellsU) % cellsU, yi, seed); };
    return LerpScalar(LerpScalar(at(x0, y0), at(x0 + 1, y0), fx), LerpScalar(at(x0, y0 + 1), at(x0 + 1, y0 + 1), fx),
                      fy);
}

struct Rgb {
    float r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, float t) {
    return {LerpScalar(a.r, b.r, t), LerpScalar(a.g, b.g, t), LerpScalar(a.b, b.b, t)};
}
Rgb Shade(const Rgb& a, float k) { return {a.r * k, a.g * k, a.b * k}; }

// Distance inside an ellipse around (cu, cv): below 1 inside.
float Ellipse(float u, float v, float cu, float cv, float ru, float rv) {
    const float du = (u - cu) / ru, dv = (v - cv) / rv;
    return std::sqrt(du * du + dv * dv);
}

// Front of a part faces +z, which lies at u = 0.75 on an upright tube.
Rgb FaceTexel(const CharacterTextureSource& t, const Rgb& base, const Rgb& hair, float u, float v) {
    Rgb c = Shade(base, 0.95f + 0.05f * Noise(u, v, 8, 8, 11));
    const float du = std::fabs(u - 0.75f);
    // Hair: the crown and the back of the head, with a soft hairline around the face.
    const float hairline = 0.66f + 0.22f * Smooth(du / 0.25f);
    const float strand = 0.85f + 0.15f * Noise(u, v, 40, 4, 7);
    if (v > hairline) c = Mix(c, Shade(hair, strand), Smooth((v - hairline) / 0.03f));
    if (du > 0.17f && v > 0.3f) c = Mix(c, Shade(hair, strand), Smooth((du - 0.17f) / 0.04f));
    (void)t;
    const Rgb white{0.95f, 0.93f, 0.9f}, iris{0.25f, 0.35f, 0.2f}, dark{0.08f, 0.06f, 0.05f};
    for (float side : {-1.0f, 1.0f}) {
        const float eu = 0.75f + side * 0.062f;
        const float e = Ellipse(u, v, eu, 0.56f, 0.035f, 0.035f);
        if (e < 1.0f) c = white;
        if (Ellipse(u, v, eu, 0.56f, 0.017f, 0.028f) < 1.0f) c = iris;
        if (Ellipse(u, v, eu, 0.56f, 0.008f, 0.012f) < 1.0f) c = dark;
        if (Ellipse(u, v, eu, 0.625f, 0.04f, 0.01f) < 1.0f) c = Shade(hair, 0.7f);
    }
    if (Ellipse(u, v, 0.75f, 0.47f, 0.012f, 0.05f) < 1.0f) c = Shade(c, 0.9f);
    if (Ellipse(u, v, 0.75f, 0.36f, 0.045f, 0.012f) < 1.0f) c = Mix(c, Rgb{0.65f, 0.25f, 0.25f}, 0.8f);
    return c;
}

Rgb Texel(const CharacterTextureSource& t, float u, float v) {
    const Rgb base{t.Base[0] / 255.0f, t.Base[1] / 255.0f, t.Base[2] / 255.0f};
    const Rgb accent{t.Accent[0] / 255.0f, t.Accent[1] / 255.0f, t.Accent[2] / 255.0f};
    if (t.Style == "skin") return Shade(base, 0.93f + 0.07f * Noise(u, v, 8, 8, 3));
    if (t.Style == "face") return FaceTexel(t, base, accent, u, v);
    if (t.Style == "hair") {
        const float s = 0.7f + 0.3f * Noise(u, v, 48, 3, 5);
        return Mix(Shade(base, s), accent, 0.35f * Smooth((Noise(u, v, 24, 2, 9) - 0.6f) / 0.3f));
    }
    if (t.Style == "leather") {
        Rgb c = Shade(base, 0.8f + 0.2f * Noise(u, v, 16, 16, 13));
        if (std::fabs(u - 0.75f) < 0.02f && v > 0.5f) c = accent;
        return c;
    }
    // cloth: a fine weave, soft folds and hems in the accent colour at both ends.
    const int x = static_cast<int>(u * kCharacterTextureSize), y = static_cast<int>(v * kCharacterTextureSize);
    const float weave = ((x + y) & 1) ? 0.96f : 1.0f;
    Rgb c = Shade(base, weave * (0.85f + 0.15f * Noise(u, v, 6, 3, 17)));
    if (v < 0.06f || v > 0.94f) c = accent;
    return c;
}

uint16_t ToR5G6B5(const Rgb& c) {
    auto q = [](float x, int bits) {
        const int max = (1 << bits) - 1;
        return static_cast<uint16_t>(std::clamp(static_cast<int>(std::lround(x * max)), 0, max));
    };
    return static_cast<uint16_t>(q(c.r, 5) << 11 | q(c.g, 6) << 5 | q(c.b, 5));
}

// The game draws the character's texels doubled (the modulate-2x stage every lit surface goes
// through), and the summed vertex light reaches 1 next to a bright lamp. A texel whose brightest
// channel is above half would burn out to white there, so it is dimmed to just under half (its
// hue kept, and under half after the 5/6-bit rounding); darker texels are stored as authored, so
// the clothes look the same everywhere and the skin no longer whitens under strong light.
constexpr float kBrightestStored = 0.48f;

Rgb UnderDoubling(const Rgb& c) {
    const float top = std::max({c.r, c.g, c.b});
    return top > kBrightestStored ? Shade(c, kBrightestStored / top) : c;
}

PixelBlock BuildTexture(const CharacterTextureSource& t) {
    PixelBlock b;
    b.Width = b.Height = kCharacterTextureSize;
    b.Pixels.resize(static_cast<size_t>(b.Width * b.Height));
    for (int y = 0; y < b.Height; ++y) {
        for (int x = 0; x < b.Width; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(b.Width);
            const float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(b.Height);
            b.Pixels[static_cast<size_t>(y * b.Width + x)] = ToR5G6B5(UnderDoubling(Texel(t, u, v)));
        }
    }
    return b;
}

// ---- Clips ----

int FindMarker(const CharacterSource& src, const std::string& name) {
    for (size_t i = 0; i < src.Markers.size(); ++i) {
        if (src.Markers[i].Name == name) return static_cast<int>(i);
    }
    return -1;
}

struct Solver {
    const CharacterSource& Src;
    const SkeletonRecord& Skeleton;

    std::vector<RigBonePose> Pose(const CharacterPose& p) const {
        std::vector<RigKey> keys(Skeleton.Bones.size());
        for (size_t b = 0; b < keys.size() && b < p.Angles.size(); ++b) keys[b].Rotation = p.Angles[b];
        return PoseRig(Skeleton, keys);
    }
    // Marker position in world units relative to the root translation's origin.
    Vec3 Marker(const std::vector<RigBonePose>& pose, int m) const {
        const CharacterMarker& mk = Src.Markers[static_cast<size_t>(m)];
        return VecScale(RigPoint(Skeleton, pose, mk.Bone, mk.Point), Src.Scale);
    }
    int Need(const std::string& name, int line) const {
        const int m = FindMarker(Src, name);
        if (m < 0) Fail(Src.ClipsFile, line, "the skeleton has no marker '" + name + "'");
        return m;
    }
    float Ground(const CharacterPose& p, float y, int line) const {
        const auto pose = Pose(p);
        float low = std::numeric_limits<float>::max();
        for (const char* n : {"l_heel", "l_toe", "r_heel", "r_toe"}) low = std::min(low, Marker(pose, Need(n, line)).y);
        return y - low;
    }
    Vec3 Hands(const CharacterPose& p, const Vec3& at, int line) const {
        const auto pose = Pose(p);
        const Vec3 mid = VecLerp(Marker(pose, Need("l_grip", line)), Marker(pose, Need("r_grip", line)), 0.5f);
        return VecSub(at, mid);
    }
};

// Monotone cubic through (x[i], y[i]); ends with zero slope unless the data wrap.
float Pchip(const std::vector<float>& x, const std::vector<float>& y, float at) {
    const size_t n = x.size();
    if (n == 1 || at <= x.front()) return y.front();
    if (at >= x.back()) return y.back();
    size_t i = 0;
    while (x[i + 1] < at) ++i;
    auto slope = [&](size_t k) -> float {
        if (k == 0 || k + 1 >= n) return 0.0f;
        const float h0 = x[k] - x[k - 1], h1 = x[k + 1] - x[k];
        const float d0 = (y[k] - y[k - 1]) / h0, d1 = (y[k + 1] - y[k]) / h1;
        if (d0 * d1 <= 0) return 0.0f;
        const float w1 = 2 * h1 + h0, w2 = h1 + 2 * h0;
        return (w1 + w2) / (w1 / d0 + w2 / d1);
    };
    const float h = x[i + 1] - x[i];
    const float t = (at - x[i]) / h;
    const float t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * y[i] + (t3 - 2 * t2 + t) * h * slope(i) + (-2 * t3 + 3 * t2) * y[i + 1] +
           (t3 - t2) * h * slope(i + 1);
}

// Samples every channel of the clip's keys at whole frames.
std::vector<CharacterPose> InterpolateClip(const CharacterClipSource& c, size_t bones) {
    std::vector<const CharacterKeySource*> keys;
    std::vector<float> xs;
    const float period = static_cast<float>(c.Frames);
    if (c.Loop) {
        for (size_t k = c.Keys.size() >= 2 ? c.Keys.size() - 2 : 0; k < c.Keys.size(); ++k) {
            keys.push_back(&c.Keys[k]);
            xs.push_back(static_cast<float>(c.Keys[k].Frame) - period);
        }
    }
    for (const auto& k : c.Keys) {
        keys.push_back(&k);
        xs.push_back(static_cast<float>(k.Frame));
    }
    if (c.Loop) {
        for (size_t k = 0; k < std::min<size_t>(2, c.Keys.size()); ++k) {
            keys.push_back(&c.Keys[k]);
            xs.push_back(static_cast<float>(c.Keys[k].Frame) + period);
        }
    }
    const size_t channels = bones * 3 + 3;
    auto value = [&](const CharacterKeySource& k, size_t ch) -> float {
        if (ch < bones * 3) {
            const Vec3& a = k.Pose.Angles[ch / 3];
            return ch % 3 == 0 ? a.x : ch % 3 == 1 ? a.y : a.z;
        }
        const size_t r = ch - bones * 3;
        return r == 0 ? k.Pose.Root.x : r == 1 ? k.Pose.Root.y : k.Pose.Root.z;
    };
    std::vector<CharacterPose> frames(static_cast<size_t>(c.Frames));
    std::vector<float> ys(keys.size());
    for (auto& f : frames) f.Angles.assign(bones, Vec3{0, 0, 0});
    for (size_t ch = 0; ch < channels; ++ch) {
        for (size_t k = 0; k < keys.size(); ++k) ys[k] = value(*keys[k], ch);
        for (int f = 0; f < c.Frames; ++f) {
            const float v = Pchip(xs, ys, static_cast<float>(f));
            CharacterPose& p = frames[static_cast<size_t>(f)];
            Vec3& target = ch < bones * 3 ? p.Angles[ch / 3] : p.Root;
            const size_t axis = ch < bones * 3 ? ch % 3 : ch - bones * 3;
            (axis == 0 ? target.x : axis == 1 ? target.y : target.z) = v;
        }
    }
    return frames;
}

Vec3 BodyDisplacement(const CharacterClipSource& c, float frame) {
    Vec3 total{0, 0, 0};
    for (const CharacterBodyMove& b : c.Body) {
        const float t = std::clamp(
            (frame - static_cast<float>(b.FromFrame)) / static_cast<float>(b.ToFrame - b.FromFrame), 0.0f, 1.0f);
        total = VecAdd(total, VecScale(b.Delta, t));
    }
    return total;
}

AnimationRecord BuildAnimation(const CharacterSource& src, const SkeletonRecord& skel, const CharacterClipSource& c) {
    const Solver solver{src, skel};
    CharacterClipSource resolved = c;
    for (CharacterKeySource& k : resolved.Keys) {
        if (k.Hands) k.Pose.Root = solver.Hands(k.Pose, *k.Hands, k.Line);
        if (k.Ground) k.Pose.Root.y = solver.Ground(k.Pose, *k.Ground, k.Line);
    }
    std::vector<CharacterPose> frames = InterpolateClip(resolved, skel.Bones.size());
    AnimationRecord a;
    a.FrameCount = static_cast<int16_t>(c.Frames);
    a.TrackCount = static_cast<int16_t>(skel.Bones.size());
    a.Tracks.resize(skel.Bones.size());
    for (int f = 0; f < c.Frames; ++f) {
        CharacterPose& p = frames[static_cast<size_t>(f)];
        if (c.Hands) p.Root = solver.Hands(p, *c.Hands, c.Line);
        if (c.Ground) p.Root.y = solver.Ground(p, 0.0f, c.Line);
        const Vec3 root = VecScale(VecSub(p.Root, BodyDisplacement(c, static_cast<float>(f))), 1.0f / src.Scale);
        for (size_t b = 0; b < skel.Bones.size(); ++b) {
            AnimationKey key{};
            key.Frame = f;
            key.Rotation = p.Angles[b];
            key.Translation = b == 0 ? root : Vec3{0, 0, 0};
            a.Tracks[b].Keys.push_back(key);
        }
    }
    for (BoneTrack& t : a.Tracks) t.KeyCount = static_cast<int16_t>(t.Keys.size());
    return a;
}

}  // namespace

BuiltCharacter BuildCharacter(const CharacterSource& src) {
    BuiltCharacter out;
    out.Skeleton = BuildSkeleton(src);
    out.Model = BuildModel(src);
    for (const CharacterTextureSource& t : src.Textures) out.Textures.push_back(BuildTexture(t));
    out.Movable.Id = 0;
    for (const CharacterClipSource& c : src.Clips) {
        if (static_cast<int64_t>(c.Frames) * c.FrameMs > std::numeric_limits<int32_t>::max()) {
            Fail(src.ClipsFile, c.Line, "the clip lasts too long");
        }
        ClipRecord clip{};
        clip.ClipId = c.Id;
        clip.DurationMs = c.Frames * c.FrameMs;
        clip.AnimationIndex = static_cast<int16_t>(out.Animations.size());
        clip.StepsPerKey = static_cast<int16_t>(c.Steps);
        out.Movable.Clips.push_back(clip);
        out.Animations.push_back(BuildAnimation(src, out.Skeleton, c));
        std::vector<Vec3> moves(static_cast<size_t>(c.Frames));
        for (int f = 0; f < c.Frames; ++f) moves[static_cast<size_t>(f)] = BodyDisplacement(c, static_cast<float>(f));
        out.BodyMoves.push_back(std::move(moves));
    }
    out.Movable.ClipCount = static_cast<int16_t>(out.Movable.Clips.size());
    return out;
}

std::vector<RigKey> CharacterClipFrame(const BuiltCharacter& built, int clipIndex, int frame) {
    const ClipRecord& clip = built.Movable.Clips.at(static_cast<size_t>(clipIndex));
    const AnimationRecord& a = built.Animations.at(static_cast<size_t>(clip.AnimationIndex));
    std::vector<RigKey> keys(a.Tracks.size());
    for (size_t b = 0; b < a.Tracks.size(); ++b) {
        const AnimationKey& k = a.Tracks[b].Keys.at(static_cast<size_t>(frame));
        keys[b] = {k.Rotation, k.Translation};
    }
    return keys;
}

void AddCharacterToLevel(LevelFileData& level, const BuiltCharacter& built) {
    LevelRecord& lev = level.Level;
    auto fits = [](size_t have, size_t add, const char* what) {
        if (have + add > static_cast<size_t>(std::numeric_limits<int16_t>::max())) {
            throw std::runtime_error(std::string("the level would hold more than 32767 ") + what);
        }
    };
    fits(level.Textures.size(), built.Textures.size(), "textures");
    fits(lev.Models.size(), 1, "models");
    fits(lev.Skeletons.size(), 1, "skeletons");
    fits(lev.Animations.size(), built.Animations.size(), "animations");
    fits(lev.Movables.size(), 1, "movables");

    MovableRecord m = built.Movable;
    m.TextureSlot = static_cast<int16_t>(kLevelTextureFirstSlot + level.Textures.size());
    m.ModelIndex = static_cast<int16_t>(lev.Models.size());
    m.SkeletonIndex = static_cast<int16_t>(lev.Skeletons.size());
    for (ClipRecord& c : m.Clips) c.AnimationIndex = static_cast<int16_t>(c.AnimationIndex + lev.Animations.size());

    level.Textures.insert(level.Textures.end(), built.Textures.begin(), built.Textures.end());
    lev.TextureCount = static_cast<int16_t>(level.Textures.size());
    lev.Models.push_back(built.Model);
    lev.ModelCount = static_cast<int16_t>(lev.Models.size());
    lev.Skeletons.push_back(built.Skeleton);
    lev.SkeletonCount = static_cast<int16_t>(lev.Skeletons.size());
    lev.Animations.insert(lev.Animations.end(), built.Animations.begin(), built.Animations.end());
    lev.AnimationCount = static_cast<int16_t>(lev.Animations.size());
    lev.Movables.insert(lev.Movables.begin(), m);
    lev.MovableCount = static_cast<int16_t>(lev.Movables.size());
}

LevelFileData CharacterOnlyLevel(const BuiltCharacter& built) {
    LevelFileData level;
    level.StripB.Width = level.StripB.Height = 8;
    level.StripB.Pixels.assign(64, 0x8410);
    level.Level.StripBTileCount = 1;
    LevelRoom room;
    room.Header.CellsX = room.Header.CellsZ = 1;
    room.Header.HeightCells = 4;
    room.Header.MaxY = 128;
    room.Header.AmbientLuminance = -1;
    room.Cells.assign(1, std::vector<GridCell>(1, GridCell{}));
    level.Level.Map.Rooms.push_back(std::move(room));
    level.Level.Map.RoomCount = 1;
    AddCharacterToLevel(level, built);
    return level;
}

}  // namespace dv
