#include "world/level_loader.h"

#include <filesystem>
#include <stdexcept>

#include "imaging/decode.h"
#include "render/texture_slots.h"

namespace dv {
namespace {

void LoadLightmaps(const LightmapTable& table, const std::string& path, TextureStore& store) {
    if (table.SkipBitmaps != 0) return;
    const std::string base = LightmapBaseName(path);
    // Beside the level, whatever the current directory is.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (size_t i = 0; i < table.Entries.size(); ++i) {
        if (table.Entries[i].Present == 0) continue;
        const std::string name = (folder / LightmapFileName(base, static_cast<int>(i))).string();
        std::error_code ec;
        if (!std::filesystem::is_regular_file(name, ec)) continue;
        Image image;
        std::string error;
        if (!DecodeImageFile(name, image, error)) throw std::runtime_error(error);
        store.LoadTileStrip(BitmapFromImage(image), table.Entries[i].FirstSlot);
    }
}

}  // namespace

void LoadLevelTextures(const LevelFileData& data, const std::string& path, TextureStore& store) {
    const LevelRecord& lev = data.Level;
    store.Clear();
    for (size_t i = 0; i < data.Textures.size(); ++i) {
        const PixelBlock& t = data.Textures[i];
        store.LoadRaw(kLevelTextureFirstSlot + static_cast<int>(i), t.Width, t.Height, t.Pixels.data(), false, 16,
                      false);
    }
    if (lev.StripATileCount > 0) {
        store.LoadRawStrip(kStripAFirstSlot, data.StripA.Pixels.data(), data.StripA.Width, data.StripA.Width,
                           lev.StripATileCount, 16);
    }
    if (lev.StripBTileCount > 0) {
        store.LoadRawStrip(kStripBFirstSlot, data.StripB.Pixels.data(), data.StripB.Width, data.StripB.Width,
                           lev.StripBTileCount, 16);
    }
    if (lev.BumpTileCount > 0) {
        store.LoadRawStrip(kBumpFirstSlot, data.BumpStrip.Pixels.data(), data.BumpStrip.Width, data.BumpStrip.Width,
                           lev.BumpTileCount, 16);
    }
    store.NoMipmaps = true;
    try {
        LoadLightmaps(lev.Lightmaps, path, store);
    } catch (...) {
        store.NoMipmaps = false;
        throw;
    }
    store.NoMipmaps = false;
}

void LoadLevel(LevelRecord& level, const std::string& path, TextureStore& store) {
    LevelFileData data;
    ParseLevelFile(path, data);
    LoadLevelTextures(data, path, store);
    level = std::move(data.Level);
}

}  // namespace dv
