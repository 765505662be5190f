// The level compiler: a level source to the level file's records, its sound sidecar and lightmaps.
// In order: the material codes; the compiler's cell and room geometry; Compiler, which
// builds the cell grid, resolves doors and shafts, then per room the textures, objects,
// header, cell records, lights, instances and portals, the floor, ceiling and wall surfaces
// and their sectors, the start, the sounds and the character; last the entry points
// (CompileLevel, CompileLevelFile, AppendMovables, WriteCompiledLevel).
#include "tools/level/level_compiler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>

#include "files/read_file.h"
#include "math/geometry.h"
#include "render/blend_mode.h"
#include "tools/common/image_writers.h"
#include "tools/level/lightmap_baker.h"
#include "tools/level/object_models.h"
#include "tools/level/procedural_textures.h"
#include "world/cell_geometry.h"
#include "world/room_model.h"
#include "render/texture_slots.h"

namespace dv {

namespace {

constexpr float kClick = kCellSize / kHeightStepsPerCell;  // units per height click
constexpr int kTextureSize = 128;
constexpr int kFrameSize = 64;
constexpr int kAnimFrames = 8;
constexpr float kPortalGap = 0.01f;  // the two portals of a doorway sit this far apart

bool IsStatic(Material m) { return m != Material::Water && m != Material::Lava && m != Material::Falls; }

// Materials drawn from strip B, so that walls near the camera get the bump effect: strip B
// slot and bump strip slot of each (slot 1 of strip B is the falling water).
struct BumpedMaterial {
    Material M;
    uint16_t Slot;
    float Strength;
};
constexpr BumpedMaterial kBumped[] = {
    {Material::Brick, 2, 6.0f}, {Material::Stone, 3, 5.0f}, {Material::Moss, 4, 5.0f}};
constexpr int kStripBTiles = 4;

// The texture value a triangle stores for a material: a level texture slot, a strip B slot
// (bumped materials) or an animated code.
uint16_t TextureCode(Material m) {
    for (const BumpedMaterial& b : kBumped)
        if (b.M == m) return b.Slot;
    switch (m) {
        case Material::Water: return 0x8000 | (1 << 8);      // set A, set 0, frame 0
        case Material::Lava: return 0x8000 | (2 << 8);       // set A, set 1
        case Material::Falls: return 0x8000 | (1 << 8) | 1;  // set B, set 0
        default: return static_cast<uint16_t>(kLevelTextureFirstSlot + static_cast<int>(m));
    }
}

uint16_t BumpCode(Material m) {
    for (const BumpedMaterial& b : kBumped)
        if (b.M == m) return static_cast<uint16_t>(4001 + b.Slot);
    return 0;
}

BlendMode BlendOf(Material m) {
    if (m == Material::Grate) return BlendMode::AlphaTested;
    if (m == Material::Glow) return BlendMode::Additive;
    return BlendMode::Opaque;
}

// A cell as the compiler works with it: heights in clicks above the room origin, corners
// SW, SE, NE, NW.
struct CellGeo {
    bool Solid = false, Door = false, Hole = false, Open = false, Exit = false;
    bool Split = false, CeilingSplit = false;
    int Curve = 0;
    std::array<float, 4> F{}, C{};
    int Side = -1, Below = -1, Above = -1;
    Material FloorMat{}, CeilingMat{}, SideMat{};
};

struct RoomGeo {
    const RoomDef* Def = nullptr;
    std::vector<CellGeo> Cells;
    Vec3 Origin{};
    CellGeo& At(int x, int z) { return Cells[static_cast<size_t>(x * Def->CellsZ + z)]; }
    const CellGeo& At(int x, int z) const { return Cells[static_cast<size_t>(x * Def->CellsZ + z)]; }
    bool Inside(int x, int z) const { return x >= 0 && z >= 0 && x < Def->CellsX && z < Def->CellsZ; }
    bool Border(int x, int z) const { return x == 0 || z == 0 || x == Def->CellsX - 1 || z == Def->CellsZ - 1; }
};

class Compiler {
public:
    Compiler(const LevelSource& src, const std::string& sourceDir, const std::string& outputPath)
        : src_(src), sourceDir_(sourceDir), outputPath_(outputPath) {}

    CompiledLevel Run() {
        BuildCells();
        ResolveDoors();
        ResolveShafts();
        CompiledLevel out;
        LevelFileData& data = out.Data;
        std::memcpy(data.Ident, "DVLEVEL1", 8);
        data.FormatWord = 1;
        BuildTextures(data);
        BuildObjects(data.Level);
        data.Level.Map.RoomCount = static_cast<int32_t>(rooms_.size());
        data.Level.Map.Rooms.resize(rooms_.size());
        std::vector<std::vector<SurfaceTri>> tris(rooms_.size());
        for (size_t r = 0; r < rooms_.size(); ++r) {
            LevelRoom& room = data.Level.Map.Rooms[r];
            BuildHeader(r, room);
            BuildCellRecords(r, room);
            BuildLights(r, room);
            BuildInstances(r, room);
            BuildPortals(r, room);
            tris[r] = BuildSurfaces(r);
        }
        BuildStart(data.Level.Map);
        out.Lightmaps = BakeLightmaps(data.Level, tris, outputPath_);
        for (size_t r = 0; r < rooms_.size(); ++r) BuildSectors(data.Level.Map.Rooms[r], tris[r]);
        data.Level.Lightmaps.SkipBitmaps = 0;
        data.Level.Lightmaps.EntryCount = static_cast<int32_t>(out.Lightmaps.size());
        for (size_t i = 0; i < out.Lightmaps.size(); ++i) {
            LightmapEntry e{};
            e.Present = 1;
            e.FirstSlot = kLightmapFirstSlot + static_cast<int32_t>(i) * kLightmapTilesPerStrip;
            data.Level.Lightmaps.Entries.push_back(e);
        }
        BuildSounds(out.Sounds);
        if (!src_.CharacterPath.empty()) AddCharacter(data, out.Sounds);
        return out;
    }

private:
    [[noreturn]] void Fail(int line, const std::string& what) const {
        throw SourceError(src_.FileName + ":" + std::to_string(line) + ": " + what);
    }
    int CellLine(const RoomGeo& g, int x, int z) const {
        return g.Def->CellLines[static_cast<size_t>(x * g.Def->CellsZ + z)];
    }
    std::string CellName(const RoomGeo& g, int x, int z) const {
        return "cell (" + std::to_string(x) + ", " + std::to_string(z) + ") of room '" + g.Def->Name + "'";
    }

