// Any text either parses into sounds the synthesiser can render within its bounds, or gives
// one line of error naming the file and a line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/sound/sound_source.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckSound(const dv::SoundDef& s) {
    Check(!s.Name.empty() && s.Length > 0.0 && s.Length <= 30.0 && s.Peak > 0.0 && s.Peak < 0.95);
    Check(s.Variations >= 1 && s.OutputNames().size() == static_cast<size_t>(s.Variations));
    if (s.Kind == dv::SoundKind::Music) {
        Check(!s.Notes.empty() && s.Layers.empty());
        for (const dv::SoundNote& n : s.Notes) {
            Check(n.Instrument >= 0 && static_cast<size_t>(n.Instrument) < s.Instruments.size());
            Check(!n.Frequencies.empty());
            for (const double f : n.Frequencies) Check(std::isfinite(f) && f > 0.0);
        }
        return;
    }
    Check(!s.Layers.empty() && s.Notes.empty());
    for (const dv::SoundLayer& l : s.Layers) {
        Check(l.At >= 0.0 && l.At <= s.Length && l.Within <= s.Length);
        Check((l.Source == dv::LayerSource::Noise) == (l.Freq == 0.0));
        Check(l.Highpass == 0.0 || l.Lowpass == 0.0 || l.Highpass < std::max(l.Lowpass, l.LowpassEnd));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<dv::SoundDef> sounds;
    std::string error;
    if (dv::ParseSoundSource(text, "f.txt", sounds, error)) {
        for (const dv::SoundDef& s : sounds) CheckSound(s);
        return 0;
    }
    const size_t colon = error.find(':', 6);
    Check(error.rfind("f.txt:", 0) == 0 && colon != std::string::npos && colon > 6);
    for (size_t i = 6; i < colon; ++i) Check(error[i] >= '0' && error[i] <= '9');
    Check(error.find('\n') == std::string::npos);
    return 0;
}
