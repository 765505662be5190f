#include "tools/level/source_build.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "tools/level/level_compiler.h"

namespace dv {

namespace fs = std::filesystem;

std::string CacheLevelName(const std::string& absoluteSourcePath) {
    uint32_t hash = 2166136261u;
    for (const char c : absoluteSourcePath) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    // Dots would cut the lightmaps' base name short.
    std::string stem = fs::path(absoluteSourcePath).stem().string();
    for (char& c : stem)
        if (c == '.') c = '_';
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%08x", hash);
    return stem + suffix + ".lev";
}

std::string ResolveCharacterPack(LevelSource& source, const std::string& sourcePath, const std::string& dataDir) {
    if (source.CharacterPath.empty()) return "";
    fs::path pack = source.CharacterPath;
    if (pack.is_relative()) pack = fs::absolute(sourcePath).lexically_normal().parent_path() / pack;
    const fs::path shipped = fs::absolute(dataDir + "character.lev");
    std::error_code ec;
    // With neither there, the error names the author's file.
    if (!fs::is_regular_file(pack, ec) && fs::is_regular_file(shipped, ec)) pack = shipped;
    source.CharacterPath = pack.string();
    return source.CharacterPath;
}

bool CompileSourceIntoCache(const std::string& sourcePath, const std::string& cacheDir, const std::string& dataDir,
                            CompiledSource& out, std::string& error) {
    out = CompiledSource{};
    try {
        const fs::path absolute = fs::absolute(sourcePath).lexically_normal();
        out.Files.push_back(absolute.string());
        LevelSource source = ReadLevelSource(sourcePath);
        const std::string pack = ResolveCharacterPack(source, sourcePath, dataDir);
        if (!pack.empty()) out.Files.push_back(pack);
        std::error_code ec;
        fs::create_directories(cacheDir, ec);
        if (ec) {
            error = cacheDir + ": cannot make the cache folder: " + ec.message();
            return false;
        }
        out.LevelPath = (fs::absolute(cacheDir) / CacheLevelName(absolute.string())).string();
        const CompiledLevel level = CompileLevel(source, absolute.parent_path().string(), out.LevelPath);
        WriteCompiledLevel(level, out.LevelPath);
        for (const RoomDef& room : source.Rooms) out.RoomNames.push_back(room.Name);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

}  // namespace dv