    void BuildCells() {
        rooms_.resize(src_.Rooms.size());
        for (size_t r = 0; r < src_.Rooms.size(); ++r) {
            const RoomDef& def = src_.Rooms[r];
            RoomGeo& g = rooms_[r];
            g.Def = &def;
            g.Origin = {def.OriginX * kCellSize, def.OriginY * kClick, def.OriginZ * kCellSize};
            g.Cells.resize(def.Cells.size());
            const float top = def.HeightCells * kHeightStepsPerCell;
            for (int x = 0; x < def.CellsX; ++x) {
                for (int z = 0; z < def.CellsZ; ++z) {
                    const CellDef& c = def.At(x, z);
                    CellGeo& k = g.At(x, z);
                    k.Solid = c.Solid;
                    k.Door = c.Door;
                    k.Hole = c.Hole;
                    k.Open = c.Open;
                    k.Exit = c.Exit;
                    k.Split = c.Split;
                    k.CeilingSplit = c.CeilingSplit;
                    k.Curve = c.Curve;
                    k.FloorMat = static_cast<Material>(c.FloorMat >= 0 ? c.FloorMat : def.FloorMat);
                    k.CeilingMat = static_cast<Material>(c.CeilingMat >= 0 ? c.CeilingMat : def.CeilingMat);
                    k.SideMat = static_cast<Material>(c.SideMat >= 0 ? c.SideMat : def.WallMat);
                    for (int i = 0; i < 4; ++i) {
                        k.F[i] = static_cast<float>(c.Floor[i]);
                        k.C[i] = c.HasCeiling && !c.Open ? static_cast<float>(c.Ceiling[i]) : top;
                    }
                    if (k.Solid) k.F = k.C = {top, top, top, top};
                    const int line = CellLine(g, x, z);
                    if (g.Border(x, z) && !k.Solid && !k.Door)
                        Fail(line, CellName(g, x, z) + " lies on the room's border and must be solid or a door");
                    if (!g.Border(x, z) && k.Door)
                        Fail(line, CellName(g, x, z) + " is a door but not on the room's border");
                    for (int i = 0; i < 4; ++i) {
                        if (k.C[i] > top) Fail(line, CellName(g, x, z) + " has its ceiling above the room's top");
                        if (!k.Solid && !k.Door && k.C[i] < k.F[i])
                            Fail(line, CellName(g, x, z) + " has its ceiling below its floor");
                    }
                }
            }
        }
    }

    // The inner cell of another room that covers world cell (wx, wz), or (-1, ...).
    struct Found {
        int Room = -1, X = 0, Z = 0;
    };

    // Calls fn(room index, room, x, z, cell) for every cell of every room.
    template <class Fn>
    void ForEachCell(Fn fn) {
        for (size_t a = 0; a < rooms_.size(); ++a) {
            RoomGeo& A = rooms_[a];
            for (int x = 0; x < A.Def->CellsX; ++x) {
                for (int z = 0; z < A.Def->CellsZ; ++z) fn(a, A, x, z, A.At(x, z));
            }
        }
    }

    void ResolveDoors() {
        ForEachCell([this](size_t a, RoomGeo& A, int x, int z, CellGeo& c) {
            const RoomDef& da = *A.Def;
            if (!c.Door) return;
            const int wx = da.OriginX + x, wz = da.OriginZ + z;
            Found f;
            for (size_t b = 0; b < rooms_.size(); ++b) {
                if (b == a) continue;
                const RoomGeo& B = rooms_[b];
                const RoomDef& db = *B.Def;
                const int bx = wx - db.OriginX, bz = wz - db.OriginZ;
                if (!B.Inside(bx, bz) || B.Border(bx, bz)) continue;
                if (db.OriginY >= da.Top() || da.OriginY >= db.Top()) continue;
                const CellGeo& t = B.At(bx, bz);
                if (t.Solid || t.Door) continue;
                if (f.Room >= 0)
                    Fail(CellLine(A, x, z), CellName(A, x, z) + " is a door into two rooms, '" +
                                                rooms_[static_cast<size_t>(f.Room)].Def->Name + "' and '" + db.Name +
                                                "'");
                f = {static_cast<int>(b), bx, bz};
            }
            if (f.Room < 0)
                Fail(CellLine(A, x, z),
                     CellName(A, x, z) + " is a door, but no other room has an open inner cell there");
            const RoomGeo& B = rooms_[static_cast<size_t>(f.Room)];
            const CellGeo& t = B.At(f.X, f.Z);
            const float dy = static_cast<float>(B.Def->OriginY - da.OriginY);
            c.Side = f.Room;
            c.Curve = t.Curve;
            c.Split = t.Split;
            c.CeilingSplit = t.CeilingSplit;
            for (int i = 0; i < 4; ++i) {
                c.F[i] = t.F[i] + dy;
                c.C[i] = std::min(t.C[i] + dy, da.HeightCells * kHeightStepsPerCell);
            }
        });
    }

    void ResolveShafts() {
        ForEachCell([this](size_t a, RoomGeo& A, int x, int z, CellGeo& c) {
            if (!c.Hole) return;
            const RoomDef& da = *A.Def;
            const int line = CellLine(A, x, z);
            if (c.F[0] != c.F[1] || c.F[0] != c.F[2] || c.F[0] != c.F[3])
                Fail(line, CellName(A, x, z) + " is a hole and needs a flat floor");
            const int level = da.OriginY + static_cast<int>(c.F[0]);
            const int wx = da.OriginX + x, wz = da.OriginZ + z;
            Found f;
            for (size_t b = 0; b < rooms_.size(); ++b) {
                RoomGeo& B = rooms_[b];
                const int bx = wx - B.Def->OriginX, bz = wz - B.Def->OriginZ;
                if (b == a || !B.Inside(bx, bz) || B.Def->Top() != level || !B.At(bx, bz).Open) continue;
                f = {static_cast<int>(b), bx, bz};
            }
            if (f.Room < 0)
                Fail(line,
                     CellName(A, x, z) + " is a hole, but no room below ends at its floor with an open cell there");
            c.Below = f.Room;
            rooms_[static_cast<size_t>(f.Room)].At(f.X, f.Z).Above = static_cast<int>(a);
        });
        // Open cells under a floor rather than a hole (the top of a climb into the room above)
        // link to the room whose span starts at or below this room's top there.
        ForEachCell([this](size_t b, RoomGeo& B, int x, int z, CellGeo& c) {
            if (!c.Open || c.Above >= 0) return;
            const int wx = B.Def->OriginX + x, wz = B.Def->OriginZ + z;
            for (size_t a = 0; a < rooms_.size() && c.Above < 0; ++a) {
                const RoomGeo& A = rooms_[a];
                const int ax = wx - A.Def->OriginX, az = wz - A.Def->OriginZ;
                if (a == b || !A.Inside(ax, az) || A.Border(ax, az) || A.At(ax, az).Solid) continue;
                if (A.Def->OriginY <= B.Def->Top() && B.Def->Top() < A.Def->Top()) c.Above = static_cast<int>(a);
            }
            if (c.Above < 0) Fail(CellLine(B, x, z), CellName(B, x, z) + " is open above, but no room lies above it");
        });
    }

