// The device's render-target textures, depth surfaces and texture transforms, in Direct3D 8's
// own calls and numbers, checked on drawn pixels.
#include <cstring>

#include "render_test_util.h"

namespace dv::test {
namespace {

struct PixelVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float X, Y, Z, Rhw;
    uint32_t Diffuse;
    float U, V;
};
constexpr uint32_t kPixelFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct SceneVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float X, Y, Z;
    uint32_t Diffuse;
    float U, V;
};
constexpr uint32_t kSceneFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class DeviceTargetTest : public RenderTest {
protected:
    template <class V>
    void Draw(const std::vector<V>& vertices, uint32_t fvf) {
        std::unique_ptr<VertexBuffer8>& vb = buffers.emplace_back();
        const uint32_t bytes = static_cast<uint32_t>(vertices.size() * sizeof(V));
        ASSERT_EQ(device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, vb), D3D_OK);
        uint8_t* p = nullptr;
        ASSERT_EQ(vb->Lock(0, bytes, &p, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(p, vertices.data(), bytes);
        vb->Unlock();
        device->SetStreamSource(0, vb.get(), sizeof(V));
        device->SetVertexShader(fvf);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(vertices.size() / 3)), D3D_OK);
    }

    // A rectangle of pixels [l, r) x [t, b), clockwise on screen.
    static std::vector<PixelVertex> Rect(float l, float t, float r, float b, uint32_t colour, float z = 0.5f) {
        const PixelVertex tl{l, t, z, 1, colour, 0, 0}, tr{r, t, z, 1, colour, 1, 0};
        const PixelVertex br{r, b, z, 1, colour, 1, 1}, bl{l, b, z, 1, colour, 0, 1};
        return {tl, tr, br, tl, br, bl};
    }

    void DiffuseOnly() {
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }

    void TextureOnly(Texture* texture) {
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
        device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }

    std::vector<std::unique_ptr<VertexBuffer8>> buffers;
};

TEST_F(DeviceTargetTest, TextureDrawnIntoReadsBackUprightWithItsOwnDepth) {
    std::unique_ptr<Texture> target;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, target),
              D3D_OK);
    std::unique_ptr<Surface8> depth;
    ASSERT_EQ(device->CreateDepthStencilSurface(16, 16, D3DFMT_D16, 0, depth), D3D_OK);
    Surface8* backBuffer = nullptr;
    Surface8* autoDepth = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, backBuffer), D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(autoDepth), D3D_OK);

    ASSERT_EQ(device->SetRenderTarget(target->GetSurfaceLevel(0), depth.get()), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, Argb(255, 0, 0), 1.0f, 0), D3D_OK);
    device->BeginScene();
    DiffuseOnly();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    // The top half green, then a nearer blue square over its left half, then a farther white
    // one over everything that the texture's own depth hides where green and blue are.
    Draw(Rect(0, 0, 16, 8, Argb(0, 255, 0), 0.5f), kPixelFvf);
    Draw(Rect(0, 0, 8, 8, Argb(0, 0, 255), 0.25f), kPixelFvf);
    Draw(Rect(0, 0, 16, 16, Argb(255, 255, 255), 0.75f), kPixelFvf);
    device->EndScene();

    ASSERT_EQ(device->SetRenderTarget(backBuffer, autoDepth), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, Argb(0, 0, 0), 1.0f, 0);
    device->BeginScene();
    TextureOnly(target.get());
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Draw(Rect(0, 0, kSize, kSize, Argb(255, 255, 255)), kPixelFvf);
    device->EndScene();

    EXPECT_RGB_NEAR(Pixel(8, 8), 0, 0, 255, 0);       // texture top left: the nearest square
    EXPECT_RGB_NEAR(Pixel(56, 8), 0, 255, 0, 0);      // top right: green, the white one behind it
    EXPECT_RGB_NEAR(Pixel(8, 56), 255, 255, 255, 0);  // bottom: the white one over the clear red
    EXPECT_RGB_NEAR(Pixel(56, 56), 255, 255, 255, 0);
}

TEST_F(DeviceTargetTest, TextureWithoutDepthSurfaceDrawsEveryTriangleAndCullsAsTheBackBuffer) {
    std::unique_ptr<Texture> target;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(target->GetSurfaceLevel(0), nullptr), D3D_OK);
    Surface8* depth = reinterpret_cast<Surface8*>(1);
    EXPECT_NE(device->GetDepthStencilSurface(depth), D3D_OK);
    EXPECT_EQ(depth, nullptr);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, Argb(0, 0, 0), 1.0f, 0), D3D_OK);
    device->BeginScene();
    DiffuseOnly();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);  // no depth buffer: nothing is tested
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    Draw(Rect(0, 0, 8, 8, Argb(0, 255, 0), 0.25f), kPixelFvf);
    Draw(Rect(0, 0, 4, 8, Argb(255, 0, 0), 0.75f), kPixelFvf);
    std::vector<PixelVertex> anticlockwise = Rect(4, 0, 8, 8, Argb(0, 0, 255), 0.1f);
    std::swap(anticlockwise[1], anticlockwise[2]);
    std::swap(anticlockwise[4], anticlockwise[5]);
    Draw(anticlockwise, kPixelFvf);  // culled, as it would be on the back buffer
    device->EndScene();

    Surface8* backBuffer = nullptr;
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, backBuffer);
    ASSERT_EQ(device->SetRenderTarget(backBuffer, nullptr), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, Argb(0, 0, 0), 1.0f, 0);
    device->BeginScene();
    TextureOnly(target.get());
    Draw(Rect(0, 0, kSize, kSize, Argb(255, 255, 255)), kPixelFvf);
    device->EndScene();
    EXPECT_RGB_NEAR(Pixel(10, 30), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(50, 30), 0, 255, 0, 0);
}

