// How a triangle or a 2D batch is combined with what is already drawn. The values are the
// bytes stored in triangle headers and level files (the low six bits of BlendType) and in
// 2D batches; code names them, files keep the numbers.
#pragma once

#include <cstdint>

namespace dv {

enum class BlendMode : uint8_t {
    Opaque = 0,
    AlphaTested = 1,      // texels with alpha 0 are dropped
    Additive = 2,         // source + destination
    AdditiveSecond = 10,  // additive too; a separate code, so it sorts after the others
    InverseColour = 11,   // 3D only: both factors are one minus the source colour
    Darken = 12,          // 2D only: the destination times the source colour
};

inline constexpr uint8_t kBlendModeBits = 0x3F;  // BlendType bits that name the mode

// The mode named by a stored BlendType byte.
inline constexpr BlendMode BlendModeOf(uint8_t blendType) { return static_cast<BlendMode>(blendType & kBlendModeBits); }

inline constexpr uint8_t BlendByte(BlendMode mode) { return static_cast<uint8_t>(mode); }

}  // namespace dv
