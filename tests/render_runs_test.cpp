// Pixel tests for the run-drawing states and the 2D modes, on a real (offscreen) GL device.
#include "render/font.h"
#include "render/store_source.h"
#include "render_test_util.h"

namespace dv::test {
namespace {

constexpr int kC = RenderTest::kSize / 2;  // a pixel well inside both triangles of the quad

TEST_F(RenderTest, ClearUsesThePackedClearColour) {
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(0, 0), 10, 20, 30, 0);
    EXPECT_RGB_NEAR(Pixel(kSize - 1, kSize - 1), 10, 20, 30, 0);
}

TEST_F(RenderTest, TextureOnlySelectsTheTexture) {
    textures.Solid(7, D3DFMT_R8G8B8, 200, 100, 50);
    AddQuad(Header(7, 0, 0), Argb(0, 0, 0));
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 200, 100, 50, 1);
    EXPECT_RGB_NEAR(Pixel(2, 2), 200, 100, 50, 1);
}

TEST_F(RenderTest, TextureTimesDiffuseWithTwoTimesModulation) {
    viewport->ModulateShift = 1;
    textures.Solid(3, D3DFMT_A8R8G8B8, 100, 150, 200);
    AddQuad(Header(3, 0, 1), Argb(128, 64, 255));
    viewport->RenderFrame();
    // 2 * t * d, saturated: (100.4, 75.3, 400 -> 255)
    EXPECT_RGB_NEAR(Pixel(kC, kC), 100, 75, 255, 2);
}

TEST_F(RenderTest, LightmappedAddsLightmapToDiffuseThenModulatesTheBase) {
    viewport->ModulateShift = 1;
    TriangleHeader h = Header(5, 0, 2);
    h.Lightmap = 9;
    textures.Solid(9, D3DFMT_R8G8B8, 60, 60, 60);
    textures.Solid(5, D3DFMT_R8G8B8, 100, 200, 50);
    AddQuad(h, Argb(40, 20, 0));
    viewport->RenderFrame();
    // (lightmap + diffuse) = (100, 80, 60); x base x 2 / 255 = (78.4, 125.5, 23.5)
    EXPECT_RGB_NEAR(Pixel(kC, kC), 78, 125, 24, 2);
}

TEST_F(RenderTest, BumpedRunDrawsDotProductThenTheLightmapPass) {
    viewport->ModulateShift = 1;
    TriangleHeader h = Header(5, 0, 1);
    h.BumpFlag = 1;
    h.BumpTexture = 6;
    h.Lightmap = 9;
    textures.Solid(6, D3DFMT_R8G8B8, 128, 128, 192);
    textures.Solid(5, D3DFMT_R8G8B8, 200, 100, 50);
    textures.Solid(9, D3DFMT_R8G8B8, 0, 0, 0);  // not read: layer count 1 selects the diffuse
    AddQuad(h, Argb(128, 128, 128), Argb(128, 128, 255));
    device->ResetStats();
    viewport->RenderFrame();
    // pass 1: dot = 4 * ((0.502-0.5)^2 * 2 + 0.2529 * 0.5) = 0.5058; x base x 2
    //         -> (202.4, 101.2, 50.6)
    // pass 2: src = diffuse (0.502), blended DESTCOLOR/SRCCOLOR: 2 * src * dst -> x 1.0039
    EXPECT_RGB_NEAR(Pixel(kC, kC), 203, 102, 51, 3);
    EXPECT_EQ(device->Stats().DrawCalls, 2u);
}

TEST_F(RenderTest, AlphaTestDropsTexelsWithZeroAlpha) {
    Texture& t = textures.Solid(4, D3DFMT_A1R5G5B5, 0, 0, 0, 0, 2);
    LockedRect lr;
    t.LockRect(0, lr);
    for (int y = 0; y < 2; ++y) {
        SlotTextures::WritePixel(D3DFMT_A1R5G5B5, lr.pBits + y * lr.Pitch, 0, 255, 0, 0, 0);
        SlotTextures::WritePixel(D3DFMT_A1R5G5B5, lr.pBits + y * lr.Pitch, 1, 0, 255, 0, 255);
    }
    t.UnlockRect(0);
    AddQuad(Header(4, 1, 0), Argb(255, 255, 255));
    viewport->RenderFrame();
    // Left half: texel 0 has alpha 0 and is dropped; right half: opaque green texel.
    EXPECT_RGB_NEAR(Pixel(kSize / 4, kC), 10, 20, 30, 0);
    EXPECT_RGB_NEAR(Pixel(3 * kSize / 4, kC), 0, 255, 0, 1);
}

