// The viewport the window shows, its camera, and the render layer's device-level functions.
//
// Other subsystems never draw directly: they append triangles (3D) or quads (2D) to the
// viewport, and RenderFrame draws them: present the previous frame, set the camera, build
// and sort the 3D list once, draw it in runs of equal state, then the 2D overlay.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "math/vecmath.h"
#include "render/device.h"
#include "render/triangle_list.h"
#include "render/triangle_sort.h"

struct SDL_Window;

namespace dv {

class BitmapFont;

// Render-layer globals.
extern float FarPlane;  // 1000
struct FogColorRGBA {
    uint8_t r, g, b, a;
};
extern FogColorRGBA FogColor;  // 0, 0, 0, 255
extern float FogStart;         // 540
extern float FogEnd;           // 640
extern float FogOffset;        // 0, added to both distances
extern bool FogEnabled;        // false

Direct3D8* D3DObject();        // null before CheckDirect3D succeeded
Direct3DDevice8* D3DDevice();  // null before the first viewport's Setup

// Gets the Direct3D object; false when there is none (no usable video subsystem).
bool CheckDirect3D();
// red | green << 8 | blue << 16 | alpha << 24, each argument taken as a byte.
uint32_t PackColor(int red, int green, int blue, int alpha);
// 0xFF000000 | r << 16 | g << 8 | b from a packed colour: alpha forced to 255.
uint32_t ToD3DColor(uint32_t packed);
void ApplyFog();  // the fog globals onto the device
void ApplyDefaultStates(bool depthEnabled);
// Releases the device, then the Direct3D object (each only if present).
void ReleaseDevice();
// Resets the device for the registered viewport. Ends the program when no parameters can be
// built. Returns false, without any message, while the device stays lost.
bool ResetDevice();

// Texture lookup: makes `slot` current in the texture store and returns its texture (null
// for an empty slot). Lets the store plug in without the viewport depending on it.
struct TextureSource {
    void* user = nullptr;
    Texture* (*lookup)(void* user, int32_t slot) = nullptr;
};

class Camera {
public:
    Camera();
    // Eye/At from Position/Target, Up from them and UpBias, Direction; sets D3DTS_VIEW when
    // a device exists.
    void UpdateView();

    Vec3 Eye{};
    Vec3 At{};
    Vec3 Up{};
    Vec3 Direction{};
    Vec3 Position{0, 0, 0};
    Vec3 Target{0, 0, 1};
    Vec3 UpCopy{};
    Mat4 View{};
    int32_t Reserved = 0;
    float UpBias = 1.0f;
};

using ViewportCallback = void (*)(void* user);

class Viewport {
public:
    // Registers itself as the one viewport (a second one replaces the first registration).
    Viewport();
    ~Viewport();
    Viewport(const Viewport&) = delete;
    Viewport& operator=(const Viewport&) = delete;

    void SetCamera(Camera* camera) { SceneCamera = camera; }
    Camera* GetCamera() const { return SceneCamera; }
    // Creates the device on `window` (whose GL context is current). Shows "Error trying to
    // Create DX Viewport!" and ends the program on failure.
    void Setup(SDL_Window* window, int width, int height, bool fullScreen);
    // Stores the size, resets the device and sets the new projection.
    void Resize(int width, int height);
    void SetClearColor(uint32_t packed) { ClearColor = packed; }
    void RenderFrame();  // SceneBuilt := false, then DrawFrame
    void DrawFrame();    // one frame

    // Appends `count` headers and vertex triples to the 3D list.
    void AddTriangles(const TriangleHeader* headers, const TriangleVertices* triples, int32_t count);
    void ClearTriangles() { TriangleCount = 0; }
    void Begin2D() { BatchCount2D = 0; TriangleCount2D = 0; }
    // 2D list builders (render/font.cpp).
    void SetFont(BitmapFont* font) { Font = font; }
    void DrawText(std::string_view text, uint8_t mode, float x, float y, float scale);
    void DrawPicture(int32_t slot, uint8_t mode, float left, float top, float right, float bottom);
    // Appends one batch and reserves `triangles` 2D triangles for it; returns the first one.
    Triangle2D* Add2DBatch(uint16_t slot, uint8_t mode, int32_t triangles);

    void SetTextureSource(const TextureSource& source) { Textures = source; }
    void SetScene3D(ViewportCallback callback, void* user) { Scene3D = callback; Scene3DUser = user; }
    void SetOverlay2D(ViewportCallback callback, void* user) {
        Overlay2D = callback;
        Overlay2DUser = user;
    }

    // Frame steps, public for tests and tools.
    void AnimateTextureReferences(int32_t clockMs);  // resolves animated base slots
    void SortTriangles();                            // by the key (render/triangle_sort.h)
    int32_t BuildRuns();                             // writes run lengths; returns the run count
    bool DeviceLost() const { return deviceLost_; }
    // Called by ResetDevice for the registered viewport.
    void ReleaseBuffers();
    void RefreshCaps();

    SDL_Window* Window = nullptr;
    uint32_t ClearColor = 0;
    Camera* SceneCamera = nullptr;
    int32_t VertexCapacity3D = 0;
    int32_t VertexCapacity2D = 0;
    bool SceneBuilt = false;
    int32_t FpsWindowStart = 0;
    int32_t FramesInWindow = 0;
    int32_t TriangleCount = 0;
    std::vector<TriangleHeader> Headers;
    std::vector<TriangleVertices> Vertices;
    int32_t BatchCount2D = 0;
    std::vector<Batch2D> Batches2D;
    int32_t TriangleCount2D = 0;
    std::vector<Triangle2D> Vertices2D;
    std::unique_ptr<VertexBuffer8> VertexBuffer3D;
    std::unique_ptr<VertexBuffer8> VertexBuffer2D;
    D3DCAPS8 Caps{};
    double ModelPosition[3] = {0, 0, 0};
    double ModelRotation[3] = {0, 0, 0};
    double ModelScale[3] = {1, 1, 1};
    Mat4 World{};
    Mat4 Projection{};
    int32_t Width = 0;
    int32_t Height = 0;
    BitmapFont* Font = nullptr;
    int32_t FramesPerSecond = 0;
    bool FullScreen = false;
    bool DepthEnabled = true;
    int32_t ModulateShift = 0;
    int32_t FillBase = 2;
    Frustum ViewFrustum{};
    AnimatedTextureTable AnimatedTextures[2];
    int32_t LevelLimit = 0;
    ViewportCallback Scene3D = nullptr;
    void* Scene3DUser = nullptr;
    ViewportCallback Overlay2D = nullptr;
    void* Overlay2DUser = nullptr;
    TextureSource Textures;
    TriangleSortScratch SortScratch;

private:
    Texture* LookupTexture(int32_t slot) const;
    void BuildProjection();
    bool Upload3D();
    void DrawRuns();
    void DrawRun(const TriangleHeader& h, int32_t start, int32_t count);
    void Draw2D();
    bool deviceLost_ = false;
};

// The registered viewport (null when none).
Viewport* RegisteredViewport();

// Builds windowed (or 640 x 480 16-bit full-screen) present parameters for `viewport`.
// False when the display mode cannot be queried.
bool BuildPresentParameters(const Viewport& viewport, D3DPRESENT_PARAMETERS& params);

}  // namespace dv