    void BuildTextures(LevelFileData& data) {
        for (int m = 0; m < kMaterialCount; ++m) {
            const Material mat = static_cast<Material>(m);
            const RgbImage img = MaterialTexture(IsStatic(mat) ? mat : Material::Stone, kTextureSize);
            PixelBlock block;
            block.Width = block.Height = kTextureSize;
            block.Pixels = To565(img);
            data.Textures.push_back(std::move(block));
        }
        data.Level.TextureCount = static_cast<int16_t>(data.Textures.size());

        // Strip A: the water frames, then the lava frames; set A cycles through each.
        data.StripA.Width = kFrameSize;
        data.StripA.Height = kFrameSize * kAnimFrames * 2;
        int tile = 0;
        for (Material m : {Material::Water, Material::Lava}) {
            AnimatedTexture set{};
            set.Kind = 0;
            set.Period = m == Material::Water ? 110 : 160;
            set.FrameCount = kAnimFrames;
            for (int f = 0; f < kAnimFrames; ++f, ++tile) {
                const std::vector<uint16_t> px = To565(MaterialTexture(m, kFrameSize, f, kAnimFrames));
                data.StripA.Pixels.insert(data.StripA.Pixels.end(), px.begin(), px.end());
                AnimatedTextureFrame frame{};
                frame.SlotOffset = static_cast<int16_t>(1 + tile);
                set.Frames.push_back(frame);
            }
            data.Level.AnimSetA.Sets.push_back(set);
        }
        data.Level.AnimSetA.SetCount = static_cast<uint16_t>(data.Level.AnimSetA.Sets.size());
        data.Level.AnimSetA.SlotBase = 2000;
        data.Level.StripATileCount = static_cast<int16_t>(tile);

        // Strip B: the falling water, scrolled by set B, then the bumped wall materials; the
        // bump strip holds their normal maps in the same order (a flat one for the water).
        data.StripB.Width = data.BumpStrip.Width = kTextureSize;
        data.StripB.Height = data.BumpStrip.Height = kTextureSize * kStripBTiles;
        const RgbImage fallsImage = MaterialTexture(Material::Falls, kTextureSize);
        std::vector<uint16_t> px = To565(fallsImage);
        data.StripB.Pixels = px;
        data.BumpStrip.Pixels = To565(NormalMapOf(fallsImage, 0.0f));
        for (const BumpedMaterial& b : kBumped) {
            const RgbImage img = MaterialTexture(b.M, kTextureSize);
            px = To565(img);
            data.StripB.Pixels.insert(data.StripB.Pixels.end(), px.begin(), px.end());
            px = To565(NormalMapOf(img, b.Strength));
            data.BumpStrip.Pixels.insert(data.BumpStrip.Pixels.end(), px.begin(), px.end());
        }
        data.Level.StripBTileCount = kStripBTiles;
        data.Level.BumpTileCount = kStripBTiles;
        AnimatedTexture falls{};
        falls.Kind = 1;
        falls.Period = 12;
        falls.FrameCount = 1;
        AnimatedTextureFrame frame{};
        frame.SlotOffset = 1;
        frame.ShiftV = 0;
        frame.LimitV = 2;
        falls.Frames.push_back(frame);
        data.Level.AnimSetB.Sets.push_back(falls);
        data.Level.AnimSetB.SetCount = 1;
        data.Level.AnimSetB.SlotBase = 0;
    }

    void BuildObjects(LevelRecord& lev) {
        const auto textureOf = [](Material m) { return static_cast<int16_t>(static_cast<int>(m)); };
        for (int k = 0; k < kObjectKindCount; ++k) {
            lev.Models.push_back(BuildObjectModel(static_cast<ObjectKind>(k), textureOf));
            ObjectTemplate o{};
            o.Id = 1 + k;
            o.TextureSlot = kLevelTextureFirstSlot;
            o.ModelIndex = static_cast<int16_t>(k);
            lev.Objects.push_back(o);
        }
        lev.ModelCount = static_cast<int16_t>(lev.Models.size());
        lev.ObjectCount = static_cast<int16_t>(lev.Objects.size());
    }

    void BuildHeader(size_t r, LevelRoom& room) {
        const RoomGeo& g = rooms_[r];
        RoomHeader& h = room.Header;
        std::memset(&h, 0, sizeof h);
        h.Origin = g.Origin;
        h.CellsX = static_cast<uint16_t>(g.Def->CellsX);
        h.CellsZ = static_cast<uint16_t>(g.Def->CellsZ);
        h.HeightCells = static_cast<uint16_t>(g.Def->HeightCells);
        h.AmbientLuminance = -1;
        h.AmbientHls = static_cast<int32_t>(RgbToHls(g.Def->Ambient[0], g.Def->Ambient[1], g.Def->Ambient[2]));
    }

    void BuildCellRecords(size_t r, LevelRoom& room) {
        const RoomGeo& g = rooms_[r];
        const float top = g.Def->HeightCells * kHeightStepsPerCell;
        room.Cells.assign(static_cast<size_t>(g.Def->CellsX),
                          std::vector<GridCell>(static_cast<size_t>(g.Def->CellsZ)));
        for (int x = 0; x < g.Def->CellsX; ++x) {
            for (int z = 0; z < g.Def->CellsZ; ++z) {
                const CellGeo& c = g.At(x, z);
                GridCell& t = room.Cells[static_cast<size_t>(x)][static_cast<size_t>(z)];
                std::memset(&t, 0, sizeof t);
                t.FloorShape = static_cast<uint8_t>(c.Curve);
                t.FloorFlags = c.Split ? kCellOtherDiagonal : 0;
                // Record corners: floor NW, NE, SE, SW; ceiling depths SW, SE, NE, NW.
                t.Floor[0] = static_cast<int16_t>(c.F[3]);
                t.Floor[1] = static_cast<int16_t>(c.F[2]);
                t.Floor[2] = static_cast<int16_t>(c.F[1]);
                t.Floor[3] = static_cast<int16_t>(c.F[0]);
                t.CeilingFlags = c.CeilingSplit ? kCellOtherDiagonal : 0;
                for (int i = 0; i < 4; ++i) t.Ceiling[i] = static_cast<int16_t>(top - c.C[i]);
                t.Exit = c.Exit ? 1 : 0;
                t.FloorBlock = c.Solid ? -1 : 0;
                t.CeilingBlock = c.Solid ? -1 : 0;
                t.RoomAbove = static_cast<uint8_t>(c.Above + 1);
                t.RoomBelow = static_cast<uint8_t>(c.Below + 1);
                t.SideRoom = static_cast<uint8_t>(c.Side + 1);
            }
        }
    }

