// Blend modes as device states: what each mode sets for a run of the 3D list and for a batch
// of the 2D overlay, kept as one table (render/blend_states.cpp) and applied by one function.
#pragma once

#include <cstdint>

#include "render/blend_mode.h"

namespace dv {

class Direct3DDevice8;

struct BlendStates {
    bool Set = false;       // false: the states of the run before stay
    uint32_t AlphaRef = 0;  // the alpha test passes alpha >= AlphaRef
    bool AlphaTest = false;
    bool AlphaBlend = false;
    bool SetFactors = false;  // Source and Destination are set (D3DBLEND values)
    uint32_t Source = 0;
    uint32_t Destination = 0;
    bool TextureAlpha = false;  // the alpha stage selects the texture's alpha
};

// The states of `mode` for the 3D list: a mode it does not draw (Darken, an unknown code)
// keeps the run before's.
const BlendStates& SceneBlendStates(BlendMode mode);
// The states of `mode` for the 2D overlay: a mode it does not draw (InverseColour, an unknown
// code) draws opaque.
const BlendStates& OverlayBlendStates(BlendMode mode);
// Puts `states` on the device; the texture alpha goes to texture stage `alphaStage`.
void ApplyBlendStates(Direct3DDevice8& device, const BlendStates& states, uint32_t alphaStage);

}  // namespace dv