TEST_F(RenderTest, AdditiveBlendAddsToTheBackground) {
    textures.Solid(2, D3DFMT_R8G8B8, 100, 20, 200);
    AddQuad(Header(2, 2, 0), Argb(0, 0, 0));
    viewport->SetClearColor(PackColor(50, 50, 50, 255));
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 150, 70, 250, 1);
}

TEST_F(RenderTest, BlendTenIsAdditiveToo) {
    textures.Solid(2, D3DFMT_R8G8B8, 100, 20, 200);
    AddQuad(Header(2, 10, 0), Argb(0, 0, 0));
    viewport->SetClearColor(PackColor(50, 50, 50, 255));
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 150, 70, 250, 1);
}

TEST_F(RenderTest, InverseSourceColourBlend) {
    textures.Solid(2, D3DFMT_R8G8B8, 102, 102, 102);
    AddQuad(Header(2, 11, 0), Argb(0, 0, 0));
    viewport->SetClearColor(PackColor(51, 51, 51, 255));
    viewport->RenderFrame();
    // src (1 - src) + dst (1 - src) = 0.4 * 0.6 + 0.2 * 0.6 = 0.36
    EXPECT_RGB_NEAR(Pixel(kC, kC), 92, 92, 92, 2);
}

TEST_F(RenderTest, BlendTypesWithoutStatesKeepThePreviousRunsBlending) {
    textures.Solid(2, D3DFMT_R8G8B8, 100, 20, 200);
    TriangleHeader additive = Header(2, 2, 0);
    additive.SortKey = -1;  // drawn first
    TriangleHeader keeps = Header(2, 5, 0);
    AddQuad(additive, 0, 0, 4.1421356f, false, 10.0f);
    AddQuad(keeps, 0, 0, 4.1421356f, false, 10.0f);
    viewport->SetClearColor(PackColor(0, 0, 0, 255));
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 200, 40, 255, 1);  // added twice
}

TEST_F(RenderTest, WireframeFlagDrawsOnlyEdges) {
    textures.Solid(2, D3DFMT_R8G8B8, 255, 255, 255);
    TriangleHeader h = Header(2, 0, 0);
    h.Flags = static_cast<int32_t>(0x80000000u);
    AddQuad(h, 0, 0, 2.0f);
    viewport->RenderFrame();
    std::vector<uint8_t> px;
    ASSERT_TRUE(device->ReadPixels(0, 0, kSize, kSize, px));
    int lit = 0;
    for (size_t i = 0; i < px.size(); i += 4) lit += px[i] == 255;
    EXPECT_GT(lit, 40);                                     // the outline and the diagonal
    EXPECT_LT(lit, kSize * 4);                              // far less than the filled quad (~1000 pixels)
    EXPECT_RGB_NEAR(Pixel(kC - 6, kC + 4), 10, 20, 30, 0);  // inside a triangle: background
}

TEST_F(RenderTest, SolidFillBaseFillsAgain) {
    textures.Solid(2, D3DFMT_R8G8B8, 255, 255, 255);
    AddQuad(Header(2, 0, 0), 0, 0, 2.0f);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC - 6, kC + 4), 255, 255, 255, 0);
}

TEST_F(RenderTest, LinearVertexFogMixesTowardsTheFogColour) {
    viewport->Fog.Enabled = true;
    viewport->Fog.Blue = 255;
    viewport->Fog.Start = 0;
    viewport->Fog.End = 20;
    viewport->ApplyFog();
    textures.Solid(2, D3DFMT_R8G8B8, 200, 200, 200);
    AddQuad(Header(2, 0, 0), 0);
    viewport->RenderFrame();
    // eye z = 10: f = (20 - 10) / 20 = 0.5
    EXPECT_RGB_NEAR(Pixel(kC, kC), 100, 100, 228, 2);
}

