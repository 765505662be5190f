// Turns parsed sound sources into 16-bit samples at 48 kHz: effects (mono, one file per
// variation), seamless ambience loops (mono) and music (stereo).
#pragma once

#include <string>
#include <vector>

#include "audio/wav.h"
#include "tools/sound/sound_source.h"

namespace dv {

struct RenderedSound {
    std::string FileName;  // without folder, e.g. "step_stone_2.wav"
    SoundKind Kind = SoundKind::Effect;
    SoundSamples Samples;
};

// Renders every output of `def` (all its variations). The same definition always gives the
// same samples. Each output peaks at def.Peak of full scale; effects and music start and end
// at silence, loops continue from their last sample into their first.
std::vector<RenderedSound> RenderSound(const SoundDef& def);

}  // namespace dv
