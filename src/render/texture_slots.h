// The numbered slots of the texture store and what each range holds. A level's file numbers
// its textures from 0; the loader puts each range at its first slot here. The font takes the
// first slot nothing holds (TextureStore::FirstFreeSlot).
#pragma once

#include <cstdint>

namespace dv {

// The wall materials of strip B, from 1; the first BumpTileCount of them get the bump effect.
inline constexpr int32_t kStripBFirstSlot = 1;
// The level's textures (a movable's or object's TextureSlot is its file value + this).
inline constexpr int32_t kLevelTextureFirstSlot = 1001;
// The tiles of strip A.
inline constexpr int32_t kStripAFirstSlot = 2001;
// The lightmap tiles, up to the bump strip: at most 1000 of them.
inline constexpr int32_t kLightmapFirstSlot = 3001;
// The bump tiles.
inline constexpr int32_t kBumpFirstSlot = 4002;
inline constexpr int32_t kMaxLightmapTiles = kBumpFirstSlot - kLightmapFirstSlot - 1;
// The picture on screen: the title, a level's card or the closing picture.
inline constexpr int32_t kPictureSlot = 5001;
// A slot nothing is loaded into: its quads draw their colour alone.
inline constexpr int32_t kPlainSlot = 5002;

}  // namespace dv
