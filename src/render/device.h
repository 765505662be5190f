// Our Direct3D 8 device: the subset of IDirect3D8 / IDirect3DDevice8 the render layer uses,
// implemented on OpenGL 3.3 core (libepoxy) in an SDL2 window.
//
// State, format and flag values are Direct3D 8's numbers. The device does not own the window:
// the caller creates an SDL window with a current GL 3.3 context (see platform/gl_window.h)
// and passes it in the present parameters. Render and texture-stage states are recorded
// when set and applied to GL at the next draw; one GLSL program (render/fixed_function.h)
// reproduces the fixed-function texture stages, alpha test and vertex fog.
//
// Coordinates follow Direct3D: row-vector matrices, left-handed clip space with z in 0..1,
// pixel centres on integer screen coordinates, pre-transformed (XYZRHW) vertices in pixels
// from the top-left corner, culling by on-screen winding.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "math/vecmath.h"
#include "render/device_stats.h"
#include "render/texture.h"

struct SDL_Window;

namespace dv {

using HRESULT = int32_t;
inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086C);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086A);
inline constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760868);
inline constexpr HRESULT D3DERR_DEVICENOTRESET = static_cast<HRESULT>(0x88760869);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017C);
inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr uint32_t D3D_SDK_VERSION = 120;
inline constexpr D3DFORMAT D3DFMT_D16 = static_cast<D3DFORMAT>(80);

enum D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };
enum D3DSWAPEFFECT : uint32_t { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };
inline constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;

enum D3DRENDERSTATETYPE : uint32_t {
    D3DRS_ZENABLE = 7,
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_ZWRITEENABLE = 14,
    D3DRS_ALPHATESTENABLE = 15,
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_CULLMODE = 22,
    D3DRS_ZFUNC = 23,
    D3DRS_ALPHAREF = 24,
    D3DRS_ALPHAFUNC = 25,
    D3DRS_DITHERENABLE = 26,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_FOGENABLE = 28,
    D3DRS_SPECULARENABLE = 29,
    D3DRS_FOGCOLOR = 34,
    D3DRS_FOGTABLEMODE = 35,
    D3DRS_FOGSTART = 36,
    D3DRS_FOGEND = 37,
    D3DRS_FOGDENSITY = 38,
    D3DRS_ZBIAS = 47,  // 0..16: a higher bias draws in front of coplanar triangles
    D3DRS_RANGEFOGENABLE = 48,
    D3DRS_TEXTUREFACTOR = 60,
    D3DRS_LIGHTING = 137,
    D3DRS_FOGVERTEXMODE = 140,
    D3DRS_COUNT = 256,  // size of our state table, not a state
};

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
    D3DTSS_TEXCOORDINDEX = 11,
    D3DTSS_ADDRESSU = 13,
    D3DTSS_ADDRESSV = 14,
    D3DTSS_MAGFILTER = 16,
    D3DTSS_MINFILTER = 17,
    D3DTSS_MIPFILTER = 18,
    D3DTSS_TEXTURETRANSFORMFLAGS = 24,
    D3DTSS_COLORARG0 = 26,
    D3DTSS_ALPHAARG0 = 27,
    D3DTSS_COUNT = 32,  // size of our per-stage table, not a state
};

// D3DTSS_TEXCOORDINDEX: the coordinate set in the low word, or generated coordinates.
inline constexpr uint32_t D3DTSS_TCI_PASSTHRU = 0x00000;
inline constexpr uint32_t D3DTSS_TCI_CAMERASPACEPOSITION = 0x20000;  // (x, y, z, 1) after world and view

// D3DTSS_TEXTURETRANSFORMFLAGS: how many outputs of the stage's texture matrix go on, and
// whether the others are divided by the last of them.
enum D3DTEXTURETRANSFORMFLAGS : uint32_t {
    D3DTTFF_DISABLE = 0,
    D3DTTFF_COUNT1 = 1,
    D3DTTFF_COUNT2 = 2,
    D3DTTFF_COUNT3 = 3,
    D3DTTFF_COUNT4 = 4,
    D3DTTFF_PROJECTED = 256,
};

