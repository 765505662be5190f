// The records every drawable hands to the viewport: 70-byte triangle headers, 44-byte 3D
// vertices (three per triangle), 28-byte 2D vertices, 7-byte 2D batches, and the level's
// animated-texture tables that the viewport resolves each frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/vecmath.h"

namespace dv {

// The bit of TriangleHeader::Flags that draws the triangle as lines.
inline constexpr uint32_t kWireframeFlag = 0x80000000u;

#pragma pack(push, 1)

// One triangle's header. Raw in the level file; some fields are work areas while drawing.
struct TriangleHeader {
    int32_t Flags;     // kWireframeFlag: draw in wireframe
    uint16_t Texture;  // base slot; bit 15 set = animated-texture code (AnimatedSlot*)
    uint16_t BumpTexture;
    uint16_t Lightmap;
    uint8_t BlendType;  // low 6 bits: 0 opaque, 1 alpha-tested, 2/10 additive, 11 inverse colour
    uint8_t Layers;     // 0 texture only, 1 texture x diffuse, 2+ lightmapped
    uint16_t BumpFlag;  // non-zero: bump (dot-product) path
    PackedVec3 Normal;  // unit plane normal
    float SortKey;      // negated camera distance after culling
    int32_t RunLength;  // written by the viewport into the first header of each run
    uint8_t Spare[36];
};

// Vertex of D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX3.
struct Vertex3D {
    PackedVec3 Position;
    uint32_t Diffuse;      // D3DCOLOR: bytes blue, green, red, alpha
    uint32_t Specular;     // D3DCOLOR; the bump path stores the encoded bump vector here
    float U, V;            // base texture, coordinate set 0
    float BumpU, BumpV;    // bump map, set 1
    float LightU, LightV;  // lightmap, set 2
};

struct TriangleVertices {
    Vertex3D V[3];
};

// Vertex of D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct Vertex2D {
    float X, Y;  // pixels from the top-left corner
    float Z, Rhw;
    uint32_t Diffuse;  // D3DCOLOR
    float U, V;
};

struct Triangle2D {
    Vertex2D V[3];
};

struct Batch2D {
    uint16_t Slot;
    uint8_t Mode;   // 0 opaque, 1 alpha-tested, 2/10 additive
    int32_t Count;  // triangles
};

// One frame of an animated texture (raw from the level file).
struct AnimatedTextureFrame {
    int16_t SlotOffset;  // texture slot = table's SlotBase + this
    uint8_t Spare0[2];
    float ShiftU;
    float ShiftV;
    uint8_t Spare1[20];
    float LimitV;  // v limit of the sliding kind
};

#pragma pack(pop)

static_assert(sizeof(TriangleHeader) == 70);
static_assert(offsetof(TriangleHeader, Texture) == 4);
static_assert(offsetof(TriangleHeader, BlendType) == 10);
static_assert(offsetof(TriangleHeader, Layers) == 11);
static_assert(offsetof(TriangleHeader, BumpFlag) == 12);
static_assert(offsetof(TriangleHeader, Normal) == 14);
static_assert(offsetof(TriangleHeader, SortKey) == 26);
static_assert(offsetof(TriangleHeader, RunLength) == 30);
static_assert(sizeof(Vertex3D) == 44);
static_assert(offsetof(Vertex3D, Diffuse) == 12);
static_assert(offsetof(Vertex3D, U) == 20);
static_assert(offsetof(Vertex3D, BumpU) == 28);
static_assert(offsetof(Vertex3D, LightU) == 36);
static_assert(sizeof(TriangleVertices) == 132);
static_assert(sizeof(Vertex2D) == 28);
static_assert(sizeof(Triangle2D) == 84);
static_assert(sizeof(Batch2D) == 7);
static_assert(sizeof(AnimatedTextureFrame) == 36);
static_assert(offsetof(AnimatedTextureFrame, ShiftU) == 4);
static_assert(offsetof(AnimatedTextureFrame, ShiftV) == 8);
static_assert(offsetof(AnimatedTextureFrame, LimitV) == 32);

inline constexpr uint32_t kFvf3D = 0x3C2;  // XYZ | DIFFUSE | SPECULAR | TEX3
inline constexpr uint32_t kFvf2D = 0x144;  // XYZRHW | DIFFUSE | TEX1
inline constexpr int32_t kVertexStride3D = 44;
inline constexpr int32_t kVertexStride2D = 28;

// One animated texture.
struct AnimatedTexture {
    uint8_t Kind = 0;    // 0 frames replace each other, 1 texture coordinates slide
    int16_t Period = 0;  // ms per frame; 0 = not time-driven
    uint16_t FrameCount = 0;
    std::vector<AnimatedTextureFrame> Frames;
};

struct AnimatedTextureTable {
    int16_t SlotBase = 0;
    uint16_t SetCount = 0;
    std::vector<AnimatedTexture> Sets;
};

// A triangle list with the count first: two parallel arrays and their used length.
struct TriangleBuffer {
    int32_t Count = 0;
    std::vector<TriangleHeader> Triangles;
    std::vector<TriangleVertices> Vertices;
};

// Fields of an animated-texture code (base slot with bit 15 set).
inline constexpr uint16_t kAnimatedSlotBit = 0x8000;
inline int AnimatedTable(uint16_t code) { return code & 1; }
inline int AnimatedStartFrame(uint16_t code) { return (code >> 1) & 0x3F; }
inline int AnimatedSetIndex(uint16_t code) { return ((code >> 8) & 0x7F) - 1; }

}  // namespace dv
