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
#include "render/projected_shadow.h"
#include "render/triangle_list.h"
#include "render/triangle_sort.h"

struct SDL_Window;

namespace dv {

class BitmapFont;
class Direct3D8;
class Direct3DDevice8;
class Surface8;
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
    void SetCamera(Camera* camera) { sceneCamera_ = camera; }
    Camera* GetCamera() const { return sceneCamera_; }
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
    void SetClearColor(uint32_t packed) { clearColor_ = packed; }
    bool RenderFrame();  // builds the 3D list anew, then DrawFrame
    bool DrawFrame();    // one frame
    // Puts the fog settings on the device (also done by Setup and every reset).
    void ApplyFog();

    // Appends `count` headers and vertex triples to the 3D list.
    void AddTriangles(const TriangleHeader* headers, const TriangleVertices* triples, int32_t count);
    // Room for `count` more triangles at the end of the 3D list, written in place and then kept
    // by CommitTriangles (as many as were written), which saves AddTriangles' copy.
    TriangleSpan ReserveTriangles(int32_t count);
    void CommitTriangles(int32_t count);
    void ClearTriangles() { triangleCount_ = 0; }
    void Begin2D() {
        batchCount2D_ = 0;
        triangleCount2D_ = 0;
    }
    // 2D list builders (render/overlay2d.cpp).
    void SetFont(BitmapFont* font) { font_ = font; }
    void DrawText(std::string_view text, BlendMode mode, float x, float y, float scale);
    void DrawPicture(int32_t slot, BlendMode mode, float left, float top, float right, float bottom);
    // Appends one batch and reserves `triangles` 2D triangles for it; returns the first one.
    Triangle2D* Add2DBatch(uint16_t slot, BlendMode mode, int32_t triangles);

    void SetTextureSource(const TextureSource& source) { textures_ = source; }
    void SetScene3D(ViewportCallback callback, void* user) {
        scene3D_ = callback;
        scene3DUser_ = user;
    }
    void SetOverlay2D(ViewportCallback callback, void* user) {
        overlay2D_ = callback;
        overlay2DUser_ = user;
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

    // The caller sets these (at start-up or when a level loads); the viewport reads them when it
    // draws and never modifies them.
    MessageSink Messages;  // what the viewport tells the player (Tell)
    FogSettings Fog;
    float FarPlane = 1000.0f;  // the projection's far distance
    bool DepthEnabled = true;
    // Texture colour times vertex colour is scaled by 2 to this power (0 to 2).
    int32_t ModulateShift = 0;
    AnimatedTextureTable AnimatedTextures[2];  // the level's two tables of animated slots
    int32_t LevelLimit = 0;                    // base slots up to this get the bump effect

    // What the viewport keeps from Setup, Resize and the last frame.
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool FullScreen() const { return fullScreen_; }
    int32_t TriangleCount() const { return triangleCount_; }  // in the 3D list
    int32_t FramesPerSecond() const { return framesPerSecond_; }
    const Frustum& ViewFrustum() const { return viewFrustum_; }  // of the last frame's camera
    const Mat4& Projection() const { return projection_; }
    // The shadow the scene callback asks for in this frame (render/projected_shadow.h): drawn
    // into its texture before the frame, onto its receivers after the frame's triangles.
    ProjectedShadow Shadow;

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
    bool PrepareShadow();
    void DrawShadowTexture();
    void DrawShadowReceivers();

    friend struct ViewportInternals;

    // The frame steps.
    void AnimateTextureReferences(int32_t clockMs);  // resolves animated base slots
    void SortTriangles();  // opaque grouped by state, then the rest back to front (render/triangle_sort.h)
    int32_t BuildRuns();   // writes run lengths; returns the run count
    // Copies the 3D list into the vertex buffer, growing it first when needed. False (after
    // telling the player when the buffer could not be made) when nothing was copied.
    bool UploadTriangles();

    std::unique_ptr<Direct3D8> graphics_;
    std::unique_ptr<Direct3DDevice8> device_;
    bool deviceLost_ = false;
    SDL_Window* window_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool fullScreen_ = false;
    uint32_t clearColor_ = 0;
    Camera* sceneCamera_ = nullptr;
    BitmapFont* font_ = nullptr;
    TextureSource textures_;
    ViewportCallback scene3D_ = nullptr;
    void* scene3DUser_ = nullptr;
    ViewportCallback overlay2D_ = nullptr;
    void* overlay2DUser_ = nullptr;

    // The frame: the 3D list (built once per RenderFrame), the 2D list, their vertex buffers.
    bool sceneBuilt_ = false;
    int32_t triangleCount_ = 0;
    std::vector<TriangleHeader> headers_;
    std::vector<TriangleVertices> vertices_;
    TriangleSortScratch sortScratch_;
    int32_t batchCount2D_ = 0;
    std::vector<Batch2D> batches2D_;
    int32_t triangleCount2D_ = 0;
    std::vector<Triangle2D> vertices2D_;
    std::unique_ptr<VertexBuffer8> vertexBuffer3D_;
    std::unique_ptr<VertexBuffer8> vertexBuffer2D_;
    int32_t vertexCapacity3D_ = 0;  // triangles the buffer holds
    int32_t vertexCapacity2D_ = 0;
    Mat4 projection_ = MatIdentity();
    Frustum viewFrustum_{};

    // Frames counted over windows of at least a second.
    int32_t fpsWindowStart_ = 0;
    int32_t framesInWindow_ = 0;
    int32_t framesPerSecond_ = 0;
    Mat4 frameView_{};
    std::unique_ptr<Texture> shadowTexture_;
    std::unique_ptr<Surface8> shadowDepth_;
    std::unique_ptr<VertexBuffer8> shadowVertices_;
    int32_t shadowCapacity_ = 0;  // vertices
    bool shadowDrawn_ = false;    // the texture holds this frame's shadow
};

}  // namespace dv