TEST_F(RenderTest, FogIsOffDuringThe2DPassAndBackOnAfter) {
    viewport->Fog.Enabled = true;
    viewport->Fog.Start = 0;
    viewport->Fog.End = 1;
    viewport->ApplyFog();
    viewport->RenderFrame();
    EXPECT_EQ(device->GetRenderState(D3DRS_FOGENABLE), 1u);
}

TEST_F(RenderTest, CounterClockwiseTrianglesAreCulled) {
    textures.Solid(2, D3DFMT_R8G8B8, 255, 0, 0);
    AddQuad(Header(2, 0, 0), 0, 0, 4.1421356f, true);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 10, 20, 30, 0);
    viewport->ClearTriangles();
    AddQuad(Header(2, 0, 0), 0, 0, 4.1421356f, false);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 255, 0, 0, 0);
}

TEST_F(RenderTest, DepthBufferKeepsTheNearerTriangle) {
    textures.Solid(2, D3DFMT_R8G8B8, 255, 0, 0);
    textures.Solid(3, D3DFMT_R8G8B8, 0, 255, 0);
    TriangleHeader nearH = Header(2, 0, 0);
    nearH.SortKey = -1;  // drawn first
    AddQuad(nearH, 0, 0, 2.0f, false, 10.0f);
    AddQuad(Header(3, 0, 0), 0, 0, 8.0f, false, 20.0f);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(3, 3), 0, 255, 0, 0);
}

struct Overlay {
    Viewport* vp;
    BitmapFont* font;
    int32_t slot;
    BlendMode mode;
    int calls = 0;
    static void Draw(void* user) {
        auto* o = static_cast<Overlay*>(user);
        ++o->calls;
        o->vp->Begin2D();
        o->vp->SetFont(o->font);
        o->vp->DrawPicture(o->slot, o->mode, 10, 10, 30, 20);
    }
};

TEST_F(RenderTest, OpaquePictureCoversItsPixelRectangle) {
    viewport->ModulateShift = 1;
    BitmapFont font;
    font.Red = font.Green = font.Blue = 128;  // x 2 = the texture's own brightness
    textures.Solid(5001, D3DFMT_R8G8B8, 40, 160, 240);
    Overlay o{viewport.get(), &font, 5001, BlendMode::Opaque};
    viewport->SetOverlay2D(&Overlay::Draw, &o);
    viewport->RenderFrame();
    EXPECT_EQ(o.calls, 1);
    EXPECT_RGB_NEAR(Pixel(10, 10), 40, 161, 241, 1);
    EXPECT_RGB_NEAR(Pixel(29, 19), 40, 161, 241, 1);
    EXPECT_RGB_NEAR(Pixel(9, 10), 10, 20, 30, 0);
    EXPECT_RGB_NEAR(Pixel(30, 19), 10, 20, 30, 0);
    EXPECT_RGB_NEAR(Pixel(10, 20), 10, 20, 30, 0);
}

TEST_F(RenderTest, AlphaTestedPictureDropsTransparentTexels) {
    viewport->ModulateShift = 1;
    BitmapFont font;
    font.Red = font.Green = font.Blue = 128;
    textures.Solid(8, D3DFMT_A8R8G8B8, 255, 255, 255, 0);
    Overlay o{viewport.get(), &font, 8, BlendMode::AlphaTested};
    viewport->SetOverlay2D(&Overlay::Draw, &o);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(20, 15), 10, 20, 30, 0);
    textures.Solid(8, D3DFMT_A8R8G8B8, 255, 255, 255, 255);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(20, 15), 255, 255, 255, 0);
}

