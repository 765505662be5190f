// The device on OpenGL. In order: conversions of Direct3D values to GL's (blend, compare,
// wrap, filter, texture formats, vertex sizes); the vertex buffer; the device's set-up, reset,
// present and loss; clear and scene; transforms, render and texture-stage states and
// textures; vertex formats; texture upload; the state sent to GL before a draw; drawing,
// capabilities and reading pixels; the Direct3D8 object that makes devices. Render targets
// (the back buffer, textures, depth surfaces) sit with the textures.
#include "render/device.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

#include "render/fixed_function.h"

namespace dv {

namespace {

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float BitsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

Mat4 Identity() {
    Mat4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

// Colours are stored B, G, R, A. Desktop GL reads them in that order (size GL_BGRA); WebGL
// has no such size, so there the vertex shader swaps red and blue.
#if defined(__EMSCRIPTEN__)
constexpr GLint kColourComponents = 4;
#else
constexpr GLint kColourComponents = GL_BGRA;
#endif

bool ContextCurrentFor(SDL_Window* window) {
    return window != nullptr && SDL_GL_GetCurrentContext() != nullptr && SDL_GL_GetCurrentWindow() == window;
}

GLenum GlBlend(uint32_t blend) {
    switch (blend) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

GLenum GlCompare(uint32_t func) {
    switch (func) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLint GlWrap(uint32_t address) {
    switch (address) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        default: return GL_REPEAT;
    }
}

GLint GlMinFilter(uint32_t min, uint32_t mip) {
    const bool linear = min == D3DTEXF_LINEAR;
    if (mip == D3DTEXF_LINEAR) return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR : GL_NEAREST;
}

struct GlTextureFormat {
    GLint internal;
    GLenum format;
    GLenum type;
    bool opaque;  // alpha reads as one
};

bool GlFormatOf(D3DFORMAT format, GlTextureFormat& out) {
    switch (format) {
        case D3DFMT_A8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false}; return true;
        case D3DFMT_X8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true}; return true;
        case D3DFMT_R8G8B8: out = {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, true}; return true;
        case D3DFMT_A1R5G5B5: out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false}; return true;
        case D3DFMT_X1R5G5B5: out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, true}; return true;
        case D3DFMT_R5G6B5: out = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, true}; return true;
        default: return false;
    }
}

#if defined(__EMSCRIPTEN__)
uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t Expand6(uint32_t v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

// WebGL uploads neither B, G, R byte orders nor the 1-5-5-5 packing, and cannot force alpha
// to one by swizzle: levels go up as R, G, B, A bytes, opaque formats with alpha 255.
std::vector<uint8_t> LevelAsRgba(const TextureLevel& level, D3DFORMAT format, bool opaque) {
    std::vector<uint8_t> out(static_cast<size_t>(level.width) * level.height * 4);
    uint8_t* o = out.data();
    for (int y = 0; y < level.height; ++y) {
        const uint8_t* row = level.bits.data() + static_cast<size_t>(y) * level.pitch;
        for (int x = 0; x < level.width; ++x, o += 4) {
            if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
                const uint8_t* p = row + x * 4;
                o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = p[3];
            } else if (format == D3DFMT_R8G8B8) {
                const uint8_t* p = row + x * 3;
                o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = 255;
            } else {
                const uint32_t v = row[x * 2] | (row[x * 2 + 1] << 8);
                const bool r565 = format == D3DFMT_R5G6B5;
                o[0] = Expand5(r565 ? v >> 11 : (v >> 10) & 31);
                o[1] = r565 ? Expand6((v >> 5) & 63) : Expand5((v >> 5) & 31);
                o[2] = Expand5(v & 31);
                o[3] = r565 || (v & 0x8000) != 0 ? 255 : 0;
            }
            if (opaque) o[3] = 255;
        }
    }
    return out;
}
#endif

}  // namespace

uint32_t FvfVertexSize(uint32_t fvf) {
    uint32_t size = 0;
    if (fvf & D3DFVF_XYZRHW) size += 16;
    else if (fvf & D3DFVF_XYZ) size += 12;
    else return 0;
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    size += 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    return size;
}

// ---- vertex buffer

VertexBuffer8::VertexBuffer8(Direct3DDevice8& device, uint32_t length, uint32_t fvf)
    : device_(&device), length_(length), fvf_(fvf) {}

VertexBuffer8::~VertexBuffer8() {
    if (device_ != nullptr) device_->ForgetBuffer(this);
    if (glName_ != 0 && SDL_GL_GetCurrentContext() != nullptr) {
#if !defined(__EMSCRIPTEN__)
        if (locked_) {
            glBindBuffer(GL_ARRAY_BUFFER, glName_);
            glUnmapBuffer(GL_ARRAY_BUFFER);
        }
#endif
        const GLuint name = glName_;
        glDeleteBuffers(1, &name);
    }
}

