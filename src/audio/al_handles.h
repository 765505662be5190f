// OpenAL buffer and source names that delete themselves, and the conversion of the engine's
// coordinates to OpenAL's.
#pragma once

#include <cstdint>

#include "audio/wav.h"
#include "math/vecmath.h"

namespace dv {

// An OpenAL object name that deletes itself; 0 when empty.
class AlBuffer {
public:
    AlBuffer() = default;
    ~AlBuffer();
    AlBuffer(AlBuffer&& other) noexcept : name_(other.name_) { other.name_ = 0; }
    AlBuffer& operator=(AlBuffer&& other) noexcept;
    AlBuffer(const AlBuffer&) = delete;
    AlBuffer& operator=(const AlBuffer&) = delete;
    // Creates the buffer and fills it with `samples`. False when the device refuses.
    bool Fill(const SoundSamples& samples);
    uint32_t Name() const { return name_; }

private:
    uint32_t name_ = 0;
};

// An OpenAL source name that deletes itself; 0 when empty.
class AlSource {
public:
    AlSource() = default;
    ~AlSource();
    AlSource(AlSource&& other) noexcept : name_(other.name_) { other.name_ = 0; }
    AlSource& operator=(AlSource&& other) noexcept;
    AlSource(const AlSource&) = delete;
    AlSource& operator=(const AlSource&) = delete;
    bool Create();
    uint32_t Name() const { return name_; }

private:
    uint32_t name_ = 0;
};

// The engine's world is left-handed (z forward); OpenAL's is right-handed.
inline void ToAl(const Vec3& v, float out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = -v.z;
}

}  // namespace dv
