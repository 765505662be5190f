// dvtool view-level LEVEL OUTDIR: renders every room of a level headless with the engine's
// device and viewport into OUTDIR/room<i>.png (800 x 600), from a camera in a corner of the
// room looking across it. All rooms are drawn at their origins with their objects, the
// level's textures, lightmaps and fog, so that authors can look at a course without playing.
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
#include "tools/commands.h"
#include "world/level_loader.h"

namespace dvtool {

namespace {

struct Scene {
    dv::TLevFile* level = nullptr;
};

dv::Texture* Lookup(void* user, int32_t slot) {
    auto* store = static_cast<dv::Td3dTexture_buffer*>(user);
    store->Select(slot);
    return store->GetCurrent();
}

// Every room's sectors at the room's origin, and every placed object (turned, scaled by 3.2,
// shaded by its normal), appended to the viewport.
void DrawAll(void* user) {
    const dv::TLevFile& level = *static_cast<Scene*>(user)->level;
    dv::TGLViewport& vp = *dv::RegisteredViewport();
    vp.ClearTriangles();
    for (const dv::Tqtroom& room : level.Map.Rooms) {
        const dv::Vec3 o = room.Header.Origin;
        for (const dv::tqtlevel1& n1 : room.Tree.Nodes) {
            for (const dv::tqtlevel2& n2 : n1.Children) {
                std::vector<dv::ttriangle_vertices> v = n2.Sector.Vertices;
                for (dv::ttriangle_vertices& t : v)
                    for (dv::tvertex3d& p : t.V) p.Position = dv::VecAdd(p.Position, o);
                if (n2.Sector.Count > 0) vp.AddTriangles(n2.Sector.Triangles.data(), v.data(), n2.Sector.Count);
            }
        }
        for (const dv::tobject_instance& inst : room.Instances) {
            const dv::tmv_object* tmpl = nullptr;
            for (const dv::tmv_object& ob : level.Objects)
                if (ob.Id == inst.ObjectId) tmpl = &ob;
            if (tmpl == nullptr) continue;
            const dv::tmv_model& model = level.Models[static_cast<size_t>(tmpl->ModelIndex)];
            const float a = inst.Turn * 45.0f * 3.14159265f / 180.0f, c = std::cos(a), s = std::sin(a);
            const dv::Vec3 at = dv::VecAdd(o, dv::VecScale(inst.Position, 32.0f));
            auto place = [&](const dv::Vec3& p) {
                return dv::Vec3{at.x + 3.2f * (p.x * c + p.z * s), at.y + 3.2f * p.y, at.z + 3.2f * (-p.x * s + p.z * c)};
            };
            for (const dv::tmv_face& f : model.Faces) {
                dv::ttriangle h{};
                dv::ttriangle_vertices t{};
                h.Texture = static_cast<uint16_t>(tmpl->TextureSlot + f.Texture);
                h.BlendType = f.Blend;
                h.Layers = 1;
                const dv::Vec3& n = model.Vertices[f.Vertex[0]].Normal;
                const int shade = static_cast<int>(150 + 60 * std::fabs(n.y) + 40 * n.x);
                for (int k = 0; k < 3; ++k) {
                    t.V[k].Position = place(model.Vertices[f.Vertex[k]].Position);
                    t.V[k].Diffuse = 0xFF000000u | static_cast<uint32_t>(shade) * 0x010101u;
                    t.V[k].U = f.Uv[k][0];
                    t.V[k].V = f.Uv[k][1];
                }
                vp.AddTriangles(&h, &t, 1);
            }
        }
    }
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
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::string error;
    auto window = dv::GLWindow::Create("view-level", 800, 600, false, false, error);
    if (!window || !dv::CheckDirect3D()) {
        std::fprintf(stderr, "dvtool view-level: no OpenGL 3.3 context: %s\n", error.c_str());
        return 2;
    }
    dv::FarPlane = 4224;
    dv::FogStart = 192;
    dv::FogEnd = 1024;
    dv::FogOffset = -64;
    dv::FogEnabled = true;
    dv::TGLCamera camera;
    dv::TGLViewport viewport;
    viewport.SetCamera(&camera);
    viewport.DepthEnabled = true;
    viewport.ModulateShift = 1;
    viewport.Setup(window->Window(), 800, 600, false);
    viewport.SetClearColor(dv::PackColor(0, 0, 0, 255));
    dv::ApplyFog();

    dv::Td3dTexture_buffer store;
    store.MipCount = 4;
    dv::TLevFile level;
    try {
        // Lightmaps are named relative to the current directory: the level's own folder.
        if (chdir(levelPath.parent_path().c_str()) != 0) throw std::runtime_error(levelPath.string() + ": no such folder");
        dv::LoadLevel(level, levelPath.string(), store);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    viewport.AnimatedTextures[0] = level.AnimSetA;
    viewport.AnimatedTextures[1] = level.AnimSetB;
    viewport.LevelLimit = level.BumpTileCount;
    viewport.SetTextureSource({&store, &Lookup});
    Scene scene{&level};
    viewport.SetScene3D(&DrawAll, &scene);

    for (size_t r = 0; r < level.Map.Rooms.size(); ++r) {
        const dv::Tqtroom& room = level.Map.Rooms[r];
        const dv::tqtroom_header& h = room.Header;
        // From the inner south-west corner, 40 units above the room's floor reference,
        // towards the far corner at floor height.
        camera.Position = {h.Origin.x + 40, h.Origin.y + 56, h.Origin.z + 40};
        camera.Target = {h.Origin.x + h.CellsX * 32.0f - 48, h.Origin.y + 16, h.Origin.z + h.CellsZ * 32.0f - 48};
        camera.UpdateView();
        viewport.RenderFrame();
        std::vector<uint8_t> rgba;
        if (dv::D3DDevice() == nullptr || !dv::D3DDevice()->ReadPixels(0, 0, 800, 600, rgba)) {
            std::fputs("dvtool view-level: cannot read the frame\n", stderr);
            return 2;
        }
        const std::string out = (outDir / ("room" + std::to_string(r) + ".png")).string();
        if (!dv::WritePngFile(out, 800, 600, rgba.data(), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    return 0;
}

}  // namespace dvtool
