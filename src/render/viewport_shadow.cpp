// The viewport's projected shadow: the caster drawn into the shadow texture before the frame,
// the receivers drawn with the texture projected onto them after the frame's triangles.
//
// The caster pass draws the caster kShadowTaps times, each copy shifted by the blur radius in
// another direction and at its own constant depth, adding a share of the shadow's darkness:
// the depth surface keeps each copy to one layer where the model overlaps itself, so a texel
// holds the share of copies that cover it and the edge falls off over twice the radius. The
// receivers read the texture with bilinear filtering, so that the steps between those shares,
// and the texels themselves, blend into a gradient instead of showing as squares.
//
// The receiver pass multiplies the frame by one minus (texture x the receiver's strength):
// outside the caster, and outside the square (clamped to the empty border), the frame keeps
// its colour exactly. The receivers are the frame's own triangles again, so their depth is the
// depth already in the buffer: drawn with a depth bias and the less-than test, each pixel takes
// the shadow once, from the first receiver that reaches it (coplanar receivers, or a room
// drawn twice, do not darken it twice), and never where something else is in front. Fog fades
// the shadow with the scene: the fog colour of this pass is white, which multiplies nothing.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/device.h"
#include "render/projected_shadow.h"
#include "render/viewport.h"

namespace dv {

namespace {

// The directions of the shifted copies: the middle one and eight around it.
constexpr float kTapX[kShadowTaps] = {0.0f, 1.0f, 0.7071f, 0.0f, -0.7071f, -1.0f, -0.7071f, 0.0f, 0.7071f};
constexpr float kTapY[kShadowTaps] = {0.0f, 0.0f, 0.7071f, 1.0f, 0.7071f, 0.0f, -0.7071f, -1.0f, -0.7071f};

uint32_t Grey(uint32_t v) { return 0xFF000000u | v << 16 | v << 8 | v; }

// Render states set for a pass and put back as they were after it.
class SavedRenderStates {
public:
    explicit SavedRenderStates(Direct3DDevice8& device) : device_(device) {}
    ~SavedRenderStates() {
        for (int i = count_ - 1; i >= 0; --i) device_.SetRenderState(states_[i], values_[i]);
    }
    SavedRenderStates(const SavedRenderStates&) = delete;
    SavedRenderStates& operator=(const SavedRenderStates&) = delete;

