// The title and closing pictures, painted in code: a valley at dusk (title) or at dawn
// (closing) with a temple gate, and the game's name.
#pragma once

#include <string>

#include "tools/procedural_textures.h"

namespace dv {

inline constexpr int kPictureWidth = 800;
inline constexpr int kPictureHeight = 600;

// `closing` false: the title picture; true: the closing picture. The captions are rendered
// with the TrueType font at `fontPath`. Throws std::runtime_error when the font does not open.
RgbImage PaintTitlePicture(bool closing, const std::string& fontPath);

}  // namespace dv
