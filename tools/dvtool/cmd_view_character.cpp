// dvtool view-character LEVEL OUTDIR CLIP:FRAME...: renders the level's character (movable 0)
// headless as the game draws it (animator pose and skinning, room lights, level around it) at
// the level's start, seen from in front and to its left, one OUTDIR/character_<clip>_<frame>.png
// (800 x 600) per pose.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "imaging/png_write.h"
#include "models/animator.h"
#include "platform/gl_window.h"
#include "render/texture_store.h"
#include "render/viewport.h"
#include "tools/dvtool/commands.h"
#include "tools/dvtool/headless_view.h"
#include "world/level_draw.h"
#include "world/level_loader.h"
#include "world/room_model.h"
#include "world/sorted_array.h"

namespace dvtool {
namespace {

struct CharacterScene {
    dv::Viewport* View = nullptr;
    const dv::LevelRecord* Level = nullptr;
    const dv::IdList* Ids = nullptr;
    dv::Animator* CharacterModel = nullptr;
    dv::LightList Lights;
    dv::TriangleBuffer Triangles;
    dv::LevelDrawScratch Scratch;
};

// The level from the start room, then the character at the start position facing +z.
void DrawScene(void* user) {
    auto& s = *static_cast<CharacterScene*>(user);
    dv::Viewport& vp = *s.View;
    vp.ClearTriangles();
    const dv::LevelMap& map = s.Level->Map;
    const dv::Vec3 o = map.Rooms[static_cast<size_t>(map.StartRoom)].Header.Origin;
    dv::DrawLevelRoom(*s.Level, map.StartRoom, *s.Ids, o.x, o.y, o.z, vp, vp.ViewFrustum(), true, &s.Scratch);
    const dv::Mat4 m = dv::MatScaling(3.2f, 3.2f, 3.2f);
    const dv::MovableRecord& mv = s.Level->Movables[0];
    s.Triangles.Count = 0;
    const dv::Vec3 p = map.StartPosition;
    dv::DrawMovableModel(mv.TextureSlot, -1, *s.CharacterModel->Model(), p.x, p.y, p.z, m, s.Triangles,
                         dv::ViewportDrawTarget(vp), vp.ViewFrustum(), s.Lights, &s.CharacterModel->SkinnedVertices());
    vp.AddTriangles(s.Triangles.Triangles.data(), s.Triangles.Vertices.data(), s.Triangles.Count);
}

bool ParsePose(const std::string& text, int& clip, int& frame) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    char* end = nullptr;
    clip = static_cast<int>(std::strtol(text.c_str(), &end, 10));
    if (end != text.c_str() + colon) return false;
    frame = static_cast<int>(std::strtol(text.c_str() + colon + 1, &end, 10));
    return *end == '\0' && end != text.c_str() + colon + 1 && clip >= 0 && frame >= 0;
}

}  // namespace

int ViewCharacter(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: dvtool view-character LEVEL OUTDIR CLIP:FRAME...\n", stderr);
        return 2;
    }
    std::vector<std::pair<int, int>> poses;
    for (int i = 3; i < argc; ++i) {
        int clip = 0, frame = 0;
        if (!ParsePose(argv[i], clip, frame)) {
            std::fprintf(stderr, "dvtool view-character: '%s' is not CLIP:FRAME\n", argv[i]);
            return 2;
        }
        poses.emplace_back(clip, frame);
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path levelPath = fs::absolute(argv[1], ec);
    const fs::path outDir = fs::absolute(argv[2], ec);
    HeadlessView view;
    if (!OpenHeadlessView("view-character", levelPath, view)) return 2;
    dv::Camera& camera = view.Camera;
    dv::Viewport& viewport = view.Viewport;
    const dv::LevelRecord& level = view.Level;
    const dv::IdList& ids = view.Ids;
    std::string error;
    if (level.MovableCount < 1) {
        std::fprintf(stderr, "%s: the level has no character\n", levelPath.string().c_str());
        return 2;
    }
    dv::Animator character;
    character.Create(level);
    if (!character.BindMovable(0)) {
        std::fprintf(stderr, "%s: movable 0 has no model or skeleton\n", levelPath.string().c_str());
        return 2;
    }
    CharacterScene scene;
    scene.View = &viewport;
    scene.Level = &level;
    scene.Ids = &ids;
    scene.CharacterModel = &character;
    const dv::Vec3 start = level.Map.StartPosition;
    const dv::Vec3 o = level.Map.Rooms[static_cast<size_t>(level.Map.StartRoom)].Header.Origin;
    dv::BuildRoomLights(level, level.Map.StartRoom, scene.Lights, o.x, o.y, o.z);
    viewport.SetScene3D(&DrawScene, &scene);
    camera.Position = {start.x - 22, start.y + 24, start.z + 48};
    camera.Target = {start.x, start.y + 12, start.z};
    camera.UpdateView();

    for (const auto& [clip, frame] : poses) {
        character.SelectClip(clip);
        character.SetFrame(frame);
        character.Animating = false;
        character.Update();
        viewport.RenderFrame();
        dv::FramePixels pixels;
        if (!viewport.ReadFrame(pixels)) {
            std::fputs("dvtool view-character: cannot read the frame\n", stderr);
            return 2;
        }
        const std::string out =
            (outDir / ("character_" + std::to_string(clip) + "_" + std::to_string(frame) + ".png")).string();
        if (!dv::WritePngFile(out, pixels.Width, pixels.Height, pixels.Rgba.data(), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    return 0;
}

}  // namespace dvtool
