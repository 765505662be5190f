// Encoding 16-bit samples as Ogg Vorbis with libvorbisenc, for the ambience loops and music.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wav.h"

namespace dv {

// Encodes `samples` (mono or stereo) at variable bit rate of the given quality (-0.1..1) into
// the bytes of an Ogg Vorbis file. The stream's serial number is fixed by `serial`, so the
// same samples always give the same bytes. False with `error` naming `name` on failure.
bool EncodeOggVorbis(const SoundSamples& samples, float quality, uint32_t serial, const std::string& name,
                     std::vector<uint8_t>& out, std::string& error);

}  // namespace dv
