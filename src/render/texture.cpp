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

Texture::Texture(int width, int height, int levels, D3DFORMAT format, uint32_t usage) : format_(format), usage_(usage) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (IsRenderTarget()) {
        TextureLevel level;
        level.width = width;
        level.height = height;
        level.pitch = width * std::max(BytesPerPixelOf(format), 1);
        levels_.push_back(std::move(level));
        surface_.reset(new Surface8(Surface8::Kind::TextureLevel, width, height, format, this));
        return;
    }
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

Surface8::~Surface8() {
    if (glRenderbuffer != 0 && SDL_GL_GetCurrentContext() != nullptr) {
        const GLuint name = glRenderbuffer;
        glDeleteRenderbuffers(1, &name);
    }
}

Texture::~Texture() {
    if (SDL_GL_GetCurrentContext() == nullptr) return;
    if (glFramebuffer != 0) {
        const GLuint name = glFramebuffer;
        glDeleteFramebuffers(1, &name);
    }
    if (glName != 0) {
        const GLuint name = glName;
        glDeleteTextures(1, &name);
    }
}

Surface8* Texture::GetSurfaceLevel(int level) { return level == 0 ? surface_.get() : nullptr; }

bool Texture::LockRect(int level, LockedRect& out) {
    if (level < 0 || level >= LevelCount() || IsRenderTarget()) return false;
    out.Pitch = levels_[level].pitch;
    out.pBits = levels_[level].bits.data();
    return true;
}

void Texture::UnlockRect(int level) {
    if (level >= 0 && level < LevelCount()) ++version_;
}

}  // namespace dv