    void BuildLights(size_t r, LevelRoom& room) {
        const RoomGeo& g = rooms_[r];
        constexpr float kDeg = 3.14159265f / 180.0f;
        for (const LightDef& l : g.Def->Lights) {
            LightSource s;
            std::memset(&s, 0, sizeof s);
            s.Kind = static_cast<int16_t>(l.Type);
            s.Position = {l.X * kCellSize, l.H * kClick, l.Z * kCellSize};
            s.Red = l.Rgb[0];
            s.Green = l.Rgb[1];
            s.Blue = l.Rgb[2];
            Vec3 d{l.Dir[0], l.Dir[1], l.Dir[2]};
            VecNormalize(d);
            s.Direction = d;
            s.InnerRange = static_cast<int8_t>(std::lround(l.Inner / 16));
            s.OuterRange = static_cast<int8_t>(std::lround(l.Outer / 16));
            s.NoModels = l.NoModels ? 1 : 0;
            if (l.Type == LightType::Spot) {
                if (l.HasCone) {
                    s.InnerCos = std::cos(l.InnerDeg * kDeg);
                    s.OuterCos = std::cos(l.OuterDeg * kDeg);
                    // Cut off beyond the outer range along the axis (world plane, as drawn).
                    const Vec3 p = VecAdd(s.Position, g.Origin);
                    s.CutOffset = -(VecDot(d, p) + l.Outer);
                    if (s.InnerRange == 0) s.InnerRange = 1;
                } else {
                    s.InnerRange = 0;
                    s.OuterRange = static_cast<int8_t>(l.Width);
                }
            }
            room.Lights.push_back(s);
        }
        room.LightCount = static_cast<int32_t>(room.Lights.size());
    }

    void BuildInstances(size_t r, LevelRoom& room) {
        for (const ObjectDef& o : rooms_[r].Def->Objects) {
            ObjectInstance inst;
            std::memset(&inst, 0, sizeof inst);
            inst.ObjectId = 1 + static_cast<int>(o.Kind);
            inst.Turn = static_cast<int16_t>(o.Turn);
            inst.Position = {o.X, o.H / kHeightStepsPerCell, o.Z};
            room.Instances.push_back(inst);
        }
        room.InstanceCount = static_cast<int32_t>(room.Instances.size());
    }

    // A portal quad in world coordinates; the corners are put in the order that makes their
    // normal agree with `facing` (clockwise as seen from the side it faces).
    static Portal MakePortal(int target, Vec3 c0, Vec3 c1, Vec3 c2, Vec3 c3, const Vec3& facing,
                             const Vec3& targetOrigin) {
        Portal p;
        std::memset(&p, 0, sizeof p);
        p.TargetRoom = static_cast<uint16_t>(target);
        if (VecDot(TriangleNormal(c0, c1, c2), facing) < 0) std::swap(c1, c3);
        p.Corners[0] = c0;
        p.Corners[1] = c1;
        p.Corners[2] = c2;
        p.Corners[3] = c3;
        p.Facing = facing;
        p.TargetOrigin = targetOrigin;
        return p;
    }

    void BuildPortals(size_t r, LevelRoom& room) {
        const RoomGeo& g = rooms_[r];
        const int nx = g.Def->CellsX, nz = g.Def->CellsZ;
        // Doorways: runs of door cells along each side with one target.
        struct Side {
            int dx, dz;  // step along the side
            int x0, z0;  // first cell
            int count;
            int inx, inz;  // towards the room's inside
        };
        const Side sides[4] = {
            {0, 1, 0, 0, nz, 1, 0}, {0, 1, nx - 1, 0, nz, -1, 0}, {1, 0, 0, 0, nx, 0, 1}, {1, 0, 0, nz - 1, nx, 0, -1}};
        for (const Side& s : sides) {
            int i = 0;
            while (i < s.count) {
                const int x = s.x0 + s.dx * i, z = s.z0 + s.dz * i;
                const CellGeo& c = g.At(x, z);
                if (!c.Door) {
                    ++i;
                    continue;
                }
                int j = i;
                float lo = 1e9f, hi = -1e9f;
                while (j < s.count) {
                    const int cx = s.x0 + s.dx * j, cz = s.z0 + s.dz * j;
                    const CellGeo& d = g.At(cx, cz);
                    if (!d.Door || d.Side != c.Side) break;
                    const CellGeo& in = g.At(cx + s.inx, cz + s.inz);
                    for (int k = 0; k < 4; ++k) {
                        lo = std::min({lo, d.F[k], in.F[k]});
                        hi = std::max({hi, d.C[k], in.C[k]});
                    }
                    ++j;
                }
                // The plane between the border column and the inner one, pulled a hair inwards.
                const float y0 = g.Origin.y + lo * kClick, y1 = g.Origin.y + hi * kClick;
                Vec3 facing{static_cast<float>(s.inx), 0, static_cast<float>(s.inz)};
                Vec3 a, b;
                if (s.dz != 0) {
                    const float px =
                        g.Origin.x + (s.inx > 0 ? kCellSize : (nx - 1) * kCellSize) + facing.x * kPortalGap;
                    a = {px, 0, g.Origin.z + i * kCellSize};
                    b = {px, 0, g.Origin.z + j * kCellSize};
                } else {
                    const float pz =
                        g.Origin.z + (s.inz > 0 ? kCellSize : (nz - 1) * kCellSize) + facing.z * kPortalGap;
                    a = {g.Origin.x + i * kCellSize, 0, pz};
                    b = {g.Origin.x + j * kCellSize, 0, pz};
                }
                room.Portals.push_back(MakePortal(c.Side, {a.x, y0, a.z}, {a.x, y1, a.z}, {b.x, y1, b.z},
                                                  {b.x, y0, b.z}, facing, rooms_[static_cast<size_t>(c.Side)].Origin));
                i = j;
            }
        }
        // Shafts: one horizontal portal per shaft cell, at the hole's floor or the room's top.
        for (int x = 0; x < nx; ++x) {
            for (int z = 0; z < nz; ++z) {
                const CellGeo& c = g.At(x, z);
                if (!c.Hole && !(c.Open && AboveIsHole(g, x, z))) continue;
                const int target = c.Hole ? c.Below : c.Above;
                const float y = g.Origin.y + (c.Hole ? c.F[0] : g.Def->HeightCells * kHeightStepsPerCell) * kClick +
                                (c.Hole ? -kPortalGap : kPortalGap);
                const float x0 = g.Origin.x + x * kCellSize, z0 = g.Origin.z + z * kCellSize;
                const Vec3 facing{0, c.Hole ? 1.0f : -1.0f, 0};
                room.Portals.push_back(MakePortal(target, {x0, y, z0}, {x0, y, z0 + kCellSize},
                                                  {x0 + kCellSize, y, z0 + kCellSize}, {x0 + kCellSize, y, z0}, facing,
                                                  rooms_[static_cast<size_t>(target)].Origin));
            }
        }
        if (room.Portals.size() > 255) Fail(g.Def->Line, "room '" + g.Def->Name + "' has more than 255 portals");
        room.PortalCount = static_cast<uint8_t>(room.Portals.size());
    }

