// The level writer: LevelFileData to the bytes of a level file, and the file written whole or
// not at all.
#include "world/level_file.h"

#include <stdexcept>

#include "files/safe_write.h"
#include "render/texture_slots.h"

namespace dv {
namespace {

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {}

    template <class T>
    void Put(const T& v) {
        Raw(&v, sizeof(T));
    }
    void Raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    template <class T>
    void Array(const std::vector<T>& v, size_t fileSize = sizeof(T)) {
        if (fileSize == sizeof(T)) {
            Raw(v.data(), v.size() * sizeof(T));
            return;
        }
        for (const T& e : v) Raw(&e, fileSize);
    }

private:
    std::vector<uint8_t>& out_;
};

void Expect(bool ok, const std::string& what) {
    if (!ok) throw LevelError("level record: offset 0: " + what);
}

void ExpectSize(int64_t count, size_t size, const std::string& what) {
    Expect(count >= 0 && static_cast<uint64_t>(count) == size,
           what + " count " + std::to_string(count) + " does not match its " + std::to_string(size) + " elements");
}

void PutPixels(Writer& w, const PixelBlock& b, bool withPixels, const std::string& what) {
    w.Put(b.Width);
    w.Put(b.Height);
    const int64_t n = withPixels ? static_cast<int64_t>(b.Width) * b.Height : 0;
    ExpectSize(n, b.Pixels.size(), what + " pixel");
    w.Array(b.Pixels);
}

void PutAnimSet(Writer& w, const AnimatedTextureTable& s) {
    ExpectSize(s.SetCount, s.Sets.size(), "animated set");
    w.Put(s.SetCount);
    for (const AnimatedTexture& a : s.Sets) {
        ExpectSize(a.FrameCount, a.Frames.size(), "animated frame");
        w.Put(a.Kind);
        w.Put(a.Period);
        w.Put(a.FrameCount);
        w.Array(a.Frames);
    }
}

void PutRoom(Writer& w, const LevelRoom& r) {
    w.Put(r.Header);
    for (const QuadtreeNode& l1 : r.Tree.Nodes) {
        w.Put(l1.Box);
        w.Put(l1.Used);
        for (const QuadtreeLeaf& l2 : l1.Children) {
            ExpectSize(l2.Sector.Count, l2.Sector.Triangles.size(), "sector triangle");
            ExpectSize(l2.Sector.Count, l2.Sector.Vertices.size(), "sector vertex block");
            w.Put(l2.Box);
            w.Put(l2.Sector.Count);
            w.Array(l2.Sector.Triangles);
            w.Array(l2.Sector.Vertices);
        }
    }
    ExpectSize(r.PortalCount, r.Portals.size(), "portal");
    w.Put(r.PortalCount);
    w.Array(r.Portals);
    ExpectSize(r.Header.CellsX, r.Cells.size(), "cell column");
    for (const auto& column : r.Cells) {
        ExpectSize(r.Header.CellsZ, column.size(), "cell");
        w.Array(column);
    }
    ExpectSize(r.InstanceCount, r.Instances.size(), "instance");
    w.Put(r.InstanceCount);
    w.Array(r.Instances);
    ExpectSize(r.LightCount, r.Lights.size(), "light");
    w.Put(r.LightCount);
    w.Array(r.Lights);
}

}  // namespace

