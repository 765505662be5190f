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

// The corners and gloss of the mesh's faces and vertices, taken once per mesh.
void PrepareMesh(const ModelRecord& mesh, size_t nv, CharacterDrawScratch& s) {
    if (s.PreparedMesh == &mesh && s.PreparedFaces == mesh.Faces.size() && s.PreparedVertices == nv) return;
    const size_t faces = mesh.Faces.size();
    s.Corner0.assign(faces, 0);
    s.Corner1.assign(faces, 0);
    s.Corner2.assign(faces, 0);
    s.Drawable.assign(faces, 0);
    for (size_t f = 0; f < faces; ++f) {
        const ModelFace& face = mesh.Faces[f];
        if (face.Vertex[0] >= nv || face.Vertex[1] >= nv || face.Vertex[2] >= nv) continue;
        s.Corner0[f] = face.Vertex[0];
        s.Corner1[f] = face.Vertex[1];
        s.Corner2[f] = face.Vertex[2];
        s.Drawable[f] = 1;
    }
    s.VertexGloss.assign(nv, 0.0f);
    for (size_t i = 0; i < nv && i < mesh.Vertices.size(); ++i) {
        s.VertexGloss[i] = static_cast<float>(mesh.Vertices[i].Gloss) / 255.0f;
    }
    s.PreparedMesh = &mesh;
    s.PreparedFaces = faces;
    s.PreparedVertices = nv;
}

// World positions and normals: (x, y, z, 1) x m + at, as DrawMovableModel places them.
void PlaceVertices(const SkinnedMesh& skinned, const Vec3& at, const Mat4& m, CharacterDrawScratch& s) {
    const float* k = m.m;
    const float* __restrict px = skinned.X.data();
    const float* __restrict py = skinned.Y.data();
    const float* __restrict pz = skinned.Z.data();
    const float* __restrict qx = skinned.NX.data();
    const float* __restrict qy = skinned.NY.data();
    const float* __restrict qz = skinned.NZ.data();
    float* __restrict x = s.X.data();
    float* __restrict y = s.Y.data();
    float* __restrict z = s.Z.data();
    float* __restrict nx = s.NX.data();
    float* __restrict ny = s.NY.data();
    float* __restrict nz = s.NZ.data();
    const float k0 = k[0], k1 = k[1], k2 = k[2], k4 = k[4], k5 = k[5], k6 = k[6], k8 = k[8], k9 = k[9], k10 = k[10];
    const float k12 = k[12], k13 = k[13], k14 = k[14];
    const float ax = at.x, ay = at.y, az = at.z;
    const size_t n = skinned.size();
    for (size_t i = 0; i < n; ++i) {
        x[i] = px[i] * k0 + py[i] * k4 + pz[i] * k8 + k12 + ax;
        y[i] = px[i] * k1 + py[i] * k5 + pz[i] * k9 + k13 + ay;
        z[i] = px[i] * k2 + py[i] * k6 + pz[i] * k10 + k14 + az;
    }
    for (size_t i = 0; i < n; ++i) {
        nx[i] = qx[i] * k0 + qy[i] * k4 + qz[i] * k8;
        ny[i] = qx[i] * k1 + qy[i] * k5 + qz[i] * k9;
        nz[i] = qx[i] * k2 + qy[i] * k6 + qz[i] * k10;
    }
}

