// A contact sheet of rendered sounds: per sound its name, length and peak, its waveform and
// its spectrogram, in one PNG.
#pragma once

#include <string>
#include <vector>

#include "tools/sound/sound_synth.h"

namespace dv {

// Draws every sound of `sounds` in two columns into the PNG at `path`, labels set in the
// TrueType font at `fontPath`. Waveforms are drawn at full scale with the 0.95 line marked;
// samples at or above it are red. Spectrograms run from 30 Hz (bottom) to 24 kHz (top) on a
// logarithmic scale, with faint lines at 100 Hz, 1 kHz and 10 kHz, coloured from -96 dB (black)
// to 0 dB (pale yellow), a full-scale sine being 0 dB; each pixel is the mean power of its bins.
// Throws std::runtime_error naming the file when it cannot be written or the font opened.
void WriteSoundSheet(const std::vector<RenderedSound>& sounds, const std::string& fontPath, const std::string& path);

}  // namespace dv
