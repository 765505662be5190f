// A level source played directly: compiled in-process into a level file the game then loads
// like any other. The compiler is the content tools' own; the game's entry point hands it to
// the game as a SourceCompiler, so the engine's libraries never link the tools.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dv {

struct CompiledSource {
    std::string LevelPath;               // the compiled level in the cache folder
    std::vector<std::string> RoomNames;  // in the level's room order, for --at
    std::vector<std::string> Files;      // the source and every file it names, for --watch
};

// Compiles the source at `sourcePath` into `cacheDir` (made when missing); a file the source
// names that its folder lacks comes from `dataDir` (with its separator). False with one line in
// `error`: the compiler's own "FILE:LINE: message" for a fault of the source, or the file that
// could not be read or written.
using SourceCompiler = std::function<bool(const std::string& sourcePath, const std::string& cacheDir,
                                          const std::string& dataDir, CompiledSource& out, std::string& error)>;

// Whether `path` names a level source (".txt") rather than a compiled level.
inline bool IsLevelSource(const std::string& path) { return std::filesystem::path(path).extension() == ".txt"; }

}  // namespace dv
