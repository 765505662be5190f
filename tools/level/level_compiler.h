// The level compiler: a level source (docs/level-format.md) becomes a level file with its
// triangles, sectors, portals, cells, lights, objects, textures and baked lightmaps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/level/level_source.h"
#include "world/level_file.h"
#include "world/level_sounds.h"
#include "render/texture_slots.h"

namespace dv {

// A baked lightmap strip: square tiles stacked vertically, rows top first, RGB bytes.
struct LightmapImage {
    std::string FileName;  // "<base>_lm<i>.bmp"
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;
};

struct CompiledLevel {
    LevelFileData Data;
    std::vector<LightmapImage> Lightmaps;
    LevelSounds Sounds;  // written beside the level as "<name>.snd"
};

// Lightmap tiles and their texture slots.
inline constexpr int kLightmapTile = 128;
inline constexpr int kLightmapTilesPerStrip = 8;

// Compiles a parsed source. `sourceDir` resolves the character file; `outputPath` gives the
// lightmap base name. Throws SourceError ("file:line: ...") for faults of the source and for a
// character file that does not read.
CompiledLevel CompileLevel(const LevelSource& source, const std::string& sourceDir, const std::string& outputPath);
// Reads and parses the source file at `sourcePath`. Throws SourceError.
LevelSource ReadLevelSource(const std::string& sourcePath);
// The folder a source's relative file names start from: the source's own ("." for a bare name).
std::string SourceFolder(const std::string& sourcePath);
// Reads, parses and compiles the source file at `sourcePath`.
CompiledLevel CompileLevelFile(const std::string& sourcePath, const std::string& outputPath);

// Puts the movables of `pack` in front of the level's own (pack movable 0 becomes movable 0),
// with copies of the pack's models, skeletons and animations and its level textures; every
// index and texture value is shifted to its new place. The pack's other sections are ignored.
// Throws std::runtime_error when a count would overflow the file's 16-bit counts.
void AppendMovables(LevelFileData& level, const LevelFileData& pack);

// Writes the lightmap bitmaps and the sound sidecar beside `outputPath` and then the level file
// itself, each through a temporary file renamed into place. Throws std::runtime_error when a file cannot be written.
void WriteCompiledLevel(const CompiledLevel& level, const std::string& outputPath);

}  // namespace dv