    // True when the cell of the room above an open cell is a hole (a shaft to look through).
    bool AboveIsHole(const RoomGeo& g, int x, int z) const {
        const RoomGeo& A = rooms_[static_cast<size_t>(g.At(x, z).Above)];
        const int ax = g.Def->OriginX + x - A.Def->OriginX, az = g.Def->OriginZ + z - A.Def->OriginZ;
        return A.At(ax, az).Hole;
    }

    // Floor height (clicks) at cell-local (u, w) in 0..32.
    static float FloorAt(const CellGeo& c, float u, float w) {
        if (c.Curve != 0) return CurveSide(c.Curve, u, w) ? c.F[CurveTrue(c.Curve)] : c.F[CurveFalse(c.Curve)];
        return PlaneHeight(c.F, c.Split, u, w, true);
    }
    static float CeilingAt(const CellGeo& c, float u, float w) { return PlaneHeight(c.C, c.CeilingSplit, u, w, false); }

    // Heights of the two triangles of a cell, split on the diagonal world/cell_geometry.h
    // gives the stored flags (floors NW-SE unless split, ceilings the other way round).
    static float PlaneHeight(const std::array<float, 4>& h, bool split, float u, float w, bool floor) {
        const uint8_t flags = split ? kCellOtherDiagonal : 0;
        const bool nwse = floor ? FloorOnMainDiagonal(flags) : CeilingOnMainDiagonal(flags);
        const float s = u / kCellSize, t = w / kCellSize;
        if (nwse) {
            if (s + t <= 1) return h[0] + (h[1] - h[0]) * s + (h[3] - h[0]) * t;  // SW, SE, NW
            return h[2] + (h[3] - h[2]) * (1 - s) + (h[1] - h[2]) * (1 - t);      // NE, NW, SE
        }
        if (t >= s) return h[3] + (h[2] - h[3]) * s + (h[0] - h[3]) * (1 - t);  // NW, NE, SW
        return h[1] + (h[0] - h[1]) * (1 - s) + (h[2] - h[1]) * t;              // SE, SW, NE
    }

    // The curved edge of shapes 1..4: true for the side that takes CurveTrue's corner.
    static float CurveEdge(int shape, float u) {
        const float t = std::clamp(u / kCellSize, 0.0f, 1.0f);
        float z = 0;
        switch (shape) {
            case 1: z = 31 * (2 * t - t * t) + 10; break;
            case 2: z = 31 * (1 - t * t) + 10; break;
            case 3: z = 31 * (1 - t) * (1 - t) - 10; break;
            default: z = 31 * t * t - 10; break;
        }
        return std::clamp(z * kCellSize / 31, 0.0f, kCellSize);
    }
    static bool CurveSide(int shape, float u, float w) {
        const float e = CurveEdge(shape, u);
        return shape <= 2 ? w <= e : w < e;
    }
    static int CurveTrue(int shape) { return shape == 1 || shape == 4 ? 1 : 0; }   // SE or SW
    static int CurveFalse(int shape) { return shape == 1 || shape == 4 ? 3 : 2; }  // NW or NE

    struct Builder {
        std::vector<SurfaceTri>& out;
        int patch = 0;

        // Adds a triangle facing `want`, with per-vertex texture and patch coordinates.
        void Tri(Vec3 p0, Vec3 p1, Vec3 p2, std::array<float, 2> uv0, std::array<float, 2> uv1,
                 std::array<float, 2> uv2, std::array<float, 2> st0, std::array<float, 2> st1, std::array<float, 2> st2,
                 const Vec3& want, Material m) {
            Vec3 n = VecCross(VecSub(p1, p0), VecSub(p2, p0));
            const float len = VecLength(n);
            if (len < 1e-3f) return;
            n = VecScale(n, 1 / len);
            if (VecDot(n, want) < 0) {
                std::swap(p1, p2);
                std::swap(uv1, uv2);
                std::swap(st1, st2);
                n = VecScale(n, -1);
            }
            SurfaceTri t{};
            t.P = {p0, p1, p2};
            t.Uv = {uv0, uv1, uv2};
            t.St = {st0, st1, st2};
            t.Normal = n;
            t.Patch = patch;
            t.Texture = TextureCode(m);
            t.BumpTexture = BumpCode(m);
            t.Blend = BlendByte(BlendOf(m));
            out.push_back(t);
        }
    };

    std::vector<SurfaceTri> BuildSurfaces(size_t r) {
        const RoomGeo& g = rooms_[r];
        std::vector<SurfaceTri> out;
        Builder b{out, 0};
        for (int x = 0; x < g.Def->CellsX; ++x) {
            for (int z = 0; z < g.Def->CellsZ; ++z) {
                const CellGeo& c = g.At(x, z);
                if (c.Solid || c.Door) continue;
                const float x0 = x * kCellSize, z0 = z * kCellSize;
                const float top = g.Def->HeightCells * kHeightStepsPerCell;
                const bool floorAtTop = c.F[0] >= top && c.F[1] >= top && c.F[2] >= top && c.F[3] >= top;
                if (!c.Hole && !(c.Open && floorAtTop)) FloorSurface(b, c, x0, z0, g.Origin);
                if (!c.Open) CeilingSurface(b, c, x0, z0, g.Origin);
                WallSurfaces(b, g, x, z);
            }
        }
        return out;
    }

    // World-aligned texture coordinates: one repeat per cell.
    static std::array<float, 2> FlatUv(const Vec3& p, const Vec3& origin) {
        return {(p.x + origin.x) / kCellSize, -(p.z + origin.z) / kCellSize};
    }

