// The game's in-process compile of a level source: the level compiler writing into a cache
// folder, with what the source's folder lacks taken from the data folder.
#pragma once

#include <string>

#include "tools/level/level_compiler.h"
#include "world/source_compile.h"

namespace dv {

// The cache's name for a compiled source: its stem and a hash of its full path, so two
// sources of one name do not share a file.
std::string CacheLevelName(const std::string& absoluteSourcePath);

// Points `source`'s `character FILE` at the file beside the source at `sourcePath`, or, when
// that is not there, at `dataDir`'s character.lev (`dataDir` ends in a separator): a level
// needs no copy of the shipped pack.
// Returns the path chosen ("" when the source names no character).
std::string ResolveCharacterPack(LevelSource& source, const std::string& sourcePath, const std::string& dataDir);

// Compiles the source at `sourcePath` into `cacheDir`; a `character FILE` not found beside the
// source is `dataDir`'s character.lev. A SourceCompiler (world/source_compile.h).
bool CompileSourceIntoCache(const std::string& sourcePath, const std::string& cacheDir, const std::string& dataDir,
                            CompiledSource& out, std::string& error);

}  // namespace dv