HRESULT VertexBuffer8::Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) {
    if (data == nullptr || locked_ || device_ == nullptr || offset > length_) return D3DERR_INVALIDCALL;
    if (size == 0) size = length_ - offset;
    if (size > length_ - offset) return D3DERR_INVALIDCALL;
#if defined(__EMSCRIPTEN__)
    staging_.resize(size);
    *data = staging_.data();
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size;
    if (flags & D3DLOCK_DISCARD) {
        glBindBuffer(GL_ARRAY_BUFFER, glName_);
        glBufferData(GL_ARRAY_BUFFER, length_, nullptr, GL_STREAM_DRAW);
    }
    return D3D_OK;
#endif
    glBindBuffer(GL_ARRAY_BUFFER, glName_);
    GLbitfield access = GL_MAP_WRITE_BIT;
    if (flags & D3DLOCK_DISCARD) {
        glBufferData(GL_ARRAY_BUFFER, length_, nullptr, GL_STREAM_DRAW);  // orphan
        access |= GL_MAP_INVALIDATE_BUFFER_BIT;
    } else if (flags & D3DLOCK_NOOVERWRITE) {
        access |= GL_MAP_UNSYNCHRONIZED_BIT;
    }
    void* p = glMapBufferRange(GL_ARRAY_BUFFER, offset, size, access);
    if (p == nullptr) return D3DERR_INVALIDCALL;
    *data = static_cast<uint8_t*>(p);
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size;
    return D3D_OK;
}

HRESULT VertexBuffer8::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    glBindBuffer(GL_ARRAY_BUFFER, glName_);
#if defined(__EMSCRIPTEN__)
    glBufferSubData(GL_ARRAY_BUFFER, lockOffset_, lockSize_, staging_.data());
#else
    glUnmapBuffer(GL_ARRAY_BUFFER);
#endif
    locked_ = false;
    if (device_ != nullptr) {
        ++device_->stats_.VertexBufferUploads;
        device_->stats_.UploadedBytes += lockSize_;
    }
    return D3D_OK;
}

// ---- device

Direct3DDevice8::Direct3DDevice8(SDL_Window* window, D3DDEVTYPE type) : window_(window), type_(type) {}

Direct3DDevice8::~Direct3DDevice8() {
    for (VertexBuffer8* b : buffers_) b->device_ = nullptr;
    if (SDL_GL_GetCurrentContext() == nullptr) return;  // the context took its objects along
    if (vao_ != 0) glDeleteVertexArrays(1, &vao_);
    glDeleteSamplers(kMaxTextureStages, samplers_);
}

bool Direct3DDevice8::Initialise(const D3DPRESENT_PARAMETERS& params) {
    if (!ContextCurrentFor(window_) || epoxy_gl_version() < 33) return false;
    std::string error;
    program_ = FixedFunctionProgram::Create(error);
    if (!program_) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "%s", error.c_str());
        return false;
    }
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenSamplers(kMaxTextureStages, samplers_);
    backBuffer_.reset(new Surface8(Surface8::Kind::BackBuffer, 1, 1, D3DFMT_X8R8G8B8, nullptr));
    if (params.EnableAutoDepthStencil) {
        autoDepth_.reset(new Surface8(Surface8::Kind::DepthStencil, 1, 1, D3DFMT_D16, nullptr));
    }
    target_ = backBuffer_.get();
    depth_ = autoDepth_.get();
    for (int i = 0; i < kMaxTextureStages; ++i) glBindSampler(i, samplers_[i]);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    maxTextureSize_ = maxSize;
    program_->Use();
    params_ = params;
    UpdateBackBufferSize();
    SetDefaultStates();
    return true;
}