std::vector<uint8_t> WriteLevel(const LevelFileData& data) {
    const LevelRecord& lev = data.Level;
    std::vector<uint8_t> bytes;
    Writer w(bytes);
    w.Raw(data.Ident, sizeof(data.Ident));
    w.Put(data.FormatWord);
    w.Raw(lev.HeaderBlock, sizeof(lev.HeaderBlock));
    w.Put(lev.TextureCount);
    ExpectSize(std::max<int16_t>(lev.TextureCount, 0), data.Textures.size(), "texture");
    for (const PixelBlock& t : data.Textures) PutPixels(w, t, true, "texture");
    PutPixels(w, data.StripA, true, "strip A");

    PutAnimSet(w, lev.AnimSetA);

    ExpectSize(lev.MovableCount, lev.Movables.size(), "movable");
    w.Put(lev.MovableCount);
    for (const MovableRecord& m : lev.Movables) {
        ExpectSize(m.ClipCount, m.Clips.size(), "clip");
        w.Put(m.Id);
        w.Put(m.Spare);
        w.Put(static_cast<int16_t>(m.TextureSlot - kLevelTextureFirstSlot));
        w.Put(m.ModelIndex);
        w.Put(m.SkeletonIndex);
        w.Put(m.ClipCount);
        w.Array(m.Clips, kClipFileSize);
    }
    ExpectSize(lev.ObjectCount, lev.Objects.size(), "object");
    w.Put(lev.ObjectCount);
    for (const ObjectTemplate& o : lev.Objects) {
        w.Put(o.Id);
        w.Put(o.Spare);
        w.Put(static_cast<int16_t>(o.TextureSlot - kLevelTextureFirstSlot));
        w.Put(o.ModelIndex);
    }
    ExpectSize(lev.ModelCount, lev.Models.size(), "model");
    w.Put(lev.ModelCount);
    for (const ModelRecord& m : lev.Models) {
        ExpectSize(m.VertexCount, m.Vertices.size(), "vertex");
        ExpectSize(m.FaceCount, m.Faces.size(), "face");
        w.Put(m.VertexCount);
        w.Array(m.Vertices);
        w.Put(m.FaceCount);
        w.Array(m.Faces);
        w.Put(m.BoundsMin);
        w.Put(m.BoundsMax);
        w.Raw(m.FaceRuns, sizeof(m.FaceRuns));
        w.Raw(m.Extra, sizeof(m.Extra));
    }
    ExpectSize(lev.SkeletonCount, lev.Skeletons.size(), "skeleton");
    w.Put(lev.SkeletonCount);
    for (const SkeletonRecord& s : lev.Skeletons) {
        ExpectSize(s.BoneCount, s.Bones.size(), "bone");
        w.Put(s.BoneCount);
        w.Array(s.Bones);
    }
    ExpectSize(lev.AnimationCount, lev.Animations.size(), "animation");
    w.Put(lev.AnimationCount);
    for (const AnimationRecord& a : lev.Animations) {
        ExpectSize(a.TrackCount, a.Tracks.size(), "track");
        w.Put(a.Spare);
        w.Put(a.FrameCount);
        w.Put(a.TrackCount);
        for (const BoneTrack& t : a.Tracks) {
            ExpectSize(t.KeyCount, t.Keys.size(), "key");
            w.Put(t.KeyCount);
            w.Array(t.Keys);
        }
    }

    PutPixels(w, data.StripB, true, "strip B");
    PutPixels(w, data.BumpStrip, data.BumpStrip.Width != 0, "bump strip");
    PutAnimSet(w, lev.AnimSetB);

    const LightmapTable& lm = lev.Lightmaps;
    ExpectSize(lm.EntryCount, lm.Entries.size(), "lightmap entry");
    w.Put(lm.SkipBitmaps);
    w.Put(lm.Spare);
    w.Put(lm.EntryCount);
    w.Array(lm.Entries);

    const LevelMap& map = lev.Map;
    ExpectSize(map.RoomCount, map.Rooms.size(), "room");
    Expect(map.RoomCount <= std::numeric_limits<uint16_t>::max(), "more rooms than the file can hold");
    w.Put(map.StartRoom);
    w.Put(map.StartPosition);
    w.Put(static_cast<uint16_t>(map.RoomCount));
    for (const LevelRoom& r : map.Rooms) PutRoom(w, r);
    ExpectSize(map.Boxes.BoxCount, map.Boxes.BoxList.size(), "box");
    ExpectSize(map.Boxes.WordCount, map.Boxes.Words.size(), "word");
    w.Put(map.Boxes.BoxCount);
    w.Array(map.Boxes.BoxList);
    w.Put(map.Boxes.WordCount);
    w.Array(map.Boxes.Words);
    return bytes;
}

void WriteLevelFile(const std::string& path, const LevelFileData& level) {
    const std::vector<uint8_t> bytes = WriteLevel(level);
    if (std::string error; !WriteFileSafely(path, bytes.data(), bytes.size(), error)) throw std::runtime_error(error);
}

}  // namespace dv
