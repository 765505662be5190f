// dvtool build-sounds SRCDIR OUTDIR: synthesises the game's sounds from their sources.
// dvtool sound-sheet SRCDIR FONT.ttf OUT.png: draws their contact sheet.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/dvtool/commands.h"
#include "tools/common/image_writers.h"
#include "tools/sound/ogg_vorbis_writer.h"
#include "tools/sound/sound_sheet.h"
#include "tools/sound/sound_source.h"
#include "tools/sound/sound_synth.h"

namespace dvtool {

namespace {

constexpr float kLoopQuality = 0.4f;
constexpr float kMusicQuality = 0.5f;

// The Ogg stream serial of a file: a hash of its name, so every build writes the same bytes.
uint32_t SerialOf(const std::string& name) {
    uint32_t h = 2166136261u;
    for (const char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

bool RenderAll(const std::string& srcDir, std::vector<dv::RenderedSound>& out, std::string& error) {
    std::vector<dv::SoundDef> defs;
    if (!dv::LoadSoundSources(srcDir, defs, error)) return false;
    for (const dv::SoundDef& def : defs)
        for (dv::RenderedSound& r : dv::RenderSound(def)) out.push_back(std::move(r));
    return true;
}

// The bytes of every file, made before any is written, so a bad sound writes nothing.
bool EncodeAll(const std::vector<dv::RenderedSound>& sounds, std::vector<std::vector<uint8_t>>& files,
               std::string& error) {
    for (const dv::RenderedSound& s : sounds) {
        files.emplace_back();
        if (s.Kind == dv::SoundKind::Effect) continue;
        const float quality = s.Kind == dv::SoundKind::Music ? kMusicQuality : kLoopQuality;
        if (!dv::EncodeOggVorbis(s.Samples, quality, SerialOf(s.FileName), s.FileName, files.back(), error))
            return false;
    }
    return true;
}

}  // namespace

int BuildSounds(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: dvtool build-sounds SRCDIR OUTDIR\n", stderr);
        return 2;
    }
    const std::string outDir = argv[2];
    std::string error;
    std::vector<dv::RenderedSound> sounds;
    std::vector<std::vector<uint8_t>> files;
    if (!RenderAll(argv[1], sounds, error) || !EncodeAll(sounds, files, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot create the folder: %s\n", outDir.c_str(), ec.message().c_str());
        return 2;
    }
    try {
        for (size_t i = 0; i < sounds.size(); ++i) {
            const std::string path = outDir + "/" + sounds[i].FileName;
            if (sounds[i].Kind != dv::SoundKind::Effect) {
                dv::WriteFileAtomic(path, files[i]);
            } else if (!dv::WriteWavFile(path, sounds[i].Samples, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

int SoundSheet(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: dvtool sound-sheet SRCDIR FONT.ttf OUT.png\n", stderr);
        return 2;
    }
    std::string error;
    std::vector<dv::RenderedSound> sounds;
    if (!RenderAll(argv[1], sounds, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    try {
        dv::WriteSoundSheet(sounds, argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