TEST_F(DeviceTargetTest, RenderTargetsKeepDirect3DsRules) {
    std::unique_ptr<Texture> t;
    EXPECT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(8, 8, 4, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A1R5G5B5, D3DPOOL_DEFAULT, t),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateTexture(8, 8, 0, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, t), D3D_OK);
    EXPECT_EQ(t->LevelCount(), 1);
    LockedRect lr;
    EXPECT_FALSE(t->LockRect(0, lr));
    EXPECT_EQ(t->GetSurfaceLevel(1), nullptr);

    std::unique_ptr<Surface8> small, big;
    EXPECT_EQ(device->CreateDepthStencilSurface(8, 8, D3DFMT_X8R8G8B8, 0, small), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateDepthStencilSurface(4, 4, D3DFMT_D16, 0, small), D3D_OK);
    ASSERT_EQ(device->CreateDepthStencilSurface(16, 16, D3DFMT_D16, 0, big), D3D_OK);
    Surface8* backBuffer = nullptr;
    Surface8* autoDepth = nullptr;
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, backBuffer);
    device->GetDepthStencilSurface(autoDepth);
    EXPECT_EQ(backBuffer->Width(), kSize);
    EXPECT_EQ(device->SetRenderTarget(t->GetSurfaceLevel(0), small.get()), D3DERR_INVALIDCALL);  // smaller
    EXPECT_EQ(device->SetRenderTarget(t->GetSurfaceLevel(0), autoDepth), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(backBuffer, big.get()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(big.get(), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(t->GetSurfaceLevel(0), big.get()), D3D_OK);  // larger is fine
    Surface8* current = nullptr;
    device->GetRenderTarget(current);
    EXPECT_EQ(current, t->GetSurfaceLevel(0));
    EXPECT_EQ(device->SetRenderTarget(nullptr, nullptr), D3D_OK);  // keeps the target, drops the depth
    device->GetRenderTarget(current);
    EXPECT_EQ(current, t->GetSurfaceLevel(0));

    // A reset goes back to the back buffer and its depth buffer.
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = 1;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    ASSERT_EQ(device->Reset(params), D3D_OK);
    device->GetRenderTarget(current);
    EXPECT_EQ(current, backBuffer);
    Surface8* depthNow = nullptr;
    EXPECT_EQ(device->GetDepthStencilSurface(depthNow), D3D_OK);
    EXPECT_NE(depthNow, nullptr);
}

// A 2 x 2 texture: red, green over blue, white.
Texture& Quadrants(SlotTextures& textures) {
    Texture& t = textures.Solid(1, D3DFMT_X8R8G8B8, 0, 0, 0, 255, 2);
    LockedRect lr;
    t.LockRect(0, lr);
    SlotTextures::WritePixel(D3DFMT_A8R8G8B8, lr.pBits, 0, 255, 0, 0, 255);
    SlotTextures::WritePixel(D3DFMT_A8R8G8B8, lr.pBits, 1, 0, 255, 0, 255);
    SlotTextures::WritePixel(D3DFMT_A8R8G8B8, lr.pBits + lr.Pitch, 0, 0, 0, 255, 255);
    SlotTextures::WritePixel(D3DFMT_A8R8G8B8, lr.pBits + lr.Pitch, 1, 255, 255, 255, 255);
    t.UnlockRect(0);
    return t;
}

TEST_F(DeviceTargetTest, ProjectedTransformOfCameraSpacePositionsDividesPerPixel) {
    Texture& quadrants = Quadrants(textures);
    device->SetTransform(D3DTS_WORLD, MatIdentity());
    device->SetTransform(D3DTS_VIEW, MatIdentity());
    device->SetTransform(D3DTS_PROJECTION, MatPerspectiveFovLH(1.5707964f, 1.0f, 0.1f, 100.0f));
    // (x, y, z, 1) -> (x / 2 + z / 2, -y / 2 + z / 2, z): divided by z, the screen's own
    // position from 0 at the left and top to 1 at the right and bottom.
    Mat4 m{};
    m.m[0] = 0.5f;
    m.m[5] = -0.5f;
    m.m[8] = 0.5f, m.m[9] = 0.5f, m.m[10] = 1.0f;
    device->SetTransform(D3DTS_TEXTURE0, m);
    Mat4 back{};
    ASSERT_EQ(device->GetTransform(D3DTS_TEXTURE0, back), D3D_OK);
    EXPECT_EQ(std::memcmp(back.m, m.m, sizeof m.m), 0);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(24), m), D3DERR_INVALIDCALL);

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, Argb(0, 0, 0), 1.0f, 0);
    device->BeginScene();
    TextureOnly(&quadrants);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    // A wall that recedes to the right (z 5 at the left edge, 20 at the right): the middle of
    // the screen is far from the middle of the wall, so coordinates divided per vertex would
    // put the colour boundary elsewhere.
    const SceneVertex tl{-5, 5, 5, 0, 0, 0}, bl{-5, -5, 5, 0, 0, 0};
    const SceneVertex tr{20, 20, 20, 0, 0, 0}, br{20, -20, 20, 0, 0, 0};
    Draw(std::vector<SceneVertex>{tl, tr, br, tl, br, bl}, kSceneFvf);
    device->EndScene();
    EXPECT_RGB_NEAR(Pixel(29, 10), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(34, 10), 0, 255, 0, 0);
    EXPECT_RGB_NEAR(Pixel(29, 54), 0, 0, 255, 0);
    EXPECT_RGB_NEAR(Pixel(34, 54), 255, 255, 255, 0);
}

