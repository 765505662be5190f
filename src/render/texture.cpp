#include "render/texture.h"

#include <algorithm>
#include <epoxy/gl.h>
#include <SDL.h>

namespace dv {

int BytesPerPixelOf(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_R8G8B8: return 3;
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: return 4;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: return 2;
        default: return 0;
    }
}

Texture::Texture(int width, int height, int levels, D3DFORMAT format) : format_(format) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    const int bpp = std::max(BytesPerPixelOf(format), 1);
    int w = width;
    int h = height;
    for (int i = 0; levels <= 0 || i < levels; ++i) {
        TextureLevel level;
        level.width = w;
        level.height = h;
        level.pitch = w * bpp;
        level.bits.assign(static_cast<size_t>(level.pitch) * h, 0);
        levels_.push_back(std::move(level));
        if (w == 1 && h == 1) break;
        w = std::max(w / 2, 1);
        h = std::max(h / 2, 1);
    }
}

Texture::~Texture() {
    if (glName != 0 && SDL_GL_GetCurrentContext() != nullptr) {
        const GLuint name = glName;
        glDeleteTextures(1, &name);
    }
}

bool Texture::LockRect(int level, LockedRect& out) {
    if (level < 0 || level >= LevelCount()) return false;
    out.Pitch = levels_[level].pitch;
    out.pBits = levels_[level].bits.data();
    return true;
}

void Texture::UnlockRect(int level) {
    if (level >= 0 && level < LevelCount()) ++version_;
}

}  // namespace dv
