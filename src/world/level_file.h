// Reading, checking and writing level files.
//
// ParseLevel turns the bytes of a level file into a LevelFileData and checks everything a
// later stage follows without checking (counts against the bytes left, every index into
// another array). WriteLevel produces the same layout from the same records, so
// ParseLevel(WriteLevel(x)) gives x back field for field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "world/level_records.h"

namespace dv {

// A malformed level file or an inconsistent level record. what() is one line:
// "<name>: offset <n>: <what was wrong>".
class LevelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses and checks a whole level file held in memory; `name` is used in messages only.
// Throws LevelError; `out` is only complete when no error was thrown.
void ParseLevel(const uint8_t* data, size_t size, const std::string& name, LevelFileData& out);
// The same, reporting a failure through `error` instead of throwing.
bool ParseLevel(const uint8_t* data, size_t size, const std::string& name, LevelFileData& out, std::string& error);
// The largest level file read; the demo levels are under 3 MB.
inline constexpr size_t kMaxLevelFileBytes = 256u << 20;
// Reads the file at `path` and parses it; the file's name appears in messages as given.
void ParseLevelFile(const std::string& path, LevelFileData& out);

// Serialises a level. Throws LevelError when a count disagrees with the array it sizes
// (a record the parser could not have produced).
std::vector<uint8_t> WriteLevel(const LevelFileData& level);
// Writes safely (files/safe_write.h), so a failure never leaves a partial file. Throws
// LevelError or std::runtime_error.
void WriteLevelFile(const std::string& path, const LevelFileData& level);

// The lightmap base name for a level path: its file name without the directory, cut before
// the first "."; empty when the name has no ".". Both '/' and '\\' separate directories.
std::string LightmapBaseName(const std::string& levelPath);
// "<base>_lm<index>.bmp"
std::string LightmapFileName(const std::string& base, int index);

}  // namespace dv
