// Loading a level: the file is parsed and checked whole, then its textures go to the store.
#pragma once

#include <string>

#include "render/texture_store.h"
#include "world/level_file.h"

namespace dv {

// Fills `level` from the file at `path` and loads every level texture into `store`, each range
// at its slot of render/texture_slots.h (level textures, strips A and B, the bump strip), and
// the lightmap bitmaps "<base>_lm<i>.bmp" from the level file's folder (single mip level;
// missing ones skipped). Throws LevelError on a malformed file, before any texture changes,
// and std::runtime_error when a lightmap bitmap exists but does not decode.
void LoadLevel(LevelRecord& level, const std::string& path, TextureStore& store);

// The texture step of LoadLevel for an already parsed file; `path` gives the lightmap base.
void LoadLevelTextures(const LevelFileData& data, const std::string& path, TextureStore& store);

}  // namespace dv
