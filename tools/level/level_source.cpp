#include "tools/level/level_source.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace dv {

namespace {

constexpr const char* kMaterialNames[kMaterialCount] = {"stone", "brick",  "planks", "metal", "moss",  "sand", "tiles",
                                                        "rock",  "marble", "grate",  "glow",  "water", "lava", "falls"};
constexpr const char* kObjectNames[kObjectKindCount] = {"pillar", "crate", "torch", "statue", "grate", "glow"};

int ReadMaterial(SourceLine& r) {
    const std::string w = r.Word("material");
    for (int i = 0; i < kMaterialCount; ++i)
        if (w == kMaterialNames[i]) return i;
    r.Fail("unknown material '" + w + "'");
}

// Reads one height or four corner heights (SW SE NE NW).
std::array<int, 4> Heights(SourceLine& r, const char* what) {
    std::array<int, 4> h{};
    h[0] = r.Int(what, -32000, 32000);
    if (!r.NextIsNumber()) {
        h[1] = h[2] = h[3] = h[0];
        return h;
    }
    for (int i = 1; i < 4; ++i) h[i] = r.Int(what, -32000, 32000);
    return h;
}

CellDef ParseLegend(SourceLine& r) {
    CellDef c;
    while (!r.Done()) {
        const std::string p = r.Word("cell property");
        if (p == "floor") c.Floor = Heights(r, "floor height");
        else if (p == "ceil") {
            c.Ceiling = Heights(r, "ceiling height");
            c.HasCeiling = true;
        } else if (p == "solid") c.Solid = true;
        else if (p == "split") c.Split = true;
        else if (p == "csplit") c.CeilingSplit = true;
        else if (p == "curve") c.Curve = r.Int("curve shape", 1, 4);
        else if (p == "door") c.Door = true;
        else if (p == "hole") c.Hole = true;
        else if (p == "open") c.Open = true;
        else if (p == "exit") c.Exit = true;
        else if (p == "mat") c.FloorMat = ReadMaterial(r);
        else if (p == "cmat") c.CeilingMat = ReadMaterial(r);
        else if (p == "side") c.SideMat = ReadMaterial(r);
        else r.Fail("unknown cell property '" + p + "'");
    }
    if (c.Solid && (c.Door || c.Hole || c.Open || c.Exit))
        r.Fail("a solid cell cannot be a door, hole, opening or exit");
    if (c.Door && (c.Hole || c.Open)) r.Fail("a door cell cannot be a shaft");
    if (c.Curve != 0 && c.Hole) r.Fail("a curved floor cannot be a hole");
    return c;
}

LightDef ParseLight(SourceLine& r) {
    LightDef l;
    const std::string type = r.Word("light type");
    if (type == "point") l.Type = LightType::Point;
    else if (type == "spot") l.Type = LightType::Spot;
    else if (type == "omni") l.Type = LightType::Omni;
    else if (type == "directional") l.Type = LightType::Directional;
    else r.Fail("unknown light type '" + type + "'");
    l.X = static_cast<float>(r.Number("light x"));
    l.Z = static_cast<float>(r.Number("light z"));
    l.H = static_cast<float>(r.Number("light height"));
    bool hasRange = false, hasDir = false;
    while (!r.Done()) {
        const std::string p = r.Word("light property");
        if (p == "colour" || p == "color") {
            for (uint8_t& c : l.Rgb) c = static_cast<uint8_t>(r.Int("colour", 0, 255));
        } else if (p == "range") {
            l.Inner = static_cast<float>(r.Number("inner range"));
            l.Outer = static_cast<float>(r.Number("outer range"));
            if (l.Inner < 0 || l.Outer < l.Inner || l.Outer > 127 * 16)
                r.Fail("ranges must satisfy 0 <= inner <= outer <= 2032");
            hasRange = true;
        } else if (p == "dir") {
            for (float& d : l.Dir) d = static_cast<float>(r.Number("direction"));
            if (l.Dir[0] == 0 && l.Dir[1] == 0 && l.Dir[2] == 0) r.Fail("the direction is zero");
            hasDir = true;
        } else if (p == "cone") {
            l.InnerDeg = static_cast<float>(r.Number("inner cone angle"));
            l.OuterDeg = static_cast<float>(r.Number("outer cone angle"));
            if (l.InnerDeg < 0 || l.OuterDeg <= l.InnerDeg || l.OuterDeg >= 90)
                r.Fail("cone angles must satisfy 0 <= inner < outer < 90");
            l.HasCone = true;
        } else if (p == "width") {
            l.Width = r.Int("spot width", 0, 127);
        } else if (p == "nomodels") {
            l.NoModels = true;
        } else {
            r.Fail("unknown light property '" + p + "'");
        }
    }
    const bool spot = l.Type == LightType::Spot;
    if ((spot || l.Type == LightType::Directional) && !hasDir) r.Fail("this light needs 'dir'");
    if (spot && l.HasCone == (l.Width >= 0)) r.Fail("a spot light needs either 'cone' or 'width'");
    if (!spot && (l.HasCone || l.Width >= 0)) r.Fail("only spot lights have 'cone' or 'width'");
    if ((l.Type == LightType::Point || (spot && l.HasCone)) && !hasRange) r.Fail("this light needs 'range'");
    if (spot && l.HasCone && l.Inner < 16) r.Fail("a cone spot needs an inner range of at least 16");
    return l;
}

ObjectDef ParseObject(SourceLine& r) {
    ObjectDef o;
    const std::string kind = r.Word("object kind");
    bool found = false;
    for (int i = 0; i < kObjectKindCount; ++i) {
        if (kind == kObjectNames[i]) {
            o.Kind = static_cast<ObjectKind>(i);
            found = true;
        }
    }
    if (!found) r.Fail("unknown object kind '" + kind + "'");
    o.X = static_cast<float>(r.Number("object x"));
    o.Z = static_cast<float>(r.Number("object z"));
    o.H = static_cast<float>(r.Number("object height"));
    if (!r.Done()) {
        r.Expect("turn");
        o.Turn = r.Int("turn", -7, 7);
    }
    r.End();
    return o;
}

AmbienceDef ParseAmbience(SourceLine& r) {
    AmbienceDef a;
    a.Sound = r.Word("ambience sound");
    if (!IsValidSoundName(a.Sound)) r.Fail("ambience sound '" + a.Sound + "' is not 1..23 of a-z, 0-9, _");
    a.X = static_cast<float>(r.Number("ambience x"));
    a.Z = static_cast<float>(r.Number("ambience z"));
    a.H = static_cast<float>(r.Number("ambience height"));
    r.Expect("radius");
    a.Radius = static_cast<float>(r.Number("ambience radius"));
    if (!(a.Radius > 0 && a.Radius <= 100)) r.Fail("ambience radius outside 0..100 cells");
    if (!r.Done()) {
        r.Expect("volume");
        a.Volume = static_cast<float>(r.Number("ambience volume"));
        if (!(a.Volume >= 0 && a.Volume <= 1)) r.Fail("ambience volume outside 0..1");
    }
    r.End();
    return a;
}

class Parser {
public:
    Parser(const std::string& text, const std::string& fileName) : in_(text, fileName) {}