    void FloorSurface(Builder& b, const CellGeo& c, float x0, float z0, const Vec3& origin) {
        const Vec3 up{0, 1, 0};
        auto pt = [&](float u, float w, float h) { return Vec3{x0 + u, h * kClick, z0 + w}; };
        auto st = [](float u, float w) { return std::array<float, 2>{u / kCellSize, w / kCellSize}; };
        if (c.Curve == 0) {
            const Vec3 sw = pt(0, 0, c.F[0]), se = pt(kCellSize, 0, c.F[1]), ne = pt(kCellSize, kCellSize, c.F[2]),
                       nw = pt(0, kCellSize, c.F[3]);
            const auto SW = st(0, 0), SE = st(kCellSize, 0), NE = st(kCellSize, kCellSize), NW = st(0, kCellSize);
            if (!c.Split) {
                b.Tri(sw, nw, se, FlatUv(sw, origin), FlatUv(nw, origin), FlatUv(se, origin), SW, NW, SE, up,
                      c.FloorMat);
                b.Tri(nw, ne, se, FlatUv(nw, origin), FlatUv(ne, origin), FlatUv(se, origin), NW, NE, SE, up,
                      c.FloorMat);
            } else {
                b.Tri(nw, ne, sw, FlatUv(nw, origin), FlatUv(ne, origin), FlatUv(sw, origin), NW, NE, SW, up,
                      c.FloorMat);
                b.Tri(ne, se, sw, FlatUv(ne, origin), FlatUv(se, origin), FlatUv(sw, origin), NE, SE, SW, up,
                      c.FloorMat);
            }
            ++b.patch;
            return;
        }
        // Curved edge: strips along x, the near part at one height, the far part at the other,
        // and a riser along the edge.
        const float hT = c.F[CurveTrue(c.Curve)], hF = c.F[CurveFalse(c.Curve)];
        constexpr int kStrips = 8;
        const int floorPatch = b.patch++;
        const int riserPatch = b.patch++;
        const float lo = std::min(hT, hF), hi = std::max(hT, hF);
        for (int i = 0; i < kStrips; ++i) {
            const float u0 = kCellSize * i / kStrips, u1 = kCellSize * (i + 1) / kStrips;
            const float e0 = CurveEdge(c.Curve, u0), e1 = CurveEdge(c.Curve, u1);
            b.patch = floorPatch;
            Quad(b, pt(u0, 0, hT), pt(u0, e0, hT), pt(u1, e1, hT), pt(u1, 0, hT), st(u0, 0), st(u0, e0), st(u1, e1),
                 st(u1, 0), up, c.FloorMat, origin, true);
            Quad(b, pt(u0, e0, hF), pt(u0, kCellSize, hF), pt(u1, kCellSize, hF), pt(u1, e1, hF), st(u0, e0),
                 st(u0, kCellSize), st(u1, kCellSize), st(u1, e1), up, c.FloorMat, origin, true);
            const bool onEdge = (e0 <= 0 && e1 <= 0) || (e0 >= kCellSize && e1 >= kCellSize);
            if (hi > lo && !onEdge) {
                b.patch = riserPatch;
                // The riser faces the lower side.
                const Vec3 along = VecSub(pt(u1, e1, 0), pt(u0, e0, 0));
                Vec3 side{-along.z, 0, along.x};  // points towards larger w
                if (hT < hF) side = VecScale(side, -1);
                if (VecLength(side) > 1e-4f) {
                    const float s0 = static_cast<float>(i) / kStrips, s1 = static_cast<float>(i + 1) / kStrips;
                    Quad(b, pt(u0, e0, lo), pt(u0, e0, hi), pt(u1, e1, hi), pt(u1, e1, lo), {s0, 0}, {s0, 1}, {s1, 1},
                         {s1, 0}, side, c.SideMat, origin, false);
                }
            }
        }
        b.patch = riserPatch + 1;
    }

    void CeilingSurface(Builder& b, const CellGeo& c, float x0, float z0, const Vec3& origin) {
        const Vec3 down{0, -1, 0};
        auto pt = [&](float u, float w, float h) { return Vec3{x0 + u, h * kClick, z0 + w}; };
        const Vec3 sw = pt(0, 0, c.C[0]), se = pt(kCellSize, 0, c.C[1]), ne = pt(kCellSize, kCellSize, c.C[2]),
                   nw = pt(0, kCellSize, c.C[3]);
        const std::array<float, 2> SW{0, 0}, SE{1, 0}, NE{1, 1}, NW{0, 1};
        if (c.CeilingSplit) {  // SE-NW diagonal
            b.Tri(sw, se, nw, FlatUv(sw, origin), FlatUv(se, origin), FlatUv(nw, origin), SW, SE, NW, down,
                  c.CeilingMat);
            b.Tri(se, ne, nw, FlatUv(se, origin), FlatUv(ne, origin), FlatUv(nw, origin), SE, NE, NW, down,
                  c.CeilingMat);
        } else {  // SW-NE diagonal
            b.Tri(nw, sw, ne, FlatUv(nw, origin), FlatUv(sw, origin), FlatUv(ne, origin), NW, SW, NE, down,
                  c.CeilingMat);
            b.Tri(sw, se, ne, FlatUv(sw, origin), FlatUv(se, origin), FlatUv(ne, origin), SW, SE, NE, down,
                  c.CeilingMat);
        }
        ++b.patch;
    }

    // A quad p0..p3 as two triangles facing `want`; flat quads take world-aligned texture
    // coordinates, vertical ones run along their base.
    static void Quad(Builder& b, const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3,
                     std::array<float, 2> s0, std::array<float, 2> s1, std::array<float, 2> s2, std::array<float, 2> s3,
                     const Vec3& want, Material m, const Vec3& origin, bool flat) {
        std::array<float, 2> uv[4];
        const Vec3 ps[4] = {p0, p1, p2, p3};
        if (flat) {
            for (int i = 0; i < 4; ++i) uv[i] = FlatUv(ps[i], origin);
        } else {
            // u along the horizontal direction of the face, v down the world height.
            const bool alongX = std::fabs(want.z) > std::fabs(want.x);
            for (int i = 0; i < 4; ++i) {
                const float h = alongX ? ps[i].x + origin.x : ps[i].z + origin.z;
                uv[i] = {h / kCellSize, -(ps[i].y + origin.y) / kCellSize};
            }
        }
        b.Tri(p0, p1, p2, uv[0], uv[1], uv[2], s0, s1, s2, want, m);
        b.Tri(p0, p2, p3, uv[0], uv[2], uv[3], s0, s2, s3, want, m);
    }

    void WallSurfaces(Builder& b, const RoomGeo& g, int x, int z) {
        const CellGeo& a = g.At(x, z);
        struct Edge {
            int dx, dz;
            float u0, w0, u1, w1;  // endpoints in this cell's local coordinates
        };
        const Edge edges[4] = {{-1, 0, 0, 0, 0, kCellSize},
                               {1, 0, kCellSize, 0, kCellSize, kCellSize},
                               {0, -1, 0, 0, kCellSize, 0},
                               {0, 1, 0, kCellSize, kCellSize, kCellSize}};
        for (const Edge& e : edges) {
            const int nx = x + e.dx, nz = z + e.dz;
            const bool inside = g.Inside(nx, nz);
            const CellGeo* n = inside ? &g.At(nx, nz) : nullptr;
            const bool closed = n == nullptr || n->Solid;
            // The neighbour's local coordinates of the same endpoints.
            const float nu0 = e.u0 - e.dx * kCellSize, nw0 = e.w0 - e.dz * kCellSize;
            const float nu1 = e.u1 - e.dx * kCellSize, nw1 = e.w1 - e.dz * kCellSize;
            const float fa[2] = {FloorAt(a, e.u0, e.w0), FloorAt(a, e.u1, e.w1)};
            const float ca[2] = {CeilingAt(a, e.u0, e.w0), CeilingAt(a, e.u1, e.w1)};
            float fn[2] = {0, 0}, cn[2] = {0, 0};
            if (!closed) {
                fn[0] = FloorAt(*n, nu0, nw0);
                fn[1] = FloorAt(*n, nu1, nw1);
                cn[0] = CeilingAt(*n, nu0, nw0);
                cn[1] = CeilingAt(*n, nu1, nw1);
            }
            const Vec3 want{static_cast<float>(-e.dx), 0, static_cast<float>(-e.dz)};
            const Material mat = closed ? (n != nullptr ? n->SideMat : a.SideMat) : n->SideMat;
            float lo[2], hi[2];
            bool any = false;
            for (int i = 0; i < 2; ++i) {
                lo[i] = fa[i];
                hi[i] = closed ? ca[i] : std::min(fn[i], ca[i]);
                hi[i] = std::max(hi[i], lo[i]);
                any = any || hi[i] > lo[i] + 1e-3f;
            }
            if (any) WallQuad(b, x, z, e.u0, e.w0, e.u1, e.w1, lo, hi, want, mat, g.Origin);
            if (closed) continue;
            any = false;
            for (int i = 0; i < 2; ++i) {
                hi[i] = ca[i];
                lo[i] = std::min(std::max(cn[i], fa[i]), hi[i]);
                any = any || hi[i] > lo[i] + 1e-3f;
            }
            if (any) WallQuad(b, x, z, e.u0, e.w0, e.u1, e.w1, lo, hi, want, mat, g.Origin);
        }
    }

