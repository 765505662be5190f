// The adventure's levels in the order they are played, from "levels.txt" in the data folder:
//
//   # comment
//   level test.lev card_hall.jpg The Hall of Steps
//
// Each line names a level file, the picture of the card shown before the level, and the name
// written on that card (the rest of the line). Both files are plain names in the data folder.
// The first level's card is never shown: the title comes before it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dv {

struct LevelEntry {
    std::string File;  // "test.lev"
    std::string Card;  // "card_hall.jpg"
    std::string Name;  // "The Hall of Steps"
    int Line = 0;      // where it stands in the list, for messages
};

inline constexpr const char* kLevelListFile = "levels.txt";
inline constexpr const char* kDefaultLevelFile = "test.lev";
inline constexpr size_t kMaxLevels = 64;
inline constexpr size_t kMaxLevelNameBytes = 48;
inline constexpr size_t kMaxLevelListBytes = 1u << 20;

// Parses the text of a list named `name`. False with "NAME:LINE: what was wrong" in `error`
// for the first bad line, or "NAME: no levels" for a list without any.
bool ParseLevelList(std::string_view text, const std::string& name, std::vector<LevelEntry>& out, std::string& error);

// Reads `dataDir`/levels.txt. Without that file the game is the one level "test.lev", with no
// card, as before lists existed.
bool ReadLevelList(const std::string& dataDir, std::vector<LevelEntry>& out, std::string& error);

}  // namespace dv