// A 4 x 4 checkerboard of opaque red and transparent green texels, drawn alpha-tested with
// every pixel centre on a texel centre or between texels: at 1:1 on half-pixel corners, and
// magnified 4 and 8 times on whole-pixel corners. A pixel centre that lies on a transparent
// texel's centre reads alpha exactly 0 and is dropped, though its right and lower neighbours
// are opaque; one on an opaque texel's centre shows the texel's own colour.
TEST_F(RenderTest, TexelExactAlphaTestedPictureDrawsOnlyItsOpaqueTexels) {
    viewport->ModulateShift = 1;
    BitmapFont font;
    font.Red = font.Green = font.Blue = 128;
    Texture& t = textures.Solid(9, D3DFMT_A8R8G8B8, 0, 0, 0, 0, 4);
    LockedRect lr;
    ASSERT_TRUE(t.LockRect(0, lr));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool opaque = (x + y) % 2 == 1;
            SlotTextures::WritePixel(D3DFMT_A8R8G8B8, lr.pBits + y * lr.Pitch, x, opaque ? 255 : 0, opaque ? 0 : 255, 0,
                                     opaque ? 255 : 0);
        }
    }
    t.UnlockRect(0);
    struct Picture {
        Viewport* vp;
        BitmapFont* font;
        float left, size;
        static void Draw(void* user) {
            auto* p = static_cast<Picture*>(user);
            p->vp->Begin2D();
            p->vp->SetFont(p->font);
            p->vp->DrawPicture(9, BlendMode::AlphaTested, p->left, p->left, p->left + p->size, p->left + p->size);
        }
    };
    for (const int scale : {1, 4, 8}) {
        SCOPED_TRACE("magnified " + std::to_string(scale) + " times");
        const float left = scale == 1 ? 7.5f : 8.0f;
        Picture picture{viewport.get(), &font, left, 4.0f * static_cast<float>(scale)};
        viewport->SetOverlay2D(&Picture::Draw, &picture);
        viewport->RenderFrame();
        for (int ty = 0; ty < 4; ++ty) {
            for (int tx = 0; tx < 4; ++tx) {
                // The pixel whose centre lies on this texel's centre.
                const int px = scale == 1 ? 8 + tx : 8 + scale * tx + scale / 2;
                const int py = scale == 1 ? 8 + ty : 8 + scale * ty + scale / 2;
                SCOPED_TRACE("texel " + std::to_string(tx) + "," + std::to_string(ty));
                if ((tx + ty) % 2 == 1) {
                    EXPECT_RGB_NEAR(Pixel(px, py), 255, 0, 0, 1);
                } else {
                    EXPECT_RGB_NEAR(Pixel(px, py), 10, 20, 30, 0);
                }
            }
        }
        // The picture's edges stay where the fill rule puts them.
        const int end = scale == 1 ? 12 : 8 + 4 * scale;
        EXPECT_RGB_NEAR(Pixel(end, 9), 10, 20, 30, 0);
        EXPECT_GT(Pixel(end - 1, 8 + (scale == 1 ? 0 : scale / 2)).r, 128);  // the last column of opaque texel 3,0
    }
}

// A stage that reads a texture where none is bound passes the colour on: the picture of an
// empty slot and a run of an empty slot show their vertex colour, not twice it.
TEST_F(RenderTest, StagesWithoutATextureHandTheColourOn) {
    BitmapFont font;
    font.Red = 100;
    font.Green = 60;
    font.Blue = 30;
    for (const int shift : {0, 1}) {
        SCOPED_TRACE(shift == 0 ? "MODULATE" : "MODULATE2X");
        viewport->ModulateShift = shift;
        Overlay o{viewport.get(), &font, 4444, BlendMode::Opaque};
        viewport->SetOverlay2D(&Overlay::Draw, &o);
        AddQuad(Header(4445, 0, 1), Argb(90, 50, 20));
        viewport->RenderFrame();
        EXPECT_RGB_NEAR(Pixel(20, 15), 100, 60, 30, 1);  // the picture
        EXPECT_RGB_NEAR(Pixel(kC, kC), 90, 50, 20, 1);   // the run
        viewport->ClearTriangles();
    }
}

TEST_F(RenderTest, AdditivePictureAddsToTheFrame) {
    viewport->ModulateShift = 1;
    BitmapFont font;
    font.Red = font.Green = font.Blue = 128;
    textures.Solid(8, D3DFMT_R8G8B8, 100, 100, 100);
    Overlay o{viewport.get(), &font, 8, BlendMode::Additive};
    viewport->SetOverlay2D(&Overlay::Draw, &o);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(20, 15), 110, 120, 130, 1);
}

