// The title and closing pictures, painted in code: a valley at dusk (title) or at dawn
// (closing) with a temple gate, and the game's name; and one picture per level for the card
// the game shows before the level (the game writes the level's name over its foot).
#pragma once

#include <string>

#include "tools/level/procedural_textures.h"

namespace dv {

inline constexpr int kPictureWidth = 800;
inline constexpr int kPictureHeight = 600;

// `closing` false: the title picture; true: the closing picture. The captions are rendered
// with the TrueType font at `fontPath`. Throws std::runtime_error when the font does not open.
RgbImage PaintTitlePicture(bool closing, const std::string& fontPath);

enum class LevelCard { Hall, Cistern, Tower };
inline constexpr LevelCard kLevelCards[] = {LevelCard::Hall, LevelCard::Cistern, LevelCard::Tower};

// The card's file name in the data folder, as levels.txt names it: "card_hall.jpg", ...
const char* LevelCardFileName(LevelCard card);

// The card picture, kPictureWidth x kPictureHeight, without text. Its lowest quarter darkens
// towards the foot so that the name the game writes there stays readable.
RgbImage PaintLevelCard(LevelCard card);

}  // namespace dv
