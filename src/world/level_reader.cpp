// The level reader: the bytes of a level file to LevelFileData, every count and index checked,
// and the names of a level's lightmap files. In order: the minimum sizes of the arrays; the
// parser; the pixel blocks, animated texture sets, movables, objects, models, skeletons,
// animations and lightmaps; rooms and the map with their link checks; the cross-references
// checked once everything is read; the entry points (ParseLevel, ParseLevelFile, the lightmap
// names).
#include "world/level_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "files/read_file.h"
#include "render/texture_slots.h"

namespace dv {
namespace {

// Minimum bytes one element of a variable-length array takes in the file; a count is
// rejected when even elements of this size could not fit in the bytes left.
constexpr size_t kMinAnimSet = 1 + 2 + 2;
constexpr size_t kMinMovable = 4 + 2 + 2 + 2 + 2 + 2;
constexpr size_t kMinModel = 2 + 2 + 12 + 12 + 20 + 36;
constexpr size_t kMinSkeleton = 2;
constexpr size_t kMinAnimation = 4 + 2 + 2;
constexpr size_t kMinTrack = 2;
constexpr size_t kLevel2Size = 16 + 4;
constexpr size_t kLevel1Size = 16 + 1 + 4 * kLevel2Size;
constexpr size_t kMinRoom = sizeof(RoomHeader) + 4 * kLevel1Size + 1 + 4 + 4;
constexpr int32_t kMaxTiles = std::numeric_limits<int16_t>::max();
// A room's light list holds the ambient term and the lights under an int16 count.
constexpr int32_t kMaxLights = std::numeric_limits<int16_t>::max() - 1;

std::string Str(int64_t v) { return std::to_string(v); }

class Parser {
public:
    Parser(const uint8_t* data, size_t size, const std::string& name) : data_(data), size_(size), name_(name) {}

    size_t Pos() const { return pos_; }
    size_t Left() const { return size_ - pos_; }

    [[noreturn]] void Fail(size_t offset, const std::string& what) const {
        throw LevelError(name_ + ": offset " + Str(static_cast<int64_t>(offset)) + ": " + ctx_ + what);
    }

    // Context prefix for messages, e.g. "room 3: ".
    void SetContext(std::string ctx) { ctx_ = std::move(ctx); }

    void Need(size_t bytes, const char* what) const {
        if (Left() < bytes) {
            Fail(pos_, std::string("file ends inside ") + what + " (" + Str(bytes) + " bytes needed, " +
                           Str(static_cast<int64_t>(Left())) + " left)");
        }
    }