    LevelSource Run() {
        LevelSource src;
        src.FileName = in_.File();
        while (!in_.AtEnd()) {
            const int lineNo = in_.NextNumber();
            SourceLine r = in_.Next();
            if (r.Done()) continue;
            const std::string kw = r.Word("statement");
            if (kw == "room") {
                RoomDef room;
                room.Name = r.Word("room name");
                room.Line = lineNo;
                r.End();
                for (const RoomDef& other : src.Rooms)
                    if (other.Name == room.Name) r.Fail("room '" + room.Name + "' is defined twice");
                ParseRoom(room);
                src.Rooms.push_back(std::move(room));
            } else if (kw == "start") {
                if (src.StartLine != 0) r.Fail("the start is given twice");
                src.StartRoom = r.Word("start room");
                src.StartX = static_cast<float>(r.Number("start x"));
                src.StartZ = static_cast<float>(r.Number("start z"));
                if (!r.Done()) r.Number("heading");
                r.End();
                src.StartLine = lineNo;
            } else if (kw == "footstep") {
                const int material = ReadMaterial(r);
                const std::string sound = r.Word("footstep sound");
                if (!FloorSoundFromName(sound, src.Footsteps[static_cast<size_t>(material)]))
                    r.Fail("unknown footstep sound '" + sound + "' (stone, wood, metal, gravel, water)");
                r.End();
            } else if (kw == "character") {
                if (src.CharacterLine != 0) r.Fail("only one 'character' statement is allowed");
                src.CharacterPath = r.Word("character file");
                r.End();
                src.CharacterLine = lineNo;
            } else {
                r.Fail("unknown statement '" + kw + "'");
            }
        }
        const int lastLine = in_.Count();
        if (src.Rooms.empty()) in_.Fail(lastLine, "the level has no rooms");
        if (src.Rooms.size() > 254) in_.Fail(src.Rooms[254].Line, "more than 254 rooms");
        if (src.StartLine == 0) in_.Fail(lastLine, "the level has no 'start'");
        return src;
    }

private:
    void ParseRoom(RoomDef& room) {
        std::map<char, CellDef> legend;
        bool haveMap = false;
        while (true) {
            if (in_.AtEnd()) in_.Fail(room.Line, "room '" + room.Name + "' has no 'end'");
            const int lineNo = in_.NextNumber();
            SourceLine r = in_.Next();
            if (r.Done()) continue;
            const std::string kw = r.Word("room statement");
            if (kw == "end") {
                r.End();
                if (!haveMap) r.Fail("room '" + room.Name + "' has no map");
                for (const LightDef& l : room.Lights) CheckInside(room, l.X, l.Z, l.Line, "light");
                for (const ObjectDef& o : room.Objects) CheckInside(room, o.X, o.Z, o.Line, "object");
                for (const AmbienceDef& a : room.Ambience) CheckInside(room, a.X, a.Z, a.Line, "ambience");
                return;
            }
            if (kw == "origin") {
                room.OriginX = r.Int("origin x", -2000, 2000);
                room.OriginZ = r.Int("origin z", -2000, 2000);
                room.OriginY = r.Int("origin y", -32000, 32000);
            } else if (kw == "height") {
                room.HeightCells = r.Int("room height", 1, 60);
            } else if (kw == "ambient") {
                for (uint8_t& c : room.Ambient) c = static_cast<uint8_t>(r.Int("ambient colour", 0, 255));
            } else if (kw == "floor") {
                room.FloorMat = ReadMaterial(r);
            } else if (kw == "ceiling") {
                room.CeilingMat = ReadMaterial(r);
            } else if (kw == "wall") {
                room.WallMat = ReadMaterial(r);
            } else if (kw == "cell") {
                const std::string c = r.Word("legend character");
                if (c.size() != 1 || c[0] == '#') r.Fail("a legend character is one character other than '#'");
                legend[c[0]] = ParseLegend(r);
            } else if (kw == "map") {
                if (haveMap) r.Fail("room '" + room.Name + "' has two maps");
                r.End();
                ParseMap(room, legend, lineNo);
                haveMap = true;
                continue;
            } else if (kw == "light") {
                LightDef l = ParseLight(r);
                l.Line = lineNo;
                room.Lights.push_back(l);
                continue;
            } else if (kw == "ambience") {
                AmbienceDef a = ParseAmbience(r);
                a.Line = lineNo;
                room.Ambience.push_back(a);
                continue;
            } else if (kw == "object") {
                ObjectDef o = ParseObject(r);
                o.Line = lineNo;
                room.Objects.push_back(o);
                continue;
            } else {
                r.Fail("unknown room statement '" + kw + "'");
            }
            r.End();
        }
    }

