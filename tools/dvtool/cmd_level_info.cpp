// dvtool level-info FILE: a JSON summary of a level file.
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/dvtool/commands.h"
#include "world/level_file.h"

namespace dvtool {
namespace {

class Json {
public:
    std::string text;

    void Key(const char* k) {
        Sep();
        text += '"';
        text += k;
        text += "\":";
        fresh_ = true;
    }
    void Open(char c) {
        Sep();
        text += c;
        fresh_ = true;
    }
    void Close(char c) {
        text += c;
        fresh_ = false;
    }
    void Int(long long v) {
        Sep();
        text += std::to_string(v);
    }
    void Float(float v) {
        Sep();
        if (!std::isfinite(v)) {
            text += "null";
            return;
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
        text += buf;
    }
    void Vec(const dv::Vec3& v) {
        Open('[');
        Float(v.x);
        Float(v.y);
        Float(v.z);
        Close(']');
    }
    void Field(const char* k, long long v) {
        Key(k);
        Int(v);
    }

private:
    void Sep() {
        if (!fresh_) text += ',';
        fresh_ = false;
    }
    bool fresh_ = true;
};

void AnimSet(Json& j, const char* key, const dv::AnimatedTextureTable& set) {
    j.Key(key);
    j.Open('[');
    for (const dv::AnimatedTexture& s : set.Sets) {
        j.Open('{');
        j.Field("kind", s.Kind);
        j.Field("period", s.Period);
        j.Field("frames", s.FrameCount);
        j.Close('}');
    }
    j.Close(']');
}

int Sum(const dv::RoomQuadtree& tree) {
    int n = 0;
    for (const dv::QuadtreeNode& l1 : tree.Nodes) {
        for (const dv::QuadtreeLeaf& l2 : l1.Children) n += l2.Sector.Count;
    }
    return n;
}

std::string Summary(const dv::LevelRecord& lev) {
    Json j;
    j.Open('{');
    j.Field("textureCount", lev.TextureCount);
    j.Field("stripATiles", lev.StripATileCount);
    j.Field("stripBTiles", lev.StripBTileCount);
    j.Field("bumpTiles", lev.BumpTileCount);
    AnimSet(j, "animSetA", lev.AnimSetA);
    AnimSet(j, "animSetB", lev.AnimSetB);
    j.Key("movables");
    j.Open('[');
    for (const dv::MovableRecord& m : lev.Movables) {
        j.Open('{');
        j.Field("id", m.Id);
        j.Field("textureSlot", m.TextureSlot);
        j.Field("model", m.ModelIndex);
        j.Field("skeleton", m.SkeletonIndex);
        j.Key("clipIds");
        j.Open('[');
        for (const dv::ClipRecord& c : m.Clips) j.Int(c.ClipId);
        j.Close(']');
        j.Close('}');
    }
    j.Close(']');
    j.Key("objects");
    j.Open('[');
    for (const dv::ObjectTemplate& o : lev.Objects) {
        j.Open('{');
        j.Field("id", o.Id);
        j.Field("textureSlot", o.TextureSlot);
        j.Field("model", o.ModelIndex);
        j.Close('}');
    }
    j.Close(']');
    j.Key("models");
    j.Open('[');
    for (const dv::ModelRecord& m : lev.Models) {
        j.Open('{');
        j.Field("vertices", m.VertexCount);
        j.Field("faces", m.FaceCount);
        j.Key("boundsMin");
        j.Vec(m.BoundsMin);
        j.Key("boundsMax");
        j.Vec(m.BoundsMax);
        j.Key("faceRuns");
        j.Open('[');
        for (uint16_t r : m.FaceRuns) j.Int(r);
        j.Close(']');
        j.Close('}');
    }
    j.Close(']');
    j.Key("skeletons");
    j.Open('[');
    for (const dv::SkeletonRecord& s : lev.Skeletons) {
        j.Open('{');
        j.Field("bones", s.BoneCount);
        j.Close('}');
    }
    j.Close(']');
    j.Key("animations");
    j.Open('[');
    for (const dv::AnimationRecord& a : lev.Animations) {
        j.Open('{');
        j.Field("frames", a.FrameCount);
        j.Field("tracks", a.TrackCount);
        j.Close('}');
    }
    j.Close(']');
    j.Key("lightmaps");
    j.Open('{');
    j.Field("skip", lev.Lightmaps.SkipBitmaps);
    j.Field("entries", lev.Lightmaps.EntryCount);
    j.Close('}');
    j.Field("startRoom", lev.Map.StartRoom);
    j.Key("startPosition");
    j.Vec(lev.Map.StartPosition);
    j.Key("rooms");
    j.Open('[');
    for (const dv::LevelRoom& r : lev.Map.Rooms) {
        j.Open('{');
        j.Key("origin");
        j.Vec(r.Header.Origin);
        j.Field("cellsX", r.Header.CellsX);
        j.Field("cellsZ", r.Header.CellsZ);
        j.Field("heightCells", r.Header.HeightCells);
        j.Field("triangles", Sum(r.Tree));
        j.Key("portals");
        j.Open('[');
        for (const dv::Portal& p : r.Portals) {
            j.Open('{');
            j.Field("target", p.TargetRoom);
            j.Close('}');
        }
        j.Close(']');
        j.Field("instances", r.InstanceCount);
        j.Field("lights", r.LightCount);
        j.Close('}');
    }
    j.Close(']');
    j.Field("boxes", lev.Map.Boxes.BoxCount);
    j.Field("words", lev.Map.Boxes.WordCount);
    j.Close('}');
    return j.text;
}

}  // namespace

int RunLevelInfo(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dvtool level-info FILE\n");
        return 2;
    }
    dv::LevelFileData data;
    try {
        dv::ParseLevelFile(argv[1], data);
    } catch (const dv::LevelError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    std::printf("%s\n", Summary(data.Level).c_str());
    return 0;
}

}  // namespace dvtool
