// Ogg Vorbis where libvorbisfile is not available (the browser build): every stream is
// refused with one line naming it, so music and ambience loops stay silent and the game
// goes on, as it does with a damaged file.
#include "audio/ogg.h"

namespace dv {

namespace {

std::string Unavailable(const std::string& name) { return name + ": Ogg Vorbis is not decoded in this build"; }

}  // namespace

struct OggStream::Decoder {};

OggStream::OggStream() = default;
OggStream::~OggStream() = default;

void OggStream::Close() { decoder_.reset(); }

bool OggStream::IsOpen() const { return false; }

bool OggStream::Open(std::vector<uint8_t>, const std::string& name, std::string& error) {
    error = Unavailable(name);
    return false;
}

bool OggStream::OpenFile(const std::string& path, std::string& error) {
    error = Unavailable(path);
    return false;
}

size_t OggStream::Read(int16_t*, size_t, std::string&) {
    ended_ = true;
    return 0;
}

bool OggStream::Rewind() { return false; }

bool ParseOgg(const uint8_t*, size_t, const std::string& name, SoundSamples&, std::string& error) {
    error = Unavailable(name);
    return false;
}

bool LoadOggFile(const std::string& path, SoundSamples&, std::string& error) {
    error = Unavailable(path);
    return false;
}

}  // namespace dv
