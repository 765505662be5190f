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
struct tmv_clip {
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
struct tmv_vertex {
    Vec3 Position;
    Vec3 Normal;
    int16_t Bones[4];    // negative = unused slot
    uint8_t Weights[4];  // percent
    int16_t Unused;
    uint16_t Gloss;  // value / 255 is added to every light's specular intensity
    Vec3 WorkPosition;
    Vec3 WorkNormal;
    Vec3 WorkColour;
};

// Model face (68 bytes, raw).
struct tmv_face {
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
struct tmv_bone {
    int16_t Parent;  // -1 = root; lower than the bone's own index
    Vec3 Pivot;      // rest position of the joint, model space
    uint8_t Unused[12];
};

// Animation key (28 bytes, raw).
struct tmv_key {
    int32_t Frame;     // ascending; the first key is at frame 0
    Vec3 Rotation;     // Euler angles in degrees
    Vec3 Translation;  // added to the bone's pivot
};

// Object template: 10 bytes in the file (BumpSlotBase is not stored), 12 in memory.
struct tmv_object {
    int32_t Id;
    int16_t Spare;
    int16_t TextureSlot;   // file value + 1001
    int16_t BumpSlotBase;  // 0 after loading
    int16_t ModelIndex;
};
inline constexpr size_t kObjectFileSize = 10;

// Lightmap table entry (11 bytes, raw).
struct tlightmap_entry {
    uint8_t Present;    // non-zero: a bitmap may exist for this entry
    int32_t FirstSlot;  // slot of the bitmap's first tile
    uint8_t Unused[6];
};

// Box of the map's box list (36 bytes, read and kept, never used).
struct tbox_record {
    uint8_t Bytes[36];
};

// Room header (38 bytes, raw).
struct tqtroom_header {
    Vec3 Origin;
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
struct tportal {
    uint16_t TargetRoom;
    Vec3 Corners[4];  // world coordinates
    Vec3 Facing;      // passed only by a camera on the side this points to
    Vec3 TargetOrigin;
};

// One 32 x 32 cell of a room's grid (33 bytes, raw).
struct tcell {
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
struct tobject_instance {
    int32_t ObjectId;
    uint8_t Unused1[6];
    int16_t Turn;  // steps of 45 degrees about the vertical axis
    Vec3 Position;  // in cells, relative to the room origin
    uint8_t Unused2[5];
};

// Light source of a room (67 bytes, raw).
struct tlight_source {
    int16_t Kind;  // low byte: 0 point, 1 spot, 2 omni, 3 directional
    uint8_t Unused1[6];
    Vec3 Position;  // room-relative
    uint8_t Unused2[4];
    uint8_t Red, Green, Blue;
    uint8_t Unused3[5];
    float Unused4;
    float CutOffset;
    Vec3 Direction;
    uint8_t Unused5[2];
    int8_t OuterRange;  // steps of 16 units
    int8_t InnerRange;
    float OuterCos;  // spot: cosine of the outer cone
    float InnerCos;  // spot: cosine of the inner cone
    uint8_t Unused6[2];
    uint8_t NoModels;  // non-zero: not used for moving models
};

#pragma pack(pop)

static_assert(sizeof(tmv_clip) == 52);
static_assert(offsetof(tmv_clip, DurationMs) == 4 && offsetof(tmv_clip, AnimationIndex) == 8 &&
              offsetof(tmv_clip, StepsPerKey) == 10 && offsetof(tmv_clip, Pad) == kClipFileSize);
static_assert(sizeof(tmv_vertex) == 76);
static_assert(offsetof(tmv_vertex, Bones) == 24 && offsetof(tmv_vertex, Weights) == 32 &&
              offsetof(tmv_vertex, Gloss) == 38 && offsetof(tmv_vertex, WorkPosition) == 40 &&
              offsetof(tmv_vertex, WorkNormal) == 52 && offsetof(tmv_vertex, WorkColour) == 64);
static_assert(sizeof(tmv_face) == 68);
static_assert(offsetof(tmv_face, Texture) == 6 && offsetof(tmv_face, BumpTexture) == 8 &&
              offsetof(tmv_face, Uv) == 12 && offsetof(tmv_face, BumpUv) == 36 &&
              offsetof(tmv_face, Blend) == 60 && offsetof(tmv_face, BumpFlag) == 62);
static_assert(sizeof(tmv_bone) == 26 && offsetof(tmv_bone, Pivot) == 2);
static_assert(sizeof(tmv_key) == 28 && offsetof(tmv_key, Rotation) == 4 &&
              offsetof(tmv_key, Translation) == 16);
static_assert(sizeof(tmv_object) == 12 && offsetof(tmv_object, BumpSlotBase) == 8);
static_assert(sizeof(tlightmap_entry) == 11 && offsetof(tlightmap_entry, FirstSlot) == 1);
static_assert(sizeof(tbox_record) == 36);
static_assert(sizeof(tqtroom_header) == 38);
static_assert(offsetof(tqtroom_header, CellsX) == 12 && offsetof(tqtroom_header, CellsZ) == 14 &&
              offsetof(tqtroom_header, HeightCells) == 16 && offsetof(tqtroom_header, MinY) == 18 &&
              offsetof(tqtroom_header, MaxY) == 22 &&
              offsetof(tqtroom_header, AmbientLuminance) == 28 &&
              offsetof(tqtroom_header, AmbientHls) == 34);
static_assert(sizeof(tportal) == 74);
static_assert(offsetof(tportal, Corners) == 2 && offsetof(tportal, Facing) == 50 &&
              offsetof(tportal, TargetOrigin) == 62);
static_assert(sizeof(tcell) == 33);
static_assert(offsetof(tcell, Floor) == 2 && offsetof(tcell, Exit) == 10 &&
              offsetof(tcell, FloorBlock) == 11 && offsetof(tcell, CeilingBlock) == 15 &&
              offsetof(tcell, CeilingFlags) == 19 && offsetof(tcell, Ceiling) == 20 &&
              offsetof(tcell, RoomAbove) == 28 && offsetof(tcell, RoomBelow) == 29 &&
              offsetof(tcell, SideRoom) == 30);
static_assert(sizeof(tobject_instance) == 29);
static_assert(offsetof(tobject_instance, Turn) == 10 && offsetof(tobject_instance, Position) == 12);
static_assert(sizeof(tlight_source) == 67);
static_assert(offsetof(tlight_source, Position) == 8 && offsetof(tlight_source, Red) == 24 &&
              offsetof(tlight_source, CutOffset) == 36 && offsetof(tlight_source, Direction) == 40 &&
              offsetof(tlight_source, OuterRange) == 54 && offsetof(tlight_source, InnerRange) == 55 &&
              offsetof(tlight_source, OuterCos) == 56 && offsetof(tlight_source, InnerCos) == 60 &&
              offsetof(tlight_source, NoModels) == 66);



struct tmv_movable {
    int32_t Id = 0;
    int16_t Spare = 0;
    int16_t TextureSlot = 0;  // file value + 1001
    int16_t ModelIndex = 0;
    int16_t SkeletonIndex = 0;
    int16_t ClipCount = 0;
    std::vector<tmv_clip> Clips;  // ascending ClipId
};

using Tavertices = std::vector<tmv_vertex>;

struct tmv_model {
    int16_t VertexCount = 0;
    Tavertices Vertices;
    int16_t FaceCount = 0;
    std::vector<tmv_face> Faces;
    Vec3 BoundsMin{};
    Vec3 BoundsMax{};
    uint16_t FaceRuns[10]{};  // a static object draws ten runs of faces of these lengths
    uint8_t Extra[36]{};
};

struct tmv_skeleton {
    int16_t BoneCount = 0;
    std::vector<tmv_bone> Bones;
};

// One bone's track.
struct Tabone {
    int16_t KeyCount = 0;
    std::vector<tmv_key> Keys;
};

struct tmv_animation {
    int32_t Spare = 0;
    int16_t FrameCount = 0;
    int16_t TrackCount = 0;  // one track per bone, in bone order
    std::vector<Tabone> Tracks;
};

struct tlightmap_table {
    uint8_t SkipBitmaps = 0;  // non-zero: no lightmap bitmap is loaded
    int32_t Spare = 0;
    int32_t EntryCount = 0;
    std::vector<tlightmap_entry> Entries;
};

// Box corners of a quadtree node, room-relative.
struct tqtbox {
    float MinX, MinZ, MaxX, MaxZ;
};
static_assert(sizeof(tqtbox) == 16);

// A triangle list: two parallel arrays and their common length.
struct tquadsectors {
    std::vector<ttriangle> Triangles;
    std::vector<ttriangle_vertices> Vertices;
    int32_t Count = 0;
};


struct tqtlevel2 {
    tqtbox Box{};
    tquadsectors Sector;
};

struct tqtlevel1 {
    tqtbox Box{};
    uint8_t Used = 0;  // 0 = skipped when drawing
    tqtlevel2 Children[4];
};

struct tquadtree {
    tqtlevel1 Nodes[4];
};

struct Tqtroom {
    tqtroom_header Header{};
    tquadtree Tree;
    uint8_t PortalCount = 0;
    std::vector<tportal> Portals;
    std::vector<std::vector<tcell>> Cells;  // [x][z], CellsX x CellsZ
    int32_t InstanceCount = 0;
    std::vector<tobject_instance> Instances;
    int32_t LightCount = 0;
    std::vector<tlight_source> Lights;
};

struct Tboxes {
    int32_t BoxCount = 0;
    std::vector<tbox_record> BoxList;
    int32_t WordCount = 0;
    std::vector<uint16_t> Words;
};

struct Tmap_level {
    int32_t StartRoom = 0;
    Vec3 StartPosition{};
    int32_t RoomCount = 0;  // uint16 in the file
    std::vector<Tqtroom> Rooms;
    Tboxes Boxes;
};

// The level record: everything the program keeps of a level file.
struct TLevFile {
    uint8_t HeaderBlock[52]{};
    int16_t TextureCount = 0;
    int16_t StripATileCount = 0;
    Tanimated_textures AnimSetA;
    int16_t MovableCount = 0;
    std::vector<tmv_movable> Movables;
    int16_t ObjectCount = 0;
    std::vector<tmv_object> Objects;
    int16_t ModelCount = 0;
    std::vector<tmv_model> Models;
    int16_t SkeletonCount = 0;
    std::vector<tmv_skeleton> Skeletons;
    int16_t AnimationCount = 0;
    std::vector<tmv_animation> Animations;
    tlightmap_table Lightmaps;
    int16_t StripBTileCount = 0;
    int16_t BumpTileCount = 0;
    Tanimated_textures AnimSetB;
    Tmap_level Map;
};

// A run-time light list: entry 0 the room's ambient term, then one per light source.
struct tlightobject_list {
    int16_t Count = 0;
    std::vector<tlight_record> Items;
};

// A block of 16-bit pixels as the file stores it: its two size words and W x H texels,
// rows top first (empty when the file carries no pixels for it).
struct tpixel_block {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint16_t> Pixels;
};

// Everything a level file holds: the level record plus what the loader passes on to the
// texture store or skips (identification, format word, pixel blocks).
struct LevelFileData {
    uint8_t Ident[8]{};
    uint16_t FormatWord = 0;
    std::vector<tpixel_block> Textures;  // TextureCount blocks, slots 1001 ...
    tpixel_block StripA;                 // slots 2001 ...
    tpixel_block StripB;                 // slots 1 ...
    tpixel_block BumpStrip;              // slots 4002 ...
    TLevFile Level;
};

}  // namespace dv
