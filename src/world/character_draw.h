// The character's mesh drawn from its skinned vertices: placed in the world, culled, lit and
// written out as triangles. It gives what DrawMovableModel gives for the same vertices, within
// float rounding, in passes over flat per-vertex arrays instead of per-face lookups: place every
// vertex once, test each vertex against the frustum planes and the eye once, cull the faces
// from those results, light only the vertices of kept faces (in float, with each light's kind
// decided once per light rather than per vertex), then write the kept faces. A mesh wholly
// outside one frustum plane or beyond the view distance stops after the test of its vertices.
#pragma once

#include <cstdint>
#include <vector>

#include "world/level_draw.h"
#include "world/skinned_mesh.h"

namespace dv {

// Where a vertex record's part after the position and colour starts.
inline constexpr size_t kCornerEndAt = 16;

// The bytes of a face's triangle records that are the same in every drawing: the header up to
// the normal (flags, slot, blend, layers) and per corner the vertex record from the specular
// colour on (its coordinates).
struct FaceDrawData {
    uint8_t HeaderStart[14];
    uint8_t CornerEnd[3][28];
};

// What a drawing of the character was made from: the same inputs give the same triangles.
struct CharacterDrawInputs {
    uint64_t PoseSerial = 0;  // the animator's count of poses
    const ModelRecord* Mesh = nullptr;
    int32_t BaseSlot = 0;
    Vec3 At{};
    Mat4 Placement{};
    LevelDrawTarget Target{};
    Frustum ViewFrustum{};
    LightList Lights;  // the first Count records; the vector only grows
};

// Work arrays of DrawCharacterMesh; they only grow, so a steady frame allocates nothing.
struct CharacterDrawScratch {
    std::vector<float> X, Y, Z;     // per vertex: world position
    std::vector<float> NX, NY, NZ;  // world normal (the model matrix applied, not renormalised)
    std::vector<float> Distance;    // from the eye
    std::vector<uint8_t> Outside;   // bit k < 6: on or behind frustum plane k; bit 6: too far
    std::vector<uint8_t> Used;      // used by a kept face
    std::vector<uint32_t> Diffuse;  // lit colour of a used vertex
    std::vector<uint32_t> Packed;   // per lit vertex: its colour, before it goes to Diffuse
    std::vector<int32_t> KeptFaces;
    std::vector<float> FaceX, FaceY, FaceZ;  // per kept face: unit plane normal (zero when degenerate)
    std::vector<float> FaceRadius;           // per kept face: the farthest corner's distance from the eye
    std::vector<uint16_t> LitVertices;       // the used entries, in order
    // Per lit vertex (index into LitVertices): position, normal, direction to the eye, gloss
    // and the colour being summed.
    std::vector<float> LX, LY, LZ, LNX, LNY, LNZ, EX, EY, EZ, Gloss, R, G, B;

    // Taken from the mesh once: per face its corners as entries of the skinned arrays (a face
    // with a corner past the vertices has all three set to 0 and Drawable 0), per entry the
    // vertex's gloss / 255. Kept while the mesh, its sizes, the base slot and the skinned
    // vertex order stay.
    const ModelRecord* PreparedMesh = nullptr;
    size_t PreparedFaces = 0, PreparedVertices = 0;
    const uint32_t* PreparedSlots = nullptr;
    int32_t PreparedBaseSlot = 0;
    std::vector<FaceDrawData> FaceData;
    std::vector<uint16_t> Corner0, Corner1, Corner2;
    std::vector<uint8_t> Drawable;
    std::vector<float> VertexGloss;

    // The last drawing's inputs, and its triangles once the same inputs came twice in a row.
    CharacterDrawInputs Last;
    bool LastValid = false;
    int32_t KeptCount = -1;  // -1: no triangles kept
    std::vector<TriangleHeader> KeptHeaders;
    std::vector<TriangleVertices> KeptVertices;
};

// Draws the character: `skinned` holds the mesh's vertices in model space (the animator's
// skinned arrays), placed by `m` then moved by `at`. All faces in order, those in `frustum`,
// facing the eye and within the view distance, lit by `lights` with the vertex gloss; no bump
// mapping. Replaces out's content (out.Count valid records, the arrays only grow).
void DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const SkinnedMesh& skinned, const Vec3& at,
                       const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                       const LightList& lights, CharacterDrawScratch& scratch);

// The same, writing the kept faces straight into `headers` and `vertices`, which must have room
// for one record per face of the mesh; returns how many were written.
int32_t DrawCharacterMesh(int32_t baseSlot, const ModelRecord& mesh, const SkinnedMesh& skinned, const Vec3& at,
                          const Mat4& m, TriangleHeader* headers, TriangleVertices* vertices,
                          const LevelDrawTarget& target, const Frustum& frustum, const LightList& lights,
                          CharacterDrawScratch& scratch);

// DrawCharacterMesh that copies the previous triangles when pose, placement, view and lights
// are those of the last call (a frame between two ticks). The triangles are kept only when the
// same inputs come twice in a row, so a frame after every tick pays no extra copy.
int32_t DrawCharacterMeshReusing(uint64_t poseSerial, int32_t baseSlot, const ModelRecord& mesh,
                                 const SkinnedMesh& skinned, const Vec3& at, const Mat4& m, TriangleHeader* headers,
                                 TriangleVertices* vertices, const LevelDrawTarget& target, const Frustum& frustum,
                                 const LightList& lights, CharacterDrawScratch& scratch);

}  // namespace dv
