// The records of a level file and the level record they fill.
//
// Fixed-size records are packed and laid out byte for byte as they appear in the file, so
// arrays of them are read and written as one block. Variable-length records (those holding
// arrays) are ordinary structs whose scalar fields mirror the file's counts; the reader keeps
// every count equal to the size of the array it sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/lighting.h"
#include "math/vecmath.h"
#include "render/triangle_list.h"

namespace dv {

// Rooms are grids of square cells of this edge (world units); cell heights are stored in
// steps of 1/kHeightStepsPerCell of the edge.
inline constexpr float kCellSize = 32.0f;
inline constexpr float kHeightStepsPerCell = 20.0f;

#pragma pack(push, 1)

// One clip of a movable: 50 bytes in the file, 52 in memory (the last two stay zero).
struct ClipRecord {
    int32_t ClipId;  // clips are searched by binary search on this
    int32_t DurationMs;
    int16_t AnimationIndex;  // into Animations
    int16_t StepsPerKey;     // in-between steps per key interval, 0 = whole frames only
    int16_t Unused1[3];
    uint8_t Unused2[32];
    uint8_t Pad[2];
};
inline constexpr size_t kClipFileSize = 50;

// Model vertex (76 bytes, raw); the last three vectors are work areas of the renderer.
struct ModelVertex {
    PackedVec3 Position;
    PackedVec3 Normal;
    int16_t Bones[4];    // negative = unused slot
    uint8_t Weights[4];  // percent
    int16_t Unused;
    uint16_t Gloss;  // value / 255 is added to every light's specular intensity
    PackedVec3 WorkPosition;
    PackedVec3 WorkNormal;
    PackedVec3 WorkColour;
};

// Model face (68 bytes, raw).
struct ModelFace {
    uint16_t Vertex[3];
    int16_t Texture;      // relative to the owner's TextureSlot; negative = animated-texture code
    int16_t BumpTexture;  // relative to BumpSlotBase, used only when BumpFlag != 0
    uint8_t Unused1[2];
    float Uv[3][2];
    float BumpUv[3][2];
    uint8_t Blend;
    uint8_t Unused2;
    int16_t BumpFlag;
    uint8_t Unused3[4];
};

// Skeleton bone (26 bytes, raw).
struct SkeletonBone {
    int16_t Parent;    // -1 = root; lower than the bone's own index
    PackedVec3 Pivot;  // rest position of the joint, model space
    uint8_t Unused[12];
};

// Animation key (28 bytes, raw).
struct AnimationKey {
    int32_t Frame;           // ascending; the first key is at frame 0
    PackedVec3 Rotation;     // Euler angles in degrees
    PackedVec3 Translation;  // added to the bone's pivot
};

// Object template: 10 bytes in the file (BumpSlotBase is not stored), 12 in memory.
struct ObjectTemplate {
    int32_t Id;
    int16_t Spare;
    int16_t TextureSlot;   // file value + kLevelTextureFirstSlot
    int16_t BumpSlotBase;  // 0 after loading
    int16_t ModelIndex;
};
inline constexpr size_t kObjectFileSize = 10;

// Lightmap table entry (11 bytes, raw).
struct LightmapEntry {
    uint8_t Present;    // non-zero: a bitmap may exist for this entry
    int32_t FirstSlot;  // slot of the bitmap's first tile
    uint8_t Unused[6];
};

// Box of the map's box list (36 bytes, read and kept, never used).
struct BoxRecord {
    uint8_t Bytes[36];
};

// Room header (38 bytes, raw).
struct RoomHeader {
    PackedVec3 Origin;
    uint16_t CellsX;
    uint16_t CellsZ;
    uint16_t HeightCells;  // ceiling reference = Origin.y + 32 * HeightCells
    float MinY;            // sector boxes' vertical range, relative to Origin.y
    float MaxY;
    uint8_t Unused1[2];
    int16_t AmbientLuminance;  // negative = use the colour's own luminance
    uint8_t Unused2[4];
    int32_t AmbientHls;  // hue bits 0-15, saturation 16-23, luminance 24-31
};

// Portal (74 bytes, raw).
struct Portal {
    uint16_t TargetRoom;
    PackedVec3 Corners[4];  // world coordinates
    PackedVec3 Facing;      // passed only by a camera on the side this points to
    PackedVec3 TargetOrigin;
};

// One 32 x 32 cell of a room's grid (33 bytes, raw).
struct GridCell {
    uint8_t FloorShape;
    uint8_t FloorFlags;  // bit 0: diagonal orientation; bit 2: levelled diagonal edge
    int16_t Floor[4];    // 1/20 cell above Origin.y at (0,31), (31,31), (31,0), (0,0)
    uint8_t Exit;
    int32_t FloorBlock;    // 0 free, -1 whole cell, 1/3 first half, 2/4 second half
    int32_t CeilingBlock;  // same values
    uint8_t CeilingFlags;  // bit 0: diagonal orientation
    int16_t Ceiling[4];    // 1/20 cell below the room top at (0,0), (31,0), (31,31), (0,31)
    uint8_t RoomAbove;     // room + 1, 0 = none
    uint8_t RoomBelow;
    uint8_t SideRoom;
    uint8_t Unused[2];
};

// Placed static object (29 bytes, raw).
struct ObjectInstance {
    int32_t ObjectId;
    uint8_t Unused1[6];
    int16_t Turn;         // steps of 45 degrees about the vertical axis
    PackedVec3 Position;  // in cells, relative to the room origin
    uint8_t Unused2[5];
};

// Light source of a room (67 bytes, raw).
struct LightSource {
    int16_t Kind;  // low byte: 0 point, 1 spot, 2 omni, 3 directional
    uint8_t Unused1[6];
    PackedVec3 Position;  // room-relative
    uint8_t Unused2[4];
    uint8_t Red, Green, Blue;
    uint8_t Unused3[5];
    float Unused4;
    float CutOffset;
    PackedVec3 Direction;
    uint8_t Unused5[2];
    int8_t OuterRange;  // steps of 16 units
    int8_t InnerRange;
    float OuterCos;  // spot: cosine of the outer cone
    float InnerCos;  // spot: cosine of the inner cone
    uint8_t Unused6[2];
    uint8_t NoModels;  // non-zero: not used for moving models
};

#pragma pack(pop)

static_assert(sizeof(ClipRecord) == 52);
static_assert(offsetof(ClipRecord, DurationMs) == 4 && offsetof(ClipRecord, AnimationIndex) == 8 &&
              offsetof(ClipRecord, StepsPerKey) == 10 && offsetof(ClipRecord, Pad) == kClipFileSize);
static_assert(sizeof(ModelVertex) == 76);
static_assert(offsetof(ModelVertex, Bones) == 24 && offsetof(ModelVertex, Weights) == 32 &&
              offsetof(ModelVertex, Gloss) == 38 && offsetof(ModelVertex, WorkPosition) == 40 &&
              offsetof(ModelVertex, WorkNormal) == 52 && offsetof(ModelVertex, WorkColour) == 64);
static_assert(sizeof(ModelFace) == 68);
static_assert(offsetof(ModelFace, Texture) == 6 && offsetof(ModelFace, BumpTexture) == 8 &&
              offsetof(ModelFace, Uv) == 12 && offsetof(ModelFace, BumpUv) == 36 && offsetof(ModelFace, Blend) == 60 &&
              offsetof(ModelFace, BumpFlag) == 62);
static_assert(sizeof(SkeletonBone) == 26 && offsetof(SkeletonBone, Pivot) == 2);
static_assert(sizeof(AnimationKey) == 28 && offsetof(AnimationKey, Rotation) == 4 &&
              offsetof(AnimationKey, Translation) == 16);
static_assert(sizeof(ObjectTemplate) == 12 && offsetof(ObjectTemplate, BumpSlotBase) == 8);
static_assert(sizeof(LightmapEntry) == 11 && offsetof(LightmapEntry, FirstSlot) == 1);
static_assert(sizeof(BoxRecord) == 36);
static_assert(sizeof(RoomHeader) == 38);
static_assert(offsetof(RoomHeader, CellsX) == 12 && offsetof(RoomHeader, CellsZ) == 14 &&
              offsetof(RoomHeader, HeightCells) == 16 && offsetof(RoomHeader, MinY) == 18 &&
              offsetof(RoomHeader, MaxY) == 22 && offsetof(RoomHeader, AmbientLuminance) == 28 &&
              offsetof(RoomHeader, AmbientHls) == 34);
static_assert(sizeof(Portal) == 74);
static_assert(offsetof(Portal, Corners) == 2 && offsetof(Portal, Facing) == 50 && offsetof(Portal, TargetOrigin) == 62);
static_assert(sizeof(GridCell) == 33);
static_assert(offsetof(GridCell, Floor) == 2 && offsetof(GridCell, Exit) == 10 &&
              offsetof(GridCell, FloorBlock) == 11 && offsetof(GridCell, CeilingBlock) == 15 &&
              offsetof(GridCell, CeilingFlags) == 19 && offsetof(GridCell, Ceiling) == 20 &&
              offsetof(GridCell, RoomAbove) == 28 && offsetof(GridCell, RoomBelow) == 29 &&
              offsetof(GridCell, SideRoom) == 30);
static_assert(sizeof(ObjectInstance) == 29);
static_assert(offsetof(ObjectInstance, Turn) == 10 && offsetof(ObjectInstance, Position) == 12);
static_assert(sizeof(LightSource) == 67);
static_assert(offsetof(LightSource, Position) == 8 && offsetof(LightSource, Red) == 24 &&
              offsetof(LightSource, CutOffset) == 36 && offsetof(LightSource, Direction) == 40 &&
              offsetof(LightSource, OuterRange) == 54 && offsetof(LightSource, InnerRange) == 55 &&
              offsetof(LightSource, OuterCos) == 56 && offsetof(LightSource, InnerCos) == 60 &&
              offsetof(LightSource, NoModels) == 66);

struct MovableRecord {
    int32_t Id = 0;
    int16_t Spare = 0;
    int16_t TextureSlot = 0;  // file value + kLevelTextureFirstSlot
    int16_t ModelIndex = 0;
    int16_t SkeletonIndex = 0;
    int16_t ClipCount = 0;
    std::vector<ClipRecord> Clips;  // ascending ClipId
};

using ModelVertices = std::vector<ModelVertex>;

struct ModelRecord {
    int16_t VertexCount = 0;
    ModelVertices Vertices;
    int16_t FaceCount = 0;
    std::vector<ModelFace> Faces;
    Vec3 BoundsMin{};
    Vec3 BoundsMax{};
    uint16_t FaceRuns[10]{};  // a static object draws ten runs of faces of these lengths
    uint8_t Extra[36]{};
};

struct SkeletonRecord {
    int16_t BoneCount = 0;
    std::vector<SkeletonBone> Bones;
};

// One bone's track.
struct BoneTrack {
    int16_t KeyCount = 0;
    std::vector<AnimationKey> Keys;
};

struct AnimationRecord {
    int32_t Spare = 0;
    int16_t FrameCount = 0;
    int16_t TrackCount = 0;  // one track per bone, in bone order
    std::vector<BoneTrack> Tracks;
};

struct LightmapTable {
    uint8_t SkipBitmaps = 0;  // non-zero: no lightmap bitmap is loaded
    int32_t Spare = 0;
    int32_t EntryCount = 0;
    std::vector<LightmapEntry> Entries;
};

// Box corners of a quadtree node, room-relative.
struct QuadBox {
    float MinX, MinZ, MaxX, MaxZ;
};
static_assert(sizeof(QuadBox) == 16);

// A triangle list: two parallel arrays and their common length.
struct SectorTriangles {
    std::vector<TriangleHeader> Triangles;
    std::vector<TriangleVertices> Vertices;
    int32_t Count = 0;
};

struct QuadtreeLeaf {
    QuadBox Box{};
    SectorTriangles Sector;
};

struct QuadtreeNode {
    QuadBox Box{};
    uint8_t Used = 0;  // 0 = skipped when drawing
    QuadtreeLeaf Children[4];
};

struct RoomQuadtree {
    QuadtreeNode Nodes[4];
};

struct LevelRoom {
    RoomHeader Header{};
    RoomQuadtree Tree;
    uint8_t PortalCount = 0;
    std::vector<Portal> Portals;
    std::vector<std::vector<GridCell>> Cells;  // [x][z], CellsX x CellsZ
    int32_t InstanceCount = 0;
    std::vector<ObjectInstance> Instances;
    int32_t LightCount = 0;
    std::vector<LightSource> Lights;
};

struct BoxList {
    int32_t BoxCount = 0;
    std::vector<BoxRecord> BoxList;
    int32_t WordCount = 0;
    std::vector<uint16_t> Words;
};

struct LevelMap {
    int32_t StartRoom = 0;
    Vec3 StartPosition{};
    int32_t RoomCount = 0;  // uint16 in the file
    std::vector<LevelRoom> Rooms;
    BoxList Boxes;
};

// The level record: everything the program keeps of a level file.
struct LevelRecord {
    uint8_t HeaderBlock[52]{};
    int16_t TextureCount = 0;
    int16_t StripATileCount = 0;
    AnimatedTextureTable AnimSetA;
    int16_t MovableCount = 0;
    std::vector<MovableRecord> Movables;
    int16_t ObjectCount = 0;
    std::vector<ObjectTemplate> Objects;
    int16_t ModelCount = 0;
    std::vector<ModelRecord> Models;
    int16_t SkeletonCount = 0;
    std::vector<SkeletonRecord> Skeletons;
    int16_t AnimationCount = 0;
    std::vector<AnimationRecord> Animations;
    LightmapTable Lightmaps;
    int16_t StripBTileCount = 0;
    int16_t BumpTileCount = 0;
    AnimatedTextureTable AnimSetB;
    LevelMap Map;
};

// A run-time light list: entry 0 the room's ambient term, then one per light source.
struct LightList {
    int16_t Count = 0;
    std::vector<LightRecord> Items;
};

// A block of 16-bit pixels as the file stores it: its two size words and W x H texels,
// rows top first (empty when the file carries no pixels for it).
struct PixelBlock {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint16_t> Pixels;
};

// Everything a level file holds: the level record plus what the loader passes on to the
// texture store or skips (identification, format word, pixel blocks).
struct LevelFileData {
    uint8_t Ident[8]{};
    uint16_t FormatWord = 0;
    std::vector<PixelBlock> Textures;  // TextureCount blocks, from kLevelTextureFirstSlot
    PixelBlock StripA;                 // from kStripAFirstSlot
    PixelBlock StripB;                 // slots 1 ...
    PixelBlock BumpStrip;              // from kBumpFirstSlot
    LevelRecord Level;
};

}  // namespace dv