    void CheckInside(const RoomDef& room, float x, float z, int line, const char* what) const {
        if (x < 0 || z < 0 || x > room.CellsX || z > room.CellsZ)
            in_.Fail(line, std::string("the ") + what + " lies outside room '" + room.Name + "'");
    }

    void ParseMap(RoomDef& room, const std::map<char, CellDef>& legend, int mapLine) {
        std::vector<std::string> rows;
        std::vector<int> rowLines;
        while (true) {
            if (in_.AtEnd()) in_.Fail(mapLine, "the map has no 'endmap'");
            const int lineNo = in_.NextNumber();
            std::string row = in_.NextText();
            const size_t a = row.find_first_not_of(" \t");
            if (a == std::string::npos) continue;
            row = row.substr(a, row.find_last_not_of(" \t") + 1 - a);
            if (row == "endmap") break;
            if (!rows.empty() && row.size() != rows[0].size())
                in_.Fail(lineNo, "map row has " + std::to_string(row.size()) + " cells, the first row " +
                                     std::to_string(rows[0].size()));
            rows.push_back(row);
            rowLines.push_back(lineNo);
        }
        if (rows.size() < 3 || rows[0].size() < 3) in_.Fail(mapLine, "a map needs at least 3 x 3 cells");
        if (rows.size() > 255 || rows[0].size() > 255) in_.Fail(mapLine, "a map has at most 255 x 255 cells");
        room.CellsX = static_cast<int>(rows[0].size());
        room.CellsZ = static_cast<int>(rows.size());
        room.Cells.assign(static_cast<size_t>(room.CellsX * room.CellsZ), CellDef{});
        room.CellLines.assign(room.Cells.size(), 0);
        for (int row = 0; row < room.CellsZ; ++row) {
            const int z = room.CellsZ - 1 - row;  // the first row is the north edge
            for (int x = 0; x < room.CellsX; ++x) {
                const char ch = rows[static_cast<size_t>(row)][static_cast<size_t>(x)];
                const auto it = legend.find(ch);
                if (it == legend.end())
                    in_.Fail(rowLines[static_cast<size_t>(row)],
                             std::string("no legend for '") + ch + "' in room '" + room.Name + "'");
                room.At(x, z) = it->second;
                room.CellLines[static_cast<size_t>(x * room.CellsZ + z)] = rowLines[static_cast<size_t>(row)];
            }
        }
    }

    SourceLines in_;
};

}  // namespace

std::array<FloorSound, kMaterialCount> LevelSource::DefaultFootsteps() {
    std::array<FloorSound, kMaterialCount> f{};
    f.fill(FloorSound::Stone);
    f[static_cast<size_t>(Material::Planks)] = FloorSound::Wood;
    f[static_cast<size_t>(Material::Metal)] = FloorSound::Metal;
    f[static_cast<size_t>(Material::Grate)] = FloorSound::Metal;
    f[static_cast<size_t>(Material::Moss)] = FloorSound::Gravel;
    f[static_cast<size_t>(Material::Sand)] = FloorSound::Gravel;
    f[static_cast<size_t>(Material::Water)] = FloorSound::Water;
    f[static_cast<size_t>(Material::Falls)] = FloorSound::Water;
    return f;
}

const char* MaterialName(Material m) { return kMaterialNames[static_cast<int>(m)]; }
const char* ObjectKindName(ObjectKind k) { return kObjectNames[static_cast<int>(k)]; }

LevelSource ParseLevelSource(const std::string& text, const std::string& fileName) {
    return Parser(text, fileName).Run();
}

}  // namespace dv
