// dvtool view-level LEVEL OUTDIR: renders every room of a level headless as the game draws it
// (device, viewport, portal walk, objects, lightmaps, fog) into OUTDIR/room<i>.png
// (800 x 600), from a camera near the room's south wall looking north, so that authors can
// look at a course without playing it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "imaging/png_write.h"
#include "platform/gl_window.h"
#include "render/texture_store.h"
#include "render/viewport.h"
#include "tools/dvtool/commands.h"
#include "tools/dvtool/headless_view.h"
#include "motion/collision.h"
#include "world/level_draw.h"
#include "world/level_loader.h"
#include "world/sorted_array.h"

namespace dvtool {

namespace {

struct Scene {
    dv::Viewport* Viewport = nullptr;
    const dv::LevelRecord* Level = nullptr;
    const dv::IdList* Ids = nullptr;
    int Room = 0;
    dv::LevelDrawScratch Scratch;
};

// The level as the game draws it: from the camera's room through its portals.
void DrawFromRoom(void* user) {
    auto& scene = *static_cast<Scene*>(user);
    dv::Viewport& vp = *scene.Viewport;
    vp.ClearTriangles();
    const dv::Vec3 o = scene.Level->Map.Rooms[static_cast<size_t>(scene.Room)].Header.Origin;
    dv::DrawLevelRoom(*scene.Level, scene.Room, *scene.Ids, o.x, o.y, o.z, vp, vp.ViewFrustum(), true, &scene.Scratch);
}

// A camera in the room: above the open inner cell of the second row nearest the middle,
// looking north along the room.
bool PlaceCamera(const dv::LevelMap& map, int r, dv::Camera& camera) {
    const dv::RoomHeader& h = map.Rooms[static_cast<size_t>(r)].Header;
    const int mid = h.CellsX / 2;
    for (int row = 1; row + 1 < h.CellsZ; ++row) {
        for (int d = 0; d < h.CellsX; ++d) {
            const int col = mid + ((d & 1) ? -(d + 1) / 2 : d / 2);
            if (col < 1 || col + 1 >= h.CellsX) continue;
            const float x = h.Origin.x + col * dv::kCellSize + 16, z = h.Origin.z + row * dv::kCellSize + 8;
            const dv::SurfaceHit s = dv::SurfaceQuery(map, r, x, z);
            if (s.Room != r || s.Ceiling - s.Floor < 48) continue;
            const float eye = std::min(s.Floor + 44, s.Ceiling - 8);
            camera.Position = {x, eye, z};
            camera.Target = {x, eye - 12, h.Origin.z + h.CellsZ * dv::kCellSize};
            return true;
        }
    }
    return false;
}

}  // namespace

int ViewLevel(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: dvtool view-level LEVEL OUTDIR\n", stderr);
        return 2;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path levelPath = fs::absolute(argv[1], ec);
    const fs::path outDir = fs::absolute(argv[2], ec);
    // A missing folder for the pictures is made; a path that names a file is an error.
    if (fs::create_directories(outDir, ec); ec || !fs::is_directory(outDir)) {
        std::fprintf(stderr, "dvtool view-level: %s: cannot make the folder\n", outDir.string().c_str());
        return 2;
    }
    HeadlessView view;
    if (!OpenHeadlessView("view-level", levelPath, view)) return 2;
    dv::Camera& camera = view.Camera;
    dv::Viewport& viewport = view.Viewport;
    const dv::LevelRecord& level = view.Level;
    const dv::IdList& ids = view.Ids;
    std::string error;
    Scene scene;
    scene.Viewport = &viewport;
    scene.Level = &level;
    scene.Ids = &ids;
    viewport.SetScene3D(&DrawFromRoom, &scene);

    for (size_t r = 0; r < level.Map.Rooms.size(); ++r) {
        scene.Room = static_cast<int>(r);
        if (!PlaceCamera(level.Map, scene.Room, camera)) continue;
        camera.UpdateView();
        viewport.RenderFrame();
        dv::FramePixels frame;
        if (!viewport.ReadFrame(frame)) {
            std::fputs("dvtool view-level: cannot read the frame\n", stderr);
            return 2;
        }
        const std::string out = (outDir / ("room" + std::to_string(r) + ".png")).string();
        if (!dv::WritePngFile(out, frame.Width, frame.Height, frame.Rgba.data(), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    return 0;
}

}  // namespace dvtool
