#include "tools/dvtool/headless_view.h"

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
    view.Window = dv::GLWindow::Create(tool, 800, 600, false, false, error);
    dv::Viewport& viewport = view.Viewport;
    if (!view.Window || !viewport.OpenGraphics()) {
        std::fprintf(stderr, "dvtool %s: no OpenGL 3.3 context: %s\n", tool, error.c_str());
        return false;
    }
    viewport.FarPlane = 4224;
    viewport.Fog.Start = 192;
    viewport.Fog.End = 1024;
    viewport.Fog.Offset = -64;
    viewport.Fog.Enabled = true;
    viewport.SetCamera(&view.Camera);
    viewport.DepthEnabled = true;
    viewport.ModulateShift = 1;
    if (!viewport.Setup(view.Window->Window(), 800, 600, false)) {
        std::fprintf(stderr, "dvtool %s: no graphics device can be made\n", tool);
        return false;
    }
    viewport.SetClearColor(dv::PackColor(0, 0, 0, 255));
    viewport.ApplyFog();

    view.Store.MipCount = 4;
    try {
        dv::LoadLevel(view.Level, levelPath.string(), view.Store);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    viewport.AnimatedTextures[0] = view.Level.AnimSetA;
    viewport.AnimatedTextures[1] = view.Level.AnimSetB;
    viewport.LevelLimit = view.Level.BumpTileCount;
    viewport.SetTextureSource(dv::StoreTextureSource(view.Store));
    for (size_t i = 0; i < view.Level.Objects.size(); ++i)
        view.Ids.Add(static_cast<int32_t>(i), view.Level.Objects[i].Id);
    return true;
}

}  // namespace dvtool