TEST_F(RenderTest, TextGlyphsSampleTheirRectangleAndSkipUnknownCharacters) {
    viewport->ModulateShift = 1;
    BitmapFont font;
    font.FirstChar = 'A';
    font.LastChar = 'B';
    font.Glyphs = {Glyph{0, 0, 2, 4}, Glyph{2, 0, 2, 4}};
    font.TexWidth = 4;
    font.TexHeight = 4;
    font.TexSlot = 30;
    font.Red = font.Green = font.Blue = 128;
    Texture& t = textures.Solid(30, D3DFMT_R8G8B8, 255, 0, 0, 255, 4);
    LockedRect lr;
    t.LockRect(0, lr);
    for (int y = 0; y < 4; ++y) {
        for (int x = 2; x < 4; ++x) SlotTextures::WritePixel(D3DFMT_R8G8B8, lr.pBits + y * lr.Pitch, x, 0, 0, 255, 255);
    }
    t.UnlockRect(0);
    struct Text {
        Viewport* vp;
        BitmapFont* font;
        static void Draw(void* user) {
            auto* s = static_cast<Text*>(user);
            s->vp->Begin2D();
            s->vp->SetFont(s->font);
            s->vp->DrawText("A~B", BlendMode::Opaque, 8, 8, 4.0f);  // glyphs 8 x 16 pixels
        }
    } text{viewport.get(), &font};
    viewport->SetOverlay2D(&Text::Draw, &text);
    viewport->RenderFrame();
    EXPECT_EQ(ViewportInternals::TriangleCount2D(*viewport), 6);
    EXPECT_RGB_NEAR(Pixel(11, 16), 255, 0, 0, 8);  // 'A' from the left half
    EXPECT_RGB_NEAR(Pixel(20, 16), 0, 0, 255, 8);  // 'B' right after it: '~' did not move the pen
    EXPECT_RGB_NEAR(Pixel(26, 16), 10, 20, 30, 0);
    // The reserved triangles of '~' have zero area.
    for (const Vertex2D& v : ViewportInternals::Vertices2D(*viewport)[2].V) EXPECT_EQ(v.X, 0.0f);
}

TEST_F(RenderTest, StoreTexturesBindThroughSelectAndReuploadWhenChanged) {
    TextureStore store;
    std::vector<uint16_t> texels(16, 0x8000 | 31 << 10);  // opaque red, A1R5G5B5
    store.NoMipmaps = true;
    ASSERT_TRUE(store.LoadRaw(1001, 4, 4, texels.data(), false, 15, true));
    viewport->SetTextureSource(StoreTextureSource(store));
    AddQuad(Header(1001, 0, 0), 0);
    device->ResetStats();
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 255, 0, 0, 0);
    EXPECT_EQ(store.CurrentSlot, 1001);
    Texture* t = store.TextureAt(1001);
    LockedRect lr;
    ASSERT_TRUE(t->LockRect(0, lr));
    for (int i = 0; i < 16; ++i) {
        lr.pBits[2 * (i % 4) + (i / 4) * lr.Pitch] = 0x1F;  // opaque blue
        lr.pBits[2 * (i % 4) + (i / 4) * lr.Pitch + 1] = 0x80;
    }
    t->UnlockRect(0);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 0, 0, 255, 0);
    viewport->RenderFrame();
    EXPECT_EQ(device->Stats().TextureUploads, 2u);  // once per change, not per frame
}

TEST_F(RenderTest, PreloadedStoreTexturesDrawWithoutAnotherUpload) {
    TextureStore store;
    std::vector<uint16_t> texels(16, 0x8000 | 31 << 5);  // opaque green, A1R5G5B5
    store.NoMipmaps = true;
    ASSERT_TRUE(store.LoadRaw(1001, 4, 4, texels.data(), false, 15, true));
    ASSERT_TRUE(store.LoadRaw(1002, 4, 4, texels.data(), false, 15, true));
    viewport->SetTextureSource(StoreTextureSource(store));
    device->ResetStats();
    EXPECT_EQ(PreloadTextures(*viewport, store), 2);
    EXPECT_EQ(PreloadTextures(*viewport, store), 0);  // nothing changed since
    AddQuad(Header(1002, 0, 0), 0);
    viewport->RenderFrame();
    EXPECT_RGB_NEAR(Pixel(kC, kC), 0, 255, 0, 0);
    EXPECT_EQ(device->Stats().TextureUploads, 2u);
    EXPECT_EQ(device->PreLoad(nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace dv::test
