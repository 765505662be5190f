// An offscreen 800 x 600 viewport with the game's fog and render settings and a level loaded
// into it, for the tools that render levels and characters to pictures.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/gl_window.h"
#include "render/texture_store.h"
#include "render/viewport.h"
#include "world/level_records.h"
#include "world/sorted_array.h"

namespace dvtool {

// Members are destroyed in reverse order, so the GL window outlives everything using it.
struct HeadlessView {
    std::unique_ptr<dv::GLWindow> Window;
    dv::Camera Camera;
    dv::Viewport Viewport;
    dv::TextureStore Store;
    dv::LevelRecord Level;
    dv::IdList Ids;  // object template ids, as the game fills them
};

// Opens the viewport and loads the level, changing into its folder so that its lightmaps are
// found. On failure prints one line naming `tool` or the file and returns false.
bool OpenHeadlessView(const char* tool, const std::filesystem::path& levelPath, HeadlessView& view);

}  // namespace dvtool
