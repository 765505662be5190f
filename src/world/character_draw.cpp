#include "world/character_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dv {

namespace {

template <typename T>
void GrowTo(std::vector<T>& v, size_t n) {
    if (v.size() < n) v.resize(n);
}

void GrowVertexArrays(CharacterDrawScratch& s, size_t nv) {
    for (auto* v : {&s.X, &s.Y, &s.Z, &s.NX, &s.NY, &s.NZ, &s.Distance}) GrowTo(*v, nv);
    GrowTo(s.Outside, nv);
    GrowTo(s.Used, nv);
    GrowTo(s.Diffuse, nv);
    GrowTo(s.LitVertices, nv);
    for (auto* v : {&s.LX, &s.LY, &s.LZ, &s.LNX, &s.LNY, &s.LNZ, &s.EX, &s.EY, &s.EZ, &s.Gloss, &s.R, &s.G, &s.B}) {
        GrowTo(*v, nv);
    }
}

// World positions and normals: (x, y, z, 1) x m + at, as DrawMovableModel places them.
void PlaceVertices(const ModelVertices& skinned, const Vec3& at, const Mat4& m, CharacterDrawScratch& s) {
    const float* k = m.m;
    for (size_t i = 0; i < skinned.size(); ++i) {
        const Vec3 p = skinned[i].Position;
        const Vec3 n = skinned[i].Normal;
        s.X[i] = p.x * k[0] + p.y * k[4] + p.z * k[8] + k[12] + at.x;
        s.Y[i] = p.x * k[1] + p.y * k[5] + p.z * k[9] + k[13] + at.y;
        s.Z[i] = p.x * k[2] + p.y * k[6] + p.z * k[10] + k[14] + at.z;
        s.NX[i] = n.x * k[0] + n.y * k[4] + n.z * k[8];
        s.NY[i] = n.x * k[1] + n.y * k[5] + n.z * k[9];
        s.NZ[i] = n.x * k[2] + n.y * k[6] + n.z * k[10];
    }
}

// Per vertex, once: which frustum planes it is on or behind, and its distance from the eye. A
// face is then outside when its three corners share a plane, and its radius is the largest of
// three distances. Plain loops over separate arrays, so that they vectorise.
void ClassifyVertices(size_t nv, const Vec3& eye, const Frustum& f, CharacterDrawScratch& s) {
    const float* __restrict x = s.X.data();
    const float* __restrict y = s.Y.data();
    const float* __restrict z = s.Z.data();
    uint8_t* __restrict outside = s.Outside.data();
    float* __restrict distance = s.Distance.data();
    std::fill_n(outside, nv, uint8_t{0});
    for (int k = 0; k < 6; ++k) {
        const Plane p = f.planes[k];
        const auto bit = static_cast<uint8_t>(1u << k);
        for (size_t i = 0; i < nv; ++i) {
            const float v = p.a * x[i] + p.b * y[i] + p.c * z[i] + p.d;
            outside[i] |= v <= 0.0f ? bit : uint8_t{0};
        }
    }
    for (size_t i = 0; i < nv; ++i) {
        const float dx = x[i] - eye.x, dy = y[i] - eye.y, dz = z[i] - eye.z;
        distance[i] = std::sqrt(dx * dx + dy * dy + dz * dz);
    }
}

// The faces in the frustum, facing the eye (a degenerate face counts as facing it) and within
// the view distance, in face order, with their radius and unit normal; marks their vertices.
void CullFaces(const ModelRecord& mesh, size_t nv, const LevelDrawTarget& t, CharacterDrawScratch& s,
               int32_t& kept) {
    std::fill_n(s.Used.begin(), nv, uint8_t{0});
    kept = 0;
    const Vec3 eye = t.Eye;
    for (size_t f = 0; f < mesh.Faces.size(); ++f) {
        const ModelFace& face = mesh.Faces[f];
        const size_t i0 = face.Vertex[0], i1 = face.Vertex[1], i2 = face.Vertex[2];
        if (i0 >= nv || i1 >= nv || i2 >= nv) continue;
        if ((s.Outside[i0] & s.Outside[i1] & s.Outside[i2]) != 0) continue;
        const Vec3 p0{s.X[i0], s.Y[i0], s.Z[i0]}, p1{s.X[i1], s.Y[i1], s.Z[i1]}, p2{s.X[i2], s.Y[i2], s.Z[i2]};
        const Vec3 a = VecSub(p1, p0), b = VecSub(p2, p1);
        const Vec3 c{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
        const Vec3 toEye = VecSub(eye, p0);
        if (c.x * toEye.x + c.y * toEye.y + c.z * toEye.z < 0.0f) continue;
        const float r = std::max({s.Distance[i0], s.Distance[i1], s.Distance[i2]});
        if (!(r <= t.ViewDistance)) continue;
        const float length = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
        const float inverse = length != 0.0f ? 1.0f / length : 0.0f;
        s.KeptFaces[static_cast<size_t>(kept)] = static_cast<int32_t>(f);
        s.KeptRadius[static_cast<size_t>(kept)] = r;
        s.KeptNormals[static_cast<size_t>(kept)] = VecScale(c, inverse);
        ++kept;
        s.Used[i0] = s.Used[i1] = s.Used[i2] = 1;
    }
}

// Gathers the used vertices into the lighting arrays, with each one's unit direction to the eye
// (zero at the eye) and gloss; returns how many.
size_t GatherLitVertices(const ModelVertices& skinned, size_t nv, const Vec3& eye, CharacterDrawScratch& s) {
    size_t n = 0;
    for (size_t i = 0; i < nv; ++i) {
        if (s.Used[i] != 0) s.LitVertices[n++] = static_cast<uint16_t>(i);
    }
    for (size_t c = 0; c < n; ++c) {
        const size_t i = s.LitVertices[c];
        s.LX[c] = s.X[i];
        s.LY[c] = s.Y[i];
        s.LZ[c] = s.Z[i];
        s.LNX[c] = s.NX[i];
        s.LNY[c] = s.NY[i];
        s.LNZ[c] = s.NZ[i];
        s.Gloss[c] = static_cast<float>(skinned[i].Gloss) / 255.0f;
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
    float PX, PY, PZ;        // position
    float DX, DY, DZ;        // direction
    float Inner, Outer, CutOffset;
    bool PlainCosine;        // spot: FalloffMode 1
    float AR, AG, AB, BR, BG, BB;  // the two constant terms
    float DiffR, DiffG, DiffB;
    float SpecR, SpecG, SpecB;
    float SpecularOn;        // 1 with sharpness, else 0 (the specular term is off)
    float K;                 // the sharpness, or a harmless 1 without it
    float Intensity;
};

LightTerms TermsOf(const LightRecord& light) {
    const bool sharp = light.Sharpness > 0.0f;
    return LightTerms{light.Position.x, light.Position.y, light.Position.z,
                      light.Direction.x, light.Direction.y, light.Direction.z,
                      light.Inner, light.Outer, light.CutOffset, light.FalloffMode == 1,
                      light.ConstantA.x, light.ConstantA.y, light.ConstantA.z,
                      light.ConstantB.x, light.ConstantB.y, light.ConstantB.z,
                      light.Diffuse.x, light.Diffuse.y, light.Diffuse.z,
                      light.Specular.x, light.Specular.y, light.Specular.z,
                      sharp ? 1.0f : 0.0f, sharp ? light.Sharpness : 1.0f, light.SpecularIntensity};
}

// The attenuation of light kind `Kind` at a vertex `dist` away, `cs` the cosine between the
// spot's direction and the light-to-vertex direction, `cut` the vertex's side value of the
// spot's cut-off plane: LightVertex's rules, evaluated without branches on the kind.
template <uint8_t Kind>
float Attenuation(float inner, float outer, bool plainCosineFalloff, float dist, float cs, float cut) {
    if constexpr (Kind == kLightPoint) {
        const float ramp = (outer - dist) / (outer - inner);
        return dist >= outer ? 0.0f : (dist <= inner ? 1.0f : ramp);
    } else if constexpr (Kind == kLightSpot) {
        const float plainCosine = ((cs >= outer) & (cs <= 1.0f)) ? cs : 0.0f;
        const float ramp = (cs - outer) / (inner - outer);
        const float cone = ((cs > inner) & (cs <= 1.0f)) ? 1.0f : (((cs <= inner) & (cs > outer)) ? ramp : 0.0f);
        return plainCosineFalloff ? plainCosine : (cut > 0.0f ? 0.0f : cone);
    } else {
        return 1.0f;
    }
}

template <uint8_t Kind>
void AddLightTo(const LightTerms& light, size_t n, const float* __restrict px, const float* __restrict py,
                const float* __restrict pz, const float* __restrict nxs, const float* __restrict nys,
                const float* __restrict nzs, const float* __restrict ex, const float* __restrict ey,
                const float* __restrict ez, const float* __restrict gloss, float* __restrict red,
                float* __restrict green, float* __restrict blue) {
    const float lpx = light.PX, lpy = light.PY, lpz = light.PZ;
    const float dirx = light.DX, diry = light.DY, dirz = light.DZ;
    const float inner = light.Inner, outer = light.Outer, cutOffset = light.CutOffset;
    const bool plainCosine = light.PlainCosine;
    const float ar = light.AR, ag = light.AG, ab = light.AB, br = light.BR, bg = light.BG, bb = light.BB;
    const float dr = light.DiffR, dg = light.DiffG, db = light.DiffB;
    const float sr = light.SpecR, sg = light.SpecG, sb = light.SpecB;
    const float specularOn = light.SpecularOn, k = light.K, intensity = light.Intensity;
    for (size_t c = 0; c < n; ++c) {
        const float dx = lpx - px[c], dy = lpy - py[c], dz = lpz - pz[c];
        const float dist = std::sqrt(dx * dx + dy * dy + dz * dz);
        const float inverse = dist > 0.0f ? 1.0f / (dist > 0.0f ? dist : 1.0f) : 0.0f;
        const float lx = dx * inverse, ly = dy * inverse, lz = dz * inverse;  // vertex to light
        const float cs = -(dirx * lx + diry * ly + dirz * lz);
        const float cut = dirx * px[c] + diry * py[c] + dirz * pz[c] + cutOffset;
        const float f = Attenuation<Kind>(inner, outer, plainCosine, dist, cs, cut);
        const float nx = nxs[c], ny = nys[c], nz = nzs[c];
        const float facing =
            Kind == kLightDirectional ? -(nx * dirx + ny * diry + nz * dirz) : nx * lx + ny * ly + nz * lz;
        const float nd = Clamp01(facing) * f;
        const float hx = lx + ex[c], hy = ly + ey[c], hz = lz + ez[c];
        const float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
        const float hi = hl > 0.0f ? 1.0f / (hl > 0.0f ? hl : 1.0f) : 0.0f;
        const float h = std::max((nx * hx + ny * hy + nz * hz) * hi, 0.0f);
        const float sp = specularOn * f * (h / (k - k * h + h)) * (intensity + gloss[c]);
        red[c] = Clamp01(red[c] + ar + br + dr * nd + sr * sp);
        green[c] = Clamp01(green[c] + ag + bg + dg * nd + sg * sp);
        blue[c] = Clamp01(blue[c] + ab + bb + db * nd + sb * sp);
    }
}

// Adds one light to every lit vertex and clamps, as LightVertex does per vertex. The light's
// fields are read once and the arrays come in as restrict parameters, so that the loop
// vectorises without run-time overlap checks.
template <uint8_t Kind>
void AddLight(const LightTerms& light, size_t n, CharacterDrawScratch& s) {
    AddLightTo<Kind>(light, n, s.LX.data(), s.LY.data(), s.LZ.data(), s.LNX.data(), s.LNY.data(), s.LNZ.data(),
                     s.EX.data(), s.EY.data(), s.EZ.data(), s.Gloss.data(), s.R.data(), s.G.data(), s.B.data());
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
            case kLightPoint: AddLight<kLightPoint>(terms, n, s); break;
            case kLightSpot: AddLight<kLightSpot>(terms, n, s); break;
            case kLightOmni: AddLight<kLightOmni>(terms, n, s); break;
            case kLightDirectional: AddLight<kLightDirectional>(terms, n, s); break;
            default: AddConstantTerms(light, n, s); break;
        }
    }
}

// Colour bytes blue, green, red from the lowest up, alpha 0, as the level's meshes store them.
void PackColours(size_t n, CharacterDrawScratch& s) {
    const auto byte = [](float x) { return static_cast<uint32_t>(TruncToInt64(x * 255.0) & 0xFF); };
    for (size_t c = 0; c < n; ++c) {
        s.Diffuse[s.LitVertices[c]] = byte(s.B[c]) | byte(s.G[c]) << 8 | byte(s.R[c]) << 16;
    }
}

// Writes every field of the face's records (no blank copies: value-initialising the 202 bytes
// first compiles to a slow string store).
void WriteFace(const ModelFace& face, int32_t baseSlot, const Vec3& normal, float r, const LevelDrawTarget& t,
               const CharacterDrawScratch& s, TriangleHeader& tri, TriangleVertices& block) {
    tri.Flags = 0;
    tri.Texture = face.Texture < 0 ? static_cast<uint16_t>(face.Texture) : static_cast<uint16_t>(baseSlot + face.Texture);
    tri.BumpTexture = 0;
    tri.Lightmap = 0;
    tri.BlendType = face.Blend;
    tri.Layers = 1;
    tri.BumpFlag = 0;
    tri.Normal = normal;
    tri.RunLength = 0;
    std::memset(tri.Spare, 0, sizeof tri.Spare);
    for (int k = 0; k < 3; ++k) {
        const uint16_t vi = face.Vertex[k];
        Vertex3D& v = block.V[k];
        v.Position = Vec3{s.X[vi], s.Y[vi], s.Z[vi]};
        v.Diffuse = s.Diffuse[vi];
        v.Specular = 0;
        v.U = face.Uv[k][0];
        v.V = face.Uv[k][1];
        v.BumpU = face.BumpUv[k][0];
        v.BumpV = face.BumpUv[k][1];
        v.LightU = 0.0f;
        v.LightV = 0.0f;
    }
    if (t.HardwareFog || r < t.FogStart) {
        tri.SortKey = -r;  // what FogAndSortKey does without software fog, without the call
        return;
    }
    FogAndSortKey(tri, block, r, t);
}

}  // namespace

