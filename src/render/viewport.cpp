#include "render/viewport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "math/clock.h"
#include "render/device.h"
#include "render/triangle_sort.h"

namespace dv {

namespace {

const DeviceStats kNoCounters{};

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace

uint32_t PackColor(int red, int green, int blue, int alpha) {
    return (uint32_t(red) & 0xFF) | (uint32_t(green) & 0xFF) << 8 | (uint32_t(blue) & 0xFF) << 16 |
           (uint32_t(alpha) & 0xFF) << 24;
}

uint32_t ToD3DColor(uint32_t packed) {
    return 0xFF000000u | (packed & 0xFF) << 16 | ((packed >> 8) & 0xFF) << 8 | ((packed >> 16) & 0xFF);
}

Viewport::Viewport() = default;

Viewport::~Viewport() { ReleaseGraphics(); }

bool Viewport::OpenGraphics() {
    if (!graphics_) graphics_ = Direct3DCreate8(D3D_SDK_VERSION);
    return graphics_ != nullptr;
}

void Viewport::ReleaseGraphics() {
    ReleaseBuffers();
    shadowTexture_.reset();
    shadowDepth_.reset();
    device_.reset();
    graphics_.reset();
}

bool Viewport::Setup(SDL_Window* window, int width, int height, bool fullScreen) {
    window_ = window;
    width_ = width;
    height_ = height;
    fullScreen_ = fullScreen;
    if (!device_) {
        D3DPRESENT_PARAMETERS params;
        if (!graphics_ || !BuildPresentParameters(params) ||
            Failed(graphics_->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, params,
                                           device_))) {
            return false;
        }
    }
    ApplyDefaultStates();
    vertexCapacity3D_ = 0;
    vertexCapacity2D_ = 0;
    return true;
}

void Viewport::ApplyFog() {
    Direct3DDevice8* d = device_.get();
    if (d == nullptr) return;
    if (!Fog.Enabled) {
        d->SetRenderState(D3DRS_FOGENABLE, 0);
        return;
    }
    d->SetRenderState(D3DRS_FOGCOLOR, uint32_t(Fog.Red) << 16 | uint32_t(Fog.Green) << 8 | Fog.Blue);
    d->SetRenderState(D3DRS_FOGENABLE, 1);
    d->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    d->SetRenderState(D3DRS_RANGEFOGENABLE, 0);
    d->SetRenderState(D3DRS_FOGSTART, FloatBits(Fog.Start + Fog.Offset));
    d->SetRenderState(D3DRS_FOGEND, FloatBits(Fog.End + Fog.Offset));
}

void Viewport::ApplyDefaultStates() {
    Direct3DDevice8* d = device_.get();
    if (d == nullptr) return;
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_ZENABLE, DepthEnabled ? D3DZB_TRUE : D3DZB_FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    for (uint32_t stage = 0; stage < 4; ++stage) {
        d->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    }
    ApplyFog();
}

bool Viewport::BuildPresentParameters(D3DPRESENT_PARAMETERS& p) const {
    p = D3DPRESENT_PARAMETERS{};
    p.Windowed = fullScreen_ ? 0 : 1;
    p.hDeviceWindow = window_;
    p.EnableAutoDepthStencil = 1;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    if (fullScreen_) {
        p.BackBufferWidth = 640;
        p.BackBufferHeight = 480;
        p.BackBufferCount = 1;
        p.BackBufferFormat = D3DFMT_R5G6B5;  // 16-bit colour is the depth requested
        return true;
    }
    if (!graphics_) return false;
    D3DDISPLAYMODE mode;
    if (Failed(graphics_->GetAdapterDisplayMode(0, mode))) return false;
    p.BackBufferFormat = mode.Format;
    return true;
}

Viewport::ResetResult Viewport::ResetDevice() {
    if (!device_) return ResetResult::StillLost;
    ReleaseBuffers();
    D3DPRESENT_PARAMETERS params;
    if (!BuildPresentParameters(params)) {
        // Our parameters do not depend on the device type, so the reference-type attempt
        // is the same query once more.
        Tell(Messages, "Hardware Mode no availible...Trying software mode", "Warning.", MessageKind::Warning);
        if (!BuildPresentParameters(params)) return ResetResult::Failed;
    }
    if (Failed(device_->Reset(params))) return ResetResult::StillLost;  // the caller retries later
    vertexCapacity3D_ = 0;
    vertexCapacity2D_ = 0;
    ApplyDefaultStates();
    return ResetResult::Done;
}

void Viewport::ReleaseBuffers() {
    vertexBuffer3D_.reset();
    vertexBuffer2D_.reset();
    vertexCapacity3D_ = 0;
    vertexCapacity2D_ = 0;
    shadowVertices_.reset();
    shadowCapacity_ = 0;
}

bool Viewport::ReadFrame(FramePixels& out) const {
    if (!device_) return false;
    out.Width = device_->BackBufferWidth();
    out.Height = device_->BackBufferHeight();
    return device_->ReadPixels(0, 0, out.Width, out.Height, out.Rgba);
}

bool Viewport::Preload(Texture& texture) {
    if (!device_) return false;
    const uint64_t before = device_->Stats().TextureUploads;
    device_->PreLoad(&texture);
    return device_->Stats().TextureUploads != before;
}

const DeviceStats& Viewport::Counters() const { return device_ ? device_->Stats() : kNoCounters; }

void Viewport::ResetCounters() {
    if (device_) device_->ResetStats();
}

void Viewport::BuildProjection() {
    const float aspect = static_cast<float>(width_) / static_cast<float>(height_ > 0 ? height_ : 1);
    projection_ = MatPerspectiveFovLH(0.7853981f, aspect, 0.1f, FarPlane);
}

bool Viewport::Resize(int width, int height) {
    width_ = width;
    height_ = height;
    const ResetResult reset = ResetDevice();
    if (reset == ResetResult::Failed) {
        deviceLost_ = true;
        return false;
    }
    if (reset == ResetResult::StillLost) deviceLost_ = device_ != nullptr;
    BuildProjection();
    if (device_) device_->SetTransform(D3DTS_PROJECTION, projection_);
    return true;
}

}  // namespace dv