// True when every placed vertex lies on or behind one frustum plane, or farther from the eye
// than the view distance: then every face is culled. Judged on the vertices' box; a box with
// a non-finite corner is never outside.
bool MeshOutside(size_t nv, const LevelDrawTarget& t, const Frustum& f, const CharacterDrawScratch& s) {
    if (nv == 0) return true;
    float lo[3] = {s.X[0], s.Y[0], s.Z[0]}, hi[3] = {lo[0], lo[1], lo[2]};
    const float* axes[3] = {s.X.data(), s.Y.data(), s.Z.data()};
    for (int a = 0; a < 3; ++a) {
        const float* __restrict v = axes[a];
        float l = lo[a], h = hi[a];
        for (size_t i = 0; i < nv; ++i) {
            l = std::min(l, v[i]);
            h = std::max(h, v[i]);
        }
        if (!std::isfinite(l) || !std::isfinite(h)) return false;
        lo[a] = l;
        hi[a] = h;
    }
    for (const Plane& p : f.planes) {
        // The box corner farthest in front of the plane.
        const float x = p.a >= 0.0f ? hi[0] : lo[0], y = p.b >= 0.0f ? hi[1] : lo[1], z = p.c >= 0.0f ? hi[2] : lo[2];
        if (p.a * x + p.b * y + p.c * z + p.d < 0.0f) return true;
    }
    // The box point nearest the eye.
    const Vec3 e = t.Eye;
    const float dx = std::max({lo[0] - e.x, 0.0f, e.x - hi[0]});
    const float dy = std::max({lo[1] - e.y, 0.0f, e.y - hi[1]});
    const float dz = std::max({lo[2] - e.z, 0.0f, e.z - hi[2]});
    return std::sqrt(dx * dx + dy * dy + dz * dz) > t.ViewDistance * 1.0001f + 0.01f;
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
void CullFaces(size_t faces, size_t nv, const LevelDrawTarget& t, CharacterDrawScratch& s, int32_t& kept) {
    std::fill_n(s.Used.begin(), nv, uint8_t{0});
    kept = 0;
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
    uint8_t* used = s.Used.data();
    for (size_t f = 0; f < faces; ++f) {
        const size_t i0 = c0[f], i1 = c1[f], i2 = c2[f];
        if ((outside[i0] & outside[i1] & outside[i2]) != 0 || drawable[f] == 0) continue;
        const float ax = x[i1] - x[i0], ay = y[i1] - y[i0], az = z[i1] - z[i0];
        const float bx = x[i2] - x[i1], by = y[i2] - y[i1], bz = z[i2] - z[i1];
        const Vec3 c{ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
        if (c.x * (eye.x - x[i0]) + c.y * (eye.y - y[i0]) + c.z * (eye.z - z[i0]) < 0.0f) continue;
        const float r = std::max({distance[i0], distance[i1], distance[i2]});
        if (!(r <= viewDistance)) continue;
        const float length = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
        const float inverse = length != 0.0f ? 1.0f / length : 0.0f;
        const size_t k = static_cast<size_t>(kept);
        s.KeptFaces[k] = static_cast<int32_t>(f);
        s.KeptRadius[k] = r;
        s.KeptNormals[k] = VecScale(c, inverse);
        ++kept;
        used[i0] = used[i1] = used[i2] = 1;
    }
}

// Gathers the used vertices into the lighting arrays, with each one's unit direction to the eye
// (zero at the eye) and gloss; returns how many.
size_t GatherLitVertices(size_t nv, const Vec3& eye, CharacterDrawScratch& s) {
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
           a.FogRed == b.FogRed && a.FogGreen == b.FogGreen && a.FogBlue == b.FogBlue &&
           a.HardwareFog == b.HardwareFog;
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
        const Plane& a = last.ViewFrustum.planes[k];
        const Plane& b = frustum.planes[k];
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
    GrowTo(last.Lights.Items, static_cast<size_t>(n));
    std::copy_n(lights.Items.begin(), n, last.Lights.Items.begin());
    last.Lights.Count = static_cast<int16_t>(n);
}

}  // namespace

int32_t DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const SkinnedMesh& skinned, const Vec3& at,
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
    PrepareMesh(mesh, nv, s);

    PlaceVertices(skinned, at, m, s);
    if (MeshOutside(nv, target, frustum, s)) return 0;
    ClassifyVertices(nv, target.Eye, frustum, s);
    int32_t kept = 0;
    CullFaces(faces, nv, target, s, kept);
    const size_t lit = GatherLitVertices(nv, target.Eye, s);
    LightVertices(lights, lit, s);
    PackColours(lit, s);
    for (int32_t g = 0; g < kept; ++g) {
        const size_t k = static_cast<size_t>(g);
        WriteFace(mesh.Faces[static_cast<size_t>(s.KeptFaces[k])], baseSlot, s.KeptNormals[k], s.KeptRadius[k], target,
                  s, headers[k], vertices[k]);
    }
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
        GrowTo(s.KeptHeaders, mesh.Faces.size());
        GrowTo(s.KeptVertices, mesh.Faces.size());
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
