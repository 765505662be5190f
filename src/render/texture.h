// A device texture: the stand-in for a managed-pool Direct3D 8 texture.
//
// The pixels of every mip level live in CPU memory in the Direct3D layout of the format (so
// a lost device never loses a texture); LockRect/UnlockRect give access to one level. The
// device uploads a texture to OpenGL the first time it is bound after a change, or earlier
// when asked to (Direct3DDevice8::PreLoad).
// Creating, filling and destroying textures therefore needs no GL context.
#pragma once

#include <cstdint>
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
    // levels = 0 means a full chain down to 1x1, as Direct3D does.
    Texture(int width, int height, int levels, D3DFORMAT format);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    int Width() const { return levels_[0].width; }
    int Height() const { return levels_[0].height; }
    int LevelCount() const { return static_cast<int>(levels_.size()); }
    D3DFORMAT Format() const { return format_; }
    const TextureLevel& Level(int i) const { return levels_[i]; }

    // False for a level out of range.
    bool LockRect(int level, LockedRect& out);
    void UnlockRect(int level);

    // Bumped on every unlock; the device re-uploads when it differs from what it uploaded.
    uint32_t Version() const { return version_; }

    // GL object name owned by the device's upload path (0 = not uploaded yet). The texture
    // deletes it on destruction when a GL context is current.
    uint32_t glName = 0;
    uint32_t glVersion = 0;

private:
    D3DFORMAT format_;
    std::vector<TextureLevel> levels_;
    uint32_t version_ = 1;
};

}  // namespace dv