TEST_F(DeviceTargetTest, TwoDimensionalSetsTakeTheTranslationFromTheThirdRowAndDisableIgnoresTheMatrix) {
    Texture& quadrants = Quadrants(textures);
    Mat4 shift = MatIdentity();
    shift.m[8] = 0.5f;    // _31: u + 0.5, since a set's (u, v) goes in as (u, v, 1, 0)
    shift.m[12] = 0.25f;  // _41: multiplies the 0 and changes nothing
    device->SetTransform(D3DTS_TEXTURE0, shift);

    auto drawWith = [&](uint32_t flags) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, Argb(0, 0, 0), 1.0f, 0);
        device->BeginScene();
        TextureOnly(&quadrants);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
        Draw(Rect(0, 0, kSize, kSize, Argb(255, 255, 255)), kPixelFvf);
        device->EndScene();
    };
    drawWith(D3DTTFF_COUNT2);
    EXPECT_RGB_NEAR(Pixel(10, 10), 0, 255, 0, 0);  // wrapped half a texture along u
    EXPECT_RGB_NEAR(Pixel(50, 10), 255, 0, 0, 0);
    drawWith(D3DTTFF_DISABLE | D3DTTFF_PROJECTED);
    EXPECT_RGB_NEAR(Pixel(10, 10), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(50, 54), 255, 255, 255, 0);
    drawWith(D3DTTFF_COUNT1);  // only u goes on: v reads 0, the top row
    EXPECT_RGB_NEAR(Pixel(10, 54), 0, 255, 0, 0);
    EXPECT_RGB_NEAR(Pixel(50, 54), 255, 0, 0, 0);
}

TEST_F(DeviceTargetTest, DepthBiasDrawsACoplanarCopyOnceOverTheFirst) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, Argb(0, 0, 0), 1.0f, 0);
    device->BeginScene();
    DiffuseOnly();
    device->SetTransform(D3DTS_WORLD, MatIdentity());
    device->SetTransform(D3DTS_VIEW, MatIdentity());
    device->SetTransform(D3DTS_PROJECTION, MatPerspectiveFovLH(1.5707964f, 1.0f, 0.1f, 100.0f));
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    // A sloped floor, then the same triangles again with the bias, the less-than test and a
    // halving blend, twice: drawn once only, everywhere (no acne, no double darkening).
    const SceneVertex a{-10, -2, 2, Argb(200, 200, 200), 0, 0}, b{10, -2, 2, Argb(200, 200, 200), 0, 0};
    const SceneVertex c{10, -8, 40, Argb(200, 200, 200), 0, 0}, d{-10, -8, 40, Argb(200, 200, 200), 0, 0};
    const std::vector<SceneVertex> floor{a, b, c, a, c, d};
    Draw(floor, kSceneFvf);
    device->SetRenderState(D3DRS_ZBIAS, 1);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
    std::vector<SceneVertex> half = floor;
    for (SceneVertex& v : half) v.Diffuse = Argb(128, 128, 128);
    Draw(half, kSceneFvf);
    Draw(half, kSceneFvf);
    device->EndScene();
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(device->ReadPixels(0, 0, kSize, kSize, rgba));
    int floorPixels = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        if (rgba[i] == 0) continue;
        ++floorPixels;
        ASSERT_NEAR(rgba[i], 100, 1) << "pixel " << i / 4;
    }
    EXPECT_GT(floorPixels, kSize * kSize / 4);
}

}  // namespace
}  // namespace dv::test
