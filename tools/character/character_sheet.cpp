#include "tools/character/character_sheet.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "imaging/png_write.h"
#include "tools/character/character_rig.h"

namespace dvtool {
namespace {

using dv::Vec3;

constexpr float kTop = 52.0f;  // world height at the cell's top edge

// Cell size and magnification; `zoom` 1 gives 96 x 168 pixel cells.
// `yaw` turns the view about the vertical axis; 0 looks at the character's front.
struct Layout {
    int CellW, CellH;
    float PixelsPerUnit;
    float Yaw;
    Layout(int zoom, float yawDegrees)
        : CellW(96 * zoom),
          CellH(168 * zoom),
          PixelsPerUnit(2.2f * static_cast<float>(zoom)),
          Yaw(yawDegrees * dv::DegToRad) {}
};

struct Image {
    int W = 0, H = 0;
    std::vector<uint8_t> Rgb;
    std::vector<float> Depth;
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        if (x < 0 || y < 0 || x >= W || y >= H) return;
        uint8_t* p = &Rgb[static_cast<size_t>(y * W + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
};

// 3 x 5 digits, one row per 3 bits.
constexpr uint16_t kDigits[10] = {0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

void DrawNumber(Image& img, int x, int y, int n) {
    const std::string s = std::to_string(n);
    for (char ch : s) {
        const uint16_t g = kDigits[ch - '0'];
        for (int r = 0; r < 5; ++r) {
            for (int c = 0; c < 3; ++c) {
                if (g >> (14 - (r * 3 + c)) & 1) {
                    for (int k = 0; k < 4; ++k) img.Set(x + c * 2 + k % 2, y + r * 2 + k / 2, 255, 255, 255);
                }
            }
        }
        x += 8;
    }
}

struct Projected {
    float X, Y, Z;
};

Projected Project(const Layout& L, const Vec3& world, int cellX, int cellY) {
    const float c = std::cos(L.Yaw), s = std::sin(L.Yaw);
    const float x = world.x * c + world.z * s;
    const float z = -world.x * s + world.z * c;
    return {static_cast<float>(cellX) + static_cast<float>(L.CellW) * 0.5f - x * L.PixelsPerUnit,
            static_cast<float>(cellY) + (kTop - world.y) * L.PixelsPerUnit, z};
}

void Triangle(Image& img, const Projected (&p)[3], const float (&uv)[3][2], const dv::PixelBlock* tex,
              const float (&light)[3], int clipX0, int clipX1) {
    const float minX = std::max<float>(clipX0, std::floor(std::min({p[0].X, p[1].X, p[2].X})));
    const float maxX = std::min<float>(clipX1 - 1, std::ceil(std::max({p[0].X, p[1].X, p[2].X})));
    const float minY = std::max(0.0f, std::floor(std::min({p[0].Y, p[1].Y, p[2].Y})));
    const float maxY = std::min<float>(img.H - 1, std::ceil(std::max({p[0].Y, p[1].Y, p[2].Y})));
    const float area = (p[1].X - p[0].X) * (p[2].Y - p[0].Y) - (p[2].X - p[0].X) * (p[1].Y - p[0].Y);
    if (std::fabs(area) < 1e-6f) return;
    for (int y = static_cast<int>(minY); y <= static_cast<int>(maxY); ++y) {
        for (int x = static_cast<int>(minX); x <= static_cast<int>(maxX); ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            const float w0 = ((p[1].X - px) * (p[2].Y - py) - (p[2].X - px) * (p[1].Y - py)) / area;
            const float w1 = ((p[2].X - px) * (p[0].Y - py) - (p[0].X - px) * (p[2].Y - py)) / area;
            const float w2 = 1.0f - w0 - w1;
            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
            const float z = w0 * p[0].Z + w1 * p[1].Z + w2 * p[2].Z;
            float& d = img.Depth[static_cast<size_t>(y * img.W + x)];
            if (z <= d) continue;
            d = z;
            const float lit = w0 * light[0] + w1 * light[1] + w2 * light[2];
            float r = 0.8f, g = 0.8f, b = 0.8f;
            if (tex != nullptr) {
                const float u = w0 * uv[0][0] + w1 * uv[1][0] + w2 * uv[2][0];
                const float v = w0 * uv[0][1] + w1 * uv[1][1] + w2 * uv[2][1];
                const int tx = std::clamp(static_cast<int>(u * tex->Width), 0, tex->Width - 1);
                const int ty = std::clamp(static_cast<int>(v * tex->Height), 0, tex->Height - 1);
                const uint16_t c = tex->Pixels[static_cast<size_t>(ty * tex->Width + tx)];
                r = ((c >> 11) & 31) / 31.0f;
                g = ((c >> 5) & 63) / 63.0f;
                b = (c & 31) / 31.0f;
            }
            img.Set(x, y, static_cast<uint8_t>(std::min(255.0f, r * lit * 255)),
                    static_cast<uint8_t>(std::min(255.0f, g * lit * 255)),
                    static_cast<uint8_t>(std::min(255.0f, b * lit * 255)));
        }
    }
}

void DrawCell(Image& img, const Layout& L, const dv::BuiltCharacter& built, int clipIndex, int frame, int cellX,
              int cellY) {
    for (int y = cellY; y < cellY + L.CellH; ++y) {
        for (int x = cellX; x < cellX + L.CellW; ++x) img.Set(x, y, 40, 44, 52);
    }
    for (float level : {0.0f, 16.0f, 24.0f}) {
        const int y = static_cast<int>(static_cast<float>(cellY) + (kTop - level) * L.PixelsPerUnit);
        const uint8_t k = level == 0.0f ? 110 : 70;
        for (int x = cellX; x < cellX + L.CellW; ++x) img.Set(x, y, k, k, static_cast<uint8_t>(k + 20));
    }
    const Projected o = Project(L, {0, 0, 0}, cellX, cellY);
    for (int k = -4; k <= 4; ++k) img.Set(static_cast<int>(o.X) + k, static_cast<int>(o.Y), 200, 80, 80);

    const auto pose = dv::PoseRig(built.Skeleton, dv::CharacterClipFrame(built, clipIndex, frame));
    std::vector<Vec3> pos, normals;
    dv::SkinRig(built.Model, built.Skeleton, pose, pos, &normals);
    // Show the body where the action has moved it, so climbs read as they play.
    const Vec3 moved = built.BodyMoves.at(static_cast<size_t>(clipIndex)).at(static_cast<size_t>(frame));
    const Vec3 lightDir = [] {
        Vec3 l{-0.4f, 0.75f, 0.55f};
        dv::VecNormalize(l);
        return l;
    }();
    for (const dv::ModelFace& f : built.Model.Faces) {
        Projected p[3];
        float uv[3][2];
        Vec3 w[3];
        for (int k = 0; k < 3; ++k) {
            w[k] = dv::VecAdd(dv::VecScale(pos[f.Vertex[k]], 3.2f), moved);
            p[k] = Project(L, w[k], cellX, cellY);
            uv[k][0] = f.Uv[k][0];
            uv[k][1] = f.Uv[k][1];
        }
        if (dv::VecLength(dv::VecCross(dv::VecSub(w[1], w[0]), dv::VecSub(w[2], w[0]))) < 1e-9f) continue;
        // Lit per vertex from the skinned normals and blended across the face, as the game does.
        float light[3];
        for (int k = 0; k < 3; ++k) {
            Vec3 n = normals[f.Vertex[k]];
            dv::VecNormalize(n);
            light[k] = 0.35f + 0.75f * std::max(0.0f, dv::VecDot(n, lightDir));
        }
        const dv::PixelBlock* tex = f.Texture >= 0 && static_cast<size_t>(f.Texture) < built.Textures.size()
                                        ? &built.Textures[f.Texture]
                                        : nullptr;
        Triangle(img, p, uv, tex, light, cellX, cellX + L.CellW);
    }
    DrawNumber(img, cellX + 3, cellY + 3, built.Movable.Clips[clipIndex].ClipId);
    DrawNumber(img, cellX + L.CellW - 20, cellY + 3, frame);
}

void WritePng(const Image& img, const std::string& path) {
    std::vector<uint8_t> rgba(static_cast<size_t>(img.W * img.H) * 4);
    for (size_t i = 0; i < static_cast<size_t>(img.W * img.H); ++i) {
        for (int c = 0; c < 3; ++c) rgba[i * 4 + c] = img.Rgb[i * 3 + c];
        rgba[i * 4 + 3] = 255;
    }
    std::string error;
    if (!dv::WritePngFile(path, img.W, img.H, rgba.data(), error)) throw std::runtime_error(error);
}

}  // namespace

void WriteCharacterSheet(const dv::BuiltCharacter& built, const std::vector<int>& clipIds, int framesPerClip, int zoom,
                         float yawDegrees, const std::string& path) {
    const Layout L(std::clamp(zoom, 1, 8), yawDegrees);
    std::vector<int> indices;
    for (size_t i = 0; i < built.Movable.Clips.size(); ++i) {
        const int id = built.Movable.Clips[i].ClipId;
        if (clipIds.empty() || std::find(clipIds.begin(), clipIds.end(), id) != clipIds.end()) {
            indices.push_back(static_cast<int>(i));
        }
    }
    if (indices.empty()) throw std::runtime_error(path + ": none of the clips asked for exists");
    framesPerClip = std::max(1, framesPerClip);
    const int clipsPerRow = std::clamp(16 / framesPerClip, 1, static_cast<int>(indices.size()));
    const int rows = (static_cast<int>(indices.size()) + clipsPerRow - 1) / clipsPerRow;
    Image img;
    img.W = clipsPerRow * framesPerClip * L.CellW;
    img.H = rows * L.CellH;
    img.Rgb.assign(static_cast<size_t>(img.W * img.H) * 3, 0);
    img.Depth.assign(static_cast<size_t>(img.W * img.H), -std::numeric_limits<float>::max());
    for (size_t i = 0; i < indices.size(); ++i) {
        const dv::ClipRecord& clip = built.Movable.Clips[static_cast<size_t>(indices[i])];
        const int frames = built.Animations[static_cast<size_t>(clip.AnimationIndex)].FrameCount;
        for (int k = 0; k < framesPerClip; ++k) {
            const int frame = framesPerClip == 1 ? 0 : (frames - 1) * k / (framesPerClip - 1);
            const int col = static_cast<int>(i) % clipsPerRow * framesPerClip + k;
            const int row = static_cast<int>(i) / clipsPerRow;
            DrawCell(img, L, built, indices[i], frame, col * L.CellW, row * L.CellH);
        }
    }
    WritePng(img, path);
}

}  // namespace dvtool
