#include "audio/al_handles.h"

#include <AL/al.h>

#include <utility>

namespace dv {

AlBuffer::~AlBuffer() {
    if (name_ != 0) alDeleteBuffers(1, &name_);
}

AlBuffer& AlBuffer::operator=(AlBuffer&& other) noexcept {
    if (this != &other) {
        if (name_ != 0) alDeleteBuffers(1, &name_);
        name_ = std::exchange(other.name_, 0u);
    }
    return *this;
}

bool AlBuffer::Fill(const SoundSamples& samples) {
    if (name_ == 0) {
        alGetError();
        alGenBuffers(1, &name_);
        if (alGetError() != AL_NO_ERROR) {
            name_ = 0;
            return false;
        }
    }
    alBufferData(name_, samples.Channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, samples.Frames.data(),
                 static_cast<ALsizei>(samples.Frames.size() * sizeof(int16_t)), samples.SampleRate);
    return alGetError() == AL_NO_ERROR;
}

AlSource::~AlSource() {
    if (name_ != 0) alDeleteSources(1, &name_);
}

AlSource& AlSource::operator=(AlSource&& other) noexcept {
    if (this != &other) {
        if (name_ != 0) alDeleteSources(1, &name_);
        name_ = std::exchange(other.name_, 0u);
    }
    return *this;
}

bool AlSource::Create() {
    if (name_ != 0) return true;
    alGetError();
    alGenSources(1, &name_);
    if (alGetError() == AL_NO_ERROR) return true;
    name_ = 0;
    return false;
}

}  // namespace dv
