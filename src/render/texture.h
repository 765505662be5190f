// A device texture: the stand-in for a managed-pool Direct3D 8 texture.
//
// The pixels of every mip level live in CPU memory in the Direct3D layout of the format (so
// a lost device never loses a texture); LockRect/UnlockRect give access to one level. The
// device uploads a texture to OpenGL the first time it is bound after a change, or earlier
// when asked to (Direct3DDevice8::PreLoad).
// Creating, filling and destroying textures therefore needs no GL context.
//
// A render-target texture (usage D3DUSAGE_RENDERTARGET) is the exception: its pixels live on
// the GL side only, are drawn through its level-0 surface (GetSurfaceLevel, then the device's
// SetRenderTarget) and cannot be locked, as in Direct3D's default pool.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace dv {

// Direct3D 8 format numbers, kept as our values.
enum D3DFORMAT : uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,    // bytes B, G, R
    D3DFMT_A8R8G8B8 = 21,  // bytes B, G, R, A
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,  // little-endian 16-bit A:1 R:5 G:5 B:5
};

int BytesPerPixelOf(D3DFORMAT format);  // 0 for an unknown format

inline constexpr uint32_t D3DUSAGE_RENDERTARGET = 1;
inline constexpr uint32_t D3DUSAGE_DEPTHSTENCIL = 2;

class Texture;

// A surface the device can draw into or test depth against: the back buffer, the depth
// buffer that comes with it, a depth surface of its own (CreateDepthStencilSurface) or the
// top level of a render-target texture. The device owns the first two, the caller the
// others; a texture's surface lives as long as its texture.
class Surface8 {
public:
    enum class Kind { BackBuffer, DepthStencil, TextureLevel };
    ~Surface8();
    Surface8(const Surface8&) = delete;
    Surface8& operator=(const Surface8&) = delete;

    Kind SurfaceKind() const { return kind_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    D3DFORMAT Format() const { return format_; }
    Texture* OwnerTexture() const { return texture_; }

    // GL renderbuffer of a depth surface of its own (0 for the others); made by the device.
    uint32_t glRenderbuffer = 0;

private:
    friend class Texture;
    friend class Direct3DDevice8;
    Surface8(Kind kind, int width, int height, D3DFORMAT format, Texture* texture)
        : kind_(kind), width_(width), height_(height), format_(format), texture_(texture) {}
    Kind kind_;
    int width_;
    int height_;
    D3DFORMAT format_;
    Texture* texture_;
};

struct TextureLevel {
    int width = 0;
    int height = 0;
    int pitch = 0;  // bytes per row
    std::vector<uint8_t> bits;
};

struct LockedRect {
    int Pitch = 0;
    uint8_t* pBits = nullptr;
};

class Texture {
public:
    // levels = 0 means a full chain down to 1x1, as Direct3D does. A render target has one
    // level and no CPU copy.
    Texture(int width, int height, int levels, D3DFORMAT format, uint32_t usage = 0);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    int Width() const { return levels_[0].width; }
    int Height() const { return levels_[0].height; }
    int LevelCount() const { return static_cast<int>(levels_.size()); }
    D3DFORMAT Format() const { return format_; }
    const TextureLevel& Level(int i) const { return levels_[i]; }

    uint32_t Usage() const { return usage_; }
    bool IsRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
    // The surface of level 0 of a render target; null for other textures and levels.
    Surface8* GetSurfaceLevel(int level);

    // False for a level out of range and for a render target.
    bool LockRect(int level, LockedRect& out);
    void UnlockRect(int level);

    // Bumped on every unlock; the device re-uploads when it differs from what it uploaded.
    uint32_t Version() const { return version_; }

    // GL object name owned by the device's upload path (0 = not uploaded yet). The texture
    // deletes it on destruction when a GL context is current.
    uint32_t glName = 0;
    uint32_t glVersion = 0;
    uint32_t glFramebuffer = 0;  // a render target's framebuffer, made on first use

private:
    D3DFORMAT format_;
    uint32_t usage_ = 0;
    std::unique_ptr<Surface8> surface_;
    std::vector<TextureLevel> levels_;
    uint32_t version_ = 1;
};

}  // namespace dv