enum D3DTEXTUREOP : uint32_t {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
    D3DTOP_MODULATE2X = 5,
    D3DTOP_MODULATE4X = 6,
    D3DTOP_ADD = 7,
    D3DTOP_ADDSIGNED = 8,
    D3DTOP_SUBTRACT = 10,
    D3DTOP_DOTPRODUCT3 = 24,
};

// Texture arguments; the modifiers are or-ed onto the selector.
inline constexpr uint32_t D3DTA_DIFFUSE = 0;
inline constexpr uint32_t D3DTA_CURRENT = 1;
inline constexpr uint32_t D3DTA_TEXTURE = 2;
inline constexpr uint32_t D3DTA_TFACTOR = 3;
inline constexpr uint32_t D3DTA_SPECULAR = 4;
inline constexpr uint32_t D3DTA_COMPLEMENT = 0x10;
inline constexpr uint32_t D3DTA_ALPHAREPLICATE = 0x20;

enum D3DBLEND : uint32_t {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
    D3DBLEND_SRCALPHASAT = 11,
};

enum D3DCMPFUNC : uint32_t {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
};

enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DFILLMODE : uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum D3DFOGMODE : uint32_t { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };
enum D3DTEXTUREFILTERTYPE : uint32_t { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };
enum D3DTEXTUREADDRESS : uint32_t { D3DTADDRESS_WRAP = 1, D3DTADDRESS_MIRROR = 2, D3DTADDRESS_CLAMP = 3 };
enum D3DZBUFFERTYPE : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1 };

enum D3DTRANSFORMSTATETYPE : uint32_t {
    D3DTS_VIEW = 2,
    D3DTS_PROJECTION = 3,
    D3DTS_TEXTURE0 = 16,  // D3DTS_TEXTURE0 + n: the texture matrix of stage n (0..7)
    D3DTS_TEXTURE7 = 23,
    D3DTS_WORLD = 256,
};

enum D3DPRIMITIVETYPE : uint32_t { D3DPT_TRIANGLELIST = 4 };

inline constexpr uint32_t D3DCLEAR_TARGET = 1;
inline constexpr uint32_t D3DCLEAR_ZBUFFER = 2;
inline constexpr uint32_t D3DLOCK_DISCARD = 0x2000;
inline constexpr uint32_t D3DLOCK_NOOVERWRITE = 0x1000;
inline constexpr uint32_t D3DUSAGE_WRITEONLY = 8;
enum D3DPOOL : uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };
enum D3DBACKBUFFER_TYPE : uint32_t { D3DBACKBUFFER_TYPE_MONO = 0 };

// Flexible vertex format bits.
inline constexpr uint32_t D3DFVF_XYZ = 0x002;
inline constexpr uint32_t D3DFVF_XYZRHW = 0x004;
inline constexpr uint32_t D3DFVF_NORMAL = 0x010;
inline constexpr uint32_t D3DFVF_DIFFUSE = 0x040;
inline constexpr uint32_t D3DFVF_SPECULAR = 0x080;
inline constexpr uint32_t D3DFVF_TEX1 = 0x100;
inline constexpr uint32_t D3DFVF_TEX2 = 0x200;
inline constexpr uint32_t D3DFVF_TEX3 = 0x300;
inline constexpr uint32_t D3DFVF_TEXCOUNT_MASK = 0xF00;
inline constexpr uint32_t D3DFVF_TEXCOUNT_SHIFT = 8;
// Byte size of one vertex of `fvf`; 0 when it has neither XYZ nor XYZRHW.
uint32_t FvfVertexSize(uint32_t fvf);

inline constexpr int kMaxTextureStages = 4;  // stages that hold state
inline constexpr int kShaderStages = 3;      // stages the blending program evaluates