    static void WallQuad(Builder& b, int x, int z, float u0, float w0, float u1, float w1, const float lo[2],
                         const float hi[2], const Vec3& want, Material m, const Vec3& origin) {
        const float x0 = x * kCellSize, z0 = z * kCellSize;
        const float bottom = std::min(lo[0], lo[1]), top = std::max(hi[0], hi[1]);
        const float span = std::max(top - bottom, 1e-3f);
        auto t = [&](float h) { return (h - bottom) / span; };
        const Vec3 a0{x0 + u0, lo[0] * kClick, z0 + w0}, a1{x0 + u0, hi[0] * kClick, z0 + w0};
        const Vec3 b1{x0 + u1, hi[1] * kClick, z0 + w1}, b0{x0 + u1, lo[1] * kClick, z0 + w1};
        Quad(b, a0, a1, b1, b0, {0, t(lo[0])}, {0, t(hi[0])}, {1, t(hi[1])}, {1, t(lo[1])}, want, m, origin, false);
        ++b.patch;
    }

    void BuildSectors(LevelRoom& room, const std::vector<SurfaceTri>& tris) {
        const float w = room.Header.CellsX * kCellSize, d = room.Header.CellsZ * kCellSize;
        float minY = 0, maxY = room.Header.HeightCells * kCellSize;
        for (const SurfaceTri& t : tris)
            for (const Vec3& p : t.P) {
                minY = std::min(minY, p.y);
                maxY = std::max(maxY, p.y);
            }
        room.Header.MinY = minY;
        room.Header.MaxY = maxY;
        for (int j = 0; j < 4; ++j) {
            QuadtreeNode& n1 = room.Tree.Nodes[j];
            const int jx = j & 1, jz = j >> 1;
            for (int k = 0; k < 4; ++k) {
                const int kx = jx * 2 + (k & 1), kz = jz * 2 + (k >> 1);
                n1.Children[k].Box = {kx * w / 4, kz * d / 4, (kx + 1) * w / 4, (kz + 1) * d / 4};
            }
        }
        for (const SurfaceTri& t : tris) {
            const float cx = (t.P[0].x + t.P[1].x + t.P[2].x) / 3, cz = (t.P[0].z + t.P[1].z + t.P[2].z) / 3;
            const int kx = std::clamp(static_cast<int>(cx / (w / 4)), 0, 3),
                      kz = std::clamp(static_cast<int>(cz / (d / 4)), 0, 3);
            QuadtreeNode& n1 = room.Tree.Nodes[(kx >> 1) + 2 * (kz >> 1)];
            QuadtreeLeaf& n2 = n1.Children[(kx & 1) + 2 * (kz & 1)];
            QuadBox& box = n2.Box;
            for (const Vec3& p : t.P) {
                box.MinX = std::min(box.MinX, p.x);
                box.MaxX = std::max(box.MaxX, p.x);
                box.MinZ = std::min(box.MinZ, p.z);
                box.MaxZ = std::max(box.MaxZ, p.z);
            }
            n2.Sector.Triangles.push_back(t.Header);
            n2.Sector.Vertices.push_back(t.Verts);
            ++n2.Sector.Count;
        }
        for (QuadtreeNode& n1 : room.Tree.Nodes) {
            n1.Box = n1.Children[0].Box;
            n1.Used = 0;
            for (const QuadtreeLeaf& n2 : n1.Children) {
                n1.Box.MinX = std::min(n1.Box.MinX, n2.Box.MinX);
                n1.Box.MinZ = std::min(n1.Box.MinZ, n2.Box.MinZ);
                n1.Box.MaxX = std::max(n1.Box.MaxX, n2.Box.MaxX);
                n1.Box.MaxZ = std::max(n1.Box.MaxZ, n2.Box.MaxZ);
                if (n2.Sector.Count != 0) n1.Used = 1;
            }
        }
    }

    void BuildStart(LevelMap& map) {
        int index = -1;
        for (size_t r = 0; r < rooms_.size(); ++r)
            if (rooms_[r].Def->Name == src_.StartRoom) index = static_cast<int>(r);
        if (index < 0) Fail(src_.StartLine, "the start names no room '" + src_.StartRoom + "'");
        const RoomGeo& g = rooms_[static_cast<size_t>(index)];
        const int cx = static_cast<int>(std::floor(src_.StartX)), cz = static_cast<int>(std::floor(src_.StartZ));
        if (!g.Inside(cx, cz) || g.Border(cx, cz) || g.At(cx, cz).Solid || g.At(cx, cz).Hole)
            Fail(src_.StartLine, "the start must lie on the floor of an inner open cell of room '" + g.Def->Name + "'");
        const float u = (src_.StartX - cx) * kCellSize, w = (src_.StartZ - cz) * kCellSize;
        map.StartRoom = index;
        map.StartPosition = {g.Origin.x + src_.StartX * kCellSize, g.Origin.y + FloorAt(g.At(cx, cz), u, w) * kClick,
                             g.Origin.z + src_.StartZ * kCellSize};
    }

    // Every room's floor cells by footstep family, and the ambience emitters in world units.
    void BuildSounds(LevelSounds& sounds) const {
        for (size_t r = 0; r < rooms_.size(); ++r) {
            const RoomDef& def = *rooms_[r].Def;
            RoomFloorSounds floor;
            floor.CellsX = def.CellsX;
            floor.CellsZ = def.CellsZ;
            for (const CellDef& c : def.Cells) {
                const int material = c.FloorMat >= 0 ? c.FloorMat : def.FloorMat;
                floor.Cells.push_back(src_.Footsteps[static_cast<size_t>(material)]);
            }
            sounds.Rooms.push_back(std::move(floor));
            for (const AmbienceDef& a : def.Ambience) {
                const Vec3 at = {rooms_[r].Origin.x + a.X * kCellSize, rooms_[r].Origin.y + a.H * kClick,
                                 rooms_[r].Origin.z + a.Z * kCellSize};
                sounds.Emitters.push_back({static_cast<int32_t>(r), at, a.Radius * kCellSize, a.Volume, a.Sound});
            }
        }
    }

