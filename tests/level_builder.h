// Small levels built in memory for the level tests and the fuzz seeds.
#pragma once

#include <cstring>

#include "world/level_records.h"

namespace dvtest {

inline dv::PixelBlock Pixels(int32_t w, int32_t h, uint16_t seed) {
    dv::PixelBlock b;
    b.Width = w;
    b.Height = h;
    const int64_t n = static_cast<int64_t>(w) * h;
    for (int64_t i = 0; i < n; ++i) b.Pixels.push_back(static_cast<uint16_t>(seed + i * 37));
    return b;
}

inline dv::RoomHeader RoomHeader(float x, uint16_t cellsX, uint16_t cellsZ) {
    dv::RoomHeader h{};
    h.Origin = dv::Vec3{x, 0, 0};
    h.CellsX = cellsX;
    h.CellsZ = cellsZ;
    h.HeightCells = 4;
    h.MinY = 0;
    h.MaxY = 128;
    h.AmbientLuminance = -1;
    h.AmbientHls = static_cast<int32_t>(0xF0000000u);
    return h;
}

inline void AddTriangles(dv::SectorTriangles& s, int n) {
    for (int i = 0; i < n; ++i) {
        dv::TriangleHeader t{};
        t.Texture = static_cast<uint16_t>(1001 + i);
        t.Layers = 2;
        t.Normal = dv::Vec3{0, 1, 0};
        dv::TriangleVertices v{};
        for (int k = 0; k < 3; ++k) v.V[k].Position = dv::Vec3{float(k * 32), 0, float(i * 32)};
        s.Triangles.push_back(t);
        s.Vertices.push_back(v);
    }
    s.Count = static_cast<int32_t>(s.Triangles.size());
}

// A level touching every section: textures, strips, animated sets, a movable with clips,
// an object template, two models, a skeleton, an animation, lightmaps and two rooms (the
// second with no cells).
inline dv::LevelFileData SampleLevel() {
    dv::LevelFileData d;
    std::memcpy(d.Ident, "DVLEVEL1", 8);
    d.FormatWord = 3;
    for (int i = 0; i < 52; ++i) d.Level.HeaderBlock[i] = static_cast<uint8_t>(i);
    dv::LevelRecord& lev = d.Level;

    d.Textures = {Pixels(4, 4, 1), Pixels(3, 2, 7)};
    lev.TextureCount = 2;
    d.StripA = Pixels(4, 9, 11);  // two tiles and one spare row
    lev.StripATileCount = 2;

    lev.AnimSetA.SlotBase = 2000;
    dv::AnimatedTexture a{};
    a.Kind = 0;
    a.Period = 120;
    a.Frames.resize(2);
    a.Frames[0].SlotOffset = 1;
    a.Frames[1].SlotOffset = 2;
    a.Frames[1].LimitV = 0.5f;
    a.FrameCount = 2;
    lev.AnimSetA.Sets = {a};
    lev.AnimSetA.SetCount = 1;

    dv::MovableRecord m;
    m.Id = 77;
    m.TextureSlot = 1001;
    m.ModelIndex = 0;
    m.SkeletonIndex = 0;
    for (int c = 0; c < 2; ++c) {
        dv::ClipRecord clip{};
        clip.ClipId = 10 + c;
        clip.DurationMs = 500;
        clip.AnimationIndex = 0;
        clip.StepsPerKey = static_cast<int16_t>(c);
        clip.Unused2[5] = 9;
        m.Clips.push_back(clip);
    }
    m.ClipCount = 2;
    lev.Movables = {m};
    lev.MovableCount = 1;

    lev.Objects = {dv::ObjectTemplate{500, 0, 1003, 0, 1}};
    lev.ObjectCount = 1;

    for (int k = 0; k < 2; ++k) {
        dv::ModelRecord model;
        const int verts = 3 + k;
        for (int v = 0; v < verts; ++v) {
            dv::ModelVertex vx{};
            vx.Position = dv::Vec3{float(v), float(k), 0};
            vx.Bones[0] = static_cast<int16_t>(v % 2);
            vx.Bones[1] = vx.Bones[2] = vx.Bones[3] = -1;
            vx.Weights[0] = 100;
            model.Vertices.push_back(vx);
        }
        model.VertexCount = static_cast<int16_t>(verts);
        dv::ModelFace f{};
        f.Vertex[0] = 0;
        f.Vertex[1] = 1;
        f.Vertex[2] = static_cast<uint16_t>(verts - 1);
        f.Texture = -3;
        model.Faces = {f};
        model.FaceCount = 1;
        model.BoundsMax = dv::Vec3{4, 4, 4};
        model.FaceRuns[0] = 1;
        model.Extra[35] = 1;
        lev.Models.push_back(model);
    }
    lev.ModelCount = 2;

    dv::SkeletonRecord skel;
    skel.Bones.resize(2);
    skel.Bones[0].Parent = -1;
    skel.Bones[1].Parent = 0;
    skel.Bones[1].Pivot = dv::Vec3{0, 10, 0};
    skel.BoneCount = 2;
    lev.Skeletons = {skel};
    lev.SkeletonCount = 1;

    dv::AnimationRecord anim;
    anim.FrameCount = 6;
    for (int t = 0; t < 2; ++t) {
        dv::BoneTrack track;
        track.Keys = {dv::AnimationKey{0, {0, 0, 0}, {0, 0, 0}}, dv::AnimationKey{5, {0, 90, 0}, {1, 0, 0}}};
        track.KeyCount = 2;
        anim.Tracks.push_back(track);
    }
    anim.TrackCount = 2;
    lev.Animations = {anim};
    lev.AnimationCount = 1;

    d.StripB = Pixels(4, 8, 3);
    lev.StripBTileCount = 2;
    d.BumpStrip = Pixels(2, 4, 5);
    lev.BumpTileCount = 2;

    lev.AnimSetB.SlotBase = 0;
    dv::AnimatedTexture b{};
    b.Kind = 1;
    b.Frames.resize(1);
    b.FrameCount = 1;
    lev.AnimSetB.Sets = {b};
    lev.AnimSetB.SetCount = 1;

    lev.Lightmaps.Entries = {dv::LightmapEntry{1, 3001, {}}, dv::LightmapEntry{0, 3005, {}}};
    lev.Lightmaps.EntryCount = 2;

    dv::LevelMap& map = lev.Map;
    map.StartRoom = 0;
    map.StartPosition = dv::Vec3{16, 0, 16};
    dv::LevelRoom r0;
    r0.Header = RoomHeader(0, 2, 3);
    r0.Tree.Nodes[0].Used = 1;
    r0.Tree.Nodes[0].Box = dv::QuadBox{0, 0, 64, 96};
    AddTriangles(r0.Tree.Nodes[0].Children[0].Sector, 2);
    AddTriangles(r0.Tree.Nodes[0].Children[3].Sector, 1);
    dv::Portal portal{};
    portal.TargetRoom = 1;
    portal.Facing = dv::Vec3{1, 0, 0};
    r0.Portals = {portal};
    r0.PortalCount = 1;
    r0.Cells.assign(2, std::vector<dv::GridCell>(3));
    r0.Cells[1][2].SideRoom = 2;
    r0.Cells[0][1].RoomAbove = 2;
    r0.Cells[0][0].FloorFlags = 1;
    dv::ObjectInstance inst{};
    inst.ObjectId = 500;
    inst.Position = dv::Vec3{1, 0, 1};
    r0.Instances = {inst};
    r0.InstanceCount = 1;
    dv::LightSource light{};
    light.Kind = 0;
    light.Red = 255;
    light.InnerRange = 4;
    light.OuterRange = 10;
    r0.Lights = {light, light};
    r0.Lights[1].Kind = 1;
    r0.LightCount = 2;

    dv::LevelRoom r1;
    r1.Header = RoomHeader(64, 0, 5);
    r1.Cells.assign(0, {});

    map.Rooms = {r0, r1};
    map.RoomCount = 2;
    map.Boxes.BoxList.resize(1);
    map.Boxes.BoxList[0].Bytes[0] = 42;
    map.Boxes.BoxCount = 1;
    map.Boxes.Words = {1, 2, 65535};
    map.Boxes.WordCount = 3;
    return d;
}

}  // namespace dvtest