struct D3DPRESENT_PARAMETERS {
    uint32_t BackBufferWidth = 0;  // 0 = the window's drawable size
    uint32_t BackBufferHeight = 0;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    uint32_t BackBufferCount = 0;
    uint32_t MultiSampleType = 0;
    uint32_t SwapEffect = 0;
    SDL_Window* hDeviceWindow = nullptr;
    int32_t Windowed = 0;
    int32_t EnableAutoDepthStencil = 0;
    D3DFORMAT AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    uint32_t Flags = 0;
    uint32_t FullScreen_RefreshRateInHz = 0;
    uint32_t FullScreen_PresentationInterval = 0;
};

struct D3DDISPLAYMODE {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t RefreshRate = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

// The capabilities this device reports (the fields of D3DCAPS8 we fill).
struct D3DCAPS8 {
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    uint32_t AdapterOrdinal = 0;
    uint32_t MaxTextureWidth = 0;
    uint32_t MaxTextureHeight = 0;
    uint32_t MaxTextureBlendStages = 0;
    uint32_t MaxSimultaneousTextures = 0;
    uint32_t MaxPrimitiveCount = 0;
    uint32_t MaxVertexIndex = 0;
    uint32_t MaxStreams = 0;
    uint32_t MaxStreamStride = 0;
    uint32_t TextureOpCaps = 0;  // D3DTEXOPCAPS_* bits of the ops we implement
};

class Direct3DDevice8;
class FixedFunctionProgram;

// A vertex buffer: GL buffer object filled through Lock/Unlock. A discard lock orphans the
// whole buffer before the write, so a per-frame refill never waits on the GPU.
class VertexBuffer8 {
public:
    ~VertexBuffer8();
    VertexBuffer8(const VertexBuffer8&) = delete;
    VertexBuffer8& operator=(const VertexBuffer8&) = delete;

    uint32_t Length() const { return length_; }
    uint32_t Fvf() const { return fvf_; }
    // Maps [offset, offset + size) for writing (size 0 = to the end). Fails when the range
    // leaves the buffer or the buffer is locked already.
    HRESULT Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags);
    HRESULT Unlock();
    uint32_t GlName() const { return glName_; }

private:
    friend class Direct3DDevice8;
    VertexBuffer8(Direct3DDevice8& device, uint32_t length, uint32_t fvf);
    Direct3DDevice8* device_;
    uint32_t glName_ = 0;
    uint32_t length_ = 0;
    uint32_t fvf_ = 0;
    bool locked_ = false;
    uint32_t lockOffset_ = 0;
#if defined(__EMSCRIPTEN__)
    std::vector<uint8_t> staging_;  // WebGL maps no buffers: a lock writes here, Unlock uploads
#endif
    uint32_t lockSize_ = 0;
};

class Direct3D8;

// The device. All calls must come from the thread whose GL context belongs to the window.
class Direct3DDevice8 {
public:
    ~Direct3DDevice8();
    Direct3DDevice8(const Direct3DDevice8&) = delete;
    Direct3DDevice8& operator=(const Direct3DDevice8&) = delete;

    // Re-creates the swap-chain state for new parameters (size, depth buffer). Fails with
    // D3DERR_DEVICELOST while the device is lost and cannot be reset yet; then resets the
    // states to their defaults as Direct3D does.
    HRESULT Reset(const D3DPRESENT_PARAMETERS& params);
    // D3D_OK, D3DERR_DEVICELOST (lost, cannot reset yet) or D3DERR_DEVICENOTRESET.
    HRESULT TestCooperativeLevel() const;
    // Shows the back buffer (SDL_GL_SwapWindow). D3DERR_DEVICELOST when lost.
    HRESULT Present();