    void Set(D3DRENDERSTATETYPE state, uint32_t value) {
        if (count_ < kCapacity) {
            states_[count_] = state;
            values_[count_] = device_.GetRenderState(state);
            ++count_;
        }
        device_.SetRenderState(state, value);
    }

private:
    static constexpr int kCapacity = 16;
    Direct3DDevice8& device_;
    D3DRENDERSTATETYPE states_[kCapacity] = {};
    uint32_t values_[kCapacity] = {};
    int count_ = 0;
};

ShadowVertex* Grow(std::vector<ShadowVertex>& list, int32_t& used, int32_t count) {
    count = std::max(count, 0);
    const size_t total = static_cast<size_t>(used) + static_cast<size_t>(count);
    if (list.size() < total) list.resize(std::max(total, list.size() * 2));
    ShadowVertex* first = list.data() + used;
    used = static_cast<int32_t>(total);
    return first;
}

}  // namespace

ShadowVertex* ProjectedShadow::AddCaster(int32_t count) { return Grow(Caster, CasterCount, count); }
ShadowVertex* ProjectedShadow::AddReceivers(int32_t count) { return Grow(Receivers, ReceiverCount, count); }

Mat4 ShadowProjection(const ProjectedShadow& shadow, float shiftX, float shiftY, float depth) {
    const float scale = 1.0f / std::max(shadow.HalfSize, 1e-3f);
    Mat4 m{};
    m.m[0] = scale;  // x -> clip x
    m.m[9] = scale;  // z -> clip y
    m.m[12] = shiftX - shadow.CentreX * scale;
    m.m[13] = shiftY - shadow.CentreZ * scale;
    m.m[14] = depth;
    m.m[15] = 1.0f;
    return m;
}

Mat4 ShadowTextureMatrix(const ProjectedShadow& shadow, const Mat4& view) {
    Mat4 toWorld{};
    MatRigidInverse(view, toWorld);
    // Clip (x, y) to texture (u, v): the texture's first row is the clip space's top.
    Mat4 toTexture{};
    toTexture.m[0] = 0.5f;
    toTexture.m[5] = -0.5f;
    toTexture.m[12] = 0.5f;
    toTexture.m[13] = 0.5f;
    toTexture.m[15] = 1.0f;
    return MatMultiply(MatMultiply(toWorld, ShadowProjection(shadow, 0.0f, 0.0f, 0.0f)), toTexture);
}

bool Viewport::PrepareShadow() {
    Direct3DDevice8& d = *device_;
    if (!shadowTexture_) {
        if (Failed(d.CreateTexture(kShadowTextureSize, kShadowTextureSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                   D3DPOOL_DEFAULT, shadowTexture_)) ||
            Failed(d.CreateDepthStencilSurface(kShadowTextureSize, kShadowTextureSize, D3DFMT_D16, 0, shadowDepth_))) {
            shadowTexture_.reset();
            return false;
        }
    }
    const int32_t vertices = Shadow.CasterCount + Shadow.ReceiverCount;
    if (shadowCapacity_ < vertices) {
        shadowVertices_.reset();
        shadowCapacity_ = 0;
        const int32_t capacity = vertices + vertices / 2 + 3000;
        if (Failed(d.CreateVertexBuffer(static_cast<uint32_t>(capacity) * sizeof(ShadowVertex), D3DUSAGE_WRITEONLY,
                                        kShadowFvf, D3DPOOL_MANAGED, shadowVertices_))) {
            return false;
        }
        shadowCapacity_ = capacity;
    }
    uint8_t* p = nullptr;
    if (Failed(shadowVertices_->Lock(0, static_cast<uint32_t>(vertices) * sizeof(ShadowVertex), &p, D3DLOCK_DISCARD))) {
        return false;
    }
    std::memcpy(p, Shadow.Caster.data(), static_cast<size_t>(Shadow.CasterCount) * sizeof(ShadowVertex));
    std::memcpy(p + static_cast<size_t>(Shadow.CasterCount) * sizeof(ShadowVertex), Shadow.Receivers.data(),
                static_cast<size_t>(Shadow.ReceiverCount) * sizeof(ShadowVertex));
    shadowVertices_->Unlock();
    return true;
}

void Viewport::DrawShadowTexture() {
    shadowDrawn_ = false;
    if (!Shadow.Active || Shadow.CasterCount < 3 || Shadow.ReceiverCount < 3 || !PrepareShadow()) return;
    Direct3DDevice8& d = *device_;
    Surface8* frameTarget = nullptr;
    Surface8* frameDepth = nullptr;
    d.GetRenderTarget(frameTarget);
    d.GetDepthStencilSurface(frameDepth);
    if (Failed(d.SetRenderTarget(shadowTexture_->GetSurfaceLevel(0), shadowDepth_.get()))) return;
    d.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    d.BeginScene();
    {
        SavedRenderStates saved(d);
        saved.Set(D3DRS_ZENABLE, D3DZB_TRUE);
        saved.Set(D3DRS_ZWRITEENABLE, 1);
        saved.Set(D3DRS_ZFUNC, D3DCMP_LESS);
        saved.Set(D3DRS_CULLMODE, D3DCULL_NONE);
        saved.Set(D3DRS_FILLMODE, D3DFILL_SOLID);
        saved.Set(D3DRS_FOGENABLE, 0);
        saved.Set(D3DRS_ALPHATESTENABLE, 0);
        saved.Set(D3DRS_ALPHABLENDENABLE, 1);
        saved.Set(D3DRS_SRCBLEND, D3DBLEND_ONE);
        saved.Set(D3DRS_DESTBLEND, D3DBLEND_ONE);
        saved.Set(D3DRS_TEXTUREFACTOR, Grey(Shadow.Darkness / kShadowTaps));
        d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        d.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d.SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d.SetTexture(0, nullptr);
        d.SetStreamSource(0, shadowVertices_.get(), sizeof(ShadowVertex));
        d.SetVertexShader(kShadowFvf);
        d.SetTransform(D3DTS_WORLD, MatIdentity());
        d.SetTransform(D3DTS_VIEW, MatIdentity());
        const float shift = Shadow.BlurTexels * 2.0f / kShadowTextureSize;
        for (int k = 0; k < kShadowTaps; ++k) {
            // Each copy nearer than the last, so that it passes where the last one drew.
            const float depth = 0.9f - 0.8f * static_cast<float>(k) / kShadowTaps;
            d.SetTransform(D3DTS_PROJECTION, ShadowProjection(Shadow, kTapX[k] * shift, kTapY[k] * shift, depth));
            d.DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(Shadow.CasterCount / 3));
        }
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    }
    d.EndScene();
    d.SetRenderTarget(frameTarget, frameDepth);
    d.SetTransform(D3DTS_VIEW, frameView_);
    d.SetTransform(D3DTS_PROJECTION, projection_);
    shadowDrawn_ = true;
}

void Viewport::DrawShadowReceivers() {
    if (!shadowDrawn_) return;
    Direct3DDevice8& d = *device_;
    SavedRenderStates saved(d);
    saved.Set(D3DRS_ZENABLE, D3DZB_TRUE);
    saved.Set(D3DRS_ZWRITEENABLE, 1);
    saved.Set(D3DRS_ZFUNC, D3DCMP_LESS);
    saved.Set(D3DRS_ZBIAS, 1);
    saved.Set(D3DRS_FILLMODE, D3DFILL_SOLID);
    saved.Set(D3DRS_ALPHATESTENABLE, 0);
    saved.Set(D3DRS_ALPHABLENDENABLE, 1);
    saved.Set(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    saved.Set(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
    saved.Set(D3DRS_FOGCOLOR, 0x00FFFFFFu);
    d.SetTexture(0, shadowTexture_.get());
    d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    d.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    d.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    d.SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    d.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d.SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT | D3DTA_COMPLEMENT);
    d.SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d.SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d.SetTransform(D3DTS_TEXTURE0, ShadowTextureMatrix(Shadow, frameView_));
    d.SetStreamSource(0, shadowVertices_.get(), sizeof(ShadowVertex));
    d.SetVertexShader(kShadowFvf);
    d.DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<uint32_t>(Shadow.CasterCount),
                    static_cast<uint32_t>(Shadow.ReceiverCount / 3));
    d.SetTexture(0, nullptr);
    d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    d.SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
    d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d.SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
}

}  // namespace dv