    template <class T>
    T Get(const char* what) {
        Need(sizeof(T), what);
        T v;
        std::memcpy(&v, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }

    void Block(void* dst, size_t bytes, const char* what) {
        Need(bytes, what);
        if (bytes != 0) std::memcpy(dst, data_ + pos_, bytes);
        pos_ += bytes;
    }

    // Fails unless `count` elements of at least `minSize` bytes each can follow.
    void CheckCount(int64_t count, size_t minSize, size_t countOffset, const char* what) const {
        if (count < 0) Fail(countOffset, std::string("negative ") + what + " count " + Str(count));
        const uint64_t need = static_cast<uint64_t>(count) * minSize;
        if (need > Left()) {
            Fail(countOffset, Str(count) + " " + what + " need at least " + Str(static_cast<int64_t>(need)) +
                                  " bytes, but only " + Str(static_cast<int64_t>(Left())) + " are left");
        }
    }

    // Reads `count` raw records of `fileSize` bytes each (fileSize <= sizeof(T); the rest of
    // each element stays zero).
    template <class T>
    void Array(std::vector<T>& out, int64_t count, size_t countOffset, const char* what, size_t fileSize = sizeof(T)) {
        CheckCount(count, fileSize, countOffset, what);
        out.assign(static_cast<size_t>(count), T{});
        if (fileSize == sizeof(T)) {
            Block(out.data(), out.size() * sizeof(T), what);
            return;
        }
        for (T& e : out) Block(&e, fileSize, what);
    }

private:
    const uint8_t* data_;
    size_t size_;
    const std::string& name_;
    size_t pos_ = 0;
    std::string ctx_;
};

// Offsets remembered while reading, for checks that need later sections.
struct Deferred {
    std::vector<size_t> movableAt;
    std::vector<std::vector<size_t>> clipAt;
    std::vector<size_t> objectAt;
    std::vector<size_t> modelAt;  // start of each model's vertex array
    size_t startRoomAt = 0;
};

// Strip/texture pixel count from its two size words: an error when negative.
int64_t PixelCount(const Parser& p, int32_t w, int32_t h, size_t at, const char* what) {
    const int64_t n = static_cast<int64_t>(w) * h;
    if (n != 0 && (w < 0 || h < 0)) {
        p.Fail(at, std::string(what) + " has a negative size " + Str(w) + " x " + Str(h));
    }
    return n;
}

void ReadPixels(Parser& p, PixelBlock& b, int64_t count, size_t at, const char* what) {
    p.CheckCount(count, 2, at, what);
    b.Pixels.assign(static_cast<size_t>(count), 0);
    p.Block(b.Pixels.data(), b.Pixels.size() * 2, what);
}

int16_t TileCount(const Parser& p, int32_t w, int32_t h, size_t at, const char* what) {
    const int32_t tiles = h / w;
    if (tiles > kMaxTiles) {
        p.Fail(at, std::string(what) + " of " + Str(w) + " x " + Str(h) + " has " + Str(tiles) + " tiles, more than " +
                       Str(kMaxTiles));
    }
    return static_cast<int16_t>(tiles);
}

void ReadAnimSet(Parser& p, AnimatedTextureTable& set, const char* label) {
    p.SetContext(std::string(label) + ": ");
    const size_t at = p.Pos();
    set.SetCount = p.Get<uint16_t>("animated set count");
    p.CheckCount(set.SetCount, kMinAnimSet, at, "animated textures");
    set.Sets.assign(set.SetCount, AnimatedTexture{});
    for (size_t i = 0; i < set.Sets.size(); ++i) {
        p.SetContext(std::string(label) + ": texture " + Str(static_cast<int64_t>(i)) + ": ");
        AnimatedTexture& s = set.Sets[i];
        s.Kind = p.Get<uint8_t>("animated texture");
        s.Period = p.Get<int16_t>("animated texture");
        const size_t fat = p.Pos();
        s.FrameCount = p.Get<uint16_t>("animated texture");
        p.Array(s.Frames, s.FrameCount, fat, "frames");
    }
    p.SetContext("");
}

void ReadMovables(Parser& p, LevelRecord& lev, Deferred& d) {
    const size_t at = p.Pos();
    lev.MovableCount = p.Get<int16_t>("movable count");
    p.CheckCount(lev.MovableCount, kMinMovable, at, "movables");
    lev.Movables.assign(static_cast<size_t>(lev.MovableCount), MovableRecord{});
    d.clipAt.resize(lev.Movables.size());
    for (size_t i = 0; i < lev.Movables.size(); ++i) {
        p.SetContext("movable " + Str(static_cast<int64_t>(i)) + ": ");
        MovableRecord& m = lev.Movables[i];
        d.movableAt.push_back(p.Pos());
        m.Id = p.Get<int32_t>("movable");
        m.Spare = p.Get<int16_t>("movable");
        m.TextureSlot = static_cast<int16_t>(p.Get<int16_t>("movable") + kLevelTextureFirstSlot);
        m.ModelIndex = p.Get<int16_t>("movable");
        m.SkeletonIndex = p.Get<int16_t>("movable");
        const size_t cat = p.Pos();
        m.ClipCount = p.Get<int16_t>("movable");
        p.CheckCount(m.ClipCount, kClipFileSize, cat, "clips");
        for (int j = 0; j < m.ClipCount; ++j) d.clipAt[i].push_back(p.Pos() + j * kClipFileSize);
        p.Array(m.Clips, m.ClipCount, cat, "clips", kClipFileSize);
    }
    p.SetContext("");
}

void ReadObjects(Parser& p, LevelRecord& lev, Deferred& d) {
    const size_t at = p.Pos();
    lev.ObjectCount = p.Get<int16_t>("object count");
    p.CheckCount(lev.ObjectCount, kObjectFileSize, at, "object templates");
    lev.Objects.assign(static_cast<size_t>(lev.ObjectCount), ObjectTemplate{});
    for (size_t i = 0; i < lev.Objects.size(); ++i) {
        p.SetContext("object " + Str(static_cast<int64_t>(i)) + ": ");
        ObjectTemplate& o = lev.Objects[i];
        d.objectAt.push_back(p.Pos());
        o.Id = p.Get<int32_t>("object template");
        o.Spare = p.Get<int16_t>("object template");
        o.TextureSlot = static_cast<int16_t>(p.Get<int16_t>("object template") + kLevelTextureFirstSlot);
        o.BumpSlotBase = 0;
        o.ModelIndex = p.Get<int16_t>("object template");
    }
    p.SetContext("");
}

void ReadModels(Parser& p, LevelRecord& lev, Deferred& d) {
    const size_t at = p.Pos();
    lev.ModelCount = p.Get<int16_t>("model count");
    p.CheckCount(lev.ModelCount, kMinModel, at, "models");
    lev.Models.assign(static_cast<size_t>(lev.ModelCount), ModelRecord{});
    for (size_t i = 0; i < lev.Models.size(); ++i) {
        p.SetContext("model " + Str(static_cast<int64_t>(i)) + ": ");
        ModelRecord& m = lev.Models[i];
        const size_t vat = p.Pos();
        m.VertexCount = p.Get<int16_t>("model");
        p.Array(m.Vertices, m.VertexCount, vat, "vertices");
        d.modelAt.push_back(vat + 2);
        const size_t fat = p.Pos();
        m.FaceCount = p.Get<int16_t>("model");
        p.Array(m.Faces, m.FaceCount, fat, "faces");
        for (size_t f = 0; f < m.Faces.size(); ++f) {
            for (int k = 0; k < 3; ++k) {
                if (m.Faces[f].Vertex[k] >= m.Vertices.size()) {
                    p.Fail(fat + 2 + f * sizeof(ModelFace) + 2 * k,
                           "face " + Str(static_cast<int64_t>(f)) + " names vertex " + Str(m.Faces[f].Vertex[k]) +
                               ", but the model has " + Str(m.VertexCount) + " vertices");
                }
            }
        }
        m.BoundsMin = p.Get<Vec3>("model bounds");
        m.BoundsMax = p.Get<Vec3>("model bounds");
        p.Block(m.FaceRuns, sizeof(m.FaceRuns), "model face runs");
        p.Block(m.Extra, sizeof(m.Extra), "model");
    }
    p.SetContext("");
}

void ReadSkeletons(Parser& p, LevelRecord& lev) {
    const size_t at = p.Pos();
    lev.SkeletonCount = p.Get<int16_t>("skeleton count");
    p.CheckCount(lev.SkeletonCount, kMinSkeleton, at, "skeletons");
    lev.Skeletons.assign(static_cast<size_t>(lev.SkeletonCount), SkeletonRecord{});
    for (size_t i = 0; i < lev.Skeletons.size(); ++i) {
        p.SetContext("skeleton " + Str(static_cast<int64_t>(i)) + ": ");
        SkeletonRecord& s = lev.Skeletons[i];
        const size_t bat = p.Pos();
        s.BoneCount = p.Get<int16_t>("skeleton");
        p.Array(s.Bones, s.BoneCount, bat, "bones");
        for (size_t b = 0; b < s.Bones.size(); ++b) {
            const int16_t parent = s.Bones[b].Parent;
            if (parent < -1 || parent >= static_cast<int64_t>(b)) {
                p.Fail(bat + 2 + b * sizeof(SkeletonBone), "bone " + Str(static_cast<int64_t>(b)) + " has parent " +
                                                               Str(parent) +
                                                               ", but a parent must be -1 or a lower bone");
            }
        }
    }
    p.SetContext("");
}

void ReadAnimations(Parser& p, LevelRecord& lev) {
    const size_t at = p.Pos();
    lev.AnimationCount = p.Get<int16_t>("animation count");
    p.CheckCount(lev.AnimationCount, kMinAnimation, at, "animations");
    lev.Animations.assign(static_cast<size_t>(lev.AnimationCount), AnimationRecord{});
    for (size_t i = 0; i < lev.Animations.size(); ++i) {
        const std::string ctx = "animation " + Str(static_cast<int64_t>(i)) + ": ";
        p.SetContext(ctx);
        AnimationRecord& a = lev.Animations[i];
        a.Spare = p.Get<int32_t>("animation");
        a.FrameCount = p.Get<int16_t>("animation");
        const size_t tat = p.Pos();
        a.TrackCount = p.Get<int16_t>("animation");
        p.CheckCount(a.TrackCount, kMinTrack, tat, "tracks");
        a.Tracks.assign(static_cast<size_t>(a.TrackCount), BoneTrack{});
        for (size_t t = 0; t < a.Tracks.size(); ++t) {
            p.SetContext(ctx + "track " + Str(static_cast<int64_t>(t)) + ": ");
            BoneTrack& track = a.Tracks[t];
            const size_t kat = p.Pos();
            track.KeyCount = p.Get<int16_t>("track");
            p.Array(track.Keys, track.KeyCount, kat, "keys");
            if (track.Keys.empty()) p.Fail(kat, "the track has no keys");
            if (track.Keys[0].Frame != 0) {
                p.Fail(kat + 2, "the first key is at frame " + Str(track.Keys[0].Frame) + ", not 0");
            }
        }
    }
    p.SetContext("");
}

void ReadLightmaps(Parser& p, LightmapTable& t) {
    p.SetContext("lightmap table: ");
    t.SkipBitmaps = p.Get<uint8_t>("lightmap table");
    t.Spare = p.Get<int32_t>("lightmap table");
    const size_t at = p.Pos();
    t.EntryCount = p.Get<int32_t>("lightmap table");
    p.Array(t.Entries, t.EntryCount, at, "lightmap entries");
    p.SetContext("");
}

struct CellName {
    size_t x, z;
};

// A cell link holds room + 1 (0 = none); the message is only built on failure.
void CheckRoomLink(const Parser& p, uint8_t link, int32_t rooms, size_t at, CellName cell, const char* what) {
    if (link <= rooms) return;
    p.Fail(at, "cell [" + Str(static_cast<int64_t>(cell.x)) + "][" + Str(static_cast<int64_t>(cell.z)) + "]" + what +
                   " names room " + Str(link - 1) + ", but the level has " + Str(rooms) + " rooms");
}

void ReadRoom(Parser& p, LevelRoom& r, int32_t roomCount, const std::vector<int32_t>& objectIds,
              const std::string& ctx) {
    p.SetContext(ctx);
    p.Block(&r.Header, sizeof(r.Header), "room header");
    for (int n = 0; n < 4; ++n) {
        QuadtreeNode& l1 = r.Tree.Nodes[n];
        p.Block(&l1.Box, sizeof(l1.Box), "quadtree node");
        l1.Used = p.Get<uint8_t>("quadtree node");
        for (int c = 0; c < 4; ++c) {
            p.SetContext(ctx + "sector " + Str(n) + "." + Str(c) + ": ");
            QuadtreeLeaf& l2 = l1.Children[c];
            p.Block(&l2.Box, sizeof(l2.Box), "quadtree node");
            const size_t at = p.Pos();
            l2.Sector.Count = p.Get<int32_t>("quadtree node");
            p.CheckCount(l2.Sector.Count, sizeof(TriangleHeader) + sizeof(TriangleVertices), at, "triangles");
            p.Array(l2.Sector.Triangles, l2.Sector.Count, at, "triangles");
            p.Array(l2.Sector.Vertices, l2.Sector.Count, at, "triangle vertices");
        }
        p.SetContext(ctx);
    }
    const size_t pat = p.Pos();
    r.PortalCount = p.Get<uint8_t>("portal count");
    p.Array(r.Portals, r.PortalCount, pat, "portals");
    for (size_t i = 0; i < r.Portals.size(); ++i) {
        if (r.Portals[i].TargetRoom >= roomCount) {
            p.Fail(pat + 1 + i * sizeof(Portal), "portal " + Str(static_cast<int64_t>(i)) + " names room " +
                                                     Str(r.Portals[i].TargetRoom) + ", but the level has " +
                                                     Str(roomCount) + " rooms");
        }
    }
    const size_t cx = r.Header.CellsX;
    const size_t cz = r.Header.CellsZ;
    const size_t cat = p.Pos();
    p.CheckCount(static_cast<int64_t>(cx * cz), sizeof(GridCell), cat, "cells");
    r.Cells.assign(cx, std::vector<GridCell>(cz));
    for (size_t x = 0; x < cx; ++x) {
        const size_t rowAt = p.Pos();
        p.Block(r.Cells[x].data(), cz * sizeof(GridCell), "cells");
        for (size_t z = 0; z < cz; ++z) {
            const GridCell& c = r.Cells[x][z];
            const size_t at = rowAt + z * sizeof(GridCell);
            const CellName cell{x, z};
            CheckRoomLink(p, c.RoomAbove, roomCount, at + 28, cell, " room above");
            CheckRoomLink(p, c.RoomBelow, roomCount, at + 29, cell, " room below");
            CheckRoomLink(p, c.SideRoom, roomCount, at + 30, cell, " side room");
        }
    }
    const size_t iat = p.Pos();
    r.InstanceCount = p.Get<int32_t>("instance count");
    p.Array(r.Instances, r.InstanceCount, iat, "object instances");
    for (size_t i = 0; i < r.Instances.size(); ++i) {
        const int32_t id = r.Instances[i].ObjectId;
        if (!std::binary_search(objectIds.begin(), objectIds.end(), id)) {
            p.Fail(iat + 4 + i * sizeof(ObjectInstance), "object instance " + Str(static_cast<int64_t>(i)) +
                                                             " names object id " + Str(id) +
                                                             ", which no object template has");
        }
    }
    const size_t lat = p.Pos();
    r.LightCount = p.Get<int32_t>("light count");
    if (r.LightCount > kMaxLights) {
        p.Fail(lat, Str(r.LightCount) + " lights, more than a light list holds (" + Str(kMaxLights) + ")");
    }
    p.Array(r.Lights, r.LightCount, lat, "lights");
    p.SetContext("");
}

void ReadMap(Parser& p, LevelMap& map, const std::vector<ObjectTemplate>& objects, Deferred& d) {
    std::vector<int32_t> objectIds;
    for (const ObjectTemplate& o : objects) objectIds.push_back(o.Id);
    std::sort(objectIds.begin(), objectIds.end());
    p.SetContext("map: ");
    d.startRoomAt = p.Pos();
    map.StartRoom = p.Get<int32_t>("map header");
    map.StartPosition = p.Get<Vec3>("map header");
    const size_t at = p.Pos();
    map.RoomCount = p.Get<uint16_t>("room count");
    if (map.StartRoom < 0 || map.StartRoom >= map.RoomCount) {
        p.Fail(d.startRoomAt,
               "the start room is " + Str(map.StartRoom) + ", but the level has " + Str(map.RoomCount) + " rooms");
    }
    p.CheckCount(map.RoomCount, kMinRoom, at, "rooms");
    map.Rooms.assign(static_cast<size_t>(map.RoomCount), LevelRoom{});
    for (size_t i = 0; i < map.Rooms.size(); ++i) {
        ReadRoom(p, map.Rooms[i], map.RoomCount, objectIds, "room " + Str(static_cast<int64_t>(i)) + ": ");
    }
    p.SetContext("boxes: ");
    const size_t bat = p.Pos();
    map.Boxes.BoxCount = p.Get<int32_t>("box count");
    p.Array(map.Boxes.BoxList, map.Boxes.BoxCount, bat, "boxes");
    const size_t wat = p.Pos();
    map.Boxes.WordCount = p.Get<int32_t>("word count");
    p.Array(map.Boxes.Words, map.Boxes.WordCount, wat, "words");
    p.SetContext("");
}

// Checks of indices into sections that follow the one holding the index.
void CheckCrossReferences(const Parser& p, const LevelRecord& lev, const Deferred& d) {
    for (size_t i = 0; i < lev.Movables.size(); ++i) {
        const MovableRecord& m = lev.Movables[i];
        const std::string mv = "movable " + Str(static_cast<int64_t>(i)) + ": ";
        if (m.ModelIndex < 0 || m.ModelIndex >= lev.ModelCount) {
            p.Fail(d.movableAt[i] + 8, mv + "model " + Str(m.ModelIndex) + " does not exist (the level has " +
                                           Str(lev.ModelCount) + " models)");
        }
        if (m.SkeletonIndex < 0 || m.SkeletonIndex >= lev.SkeletonCount) {
            p.Fail(d.movableAt[i] + 10, mv + "skeleton " + Str(m.SkeletonIndex) + " does not exist (the level has " +
                                            Str(lev.SkeletonCount) + " skeletons)");
        }
        const SkeletonRecord& skel = lev.Skeletons[static_cast<size_t>(m.SkeletonIndex)];
        const ModelRecord& model = lev.Models[static_cast<size_t>(m.ModelIndex)];
        for (size_t v = 0; v < model.Vertices.size(); ++v) {
            for (int s = 0; s < 4; ++s) {
                const int16_t bone = model.Vertices[v].Bones[s];
                if (bone >= skel.BoneCount) {
                    p.Fail(d.modelAt[static_cast<size_t>(m.ModelIndex)] + v * sizeof(ModelVertex) + 24 + 2 * s,
                           mv + "vertex " + Str(static_cast<int64_t>(v)) + " of model " + Str(m.ModelIndex) +
                               " names bone " + Str(bone) + ", but skeleton " + Str(m.SkeletonIndex) + " has " +
                               Str(skel.BoneCount) + " bones");
                }
            }
        }
        for (size_t c = 0; c < m.Clips.size(); ++c) {
            const int16_t anim = m.Clips[c].AnimationIndex;
            const std::string clip = mv + "clip " + Str(static_cast<int64_t>(c)) + ": ";
            if (anim < 0 || anim >= lev.AnimationCount) {
                p.Fail(d.clipAt[i][c] + 8, clip + "animation " + Str(anim) + " does not exist (the level has " +
                                               Str(lev.AnimationCount) + " animations)");
            }
            const AnimationRecord& a = lev.Animations[static_cast<size_t>(anim)];
            if (a.TrackCount < skel.BoneCount) {
                p.Fail(d.clipAt[i][c] + 8, clip + "animation " + Str(anim) + " has " + Str(a.TrackCount) +
                                               " tracks, but skeleton " + Str(m.SkeletonIndex) + " has " +
                                               Str(skel.BoneCount) + " bones");
            }
        }
    }
    for (size_t i = 0; i < lev.Objects.size(); ++i) {
        const int16_t model = lev.Objects[i].ModelIndex;
        const std::string ob = "object " + Str(static_cast<int64_t>(i)) + ": ";
        if (model < 0 || model >= lev.ModelCount) {
            p.Fail(d.objectAt[i] + 8,
                   ob + "model " + Str(model) + " does not exist (the level has " + Str(lev.ModelCount) + " models)");
        }
        // A placed object draws its faces in the ten runs.
        const ModelRecord& m = lev.Models[static_cast<size_t>(model)];
        int64_t runs = 0;
        for (uint16_t r : m.FaceRuns) runs += r;
        if (runs > m.FaceCount) {
            p.Fail(d.objectAt[i] + 8, ob + "the face runs of model " + Str(model) + " add up to " + Str(runs) +
                                          " faces, but it has " + Str(m.FaceCount));
        }
    }
}

void ParseAll(Parser& p, LevelFileData& out) {
    LevelRecord& lev = out.Level;
    Deferred d;
    p.Block(out.Ident, sizeof(out.Ident), "identification bytes");
    out.FormatWord = p.Get<uint16_t>("format word");
    p.Block(lev.HeaderBlock, sizeof(lev.HeaderBlock), "header block");
    lev.TextureCount = p.Get<int16_t>("texture count");

    out.Textures.assign(static_cast<size_t>(std::max<int16_t>(lev.TextureCount, 0)), PixelBlock{});
    p.CheckCount(static_cast<int64_t>(out.Textures.size()), 8, 62, "textures");
    for (size_t i = 0; i < out.Textures.size(); ++i) {
        p.SetContext("texture " + Str(static_cast<int64_t>(i)) + ": ");
        PixelBlock& t = out.Textures[i];
        const size_t at = p.Pos();
        t.Width = p.Get<int32_t>("texture size");
        t.Height = p.Get<int32_t>("texture size");
        ReadPixels(p, t, PixelCount(p, t.Width, t.Height, at, "the texture"), at, "pixels");
    }
    p.SetContext("strip A: ");
    const size_t aat = p.Pos();
    out.StripA.Width = p.Get<int32_t>("strip size");
    out.StripA.Height = p.Get<int32_t>("strip size");
    lev.StripATileCount = 0;
    if (const int64_t n = PixelCount(p, out.StripA.Width, out.StripA.Height, aat, "the strip"); n != 0) {
        ReadPixels(p, out.StripA, n, aat, "pixels");
        lev.StripATileCount = TileCount(p, out.StripA.Width, out.StripA.Height, aat, "the strip");
    }
    p.SetContext("");

    lev.AnimSetA.SlotBase = 2000;
    ReadAnimSet(p, lev.AnimSetA, "animated set A");
    ReadMovables(p, lev, d);
    ReadObjects(p, lev, d);
    ReadModels(p, lev, d);
    ReadSkeletons(p, lev);
    ReadAnimations(p, lev);
    CheckCrossReferences(p, lev, d);

    p.SetContext("strip B: ");
    const size_t bat = p.Pos();
    out.StripB.Width = p.Get<int32_t>("strip size");
    out.StripB.Height = p.Get<int32_t>("strip size");
    if (out.StripB.Width == 0) p.Fail(bat, "the strip has width 0");
    ReadPixels(p, out.StripB, PixelCount(p, out.StripB.Width, out.StripB.Height, bat, "the strip"), bat, "pixels");
    lev.StripBTileCount = TileCount(p, out.StripB.Width, out.StripB.Height, bat, "the strip");

    p.SetContext("bump strip: ");
    const size_t uat = p.Pos();
    out.BumpStrip.Width = p.Get<int32_t>("strip size");
    out.BumpStrip.Height = p.Get<int32_t>("strip size");
    lev.BumpTileCount = 0;
    if (out.BumpStrip.Width != 0) {
        ReadPixels(p, out.BumpStrip, PixelCount(p, out.BumpStrip.Width, out.BumpStrip.Height, uat, "the strip"), uat,
                   "pixels");
        lev.BumpTileCount = TileCount(p, out.BumpStrip.Width, out.BumpStrip.Height, uat, "the strip");
    }
    p.SetContext("");

    lev.AnimSetB.SlotBase = 0;
    ReadAnimSet(p, lev.AnimSetB, "animated set B");
    ReadLightmaps(p, lev.Lightmaps);
    ReadMap(p, lev.Map, lev.Objects, d);
}

}  // namespace

void ParseLevel(const uint8_t* data, size_t size, const std::string& name, LevelFileData& out) {
    out = LevelFileData{};
    Parser p(data, size, name);
    ParseAll(p, out);
}

bool ParseLevel(const uint8_t* data, size_t size, const std::string& name, LevelFileData& out, std::string& error) {
    try {
        ParseLevel(data, size, name, out);
        return true;
    } catch (const LevelError& e) {
        error = e.what();
        return false;
    }
}

void ParseLevelFile(const std::string& path, LevelFileData& out) {
    std::vector<uint8_t> bytes;
    std::string error;
    const FileRead got = ReadWholeFile(path, kMaxLevelFileBytes, bytes, error);
    if (got == FileRead::Missing) throw LevelError(path + ": offset 0: cannot open the file");
    if (got == FileRead::Refused) throw LevelError(error);
    ParseLevel(bytes.data(), bytes.size(), path, out);
}

std::string LightmapBaseName(const std::string& levelPath) {
    const size_t slash = levelPath.find_last_of("/\\");
    const std::string file = slash == std::string::npos ? levelPath : levelPath.substr(slash + 1);
    const size_t dot = file.find('.');
    return dot == std::string::npos ? std::string() : file.substr(0, dot);
}

std::string LightmapFileName(const std::string& base, int index) {
    return base + "_lm" + std::to_string(index) + ".bmp";
}

}  // namespace dv