    // Clears the whole viewport (rectangles are not supported: count must be 0).
    HRESULT Clear(uint32_t rectCount, const void* rects, uint32_t flags, uint32_t color, float z, uint32_t stencil);
    HRESULT BeginScene();
    HRESULT EndScene();
    bool InScene() const { return inScene_; }

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const Mat4& matrix);
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, Mat4& matrix) const;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value);
    uint32_t GetRenderState(D3DRENDERSTATETYPE state) const;
    HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value);
    uint32_t GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type) const;
    // The texture stays owned by the caller and must outlive its binding (or be unbound).
    // It is uploaded to GL at the next draw when new or changed since its last upload.
    HRESULT SetTexture(uint32_t stage, Texture* texture);
    // Uploads the texture to GL now when it is new or changed since its last upload, so the
    // first frame that draws it does not pay for it. Stage bindings are unchanged.
    HRESULT PreLoad(Texture* texture);
    Texture* GetTexture(uint32_t stage) const;

    // Textures keep their pixels on the CPU (managed pool); any pool is accepted. With usage
    // D3DUSAGE_RENDERTARGET the texture lives on the GL side only and is drawn into through
    // its surface: the pool must be D3DPOOL_DEFAULT, the format A8R8G8B8, X8R8G8B8 or
    // R5G6B5, and it has one level (levels 0 or 1).
    HRESULT CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, D3DFORMAT format,
                          D3DPOOL pool, std::unique_ptr<Texture>& out);
    // A depth surface to draw a render-target texture with (format D3DFMT_D16, no
    // multisampling).
    HRESULT CreateDepthStencilSurface(uint32_t width, uint32_t height, D3DFORMAT format, uint32_t multiSample,
                                      std::unique_ptr<Surface8>& out);
    // The back buffer and the depth buffer made with it (null without EnableAutoDepthStencil);
    // both stay owned by the device.
    HRESULT GetBackBuffer(uint32_t index, D3DBACKBUFFER_TYPE type, Surface8*& out);
    HRESULT GetDepthStencilSurface(Surface8*& out) const;  // the current one (may be null)
    HRESULT GetRenderTarget(Surface8*& out) const;
    // Draws into `target` from now on (null keeps the current one) with `depth` as depth
    // buffer (null: none, depth tests pass and nothing is written). The back buffer takes only
    // its own depth buffer; a texture takes a depth surface at least its size. The viewport
    // becomes the whole target. Surfaces must outlive their use here.
    HRESULT SetRenderTarget(Surface8* target, Surface8* depth);
    HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                               std::unique_ptr<VertexBuffer8>& out);
    // The buffer must outlive its binding (or be unbound with nullptr).
    HRESULT SetStreamSource(uint32_t stream, VertexBuffer8* buffer, uint32_t stride);
    HRESULT SetVertexShader(uint32_t fvf);  // fixed-function: the vertex format
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex, uint32_t primitiveCount);

    HRESULT GetDeviceCaps(D3DCAPS8& caps) const;
    // Width and height of the back buffer in pixels.
    int BackBufferWidth() const;
    int BackBufferHeight() const;
    // Reads back-buffer pixels as RGBA rows from the top-left corner (before Present).
    bool ReadPixels(int x, int y, int width, int height, std::vector<uint8_t>& rgba) const;

    const DeviceStats& Stats() const { return stats_; }
    void ResetStats() { stats_ = DeviceStats{}; }

    // Test hook for the lost-device path: the device becomes lost; Present and
    // TestCooperativeLevel report it, and the next `failingResets` calls of Reset fail with
    // D3DERR_DEVICELOST before one succeeds.
    void SimulateDeviceLoss(int failingResets);
    bool IsLost() const { return lost_; }
    // Test hook: the next `count` CreateVertexBuffer calls fail with D3DERR_OUTOFVIDEOMEMORY.
    void SimulateVertexBufferFailures(int count) { failingBuffers_ = count; }

    SDL_Window* Window() const { return window_; }

