// dvtool surface FILE ROOM X Z: the floor and ceiling under a point of a level, as JSON.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "motion/collision.h"
#include "tools/dvtool/commands.h"
#include "world/level_file.h"

namespace dvtool {

namespace {

bool ParseInt(const char* s, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(s, &end, 10);
    return end != s && *end == '\0' && errno == 0;
}

bool ParseCoord(const char* s, float& out) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || errno != 0 || !std::isfinite(v) || std::fabs(v) > 3.0e38) return false;
    out = static_cast<float>(v);
    return true;
}

// Shortest text that reads back as the same float.
std::string Num(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void PrintVec(const char* name, const dv::Vec3& v) {
    std::printf("  \"%s\": [%s, %s, %s],\n", name, Num(v.x).c_str(), Num(v.y).c_str(), Num(v.z).c_str());
}

}  // namespace

int RunSurface(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: dvtool surface FILE ROOM X Z\n", stderr);
        return 2;
    }
    long room = 0;
    float x = 0, z = 0;
    if (!ParseInt(argv[2], room)) {
        std::fprintf(stderr, "dvtool surface: ROOM '%s' is not an integer\n", argv[2]);
        return 2;
    }
    if (!ParseCoord(argv[3], x) || !ParseCoord(argv[4], z)) {
        std::fprintf(stderr, "dvtool surface: X and Z must be finite numbers, got '%s' '%s'\n", argv[3], argv[4]);
        return 2;
    }
    dv::LevelFileData data;
    try {
        dv::ParseLevelFile(argv[1], data);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    const dv::LevelMap& map = data.Level.Map;
    if (room < 0 || room >= static_cast<long>(map.Rooms.size())) {
        std::fprintf(stderr, "%s: room %ld does not exist (the level has %zu rooms)\n", argv[1], room,
                     map.Rooms.size());
        return 2;
    }
    const dv::SurfaceHit h = dv::SurfaceQuery(map, static_cast<int>(room), x, z);
    std::printf("{\n  \"floor\": %s,\n", Num(h.Floor).c_str());
    PrintVec("floorNormal", h.FloorNormal);
    std::printf("  \"ceiling\": %s,\n", Num(h.Ceiling).c_str());
    PrintVec("ceilingNormal", h.CeilingNormal);
    std::printf("  \"room\": %d,\n  \"inside\": %s,\n  \"border\": %s,\n  \"column\": %d,\n  \"row\": %d\n}\n",
                static_cast<int>(h.Room), h.Inside ? "true" : "false", h.Border ? "true" : "false",
                static_cast<int>(h.Column), static_cast<int>(h.Row));
    return 0;
}

}  // namespace dvtool
