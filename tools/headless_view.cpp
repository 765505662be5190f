#include "tools/headless_view.h"


#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "render/store_source.h"
#include "world/level_loader.h"

namespace dvtool {

bool OpenHeadlessView(const char* tool, const std::filesystem::path& levelPath, HeadlessView& view) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::string error;
    view.window = dv::GLWindow::Create(tool, 800, 600, false, false, error);
    if (!view.window || !dv::CheckDirect3D()) {
        std::fprintf(stderr, "dvtool %s: no OpenGL 3.3 context: %s\n", tool, error.c_str());
        return false;
    }
    dv::FarPlane = 4224;
    dv::FogStart = 192;
    dv::FogEnd = 1024;
    dv::FogOffset = -64;
    dv::FogEnabled = true;
    dv::Viewport& viewport = view.viewport;
    viewport.SetCamera(&view.camera);
    viewport.DepthEnabled = true;
    viewport.ModulateShift = 1;
    viewport.Setup(view.window->Window(), 800, 600, false);
    viewport.SetClearColor(dv::PackColor(0, 0, 0, 255));
    dv::ApplyFog();

    view.store.MipCount = 4;
    try {
        dv::LoadLevel(view.level, levelPath.string(), view.store);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    viewport.AnimatedTextures[0] = view.level.AnimSetA;
    viewport.AnimatedTextures[1] = view.level.AnimSetB;
    viewport.LevelLimit = view.level.BumpTileCount;
    viewport.SetTextureSource(dv::StoreTextureSource(view.store));
    for (size_t i = 0; i < view.level.Objects.size(); ++i)
        view.ids.Add(static_cast<int32_t>(i), view.level.Objects[i].Id);
    return true;
}

}  // namespace dvtool
