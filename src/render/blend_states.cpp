#include "render/blend_states.h"

#include "render/device.h"

namespace dv {

namespace {

constexpr BlendStates kKeep{};
constexpr BlendStates kOpaque{true, 0, false, false, false, 0, 0, false};
constexpr BlendStates kAdditive{true, 0, false, true, true, D3DBLEND_ONE, D3DBLEND_ONE, false};

struct ModeStates {
    BlendMode Mode;
    BlendStates Scene;
    BlendStates Overlay;
};

constexpr ModeStates kBlendTable[] = {
    {BlendMode::Opaque, kOpaque, kOpaque},
    {BlendMode::AlphaTested,
     {true, 1, true, false, true, D3DBLEND_ONE, D3DBLEND_ONE, true},
     {true, 1, true, false, false, 0, 0, true}},
    {BlendMode::Additive, kAdditive, kAdditive},
    {BlendMode::AdditiveSecond, kAdditive, kAdditive},
    {BlendMode::InverseColour,
     {true, 0, false, true, true, D3DBLEND_INVSRCCOLOR, D3DBLEND_INVSRCCOLOR, false},
     kOpaque},
    {BlendMode::Darken, kKeep, {true, 0, false, true, true, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, false}},
};

const ModeStates* Find(BlendMode mode) {
    for (const ModeStates& row : kBlendTable)
        if (row.Mode == mode) return &row;
    return nullptr;
}

}  // namespace

const BlendStates& SceneBlendStates(BlendMode mode) {
    const ModeStates* row = Find(mode);
    return row != nullptr ? row->Scene : kKeep;
}

const BlendStates& OverlayBlendStates(BlendMode mode) {
    const ModeStates* row = Find(mode);
    return row != nullptr ? row->Overlay : kOpaque;
}

void ApplyBlendStates(Direct3DDevice8& d, const BlendStates& s, uint32_t alphaStage) {
    if (!s.Set) return;
    d.SetRenderState(D3DRS_ALPHAREF, s.AlphaRef);
    if (s.AlphaTest) d.SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    d.SetRenderState(D3DRS_ALPHATESTENABLE, s.AlphaTest ? 1 : 0);
    d.SetRenderState(D3DRS_ALPHABLENDENABLE, s.AlphaBlend ? 1 : 0);
    if (s.SetFactors) {
        d.SetRenderState(D3DRS_SRCBLEND, s.Source);
        d.SetRenderState(D3DRS_DESTBLEND, s.Destination);
    }
    if (s.TextureAlpha) {
        d.SetTextureStageState(alphaStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d.SetTextureStageState(alphaStage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    }
}

}  // namespace dv