    void AddCharacter(LevelFileData& data, LevelSounds& sounds) {
        std::string path = src_.CharacterPath;
        if (!path.empty() && path[0] != '/' && !sourceDir_.empty()) path = sourceDir_ + "/" + path;
        // The pack's footfalls, when it was built with them, come along with its clips.
        LevelSounds packSounds;
        std::string error;
        const std::string soundsPath = LevelSoundsPath(path);
        if (std::error_code ec; std::filesystem::exists(soundsPath, ec)) {
            if (!LoadLevelSoundsFile(soundsPath, packSounds, error))
                Fail(src_.CharacterLine, "the character's sound file does not read: " + error);
            sounds.Footfalls = packSounds.Footfalls;
        }
        LevelFileData pack;
        try {
            ParseLevelFile(path, pack);
        } catch (const std::exception& e) {
            Fail(src_.CharacterLine, std::string("the character file does not read: ") + e.what());
        }
        if (pack.Level.MovableCount == 0) Fail(src_.CharacterLine, "the character file has no movables");
        try {
            AppendMovables(data, pack);
        } catch (const std::exception& e) {
            Fail(src_.CharacterLine, e.what());
        }
    }

    static uint32_t RgbToHls(uint8_t r8, uint8_t g8, uint8_t b8) {
        constexpr int kHls = 240, kRgb = 255;
        const int r = r8, g = g8, b = b8;
        const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
        const int l = ((mx + mn) * kHls + kRgb) / (2 * kRgb);
        int h = 0, s = 0;
        if (mx != mn) {
            s = l <= kHls / 2 ? ((mx - mn) * kHls + (mx + mn) / 2) / (mx + mn)
                              : ((mx - mn) * kHls + (2 * kRgb - mx - mn) / 2) / (2 * kRgb - mx - mn);
            const int rd = ((mx - r) * (kHls / 6) + (mx - mn) / 2) / (mx - mn);
            const int gd = ((mx - g) * (kHls / 6) + (mx - mn) / 2) / (mx - mn);
            const int bd = ((mx - b) * (kHls / 6) + (mx - mn) / 2) / (mx - mn);
            if (r == mx) h = bd - gd;
            else if (g == mx) h = kHls / 3 + rd - bd;
            else h = 2 * kHls / 3 + gd - rd;
            if (h < 0) h += kHls;
            if (h > kHls) h -= kHls;
        }
        return static_cast<uint32_t>(h) | static_cast<uint32_t>(std::clamp(s, 0, 240)) << 16 |
               static_cast<uint32_t>(std::clamp(l, 0, 240)) << 24;
    }

    const LevelSource& src_;
    std::string sourceDir_;
    std::string outputPath_;
    std::vector<RoomGeo> rooms_;
};

std::string ReadText(const std::string& path) {
    std::string text, error;
    const FileRead got = ReadWholeFile(path, kMaxSourceFileBytes, text, error);
    if (got == FileRead::Missing) throw SourceError(path + ":0: cannot open the file");
    if (got == FileRead::Refused) throw SourceError(error);
    return text;
}

int16_t CheckedCount(size_t n, const char* what) {
    if (n > static_cast<size_t>(std::numeric_limits<int16_t>::max()))
        throw std::runtime_error(std::string("too many ") + what + " for a level file");
    return static_cast<int16_t>(n);
}

}  // namespace

CompiledLevel CompileLevel(const LevelSource& source, const std::string& sourceDir, const std::string& outputPath) {
    return Compiler(source, sourceDir, outputPath).Run();
}

LevelSource ReadLevelSource(const std::string& sourcePath) {
    return ParseLevelSource(ReadText(sourcePath), sourcePath);
}

std::string SourceFolder(const std::string& sourcePath) {
    const size_t slash = sourcePath.find_last_of('/');
    return slash == std::string::npos ? "." : sourcePath.substr(0, slash);
}

CompiledLevel CompileLevelFile(const std::string& sourcePath, const std::string& outputPath) {
    return CompileLevel(ReadLevelSource(sourcePath), SourceFolder(sourcePath), outputPath);
}

void AppendMovables(LevelFileData& level, const LevelFileData& pack) {
    LevelRecord& dst = level.Level;
    const LevelRecord& src = pack.Level;
    const int textureShift = static_cast<int>(level.Textures.size());
    const int modelShift = static_cast<int>(dst.Models.size());
    const int skeletonShift = static_cast<int>(dst.Skeletons.size());
    const int animationShift = static_cast<int>(dst.Animations.size());

    level.Textures.insert(level.Textures.end(), pack.Textures.begin(), pack.Textures.end());
    dst.Models.insert(dst.Models.end(), src.Models.begin(), src.Models.end());
    dst.Skeletons.insert(dst.Skeletons.end(), src.Skeletons.begin(), src.Skeletons.end());
    dst.Animations.insert(dst.Animations.end(), src.Animations.begin(), src.Animations.end());
    std::vector<MovableRecord> movables = src.Movables;
    for (MovableRecord& m : movables) {
        m.TextureSlot = static_cast<int16_t>(m.TextureSlot + textureShift);
        m.ModelIndex = static_cast<int16_t>(m.ModelIndex + modelShift);
        m.SkeletonIndex = static_cast<int16_t>(m.SkeletonIndex + skeletonShift);
        for (ClipRecord& c : m.Clips) c.AnimationIndex = static_cast<int16_t>(c.AnimationIndex + animationShift);
    }
    dst.Movables.insert(dst.Movables.begin(), movables.begin(), movables.end());

    dst.TextureCount = CheckedCount(level.Textures.size(), "textures");
    dst.MovableCount = CheckedCount(dst.Movables.size(), "movables");
    dst.ModelCount = CheckedCount(dst.Models.size(), "models");
    dst.SkeletonCount = CheckedCount(dst.Skeletons.size(), "skeletons");
    dst.AnimationCount = CheckedCount(dst.Animations.size(), "animations");
}

void WriteCompiledLevel(const CompiledLevel& level, const std::string& outputPath) {
    const std::vector<uint8_t> bytes = WriteLevel(level.Data);
    const size_t slash = outputPath.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
    for (const LightmapImage& lm : level.Lightmaps)
        WriteFileAtomic(dir + lm.FileName, EncodeBmp24(lm.Width, lm.Height, lm.Rgb));
    std::string error;
    if (!WriteLevelSoundsFile(LevelSoundsPath(outputPath), level.Sounds, error)) throw std::runtime_error(error);
    WriteFileAtomic(outputPath, bytes);
}

}  // namespace dv