private:
    friend class Direct3D8;
    friend class VertexBuffer8;
    Direct3DDevice8(SDL_Window* window, D3DDEVTYPE type);
    bool Initialise(const D3DPRESENT_PARAMETERS& params);
    void SetDefaultStates();
    void ApplyState();
    void ApplyRasterState();
    void UploadShaderState();
    void BindVertexFormat();
    void UploadTexture(Texture& texture);
    void UpdateBackBufferSize();
    void BindRenderTarget();
    bool PrepareRenderTargetTexture(Texture& texture);
    bool DrawingToTexture() const { return target_ != nullptr && target_->kind_ == Surface8::Kind::TextureLevel; }
    void ForgetBuffer(VertexBuffer8* buffer);

    SDL_Window* window_ = nullptr;
    D3DDEVTYPE type_ = D3DDEVTYPE_HAL;
    D3DPRESENT_PARAMETERS params_{};
    int bbWidth_ = 0;
    int bbHeight_ = 0;
    bool inScene_ = false;
    bool lost_ = false;
    int failingResets_ = 0;
    int failingBuffers_ = 0;
    int maxTextureSize_ = 0;
    std::vector<VertexBuffer8*> buffers_;  // live buffers, detached when the device goes

    uint32_t renderStates_[D3DRS_COUNT] = {};
    uint32_t stageStates_[kMaxTextureStages][D3DTSS_COUNT] = {};
    Texture* textures_[kMaxTextureStages] = {};
    Mat4 world_{};
    Mat4 view_{};
    Mat4 projection_{};
    Mat4 textureMatrices_[8]{};

    std::unique_ptr<Surface8> backBuffer_;
    std::unique_ptr<Surface8> autoDepth_;
    Surface8* target_ = nullptr;  // null: the back buffer
    Surface8* depth_ = nullptr;
    int targetWidth_ = 0;
    int targetHeight_ = 0;

    VertexBuffer8* stream_ = nullptr;
    uint32_t streamStride_ = 0;
    uint32_t fvf_ = 0;

    // GL objects and the state last sent to GL.
    std::unique_ptr<FixedFunctionProgram> program_;
    uint32_t vao_ = 0;
    uint32_t samplers_[kMaxTextureStages] = {};
    bool samplerDirty_[kMaxTextureStages] = {};
    bool shaderDirty_ = true;
    int32_t boundHasTexture_[kShaderStages] = {};
    bool rasterDirty_ = true;
    bool transformDirty_ = true;
    uint32_t boundVbo_ = 0;
    uint32_t boundFvf_ = 0;
    uint32_t boundStride_ = 0;
    DeviceStats stats_;
};

// The Direct3D object: adapter queries and device creation.
class Direct3D8 {
public:
    Direct3D8() = default;
    ~Direct3D8();
    Direct3D8(const Direct3D8&) = delete;
    Direct3D8& operator=(const Direct3D8&) = delete;

    // Format and size of the desktop of adapter 0 (SDL's desktop display mode).
    HRESULT GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE& mode);
    // Creates the device on `params.hDeviceWindow` (or `window`), whose GL context must be
    // current and at least version 3.3. Fails with D3DERR_NOTAVAILABLE otherwise.
    HRESULT CreateDevice(uint32_t adapter, D3DDEVTYPE type, SDL_Window* window, uint32_t flags,
                         const D3DPRESENT_PARAMETERS& params, std::unique_ptr<Direct3DDevice8>& out);

    // Test hook: the next `count` GetAdapterDisplayMode calls fail.
    void SimulateDisplayModeFailures(int count) { failingModeQueries_ = count; }

private:
    friend std::unique_ptr<Direct3D8> Direct3DCreate8(uint32_t sdkVersion);
    int failingModeQueries_ = 0;
    bool ownsVideo_ = false;  // this object initialised SDL video and quits it
};

// Our stand-in for the "d3d8.dll" entry: returns the Direct3D object when SDL's video
// subsystem is (or can be) initialised, else null.
std::unique_ptr<Direct3D8> Direct3DCreate8(uint32_t sdkVersion);

}  // namespace dv