int32_t DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const ModelVertices& skinned, const Vec3& at,
                          const Mat4& m, TriangleHeader* headers, TriangleVertices* vertices,
                          const LevelDrawTarget& target, const Frustum& frustum, const LightList& lights,
                          CharacterDrawScratch& scratch) {
    CharacterDrawScratch& s = scratch;
    const size_t nv = skinned.size();
    const size_t faces = mesh.Faces.size();
    GrowVertexArrays(s, nv);
    GrowTo(s.KeptFaces, faces);
    GrowTo(s.KeptRadius, faces);
    GrowTo(s.KeptNormals, faces);

    PlaceVertices(skinned, at, m, s);
    ClassifyVertices(nv, target.Eye, frustum, s);
    int32_t kept = 0;
    CullFaces(mesh, nv, target, s, kept);
    const size_t lit = GatherLitVertices(skinned, nv, target.Eye, s);
    LightVertices(lights, lit, s);
    PackColours(lit, s);
    for (int32_t g = 0; g < kept; ++g) {
        const size_t k = static_cast<size_t>(g);
        WriteFace(mesh.Faces[static_cast<size_t>(s.KeptFaces[k])], baseSlot, s.KeptNormals[k], s.KeptRadius[k], target,
                  s, headers[k], vertices[k]);
    }
    return kept;
}

void DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const ModelVertices& skinned, const Vec3& at,
                       const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                       const LightList& lights, CharacterDrawScratch& scratch) {
    GrowTo(out.Triangles, mesh.Faces.size());
    GrowTo(out.Vertices, mesh.Faces.size());
    out.Count = DrawCharacterMesh(baseSlot, mesh, skinned, at, m, out.Triangles.data(), out.Vertices.data(), target,
                                  frustum, lights, scratch);
}

}  // namespace dv
