// Drawing the skinned character. In order: the per-face data the copies reuse; placing and
// classifying the vertices against the frustum; the lighting loops per light kind; packing the
// colours; keeping the faces that face the eye and writing their records; the inputs compared
// to reuse the last frame's work; the entry points (DrawCharacterMesh and its reusing form).
#include "world/character_draw.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "math/vector_clones.h"

namespace dv {

namespace {

// The record layout WriteFace's block copies rely on.
static_assert(offsetof(TriangleHeader, SortKey) == offsetof(TriangleHeader, Normal) + 12);
static_assert(offsetof(TriangleHeader, Normal) == sizeof(FaceDrawData::HeaderStart));
static_assert(offsetof(TriangleHeader, RunLength) == offsetof(TriangleHeader, SortKey) + 4);
static_assert(offsetof(Vertex3D, Diffuse) == 12 && offsetof(Vertex3D, Specular) == kCornerEndAt);
static_assert(sizeof(Vertex3D) == kCornerEndAt + sizeof(FaceDrawData::CornerEnd[0]));

template <typename T>
void GrowTo(std::vector<T>& v, size_t n) {
    if (v.size() < n) v.resize(n);
}

void GrowVertexArrays(CharacterDrawScratch& s, size_t nv) {
    for (auto* v : {&s.X, &s.Y, &s.Z, &s.NX, &s.NY, &s.NZ, &s.Distance}) GrowTo(*v, nv);
    GrowTo(s.Outside, nv);
    GrowTo(s.Used, nv);
    GrowTo(s.Diffuse, nv);
    GrowTo(s.Packed, nv);
    GrowTo(s.LitVertices, nv);
    for (auto* v : {&s.LX, &s.LY, &s.LZ, &s.LNX, &s.LNY, &s.LNZ, &s.EX, &s.EY, &s.EZ, &s.Gloss, &s.R, &s.G, &s.B}) {
        GrowTo(*v, nv);
    }
}

// The bytes of face `face`'s records that every drawing repeats: the header up to the normal
// and, per corner, the vertex after the colour (specular 0, the base and bump coordinates,
// lightmap coordinates 0).
FaceDrawData DrawDataOf(const ModelFace& face, int32_t baseSlot) {
    TriangleHeader tri{};
    const int32_t slot = face.Texture < 0 ? face.Texture : baseSlot + face.Texture;  // negative: animated code
    tri.Texture = static_cast<uint16_t>(slot);
    tri.BlendType = face.Blend;
    tri.Layers = 1;
    FaceDrawData d{};
    std::memcpy(d.HeaderStart, &tri, sizeof d.HeaderStart);
    for (int k = 0; k < 3; ++k) {
        Vertex3D v{};
        v.U = face.Uv[k][0];
        v.V = face.Uv[k][1];
        v.BumpU = face.BumpUv[k][0];
        v.BumpV = face.BumpUv[k][1];
        std::memcpy(d.CornerEnd[k], reinterpret_cast<const uint8_t*>(&v) + kCornerEndAt, sizeof d.CornerEnd[k]);
    }
    return d;
}

// The corners and gloss of the mesh's faces and vertices as entries of the skinned arrays,
// taken once per mesh and vertex order.
void PrepareMesh(const ModelRecord& mesh, int32_t baseSlot, const SkinnedMesh& skinned, CharacterDrawScratch& s) {
    const size_t nv = skinned.size();
    if (s.PreparedMesh == &mesh && s.PreparedFaces == mesh.Faces.size() && s.PreparedVertices == nv &&
        s.PreparedSlots == skinned.Slot.data() && s.PreparedBaseSlot == baseSlot) {
        return;
    }
    const size_t faces = mesh.Faces.size();
    s.Corner0.assign(faces, 0);
    s.Corner1.assign(faces, 0);
    s.Corner2.assign(faces, 0);
    s.Drawable.assign(faces, 0);
    s.FaceData.resize(faces);
    for (size_t f = 0; f < faces; ++f) {
        const ModelFace& face = mesh.Faces[f];
        s.FaceData[f] = DrawDataOf(face, baseSlot);
        if (face.Vertex[0] >= nv || face.Vertex[1] >= nv || face.Vertex[2] >= nv) continue;
        s.Corner0[f] = static_cast<uint16_t>(skinned.SlotOf(face.Vertex[0]));
        s.Corner1[f] = static_cast<uint16_t>(skinned.SlotOf(face.Vertex[1]));
        s.Corner2[f] = static_cast<uint16_t>(skinned.SlotOf(face.Vertex[2]));
        s.Drawable[f] = 1;
    }
    s.VertexGloss.assign(nv, 0.0f);
    for (size_t i = 0; i < nv && i < mesh.Vertices.size(); ++i) {
        s.VertexGloss[skinned.SlotOf(i)] = static_cast<float>(mesh.Vertices[i].Gloss) / 255.0f;
    }
    s.PreparedMesh = &mesh;
    s.PreparedFaces = faces;
    s.PreparedVertices = nv;
    s.PreparedSlots = skinned.Slot.data();
    s.PreparedBaseSlot = baseSlot;
}

// out = (x, y, z) x the 3 x 3 part of m, plus `add` (per component).
void TransformArrays(size_t n, const float* __restrict x, const float* __restrict y, const float* __restrict z,
                     const float* k, const Vec3& add, float* __restrict ox, float* __restrict oy,
                     float* __restrict oz) {
    const float k0 = k[0], k1 = k[1], k2 = k[2], k4 = k[4], k5 = k[5], k6 = k[6], k8 = k[8], k9 = k[9], k10 = k[10];
    const float ax = add.x, ay = add.y, az = add.z;
    for (size_t i = 0; i < n; ++i) {
        ox[i] = x[i] * k0 + y[i] * k4 + z[i] * k8 + ax;
        oy[i] = x[i] * k1 + y[i] * k5 + z[i] * k9 + ay;
        oz[i] = x[i] * k2 + y[i] * k6 + z[i] * k10 + az;
    }
}

// World positions and normals: (x, y, z, 1) x m + at, as DrawMovableModel places them.
void PlaceVertices(const SkinnedMesh& skinned, const Vec3& at, const Mat4& m, CharacterDrawScratch& s) {
    const size_t n = skinned.size();
    const Vec3 shift{m.m[12] + at.x, m.m[13] + at.y, m.m[14] + at.z};
    TransformArrays(n, skinned.X.data(), skinned.Y.data(), skinned.Z.data(), m.m, shift, s.X.data(), s.Y.data(),
                    s.Z.data());
    TransformArrays(n, skinned.NX.data(), skinned.NY.data(), skinned.NZ.data(), m.m, Vec3{0, 0, 0}, s.NX.data(),
                    s.NY.data(), s.NZ.data());
}

constexpr uint8_t kPlaneBits = 0x3F;  // bits 0 to 5: on or behind frustum plane k
constexpr uint8_t kFarBit = 0x40;     // farther from the eye than the view distance

// Per vertex, once: which frustum planes it is on or behind, its distance from the eye and
// whether that is beyond the view distance. A face is then outside when its three corners
// share a plane, and its radius is the largest of three distances; the whole mesh is outside
// when all its vertices share a bit. Plain loops over separate arrays, so that they vectorise.
// Returns the bits all vertices share.
uint8_t ClassifyVertices(size_t nv, const Vec3& eye, float viewDistance, const Frustum& f, CharacterDrawScratch& s) {
    const float* __restrict x = s.X.data();
    const float* __restrict y = s.Y.data();
    const float* __restrict z = s.Z.data();
    uint8_t* __restrict outside = s.Outside.data();
    float* __restrict distance = s.Distance.data();
    std::fill_n(outside, nv, uint8_t{0});
    for (int k = 0; k < 6; ++k) {
        const Plane p = f.Planes[k];
        const auto bit = static_cast<uint8_t>(1u << k);
        for (size_t i = 0; i < nv; ++i) {
            const float v = p.a * x[i] + p.b * y[i] + p.c * z[i] + p.d;
            outside[i] |= v <= 0.0f ? bit : uint8_t{0};
        }
    }
    for (size_t i = 0; i < nv; ++i) {
        const float dx = x[i] - eye.x, dy = y[i] - eye.y, dz = z[i] - eye.z;
        distance[i] = std::sqrt(dx * dx + dy * dy + dz * dz);
        outside[i] |= distance[i] <= viewDistance ? uint8_t{0} : kFarBit;
    }
    uint8_t shared = 0xFF;
    for (size_t i = 0; i < nv; ++i) shared &= outside[i];
    return nv == 0 ? kPlaneBits : shared;
}

// Gathers the used vertices into the lighting arrays, with each one's unit direction to the eye
// (zero at the eye) and gloss; returns how many.
size_t GatherLitVertices(size_t nv, const Vec3& eye, CharacterDrawScratch& s) {
    size_t n = 0;
    for (size_t i = 0; i < nv; ++i) {  // without a branch: which vertices are used follows no pattern
        s.LitVertices[n] = static_cast<uint16_t>(i);
        n += s.Used[i] != 0 ? 1 : 0;
    }
    for (size_t c = 0; c < n; ++c) {
        const size_t i = s.LitVertices[c];
        s.LX[c] = s.X[i];
        s.LY[c] = s.Y[i];
        s.LZ[c] = s.Z[i];
        s.LNX[c] = s.NX[i];
        s.LNY[c] = s.NY[i];
        s.LNZ[c] = s.NZ[i];
        s.Gloss[c] = s.VertexGloss[i];
    }
    for (size_t c = 0; c < n; ++c) {
        const float dx = eye.x - s.LX[c], dy = eye.y - s.LY[c], dz = eye.z - s.LZ[c];
        const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
        const float inverse = length > 0.0f ? 1.0f / length : 0.0f;
        s.EX[c] = dx * inverse;
        s.EY[c] = dy * inverse;
        s.EZ[c] = dz * inverse;
    }
    std::fill_n(s.R.begin(), n, 0.0f);
    std::fill_n(s.G.begin(), n, 0.0f);
    std::fill_n(s.B.begin(), n, 0.0f);
    return n;
}

float Clamp01(float v) { return std::min(std::max(v, 0.0f), 1.0f); }

// The fields of a light that the lighting loop reads, as plain values: the loop then keeps
// them in registers and vectorises.
struct LightTerms {
    float PX, PY, PZ;  // position
    float DX, DY, DZ;  // direction
    float Inner, Outer, CutOffset;
    bool PlainCosine;              // spot: FalloffMode 1
    float AR, AG, AB, BR, BG, BB;  // the two constant terms
    float DiffR, DiffG, DiffB;
    float SpecR, SpecG, SpecB;
    float SpecularOn;  // 1 with sharpness, else 0 (the specular term is off)
    float K;           // the sharpness, or a harmless 1 without it
    float Intensity;
};

LightTerms TermsOf(const LightRecord& light) {
    const bool sharp = light.Sharpness > 0.0f;
    return LightTerms{
        light.Position.x,       light.Position.y,       light.Position.z,    light.Direction.x,
        light.Direction.y,      light.Direction.z,      light.Inner,         light.Outer,
        light.CutOffset,        light.FalloffMode == 1, light.ConstantA.x,   light.ConstantA.y,
        light.ConstantA.z,      light.ConstantB.x,      light.ConstantB.y,   light.ConstantB.z,
        light.Diffuse.x,        light.Diffuse.y,        light.Diffuse.z,     light.Specular.x,
        light.Specular.y,       light.Specular.z,       sharp ? 1.0f : 0.0f, sharp ? light.Sharpness : 1.0f,
        light.SpecularIntensity};
}

// The lighting loops compiled per light kind; a spot light with FalloffMode 1 (plain cosine
// falloff, no cut-off plane) has a loop of its own so that each loop holds one rule.
enum class LightPass : uint8_t { Point, Spot, SpotPlainCosine, Omni, Directional };

// The attenuation of light kind `Kind` at a vertex `dist` away, `cs` the cosine between the
// spot's direction and the light-to-vertex direction, `cut` the vertex's side value of the
// spot's cut-off plane: LightVertex's rules, evaluated without branches on the kind.
// `rampScale` is 1 / (outer - inner) for a point light, 1 / (inner - outer) for a spot (the
// ramp is used only strictly between the two, so an infinite scale is never used).
template <LightPass Kind>
float Attenuation(float inner, float outer, float rampScale, float dist, float cs, float cut) {
    if constexpr (Kind == LightPass::Point) {
        const float ramp = (outer - dist) * rampScale;
        return dist >= outer ? 0.0f : (dist <= inner ? 1.0f : ramp);
    } else if constexpr (Kind == LightPass::SpotPlainCosine) {
        return ((cs >= outer) & (cs <= 1.0f)) ? cs : 0.0f;
    } else if constexpr (Kind == LightPass::Spot) {
        const float ramp = (cs - outer) * rampScale;
        const float cone = ((cs > inner) & (cs <= 1.0f)) ? 1.0f : (((cs <= inner) & (cs > outer)) ? ramp : 0.0f);
        return cut > 0.0f ? 0.0f : cone;
    } else {
        return 1.0f;
    }
}

template <LightPass Kind, bool Specular>
DV_VECTOR_CLONES void AddLightTo(const LightTerms& light, size_t n, const float* __restrict px,
                                 const float* __restrict py, const float* __restrict pz, const float* __restrict nxs,
                                 const float* __restrict nys, const float* __restrict nzs, const float* __restrict ex,
                                 const float* __restrict ey, const float* __restrict ez, const float* __restrict gloss,
                                 float* __restrict red, float* __restrict green, float* __restrict blue) {
    const float lpx = light.PX, lpy = light.PY, lpz = light.PZ;
    const float dirx = light.DX, diry = light.DY, dirz = light.DZ;
    const float inner = light.Inner, outer = light.Outer, cutOffset = light.CutOffset;
    const float ar = light.AR, ag = light.AG, ab = light.AB, br = light.BR, bg = light.BG, bb = light.BB;
    const float dr = light.DiffR, dg = light.DiffG, db = light.DiffB;
    const float sr = light.SpecR, sg = light.SpecG, sb = light.SpecB;
    const float specularOn = light.SpecularOn, k = light.K, intensity = light.Intensity;
    const float rampScale = 1.0f / (Kind == LightPass::Point ? outer - inner : inner - outer);
    for (size_t c = 0; c < n; ++c) {
        const float dx = lpx - px[c], dy = lpy - py[c], dz = lpz - pz[c];
        const float dist = std::sqrt(dx * dx + dy * dy + dz * dz);
        const float inverse = dist > 0.0f ? 1.0f / (dist > 0.0f ? dist : 1.0f) : 0.0f;
        const float lx = dx * inverse, ly = dy * inverse, lz = dz * inverse;  // vertex to light
        const float cs = -(dirx * lx + diry * ly + dirz * lz);
        const float cut = dirx * px[c] + diry * py[c] + dirz * pz[c] + cutOffset;
        const float f = Attenuation<Kind>(inner, outer, rampScale, dist, cs, cut);
        const float nx = nxs[c], ny = nys[c], nz = nzs[c];
        const float facing =
            Kind == LightPass::Directional ? -(nx * dirx + ny * diry + nz * dirz) : nx * lx + ny * ly + nz * lz;
        const float nd = Clamp01(facing) * f;
        float sp = 0.0f;
        if constexpr (Specular) {
            const float hx = lx + ex[c], hy = ly + ey[c], hz = lz + ez[c];
            const float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
            // h / (k - k h + h) with h = max(n . h~, 0) / |h~|, multiplied through by |h~|: one
            // division instead of two (0 when h~ is the zero vector, as h is then).
            const float nh = std::max(nx * hx + ny * hy + nz * hz, 0.0f);
            const float denominator = k * hl - k * nh + nh;
            const float term = hl > 0.0f ? nh / (hl > 0.0f ? denominator : 1.0f) : 0.0f;
            sp = specularOn * f * term * (intensity + gloss[c]);
        }
        red[c] = Clamp01(red[c] + ar + br + dr * nd + sr * sp);
        green[c] = Clamp01(green[c] + ag + bg + dg * nd + sg * sp);
        blue[c] = Clamp01(blue[c] + ab + bb + db * nd + sb * sp);
    }
}

// Adds one light to every lit vertex and clamps, as LightVertex does per vertex. The light's
// fields are read once and the arrays come in as restrict parameters, so that the loop
// vectorises without run-time overlap checks.
template <LightPass Kind>
void AddLight(const LightTerms& light, size_t n, CharacterDrawScratch& s) {
    // Without sharpness the specular term is 0 for every vertex: the loop leaves it out.
    auto add = light.SpecularOn != 0.0f ? &AddLightTo<Kind, true> : &AddLightTo<Kind, false>;
    add(light, n, s.LX.data(), s.LY.data(), s.LZ.data(), s.LNX.data(), s.LNY.data(), s.LNZ.data(), s.EX.data(),
        s.EY.data(), s.EZ.data(), s.Gloss.data(), s.R.data(), s.G.data(), s.B.data());
}

// What LightVertex adds for a light that cannot reach a vertex: the constant terms, clamped.
void AddConstantTerms(const LightRecord& light, size_t n, CharacterDrawScratch& s) {
    const Vec3 ca = light.ConstantA, cb = light.ConstantB;
    for (size_t c = 0; c < n; ++c) {
        s.R[c] = Clamp01(s.R[c] + ca.x + cb.x);
        s.G[c] = Clamp01(s.G[c] + ca.y + cb.y);
        s.B[c] = Clamp01(s.B[c] + ca.z + cb.z);
    }
}

// The box of the lit vertices, or false when one of them is not finite.
bool LitBox(size_t n, const CharacterDrawScratch& s, Vec3& lo, Vec3& hi) {
    if (n == 0) return false;
    lo = hi = Vec3{s.LX[0], s.LY[0], s.LZ[0]};
    bool finite = true;
    for (size_t c = 0; c < n; ++c) {
        const Vec3 p{s.LX[c], s.LY[c], s.LZ[c]};
        finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    return finite;
}

void LightVertices(const LightList& lights, size_t n, CharacterDrawScratch& s) {
    const int32_t count =
        std::min<int32_t>(std::max<int32_t>(lights.Count, 0), static_cast<int32_t>(lights.Items.size()));
    Vec3 lo{}, hi{};
    const bool finite = LitBox(n, s, lo, hi);
    for (int32_t l = 0; l < count; ++l) {
        const LightRecord& light = lights.Items[static_cast<size_t>(l)];
        if (finite && PointLightMissesBox(light, lo, hi)) {
            AddConstantTerms(light, n, s);
            continue;
        }
        const LightTerms terms = TermsOf(light);
        switch (light.Kind) {
            case LightKind::Point: AddLight<LightPass::Point>(terms, n, s); break;
            case LightKind::Spot:
                if (terms.PlainCosine) AddLight<LightPass::SpotPlainCosine>(terms, n, s);
                else AddLight<LightPass::Spot>(terms, n, s);
                break;
            case LightKind::Omni: AddLight<LightPass::Omni>(terms, n, s); break;
            case LightKind::Directional: AddLight<LightPass::Directional>(terms, n, s); break;
            default: AddConstantTerms(light, n, s); break;
        }
    }
}

// A channel in [0, 1] as TruncToInt64(x * 255.0) & 0xFF gives it (NaN: 0), in a form that
// vectorises.
inline uint32_t ChannelByte(float x) {
    const double scaled = x == x ? static_cast<double>(x) * 255.0 : 0.0;
    return static_cast<uint32_t>(static_cast<int32_t>(scaled)) & 0xFF;
}

void PackColourChannels(size_t n, const float* __restrict r, const float* __restrict g, const float* __restrict b,
                        uint32_t* __restrict out) {
    for (size_t c = 0; c < n; ++c) out[c] = ChannelByte(b[c]) | ChannelByte(g[c]) << 8 | ChannelByte(r[c]) << 16;
}

// Colour bytes blue, green, red from the lowest up, alpha 0, as the level's meshes store them.
void PackColours(size_t n, CharacterDrawScratch& s) {
    PackColourChannels(n, s.R.data(), s.G.data(), s.B.data(), s.Packed.data());
    for (size_t c = 0; c < n; ++c) s.Diffuse[s.LitVertices[c]] = s.Packed[c];
}
// Writes a kept face's records in a few wide copies: the repeated bytes from the face's data,
// then the normal with the sort key (what FogAndSortKey gives without software fog), the run
// length and spare bytes 0, and per corner its position with its colour.
void WriteFace(const FaceDrawData& face, size_t i0, size_t i1, size_t i2, const Vec3& normal, float r,
               const CharacterDrawScratch& s, TriangleHeader& tri, TriangleVertices& block) {
    auto* header = reinterpret_cast<uint8_t*>(&tri);
    std::memcpy(header, face.HeaderStart, sizeof face.HeaderStart);
    const float normalAndKey[4] = {normal.x, normal.y, normal.z, -r};
    std::memcpy(header + offsetof(TriangleHeader, Normal), normalAndKey, sizeof normalAndKey);
    constexpr size_t kTailAt = offsetof(TriangleHeader, RunLength);
    std::memset(header + kTailAt, 0, sizeof(TriangleHeader) - kTailAt);
    const size_t corner[3] = {i0, i1, i2};
    for (int k = 0; k < 3; ++k) {
        const size_t vi = corner[k];
        float head[4] = {s.X[vi], s.Y[vi], s.Z[vi], 0.0f};
        std::memcpy(&head[3], &s.Diffuse[vi], sizeof head[3]);
        auto* v = reinterpret_cast<uint8_t*>(&block.V[k]);
        std::memcpy(v, head, sizeof head);
        std::memcpy(v + kCornerEndAt, face.CornerEnd[k], sizeof face.CornerEnd[k]);
    }
}

// Scales each (x, y, z) to unit length; a zero vector stays zero.
void NormaliseFaceNormals(size_t n, float* __restrict x, float* __restrict y, float* __restrict z) {
    for (size_t i = 0; i < n; ++i) {
        const float length = std::sqrt(x[i] * x[i] + y[i] * y[i] + z[i] * z[i]);
        const float inverse = length != 0.0f ? 1.0f / (length != 0.0f ? length : 1.0f) : 0.0f;
        x[i] *= inverse;
        y[i] *= inverse;
        z[i] *= inverse;
    }
}

// The faces kept, in face order, found without branches (whether a face faces the eye is a
// coin toss the branch predictor loses): those in the frustum, facing the eye (a degenerate
// face counts as facing it) and within the view distance. Marks their vertices as used and
// gives every kept face its unit normal and radius, packed in the order kept (each face's are
// written at the next free place, which the next face overwrites unless this one was kept).
// Returns how many were kept.
int32_t KeepFaces(const LevelDrawTarget& t, CharacterDrawScratch& s) {
    const Vec3 eye = t.Eye;
    const float viewDistance = t.ViewDistance;
    const uint16_t* c0 = s.Corner0.data();
    const uint16_t* c1 = s.Corner1.data();
    const uint16_t* c2 = s.Corner2.data();
    const uint8_t* drawable = s.Drawable.data();
    const uint8_t* outside = s.Outside.data();
    const float* x = s.X.data();
    const float* y = s.Y.data();
    const float* z = s.Z.data();
    const float* distance = s.Distance.data();
    int32_t* keptFaces = s.KeptFaces.data();
    size_t count = 0;
    std::fill_n(s.Used.begin(), s.PreparedVertices, uint8_t{0});
    uint8_t* used = s.Used.data();
    float* fx = s.FaceX.data();
    float* fy = s.FaceY.data();
    float* fz = s.FaceZ.data();
    float* radius = s.FaceRadius.data();
    const size_t faces = s.PreparedFaces;
    for (size_t f = 0; f < faces; ++f) {
        const size_t i0 = c0[f], i1 = c1[f], i2 = c2[f];
        const float ax = x[i1] - x[i0], ay = y[i1] - y[i0], az = z[i1] - z[i0];
        const float bx = x[i2] - x[i1], by = y[i2] - y[i1], bz = z[i2] - z[i1];
        const float cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
        const bool facing = !(cx * (eye.x - x[i0]) + cy * (eye.y - y[i0]) + cz * (eye.z - z[i0]) < 0.0f);
        const float r = std::max({distance[i0], distance[i1], distance[i2]});
        const bool inside = (outside[i0] & outside[i1] & outside[i2] & kPlaneBits) == 0;
        const auto kept = static_cast<uint8_t>(inside & facing & (r <= viewDistance) & (drawable[f] != 0));
        fx[count] = cx;
        fy[count] = cy;
        fz[count] = cz;
        radius[count] = r;
        keptFaces[count] = static_cast<int32_t>(f);
        count += kept;
        used[i0] |= kept;
        used[i1] |= kept;
        used[i2] |= kept;
    }
    NormaliseFaceNormals(count, fx, fy, fz);
    return static_cast<int32_t>(count);
}

// The kept faces' records, with the software fog where it applies.
void WriteKeptFaces(int32_t kept, const LevelDrawTarget& t, const CharacterDrawScratch& s, TriangleHeader* headers,
                    TriangleVertices* vertices) {
    for (int32_t g = 0; g < kept; ++g) {
        const size_t k = static_cast<size_t>(g);
        const size_t f = static_cast<size_t>(s.KeptFaces[k]);
        const Vec3 normal{s.FaceX[k], s.FaceY[k], s.FaceZ[k]};
        const float r = s.FaceRadius[k];
        WriteFace(s.FaceData[f], s.Corner0[f], s.Corner1[f], s.Corner2[f], normal, r, s, headers[k], vertices[k]);
        if (!t.HardwareFog && r >= t.FogStart) FogAndSortKey(headers[k], vertices[k], r, t);
    }
}

bool SameVec(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool SameLight(const LightRecord& a, const LightRecord& b) {
    return a.Kind == b.Kind && SameVec(a.Position, b.Position) && SameVec(a.ConstantA, b.ConstantA) &&
           SameVec(a.ConstantB, b.ConstantB) && SameVec(a.Diffuse, b.Diffuse) && SameVec(a.Specular, b.Specular) &&
           a.Sharpness == b.Sharpness && a.SpecularIntensity == b.SpecularIntensity && a.Inner == b.Inner &&
           a.Outer == b.Outer && a.CutOffset == b.CutOffset && SameVec(a.Direction, b.Direction) &&
           a.FalloffMode == b.FalloffMode && a.NoModels == b.NoModels;
}

// The lights DrawCharacterMesh reads: the first Count records that the list holds.
int32_t LightsUsed(const LightList& lights) {
    return std::min<int32_t>(std::max<int32_t>(lights.Count, 0), static_cast<int32_t>(lights.Items.size()));
}

// The target's fields the drawing reads. (Bit-wise float comparisons: a NaN never matches.)
bool SameTarget(const LevelDrawTarget& a, const LevelDrawTarget& b) {
    return SameVec(a.Eye, b.Eye) && a.ViewDistance == b.ViewDistance && a.FogStart == b.FogStart &&
           a.FogRed == b.FogRed && a.FogGreen == b.FogGreen && a.FogBlue == b.FogBlue && a.HardwareFog == b.HardwareFog;
}

bool SameInputs(const CharacterDrawInputs& last, uint64_t poseSerial, int32_t baseSlot, const ModelRecord& mesh,
                const Vec3& at, const Mat4& m, const LevelDrawTarget& target, const Frustum& frustum,
                const LightList& lights) {
    if (last.PoseSerial != poseSerial || last.Mesh != &mesh || last.BaseSlot != baseSlot || !SameVec(last.At, at)) {
        return false;
    }
    if (!std::equal(std::begin(m.m), std::end(m.m), std::begin(last.Placement.m))) return false;
    if (!SameTarget(last.Target, target)) return false;
    for (int k = 0; k < 6; ++k) {
        const Plane& a = last.ViewFrustum.Planes[k];
        const Plane& b = frustum.Planes[k];
        if (a.a != b.a || a.b != b.b || a.c != b.c || a.d != b.d) return false;
    }
    const int32_t n = LightsUsed(lights);
    if (n != last.Lights.Count) return false;
    for (int32_t l = 0; l < n; ++l) {
        if (!SameLight(last.Lights.Items[static_cast<size_t>(l)], lights.Items[static_cast<size_t>(l)])) return false;
    }
    return true;
}

void RememberInputs(CharacterDrawInputs& last, uint64_t poseSerial, int32_t baseSlot, const ModelRecord& mesh,
                    const Vec3& at, const Mat4& m, const LevelDrawTarget& target, const Frustum& frustum,
                    const LightList& lights) {
    last.PoseSerial = poseSerial;
    last.Mesh = &mesh;
    last.BaseSlot = baseSlot;
    last.At = at;
    last.Placement = m;
    last.Target = target;
    last.ViewFrustum = frustum;
    const int32_t n = LightsUsed(lights);
    GrowTo(last.Lights.Items, lights.Items.size());
    std::copy_n(lights.Items.begin(), n, last.Lights.Items.begin());
    last.Lights.Count = static_cast<int16_t>(n);
}

}  // namespace

DV_VECTOR_CLONES int32_t DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const SkinnedMesh& skinned,
                                           const Vec3& at, const Mat4& m, TriangleHeader* headers,
                                           TriangleVertices* vertices, const LevelDrawTarget& target,
                                           const Frustum& frustum, const LightList& lights,
                                           CharacterDrawScratch& scratch) {
    CharacterDrawScratch& s = scratch;
    const size_t nv = skinned.size();
    const size_t faces = mesh.Faces.size();
    GrowVertexArrays(s, nv);
    GrowTo(s.KeptFaces, faces);
    for (auto* v : {&s.FaceX, &s.FaceY, &s.FaceZ, &s.FaceRadius}) GrowTo(*v, faces);
    PrepareMesh(mesh, baseSlot, skinned, s);

    PlaceVertices(skinned, at, m, s);
    if ((ClassifyVertices(nv, target.Eye, target.ViewDistance, frustum, s) & (kPlaneBits | kFarBit)) != 0) return 0;
    const int32_t kept = KeepFaces(target, s);
    const size_t lit = GatherLitVertices(nv, target.Eye, s);
    LightVertices(lights, lit, s);
    PackColours(lit, s);
    WriteKeptFaces(kept, target, s, headers, vertices);
    return kept;
}

void DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const SkinnedMesh& skinned, const Vec3& at,
                       const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                       const LightList& lights, CharacterDrawScratch& scratch) {
    GrowTo(out.Triangles, mesh.Faces.size());
    GrowTo(out.Vertices, mesh.Faces.size());
    out.Count = DrawCharacterMesh(baseSlot, mesh, skinned, at, m, out.Triangles.data(), out.Vertices.data(), target,
                                  frustum, lights, scratch);
}

int32_t DrawCharacterMeshReusing(uint64_t poseSerial, int32_t baseSlot, const ModelRecord& mesh,
                                 const SkinnedMesh& skinned, const Vec3& at, const Mat4& m, TriangleHeader* headers,
                                 TriangleVertices* vertices, const LevelDrawTarget& target, const Frustum& frustum,
                                 const LightList& lights, CharacterDrawScratch& scratch) {
    CharacterDrawScratch& s = scratch;
    GrowTo(s.KeptHeaders, mesh.Faces.size());  // here, so that a later first reuse allocates nothing
    GrowTo(s.KeptVertices, mesh.Faces.size());
    const bool same = s.LastValid && SameInputs(s.Last, poseSerial, baseSlot, mesh, at, m, target, frustum, lights);
    if (same && s.KeptCount >= 0) {
        const size_t n = static_cast<size_t>(s.KeptCount);
        std::copy_n(s.KeptHeaders.data(), n, headers);
        std::copy_n(s.KeptVertices.data(), n, vertices);
        return s.KeptCount;
    }
    const int32_t count =
        DrawCharacterMesh(baseSlot, mesh, skinned, at, m, headers, vertices, target, frustum, lights, s);
    if (same) {
        const size_t n = static_cast<size_t>(count);
        std::copy_n(headers, n, s.KeptHeaders.data());
        std::copy_n(vertices, n, s.KeptVertices.data());
        s.KeptCount = count;
        return count;
    }
    RememberInputs(s.Last, poseSerial, baseSlot, mesh, at, m, target, frustum, lights);
    s.LastValid = true;
    s.KeptCount = -1;
    return count;
}

}  // namespace dv
