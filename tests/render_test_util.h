// Shared set-up for the headless rendering tests: an offscreen GL window, the viewport with
// its device, a slot -> texture map standing in for the texture store, and pixel helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gl_window.h"
#include "render/device.h"
#include "render/viewport_internal.h"

namespace dv::test {

struct Rgb {
    int r, g, b;
};

struct SlotTextures {
    std::map<int32_t, std::unique_ptr<Texture>> slots;
    static Texture* Lookup(void* user, int32_t slot) {
        auto& m = static_cast<SlotTextures*>(user)->slots;
        auto it = m.find(slot);
        return it == m.end() ? nullptr : it->second.get();
    }
    // A solid texture of one colour; alpha only where the format has it.
    Texture& Solid(int32_t slot, D3DFORMAT format, int r, int g, int b, int a = 255, int size = 4) {
        auto t = std::make_unique<Texture>(size, size, 1, format);
        LockedRect lr;
        t->LockRect(0, lr);
        for (int y = 0; y < size; ++y) {
            uint8_t* p = lr.pBits + y * lr.Pitch;
            for (int x = 0; x < size; ++x) WritePixel(format, p, x, r, g, b, a);
        }
        t->UnlockRect(0);
        Texture& ref = *t;
        slots[slot] = std::move(t);
        return ref;
    }
    static void WritePixel(D3DFORMAT format, uint8_t* row, int x, int r, int g, int b, int a) {
        switch (format) {
            case D3DFMT_R8G8B8:
                row += 3 * x;
                row[0] = b;
                row[1] = g;
                row[2] = r;
                break;
            case D3DFMT_A8R8G8B8:
                row += 4 * x;
                row[0] = b;
                row[1] = g;
                row[2] = r;
                row[3] = a;
                break;
            case D3DFMT_A1R5G5B5: {
                const uint16_t v = (a >= 128 ? 0x8000 : 0) | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
                row[2 * x] = v & 0xFF;
                row[2 * x + 1] = v >> 8;
                break;
            }
            default: break;
        }
    }
};

inline uint32_t Argb(int r, int g, int b, int a = 255) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

class RenderTest : public ::testing::Test {
public:
    static constexpr int kSize = 64;

protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        std::string error;
        window = GLWindow::Create("test", kSize, kSize, false, false, error);
        if (!window) GTEST_SKIP() << "no OpenGL 3.3 context can be made here: " << error;
        viewport = std::make_unique<Viewport>();
        viewport->Messages = [this](const std::string& text, const std::string& caption, MessageKind) {
            messages.push_back(caption + "|" + text);
        };
        ASSERT_TRUE(viewport->OpenGraphics());
        viewport->SetCamera(&camera);
        ASSERT_TRUE(viewport->Setup(window->Window(), kSize, kSize, false));
        viewport->SetTextureSource(TextureSource{&textures, &SlotTextures::Lookup});
        viewport->SetClearColor(PackColor(10, 20, 30, 255));
        device = ViewportInternals::Device(*viewport);
        ASSERT_NE(device, nullptr);
    }

    void TearDown() override {
        viewport.reset();  // the device goes with it
        textures.slots.clear();
        window.reset();
    }

    Rgb Pixel(int x, int y) const {
        std::vector<uint8_t> p;
        EXPECT_TRUE(device->ReadPixels(x, y, 1, 1, p));
        if (p.size() < 4) return {-1, -1, -1};
        return {p[0], p[1], p[2]};
    }

    // Full-screen quad at depth 10 in front of the default camera, two clockwise triangles.
    void AddQuad(const TriangleHeader& header, uint32_t diffuse, uint32_t specular = 0, float half = 4.1421356f,
                 bool counterClockwise = false, float z = 10.0f) {
        const float l = -half, r = half, t = half, b = -half;
        auto vert = [&](float x, float y, float u, float v) {
            Vertex3D out{};
            out.Position = VecMake(x, y, z);
            out.Diffuse = diffuse;
            out.Specular = specular;
            out.U = out.BumpU = out.LightU = u;
            out.V = out.BumpV = out.LightV = v;
            return out;
        };
        TriangleVertices tri[2];
        tri[0] = {{vert(l, t, 0, 0), vert(r, t, 1, 0), vert(r, b, 1, 1)}};
        tri[1] = {{vert(l, t, 0, 0), vert(r, b, 1, 1), vert(l, b, 0, 1)}};
        if (counterClockwise) {
            for (auto& tr : tri) std::swap(tr.V[1], tr.V[2]);
        }
        const TriangleHeader headers[2] = {header, header};
        viewport->AddTriangles(headers, tri, 2);
    }

    static TriangleHeader Header(uint16_t texture, uint8_t blend, uint8_t layers) {
        TriangleHeader h{};
        h.Texture = texture;
        h.BlendType = blend;
        h.Layers = layers;
        return h;
    }

    std::unique_ptr<GLWindow> window;
    Camera camera;
    std::unique_ptr<Viewport> viewport;
    SlotTextures textures;
    Direct3DDevice8* device = nullptr;
    std::vector<std::string> messages;
};

}  // namespace dv::test

#define EXPECT_RGB_NEAR(actual, er, eg, eb, tol)    \
    do {                                            \
        const auto _px = (actual);                  \
        EXPECT_NEAR(_px.r, (er), (tol)) << "red";   \
        EXPECT_NEAR(_px.g, (eg), (tol)) << "green"; \
        EXPECT_NEAR(_px.b, (eb), (tol)) << "blue";  \
    } while (0)