void Direct3DDevice8::SetDefaultStates() {
    std::fill(std::begin(renderStates_), std::end(renderStates_), 0u);
    renderStates_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    renderStates_[D3DRS_FILLMODE] = D3DFILL_SOLID;
    renderStates_[D3DRS_SHADEMODE] = 2;  // Gouraud
    renderStates_[D3DRS_ZWRITEENABLE] = 1;
    renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
    renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    renderStates_[D3DRS_FOGSTART] = FloatBits(0.0f);
    renderStates_[D3DRS_FOGEND] = FloatBits(1.0f);
    renderStates_[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    renderStates_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    renderStates_[D3DRS_LIGHTING] = 1;
    for (int s = 0; s < kMaxTextureStages; ++s) {
        uint32_t* st = stageStates_[s];
        std::fill(st, st + D3DTSS_COUNT, 0u);
        st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        st[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        st[D3DTSS_TEXCOORDINDEX] = static_cast<uint32_t>(s);
        st[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        st[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        st[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        textures_[s] = nullptr;
        samplerDirty_[s] = true;
    }
    world_ = view_ = projection_ = Identity();
    for (Mat4& m : textureMatrices_) m = Identity();
    target_ = backBuffer_.get();
    depth_ = autoDepth_.get();
    BindRenderTarget();
    stream_ = nullptr;
    streamStride_ = 0;
    fvf_ = 0;
    boundVbo_ = boundFvf_ = boundStride_ = 0;
    shaderDirty_ = rasterDirty_ = transformDirty_ = true;
}

void Direct3DDevice8::UpdateBackBufferSize() {
    int w = 0;
    int h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    if (params_.BackBufferWidth != 0 && params_.BackBufferHeight != 0 && (w <= 0 || h <= 0)) {
        w = static_cast<int>(params_.BackBufferWidth);
        h = static_cast<int>(params_.BackBufferHeight);
    }
    bbWidth_ = std::max(w, 1);
    bbHeight_ = std::max(h, 1);
    for (Surface8* s : {backBuffer_.get(), autoDepth_.get()}) {
        if (s == nullptr) continue;
        s->width_ = bbWidth_;
        s->height_ = bbHeight_;
    }
    if (DrawingToTexture()) return;
    targetWidth_ = bbWidth_;
    targetHeight_ = bbHeight_;
    glViewport(0, 0, bbWidth_, bbHeight_);
    shaderDirty_ = true;
}

void Direct3DDevice8::BindRenderTarget() {
    if (DrawingToTexture()) {
        Texture& texture = *target_->texture_;
        glBindFramebuffer(GL_FRAMEBUFFER, texture.glFramebuffer);
        const GLuint depth = depth_ != nullptr ? depth_->glRenderbuffer : 0;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        targetWidth_ = target_->width_;
        targetHeight_ = target_->height_;
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        targetWidth_ = bbWidth_;
        targetHeight_ = bbHeight_;
    }
    glViewport(0, 0, targetWidth_, targetHeight_);
    shaderDirty_ = rasterDirty_ = true;
}

// Gives a render-target texture its GL storage and framebuffer. False when GL refuses them.
bool Direct3DDevice8::PrepareRenderTargetTexture(Texture& texture) {
    if (texture.glFramebuffer != 0) return true;
    GlTextureFormat gl{};
    if (!GlFormatOf(texture.Format(), gl)) return false;
    GLuint name = 0;
    glGenTextures(1, &name);
    texture.glName = name;
    texture.glVersion = texture.Version();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
#if defined(__EMSCRIPTEN__)
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture.Width(), texture.Height(), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
#else
    const bool r565 = texture.Format() == D3DFMT_R5G6B5;
    glTexImage2D(GL_TEXTURE_2D, 0, r565 ? GL_RGB8 : GL_RGBA8, texture.Width(), texture.Height(), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, gl.opaque ? GL_ONE : GL_ALPHA);
#endif
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    texture.glFramebuffer = fbo;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    BindRenderTarget();
    ++stats_.TextureUploads;
    return complete;
}

HRESULT Direct3DDevice8::CreateDepthStencilSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                                   uint32_t multiSample, std::unique_ptr<Surface8>& out) {
    out.reset();
    const uint32_t maxSize = static_cast<uint32_t>(std::max(maxTextureSize_, 1));
    if (format != D3DFMT_D16 || multiSample != 0 || width == 0 || height == 0 || width > maxSize || height > maxSize) {
        return D3DERR_INVALIDCALL;
    }
    if (!ContextCurrentFor(window_)) return D3DERR_NOTAVAILABLE;
    std::unique_ptr<Surface8> surface(
        new Surface8(Surface8::Kind::DepthStencil, static_cast<int>(width), static_cast<int>(height), format, nullptr));
    GLuint name = 0;
    glGenRenderbuffers(1, &name);
    glBindRenderbuffer(GL_RENDERBUFFER, name);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    surface->glRenderbuffer = name;
    out = std::move(surface);
    return D3D_OK;
}

HRESULT Direct3DDevice8::GetBackBuffer(uint32_t index, D3DBACKBUFFER_TYPE type, Surface8*& out) {
    out = nullptr;
    if (index != 0 || type != D3DBACKBUFFER_TYPE_MONO || !backBuffer_) return D3DERR_INVALIDCALL;
    out = backBuffer_.get();
    return D3D_OK;
}

HRESULT Direct3DDevice8::GetDepthStencilSurface(Surface8*& out) const {
    out = depth_;
    return depth_ != nullptr ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3DDevice8::GetRenderTarget(Surface8*& out) const {
    out = target_;
    return D3D_OK;
}

HRESULT Direct3DDevice8::SetRenderTarget(Surface8* target, Surface8* depth) {
    if (target == nullptr) target = target_;
    if (target == nullptr || target->kind_ == Surface8::Kind::DepthStencil) return D3DERR_INVALIDCALL;
    if (depth != nullptr && depth->kind_ != Surface8::Kind::DepthStencil) return D3DERR_INVALIDCALL;
    if (target->kind_ == Surface8::Kind::BackBuffer) {
        if (depth != nullptr && depth != autoDepth_.get()) return D3DERR_INVALIDCALL;
    } else {
        if (depth != nullptr &&
            (depth == autoDepth_.get() || depth->width_ < target->width_ || depth->height_ < target->height_)) {
            return D3DERR_INVALIDCALL;
        }
        if (!PrepareRenderTargetTexture(*target->texture_)) return D3DERR_INVALIDCALL;
    }
    target_ = target;
    depth_ = depth;
    BindRenderTarget();
    return D3D_OK;
}

int Direct3DDevice8::BackBufferWidth() const { return bbWidth_; }
int Direct3DDevice8::BackBufferHeight() const { return bbHeight_; }

void Direct3DDevice8::ForgetBuffer(VertexBuffer8* buffer) {
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
    if (stream_ == buffer) stream_ = nullptr;
    if (boundVbo_ == buffer->glName_) boundVbo_ = 0;
}

HRESULT Direct3DDevice8::Reset(const D3DPRESENT_PARAMETERS& params) {
    if (inScene_) return D3DERR_INVALIDCALL;
    if (lost_ && failingResets_ > 0) {
        --failingResets_;
        return D3DERR_DEVICELOST;
    }
    if (params.hDeviceWindow != nullptr && params.hDeviceWindow != window_) return D3DERR_INVALIDCALL;
    if (!ContextCurrentFor(window_)) return D3DERR_NOTAVAILABLE;
    lost_ = false;
    params_ = params;
    if (!params.EnableAutoDepthStencil) autoDepth_.reset();
    else if (!autoDepth_) autoDepth_.reset(new Surface8(Surface8::Kind::DepthStencil, 1, 1, D3DFMT_D16, nullptr));
    target_ = backBuffer_.get();
    UpdateBackBufferSize();
    SetDefaultStates();
    ++stats_.Resets;
    return D3D_OK;
}

HRESULT Direct3DDevice8::TestCooperativeLevel() const {
    if (!lost_) return D3D_OK;
    return failingResets_ > 0 ? D3DERR_DEVICELOST : D3DERR_DEVICENOTRESET;
}

HRESULT Direct3DDevice8::Present() {
    if (lost_) return D3DERR_DEVICELOST;
    if (inScene_) return D3DERR_INVALIDCALL;
    SDL_GL_SwapWindow(window_);
    // An offscreen (pbuffer) surface has no real swap, and the software rasteriser then keeps
    // every frame's queued work until something flushes it: flush once per frame.
    glFlush();
    ++stats_.Presents;
    return D3D_OK;
}

void Direct3DDevice8::SimulateDeviceLoss(int failingResets) {
    lost_ = true;
    failingResets_ = std::max(failingResets, 0);
}

HRESULT Direct3DDevice8::Clear(uint32_t rectCount, const void*, uint32_t flags, uint32_t color, float z, uint32_t) {
    if (rectCount != 0) return D3DERR_INVALIDCALL;
    if (lost_) return D3DERR_DEVICELOST;
    if ((flags & D3DCLEAR_ZBUFFER) && depth_ == nullptr) return D3DERR_INVALIDCALL;
    UpdateBackBufferSize();
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                     ((color >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glDepthMask(GL_TRUE);
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        mask |= GL_DEPTH_BUFFER_BIT;
        rasterDirty_ = true;
    }
    if (mask != 0) glClear(mask);
    ++stats_.Clears;
    return D3D_OK;
}

HRESULT Direct3DDevice8::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Direct3DDevice8::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Direct3DDevice8::SetTransform(D3DTRANSFORMSTATETYPE type, const Mat4& matrix) {
    switch (type) {
        case D3DTS_WORLD: world_ = matrix; break;
        case D3DTS_VIEW: view_ = matrix; break;
        case D3DTS_PROJECTION: projection_ = matrix; break;
        default:
            if (type < D3DTS_TEXTURE0 || type > D3DTS_TEXTURE7) return D3DERR_INVALIDCALL;
            textureMatrices_[type - D3DTS_TEXTURE0] = matrix;
            shaderDirty_ = true;
            return D3D_OK;
    }
    transformDirty_ = true;
    return D3D_OK;
}

HRESULT Direct3DDevice8::GetTransform(D3DTRANSFORMSTATETYPE type, Mat4& matrix) const {
    switch (type) {
        case D3DTS_WORLD: matrix = world_; return D3D_OK;
        case D3DTS_VIEW: matrix = view_; return D3D_OK;
        case D3DTS_PROJECTION: matrix = projection_; return D3D_OK;
        default:
            if (type < D3DTS_TEXTURE0 || type > D3DTS_TEXTURE7) return D3DERR_INVALIDCALL;
            matrix = textureMatrices_[type - D3DTS_TEXTURE0];
            return D3D_OK;
    }
}

HRESULT Direct3DDevice8::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
    if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
    if (renderStates_[state] == value) return D3D_OK;
    renderStates_[state] = value;
    switch (state) {
        case D3DRS_ZENABLE:
        case D3DRS_FILLMODE:
        case D3DRS_ZWRITEENABLE:
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND:
        case D3DRS_CULLMODE:
        case D3DRS_ZFUNC:
        case D3DRS_ZBIAS:
        case D3DRS_ALPHABLENDENABLE: rasterDirty_ = true; break;
        default: shaderDirty_ = true; break;
    }
    return D3D_OK;
}

uint32_t Direct3DDevice8::GetRenderState(D3DRENDERSTATETYPE state) const {
    return state < D3DRS_COUNT ? renderStates_[state] : 0;
}

HRESULT Direct3DDevice8::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) {
    if (stage >= kMaxTextureStages || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
    if (stageStates_[stage][type] == value) return D3D_OK;
    stageStates_[stage][type] = value;
    switch (type) {
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
        case D3DTSS_MAGFILTER:
        case D3DTSS_MINFILTER:
        case D3DTSS_MIPFILTER: samplerDirty_[stage] = true; break;
        default: shaderDirty_ = true; break;
    }
    return D3D_OK;
}

uint32_t Direct3DDevice8::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type) const {
    if (stage >= kMaxTextureStages || type >= D3DTSS_COUNT) return 0;
    return stageStates_[stage][type];
}

HRESULT Direct3DDevice8::SetTexture(uint32_t stage, Texture* texture) {
    if (stage >= kMaxTextureStages) return D3DERR_INVALIDCALL;
    if ((textures_[stage] == nullptr) != (texture == nullptr)) shaderDirty_ = true;
    textures_[stage] = texture;
    return D3D_OK;
}

Texture* Direct3DDevice8::GetTexture(uint32_t stage) const {
    return stage < kMaxTextureStages ? textures_[stage] : nullptr;
}

HRESULT Direct3DDevice8::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                       D3DFORMAT format, D3DPOOL pool, std::unique_ptr<Texture>& out) {
    GlTextureFormat gl{};
    const uint32_t maxSize = static_cast<uint32_t>(std::max(maxTextureSize_, 1));
    if (!GlFormatOf(format, gl) || width == 0 || height == 0 || width > maxSize || height > maxSize || levels > 32) {
        return D3DERR_INVALIDCALL;
    }
    const bool renderTarget = (usage & D3DUSAGE_RENDERTARGET) != 0;
    if (renderTarget && (pool != D3DPOOL_DEFAULT || levels > 1 ||
                         (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && format != D3DFMT_R5G6B5))) {
        return D3DERR_INVALIDCALL;
    }
    out = std::make_unique<Texture>(static_cast<int>(width), static_cast<int>(height), static_cast<int>(levels), format,
                                    usage & D3DUSAGE_RENDERTARGET);
    return D3D_OK;
}

HRESULT Direct3DDevice8::CreateVertexBuffer(uint32_t length, uint32_t, uint32_t fvf, D3DPOOL,
                                            std::unique_ptr<VertexBuffer8>& out) {
    out.reset();
    if (length == 0 || length > 0x7FFFFFFFu) return D3DERR_INVALIDCALL;
    if (failingBuffers_ > 0) {
        --failingBuffers_;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    if (!ContextCurrentFor(window_)) return D3DERR_INVALIDCALL;
    while (glGetError() != GL_NO_ERROR) {
    }
    std::unique_ptr<VertexBuffer8> vb(new VertexBuffer8(*this, length, fvf));
    glGenBuffers(1, &vb->glName_);
    glBindBuffer(GL_ARRAY_BUFFER, vb->glName_);
    glBufferData(GL_ARRAY_BUFFER, length, nullptr, GL_STREAM_DRAW);
    buffers_.push_back(vb.get());
    if (glGetError() != GL_NO_ERROR) return D3DERR_OUTOFVIDEOMEMORY;
    out = std::move(vb);
    return D3D_OK;
}

HRESULT Direct3DDevice8::SetStreamSource(uint32_t stream, VertexBuffer8* buffer, uint32_t stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;
    stream_ = buffer;
    streamStride_ = stride;
    return D3D_OK;
}

HRESULT Direct3DDevice8::SetVertexShader(uint32_t fvf) {
    if (FvfVertexSize(fvf) == 0) return D3DERR_INVALIDCALL;
    if ((fvf & D3DFVF_XYZRHW) != (fvf_ & D3DFVF_XYZRHW)) shaderDirty_ = true;
    fvf_ = fvf;
    return D3D_OK;
}

void Direct3DDevice8::BindVertexFormat() {
    if (stream_->glName_ == boundVbo_ && fvf_ == boundFvf_ && streamStride_ == boundStride_) return;
    glBindBuffer(GL_ARRAY_BUFFER, stream_->glName_);
    const GLsizei stride = static_cast<GLsizei>(streamStride_);
    uintptr_t offset = 0;
    auto at = [&offset]() { return reinterpret_cast<const void*>(offset); };
    const bool rhw = (fvf_ & D3DFVF_XYZRHW) != 0;
    glEnableVertexAttribArray(kAttribPosition);
    glVertexAttribPointer(kAttribPosition, rhw ? 4 : 3, GL_FLOAT, GL_FALSE, stride, at());
    offset += rhw ? 16 : 12;
    if (fvf_ & D3DFVF_NORMAL) offset += 12;
    if (fvf_ & D3DFVF_DIFFUSE) {
        glEnableVertexAttribArray(kAttribDiffuse);
        glVertexAttribPointer(kAttribDiffuse, kColourComponents, GL_UNSIGNED_BYTE, GL_TRUE, stride, at());
        offset += 4;
    } else {
        glDisableVertexAttribArray(kAttribDiffuse);
        glVertexAttrib4f(kAttribDiffuse, 1, 1, 1, 1);
    }
    if (fvf_ & D3DFVF_SPECULAR) {
        glEnableVertexAttribArray(kAttribSpecular);
        glVertexAttribPointer(kAttribSpecular, kColourComponents, GL_UNSIGNED_BYTE, GL_TRUE, stride, at());
        offset += 4;
    } else {
        glDisableVertexAttribArray(kAttribSpecular);
        glVertexAttrib4f(kAttribSpecular, 0, 0, 0, 0);
    }
    const uint32_t sets = (fvf_ & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (uint32_t i = 0; i < static_cast<uint32_t>(kTexCoordSets); ++i) {
        const GLuint loc = kAttribTex0 + i;
        if (i < sets) {
            glEnableVertexAttribArray(loc);
            glVertexAttribPointer(loc, 2, GL_FLOAT, GL_FALSE, stride, at());
            offset += 8;
        } else {
            glDisableVertexAttribArray(loc);
            glVertexAttrib4f(loc, 0, 0, 0, 1);
        }
    }
    boundVbo_ = stream_->glName_;
    boundFvf_ = fvf_;
    boundStride_ = streamStride_;
}

HRESULT Direct3DDevice8::PreLoad(Texture* texture) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    if (lost_) return D3DERR_DEVICELOST;
    if (texture->glName != 0 && texture->glVersion == texture->Version()) return D3D_OK;
    if (texture->IsRenderTarget()) return PrepareRenderTargetTexture(*texture) ? D3D_OK : D3DERR_INVALIDCALL;
    // Draws bind every enabled stage's texture again, so unit 0's binding may change here.
    glActiveTexture(GL_TEXTURE0);
    UploadTexture(*texture);
    return D3D_OK;
}

void Direct3DDevice8::UploadTexture(Texture& texture) {
    if (texture.IsRenderTarget()) {
        PrepareRenderTargetTexture(texture);
        return;
    }
    GlTextureFormat gl{};
    if (!GlFormatOf(texture.Format(), gl)) return;
    GLuint name = texture.glName;
    if (name == 0) glGenTextures(1, &name);
    texture.glName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
#if defined(__EMSCRIPTEN__)
    for (int i = 0; i < texture.LevelCount(); ++i) {
        const TextureLevel& level = texture.Level(i);
        const std::vector<uint8_t> rgba = LevelAsRgba(level, texture.Format(), gl.opaque);
        glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA8, level.width, level.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, texture.LevelCount() - 1);
#else
    const int bpp = BytesPerPixelOf(texture.Format());
    for (int i = 0; i < texture.LevelCount(); ++i) {
        const TextureLevel& level = texture.Level(i);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, level.pitch / bpp);
        glTexImage2D(GL_TEXTURE_2D, i, gl.internal, level.width, level.height, 0, gl.format, gl.type,
                     level.bits.data());
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, texture.LevelCount() - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, gl.opaque ? GL_ONE : GL_ALPHA);
#endif
    texture.glVersion = texture.Version();
    ++stats_.TextureUploads;
}

void Direct3DDevice8::ApplyRasterState() {
    const uint32_t* rs = renderStates_;
    if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && depth_ != nullptr) glEnable(GL_DEPTH_TEST);
    else glDisable(GL_DEPTH_TEST);
    glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    glDepthFunc(GlCompare(rs[D3DRS_ZFUNC]));
    // A bias moves depth towards the eye by that many steps of the depth buffer.
    const uint32_t bias = std::min<uint32_t>(rs[D3DRS_ZBIAS], 16);
    if (bias != 0) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(0.0f, -static_cast<float>(bias));
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
    }
    // Direct3D culls by on-screen winding; the back buffer's image is not flipped, so GL's
    // window-space winding is the same one. A texture is drawn upside down (its first row is
    // GL's bottom one), which turns the winding over.
    if (rs[D3DRS_CULLMODE] == D3DCULL_CCW || rs[D3DRS_CULLMODE] == D3DCULL_CW) {
        glEnable(GL_CULL_FACE);
        glFrontFace(DrawingToTexture() ? GL_CW : GL_CCW);
        glCullFace(rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_FRONT : GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
#if !defined(__EMSCRIPTEN__)
    // WebGL has no polygon mode: there wireframe and point fill draw solid.
    const uint32_t fill = rs[D3DRS_FILLMODE];
    glPolygonMode(GL_FRONT_AND_BACK, fill == D3DFILL_WIREFRAME ? GL_LINE : fill == D3DFILL_POINT ? GL_POINT : GL_FILL);
#endif
    if (rs[D3DRS_ALPHABLENDENABLE]) glEnable(GL_BLEND);
    else glDisable(GL_BLEND);
    glBlendFunc(GlBlend(rs[D3DRS_SRCBLEND]), GlBlend(rs[D3DRS_DESTBLEND]));
    rasterDirty_ = false;
}

void Direct3DDevice8::UploadShaderState() {
    FixedFunctionState fs{};
    for (int s = 0; s < kShaderStages; ++s) {
        const uint32_t* st = stageStates_[s];
        fs.setup.colorOp[s] = static_cast<int32_t>(st[D3DTSS_COLOROP]);
        fs.setup.colorArg1[s] = static_cast<int32_t>(st[D3DTSS_COLORARG1]);
        fs.setup.colorArg2[s] = static_cast<int32_t>(st[D3DTSS_COLORARG2]);
        fs.setup.alphaOp[s] = static_cast<int32_t>(st[D3DTSS_ALPHAOP]);
        fs.setup.alphaArg1[s] = static_cast<int32_t>(st[D3DTSS_ALPHAARG1]);
        fs.setup.alphaArg2[s] = static_cast<int32_t>(st[D3DTSS_ALPHAARG2]);
        fs.setup.hasTexture[s] = boundHasTexture_[s];
        const uint32_t index = st[D3DTSS_TEXCOORDINDEX];
        fs.texSource[s] = (index & 0xFFFF0000u) == D3DTSS_TCI_CAMERASPACEPOSITION
                              ? kTexSourceCameraPosition
                              : static_cast<int32_t>(index & 0xFFFF);
        const uint32_t flags = st[D3DTSS_TEXTURETRANSFORMFLAGS];
        const int32_t count = static_cast<int32_t>(std::min<uint32_t>(flags & 0xFF, 4));
        fs.texCount[s] = count;
        fs.setup.texProjected[s] = (flags & D3DTTFF_PROJECTED) != 0 && count >= 2 ? count : 0;
        std::memcpy(fs.texMatrix[s], textureMatrices_[s].m, sizeof fs.texMatrix[s]);
    }
    const uint32_t* rs = renderStates_;
    fs.setup.alphaTest = rs[D3DRS_ALPHATESTENABLE] ? 1 : 0;
    fs.setup.alphaFunc = static_cast<int32_t>(rs[D3DRS_ALPHAFUNC]);
    fs.alphaRef = static_cast<int32_t>(rs[D3DRS_ALPHAREF] & 0xFF);
    const bool pretransformed = (fvf_ & D3DFVF_XYZRHW) != 0;
    fs.setup.fogEnable = rs[D3DRS_FOGENABLE] && !pretransformed && rs[D3DRS_FOGTABLEMODE] == D3DFOG_NONE &&
                         rs[D3DRS_FOGVERTEXMODE] == D3DFOG_LINEAR;
    const uint32_t fog = rs[D3DRS_FOGCOLOR];
    fs.fogColor[0] = ((fog >> 16) & 0xFF) / 255.0f;
    fs.fogColor[1] = ((fog >> 8) & 0xFF) / 255.0f;
    fs.fogColor[2] = (fog & 0xFF) / 255.0f;
    fs.fogStart = BitsFloat(rs[D3DRS_FOGSTART]);
    fs.fogEnd = BitsFloat(rs[D3DRS_FOGEND]);
    const uint32_t tf = rs[D3DRS_TEXTUREFACTOR];
    fs.textureFactor[0] = ((tf >> 16) & 0xFF) / 255.0f;
    fs.textureFactor[1] = ((tf >> 8) & 0xFF) / 255.0f;
    fs.textureFactor[2] = (tf & 0xFF) / 255.0f;
    fs.textureFactor[3] = ((tf >> 24) & 0xFF) / 255.0f;
    fs.pretransformed = pretransformed ? 1 : 0;
    fs.viewport[0] = static_cast<float>(targetWidth_);
    fs.viewport[1] = static_cast<float>(targetHeight_);
    fs.flipY = DrawingToTexture() ? 1 : 0;
    program_->SetState(fs);
    shaderDirty_ = false;
}

void Direct3DDevice8::ApplyState() {
    if (rasterDirty_) ApplyRasterState();
    for (int s = 0; s < kMaxTextureStages; ++s) {
        if (!samplerDirty_[s]) continue;
        const uint32_t* st = stageStates_[s];
        glSamplerParameteri(samplers_[s], GL_TEXTURE_MAG_FILTER,
                            st[D3DTSS_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(samplers_[s], GL_TEXTURE_MIN_FILTER,
                            GlMinFilter(st[D3DTSS_MINFILTER], st[D3DTSS_MIPFILTER]));
        glSamplerParameteri(samplers_[s], GL_TEXTURE_WRAP_S, GlWrap(st[D3DTSS_ADDRESSU]));
        glSamplerParameteri(samplers_[s], GL_TEXTURE_WRAP_T, GlWrap(st[D3DTSS_ADDRESSV]));
        samplerDirty_[s] = false;
    }
    // Bind (and upload when changed) the textures of the enabled stages only: a disabled
    // stage may still name a texture its owner has replaced since.
    int hasTexture[kShaderStages] = {};
    for (int s = 0; s < kShaderStages; ++s) {
        if (stageStates_[s][D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        Texture* t = textures_[s];
        if (t == nullptr) continue;
        glActiveTexture(GL_TEXTURE0 + s);
        if (t->glName == 0 || t->glVersion != t->Version()) UploadTexture(*t);
        else glBindTexture(GL_TEXTURE_2D, t->glName);
        GlTextureFormat gl{};
        hasTexture[s] = t->glName != 0 && GlFormatOf(t->Format(), gl) ? 1 : 0;
    }
    glActiveTexture(GL_TEXTURE0);
    if (std::memcmp(hasTexture, boundHasTexture_, sizeof hasTexture) != 0) {
        std::memcpy(boundHasTexture_, hasTexture, sizeof hasTexture);
        shaderDirty_ = true;
    }
    if (shaderDirty_) UploadShaderState();
    if (transformDirty_) {
        Mat4 worldView{};
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                double sum = 0;
                for (int k = 0; k < 4; ++k) sum += double(world_.m[4 * r + k]) * view_.m[4 * k + c];
                worldView.m[4 * r + c] = static_cast<float>(sum);
            }
        }
        program_->SetTransforms(worldView, projection_);
        transformDirty_ = false;
    }
}

HRESULT Direct3DDevice8::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex, uint32_t primitiveCount) {
    if (type != D3DPT_TRIANGLELIST || stream_ == nullptr || stream_->locked_ || streamStride_ == 0 || fvf_ == 0 ||
        !inScene_) {
        return D3DERR_INVALIDCALL;
    }
    if (lost_) return D3DERR_DEVICELOST;
    if (primitiveCount == 0) return D3D_OK;
    const uint64_t end = (uint64_t(startVertex) + uint64_t(primitiveCount) * 3) * streamStride_;
    if (end > stream_->length_ || streamStride_ < FvfVertexSize(fvf_)) return D3DERR_INVALIDCALL;
    BindVertexFormat();
    ApplyState();
    glDrawArrays(GL_TRIANGLES, static_cast<GLint>(startVertex), static_cast<GLsizei>(primitiveCount * 3));
    ++stats_.DrawCalls;
    stats_.Primitives += primitiveCount;
    return D3D_OK;
}

HRESULT Direct3DDevice8::GetDeviceCaps(D3DCAPS8& caps) const {
    caps = D3DCAPS8{};
    caps.DeviceType = type_;
    caps.MaxTextureWidth = caps.MaxTextureHeight = static_cast<uint32_t>(maxTextureSize_);
    caps.MaxTextureBlendStages = kShaderStages;
    caps.MaxSimultaneousTextures = kShaderStages;
    caps.MaxPrimitiveCount = 0x7FFFFFFF / 3;
    caps.MaxVertexIndex = 0x7FFFFFFF;
    caps.MaxStreams = 1;
    caps.MaxStreamStride = 255;
    // DISABLE, SELECTARG1/2, MODULATE/2X/4X, ADD, ADDSIGNED, SUBTRACT, DOTPRODUCT3
    caps.TextureOpCaps = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x200 | 0x800000;
    return D3D_OK;
}

bool Direct3DDevice8::ReadPixels(int x, int y, int width, int height, std::vector<uint8_t>& rgba) const {
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > bbWidth_ || y + height > bbHeight_) {
        return false;
    }
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> flipped(row * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(x, bbHeight_ - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, flipped.data());
    if (DrawingToTexture()) glBindFramebuffer(GL_READ_FRAMEBUFFER, target_->texture_->glFramebuffer);
    rgba.resize(flipped.size());
    for (int r = 0; r < height; ++r) {
        std::memcpy(rgba.data() + r * row, flipped.data() + (height - 1 - r) * row, row);
    }
    return true;
}

// ---- Direct3D object

Direct3D8::~Direct3D8() {
    if (ownsVideo_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

HRESULT Direct3D8::GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE& mode) {
    if (failingModeQueries_ > 0) {
        --failingModeQueries_;
        return D3DERR_NOTAVAILABLE;
    }
    SDL_DisplayMode dm{};
    if (SDL_GetDesktopDisplayMode(static_cast<int>(adapter), &dm) != 0) return D3DERR_NOTAVAILABLE;
    mode.Width = static_cast<uint32_t>(std::max(dm.w, 0));
    mode.Height = static_cast<uint32_t>(std::max(dm.h, 0));
    mode.RefreshRate = static_cast<uint32_t>(std::max(dm.refresh_rate, 0));
    mode.Format = SDL_BITSPERPIXEL(dm.format) == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    return D3D_OK;
}

HRESULT Direct3D8::CreateDevice(uint32_t adapter, D3DDEVTYPE type, SDL_Window* window, uint32_t,
                                const D3DPRESENT_PARAMETERS& params, std::unique_ptr<Direct3DDevice8>& out) {
    out.reset();
    SDL_Window* target = params.hDeviceWindow != nullptr ? params.hDeviceWindow : window;
    if (adapter != 0 || target == nullptr) return D3DERR_INVALIDCALL;
    if (!ContextCurrentFor(target)) return D3DERR_NOTAVAILABLE;
    std::unique_ptr<Direct3DDevice8> device(new Direct3DDevice8(target, type));
    if (!device->Initialise(params)) return D3DERR_NOTAVAILABLE;
    out = std::move(device);
    return D3D_OK;
}

std::unique_ptr<Direct3D8> Direct3DCreate8(uint32_t sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    std::unique_ptr<Direct3D8> d3d(new Direct3D8());
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
        d3d->ownsVideo_ = true;
    }
    return d3d;
}

}  // namespace dv
