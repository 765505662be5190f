// The viewport the window shows and its camera: the render layer's face to the engine.
//
// Other subsystems never draw directly: they append triangles (3D) or quads (2D) to the
// viewport, and RenderFrame draws them: present the previous frame, set the camera, build
// and sort the 3D list once, draw it in runs of equal state, then the 2D overlay. The
// viewport owns the graphics device it draws with; nothing above the render layer sees it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "math/vecmath.h"
#include "render/camera.h"
#include "render/blend_mode.h"
#include "render/device_stats.h"
#include "render/message_sink.h"
#include "render/triangle_list.h"
#include "render/triangle_sort.h"

struct SDL_Window;

namespace dv {

class BitmapFont;
class Direct3D8;
class Direct3DDevice8;
class Texture;
class VertexBuffer8;
struct D3DPRESENT_PARAMETERS;

// red | green << 8 | blue << 16 | alpha << 24, each argument taken as a byte.
uint32_t PackColor(int red, int green, int blue, int alpha);
// 0xFF000000 | r << 16 | g << 8 | b from a packed colour: alpha forced to 255.
uint32_t ToD3DColor(uint32_t packed);

// Linear vertex fog: none up to Start + Offset from the eye, all fog colour from End + Offset.
struct FogSettings {
    bool Enabled = false;
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    float Start = 540.0f;
    float End = 640.0f;
    float Offset = 0.0f;  // moves both distances on the device; the level's own fog reads End without it
};

// Texture lookup: makes `slot` current in the texture store and returns its texture (null
// for an empty slot). Lets the store plug in without the viewport depending on it.
struct TextureSource {
    void* User = nullptr;
    Texture* (*Lookup)(void* user, int32_t slot) = nullptr;
};

// The pixels of a drawn frame: RGBA rows from the top-left corner.
struct FramePixels {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgba;
};

using ViewportCallback = void (*)(void* user);

// Where reserved triangles of the 3D list are written.
struct TriangleSpan {
    TriangleHeader* Headers = nullptr;
    TriangleVertices* Vertices = nullptr;
};

class Viewport {
public:
    Viewport();
    ~Viewport();  // releases the device
    Viewport(const Viewport&) = delete;
    Viewport& operator=(const Viewport&) = delete;

    // Finds the graphics system the device is made on; false when there is none (no usable
    // video subsystem). Needed once before Setup.
    bool OpenGraphics();
    void SetCamera(Camera* camera) { SceneCamera = camera; }
    Camera* GetCamera() const { return SceneCamera; }
    // Creates the device on `window` (whose GL context is current). False when no device can
    // be made; the caller then ends the program ("Error trying to Create DX Viewport!").
    [[nodiscard]] bool Setup(SDL_Window* window, int width, int height, bool fullScreen);
    // Releases the buffers, the device and the graphics system (each only if present).
    void ReleaseGraphics();
    // Stores the size, resets the device and sets the new projection. Resize, DrawFrame and
    // RenderFrame return false only when the device cannot be set up again after a reset
    // (no display mode even on the second try); the caller then ends the program ("Error
    // trying to setup Direct3d"). A device that stays lost is no failure: frames are skipped.
    bool Resize(int width, int height);
    void SetClearColor(uint32_t packed) { ClearColor = packed; }
    bool RenderFrame();  // SceneBuilt := false, then DrawFrame
    bool DrawFrame();    // one frame
    // Puts the fog settings on the device (also done by Setup and every reset).
    void ApplyFog();

    // Appends `count` headers and vertex triples to the 3D list.
    void AddTriangles(const TriangleHeader* headers, const TriangleVertices* triples, int32_t count);
    // Room for `count` more triangles at the end of the 3D list, written in place and then kept
    // by CommitTriangles (as many as were written), which saves AddTriangles' copy.
    TriangleSpan ReserveTriangles(int32_t count);
    void CommitTriangles(int32_t count);
    void ClearTriangles() { TriangleCount = 0; }
    void Begin2D() {
        BatchCount2D = 0;
        TriangleCount2D = 0;
    }
    // 2D list builders (render/overlay2d.cpp).
    void SetFont(BitmapFont* font) { Font = font; }
    void DrawText(std::string_view text, BlendMode mode, float x, float y, float scale);
    void DrawPicture(int32_t slot, BlendMode mode, float left, float top, float right, float bottom);
    // Appends one batch and reserves `triangles` 2D triangles for it; returns the first one.
    Triangle2D* Add2DBatch(uint16_t slot, BlendMode mode, int32_t triangles);

    void SetTextureSource(const TextureSource& source) { Textures = source; }
    void SetScene3D(ViewportCallback callback, void* user) {
        Scene3D = callback;
        Scene3DUser = user;
    }
    void SetOverlay2D(ViewportCallback callback, void* user) {
        Overlay2D = callback;
        Overlay2DUser = user;
    }

    // Reads the frame just drawn (before the next frame presents it). False without a device
    // or when the pixels cannot be read.
    bool ReadFrame(FramePixels& out) const;
    // Sends `texture` to the device now when it is new or changed since its last upload, so
    // the first frame that draws it does not pay for it. True when it was uploaded.
    bool Preload(Texture& texture);
    // What the device has done since the last ResetCounters (all zero without a device).
    const DeviceStats& Counters() const;
    void ResetCounters();

    // Frame steps, public for tests and tools.
    void AnimateTextureReferences(int32_t clockMs);  // resolves animated base slots
    void SortTriangles();  // opaque grouped by state, then the rest back to front (render/triangle_sort.h)
    int32_t BuildRuns();   // writes run lengths; returns the run count
    // Copies the 3D list into the vertex buffer, growing it first when needed. False (after
    // telling the player when the buffer could not be made) when nothing was copied.
    bool UploadTriangles();
    bool DeviceLost() const { return deviceLost_; }

    // The device and the graphics system, for the render layer and its device tests.
    Direct3DDevice8* Device() const { return device_.get(); }
    Direct3D8* Graphics() const { return graphics_.get(); }

    MessageSink Messages;  // what the viewport tells the player (Tell)
    FogSettings Fog;
    float FarPlane = 1000.0f;  // the projection's far distance
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
    // Texture colour times vertex colour is scaled by 2 to this power (0 to 2).
    int32_t ModulateShift = 0;
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
    enum class ResetResult { Done, StillLost, Failed };

    Texture* LookupTexture(int32_t slot) const;
    void ApplyDefaultStates();
    // Windowed (or 640 x 480 16-bit full-screen) present parameters; false when the display
    // mode cannot be queried.
    bool BuildPresentParameters(D3DPRESENT_PARAMETERS& params) const;
    ResetResult ResetDevice();
    void ReleaseBuffers();
    void BuildProjection();
    void DrawRuns();
    void DrawRun(const TriangleHeader& h, int32_t start, int32_t count);
    void Draw2D();

    std::unique_ptr<Direct3D8> graphics_;
    std::unique_ptr<Direct3DDevice8> device_;
    bool deviceLost_ = false;
};

}  // namespace dv
