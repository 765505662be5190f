// One frame of the viewport: the 3D list built by the scene callback, its animated textures
// resolved, sorted into runs of one state, uploaded and drawn, then the 2D overlay.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "math/clock.h"
#include "render/blend_states.h"
#include "render/device.h"
#include "render/triangle_sort.h"
#include "render/viewport.h"

namespace dv {

namespace {

// The device's fill mode for solid triangles; kWireframeFlag in a header asks for wireframe.
constexpr uint32_t kSolidFill = D3DFILL_SOLID;

bool SameRunState(const TriangleHeader& a, const TriangleHeader& b) {
    return std::memcmp(reinterpret_cast<const uint8_t*>(&a) + 4, reinterpret_cast<const uint8_t*>(&b) + 4, 10) == 0;
}

int64_t FloorMod(int64_t a, int64_t m) {
    const int64_t r = a % m;
    return r < 0 ? r + (m < 0 ? -m : m) : r;
}

}  // namespace

bool Viewport::RenderFrame() {
    SceneBuilt = false;
    return DrawFrame();
}

void Viewport::AddTriangles(const TriangleHeader* headers, const TriangleVertices* triples, int32_t count) {
    if (count <= 0 || headers == nullptr || triples == nullptr) return;
    const size_t total = static_cast<size_t>(TriangleCount) + static_cast<size_t>(count);
    if (Headers.size() < total) {
        Headers.resize(total);
        Vertices.resize(total);
    }
    std::memcpy(&Headers[TriangleCount], headers, sizeof(TriangleHeader) * count);
    std::memcpy(&Vertices[TriangleCount], triples, sizeof(TriangleVertices) * count);
    TriangleCount = static_cast<int32_t>(total);
}

TriangleSpan Viewport::ReserveTriangles(int32_t count) {
    const size_t total = static_cast<size_t>(TriangleCount) + static_cast<size_t>(std::max(count, 0));
    if (Headers.size() < total) {
        Headers.resize(total);
        Vertices.resize(total);
    }
    return TriangleSpan{Headers.data() + TriangleCount, Vertices.data() + TriangleCount};
}

void Viewport::CommitTriangles(int32_t count) {
    const int64_t room = static_cast<int64_t>(Headers.size()) - TriangleCount;
    TriangleCount += static_cast<int32_t>(std::clamp<int64_t>(count, 0, room));
}

Triangle2D* Viewport::Add2DBatch(uint16_t slot, BlendMode mode, int32_t triangles) {
    triangles = std::max(triangles, 0);
    if (Batches2D.size() <= static_cast<size_t>(BatchCount2D)) Batches2D.resize(BatchCount2D + 1);
    const size_t total = static_cast<size_t>(TriangleCount2D) + static_cast<size_t>(triangles);
    if (Vertices2D.size() < total) Vertices2D.resize(total);
    Batches2D[BatchCount2D] = Batch2D{slot, BlendByte(mode), triangles};
    ++BatchCount2D;
    Triangle2D* first = Vertices2D.data() + TriangleCount2D;
    if (triangles > 0) std::memset(first, 0, sizeof(Triangle2D) * triangles);  // zero area
    TriangleCount2D = static_cast<int32_t>(total);
    return first;
}

Texture* Viewport::LookupTexture(int32_t slot) const {
    return Textures.Lookup != nullptr ? Textures.Lookup(Textures.User, slot) : nullptr;
}

void Viewport::AnimateTextureReferences(int32_t clockMs) {
    for (int32_t i = 0; i < TriangleCount; ++i) {
        TriangleHeader& h = Headers[i];
        const uint16_t code = h.Texture;
        if ((code & kAnimatedSlotBit) == 0) continue;
        const AnimatedTextureTable& table = AnimatedTextures[AnimatedTable(code)];
        const int set = AnimatedSetIndex(code);
        const int sets = std::min<int>(table.SetCount, static_cast<int>(table.Sets.size()));
        if (set < 0 || set >= sets) {
            h.Texture = 0;
            continue;
        }
        const AnimatedTexture& a = table.Sets[set];
        const int frames = std::min<int>(a.FrameCount, static_cast<int>(a.Frames.size()));
        if (frames == 0) continue;  // nothing to show: the header stays as it is, unanimated
        const int start = std::min(AnimatedStartFrame(code), frames - 1);
        const AnimatedTextureFrame& first = a.Frames[start];
        const auto slotOf = [&table](const AnimatedTextureFrame& f) {
            return static_cast<uint16_t>(f.SlotOffset + table.SlotBase);
        };
        TriangleVertices& tri = Vertices[i];
        if (a.Period <= 0) {  // not time-driven (a negative period would index backwards)
            h.Texture = slotOf(first);
            continue;
        }
        const int64_t steps = static_cast<int64_t>(clockMs) / a.Period;
        if (a.Kind == 0) {
            const AnimatedTextureFrame& f = a.Frames[FloorMod(start + steps, frames)];
            h.Texture = slotOf(f);
            for (Vertex3D& v : tri.V) {
                v.U = f.ShiftU + (v.U - first.ShiftU);
                v.V = f.ShiftV + (v.V - first.ShiftV);
            }
        } else if (a.Kind == 1) {
            h.Texture = slotOf(first);
            const double span = (double(first.LimitV) - double(first.ShiftV)) / 2.0 * 256.0;
            const int64_t w = std::clamp<int64_t>(TruncToInt64(span), INT32_MIN, INT32_MAX);
            if (w == 0) continue;  // no room to slide: drawn unanimated
            const int64_t r = steps % w;
            const float shift = static_cast<float>(static_cast<double>(w - r) / 256.0);
            for (Vertex3D& v : tri.V) v.V = v.V + shift;
        }
    }
}

void Viewport::SortTriangles() { SortTriangleListForDrawing(Headers, Vertices, TriangleCount, SortScratch); }

int32_t Viewport::BuildRuns() {
    int32_t runs = 0;
    int32_t i = 0;
    while (i < TriangleCount) {
        int32_t j = i + 1;
        while (j < TriangleCount && SameRunState(Headers[j], Headers[i])) ++j;
        Headers[i].RunLength = j - i;
        ++runs;
        i = j;
    }
    return runs;
}

bool Viewport::DrawFrame() {
    Direct3DDevice8* d = device_.get();
    if (d == nullptr) return true;
    // Present the previous frame. A lost device is reset once per frame; while it stays lost
    // the frame is skipped (nothing drawn, no message), and the next frame tries again.
    if (deviceLost_ || Failed(d->Present())) {
        deviceLost_ = true;
        const ResetResult reset = ResetDevice();
        if (reset != ResetResult::Done) return reset != ResetResult::Failed;
        deviceLost_ = false;
    }
    if (FramesInWindow == 0) FpsWindowStart = ClockMs();
    if (SceneCamera != nullptr) {
        SceneCamera->UpdateView();
        d->SetTransform(D3DTS_VIEW, SceneCamera->View);
    }
    BuildProjection();
    d->SetTransform(D3DTS_PROJECTION, Projection);
    ViewFrustum = FrustumFromMatrices(SceneCamera != nullptr ? SceneCamera->View : MatIdentity(), Projection);
    if (!SceneBuilt) {
        if (Scene3D != nullptr) Scene3D(Scene3DUser);
        AnimateTextureReferences(ClockMs());
        SortTriangles();
        BuildRuns();
        SceneBuilt = true;
    }
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, ToD3DColor(ClearColor), 1.0f, 0);
    d->BeginScene();
    Mat4 world = MatMultiply(MatRotationY(static_cast<float>(ModelRotation[1])),
                             MatRotationX(static_cast<float>(ModelRotation[0])));
    world = MatMultiply(world, MatRotationZ(static_cast<float>(ModelRotation[2])));
    World = MatMultiply(world, MatScaling(static_cast<float>(ModelScale[0]), static_cast<float>(ModelScale[1]),
                                          static_cast<float>(ModelScale[2])));
    d->SetTransform(D3DTS_WORLD, World);
    if (UploadTriangles()) {
        d->SetStreamSource(0, VertexBuffer3D.get(), kVertexStride3D);
        d->SetVertexShader(kFvf3D);
        d->SetRenderState(D3DRS_FILLMODE, kSolidFill);
        DrawRuns();
        Draw2D();
    }
    d->EndScene();  // also after a failed vertex buffer, so the next frame starts cleanly
    return true;
}

bool Viewport::UploadTriangles() {
    Direct3DDevice8* d = device_.get();
    if (d == nullptr) return false;
    if (TriangleCount <= 0) return true;
    if (VertexCapacity3D < TriangleCount || VertexCapacity3D == 0) {
        VertexBuffer3D.reset();
        VertexCapacity3D = 0;
        const int64_t bytes = (int64_t(TriangleCount) + 1000) * kVertexStride3D * 3;
        if (bytes > INT32_MAX || Failed(d->CreateVertexBuffer(static_cast<uint32_t>(bytes), D3DUSAGE_WRITEONLY, kFvf3D,
                                                              D3DPOOL_MANAGED, VertexBuffer3D))) {
            Tell(Messages, "failing trying to build a dx8 vertex buffer!!!!");
            return false;
        }
        VertexCapacity3D = TriangleCount + 1000;
    }
    uint8_t* p = nullptr;
    const uint32_t bytes = static_cast<uint32_t>(TriangleCount) * sizeof(TriangleVertices);
    if (Failed(VertexBuffer3D->Lock(0, bytes, &p, D3DLOCK_DISCARD))) return false;
    std::memcpy(p, Vertices.data(), bytes);
    VertexBuffer3D->Unlock();
    return true;
}

void Viewport::DrawRuns() {
    int32_t start = 0;
    int32_t i = 0;
    while (i < TriangleCount) {
        const TriangleHeader& h = Headers[i];
        const int32_t runLength = h.RunLength;  // a copy: std::clamp would bind to the packed field
        const int32_t n = std::clamp(runLength, 1, TriangleCount - i);
        DrawRun(h, start, n);
        start += 3 * n;
        i += n;
    }
}

void Viewport::DrawRun(const TriangleHeader& h, int32_t start, int32_t count) {
    Direct3DDevice8& d = *device_;
    const uint32_t modulate = static_cast<uint32_t>(D3DTOP_MODULATE + ModulateShift);
    for (uint32_t stage = 0; stage < 2; ++stage) {
        d.SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d.SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
    d.SetRenderState(D3DRS_FILLMODE,
                     (uint32_t(h.Flags) & kWireframeFlag) != 0 ? uint32_t(D3DFILL_WIREFRAME) : kSolidFill);
    const bool layered = h.Layers > 1;
    const bool bumped = h.BumpFlag != 0;
    ApplyBlendStates(d, SceneBlendStates(BlendModeOf(h.BlendType)), layered || bumped ? 1 : 0);
    if (bumped) {
        d.SetTexture(0, LookupTexture(h.BumpTexture));
        d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
        d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_SPECULAR);
    } else if (layered) {
        d.SetTexture(0, LookupTexture(h.Lightmap));
        d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 2);
        d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    }
    if (layered || bumped) {
        d.SetTexture(1, LookupTexture(h.Texture));
        d.SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        d.SetTextureStageState(1, D3DTSS_COLOROP, modulate);
        d.SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
        d.SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
        d.SetTextureStageState(1, D3DTSS_COLORARG0, D3DTA_CURRENT);
    } else {
        d.SetTexture(0, LookupTexture(h.Texture));
        d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d.SetTextureStageState(0, D3DTSS_COLOROP, h.Layers == 1 ? modulate : uint32_t(D3DTOP_SELECTARG1));
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        if (h.Layers == 1) d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    }
    d.DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
    if (h.Layers >= 1 && bumped) {
        d.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
        d.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
        d.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d.SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d.SetTexture(0, LookupTexture(h.Lightmap));
        d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 2);
        d.SetTextureStageState(0, D3DTSS_COLOROP, h.Layers == 1 ? D3DTOP_SELECTARG1 : D3DTOP_ADD);
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
        d.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        d.DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
    }
}

void Viewport::Draw2D() {
    Direct3DDevice8& d = *device_;
    ++FramesInWindow;
    if (ClockSince(ClockMs(), FpsWindowStart) >= 1000) {
        FramesPerSecond = (FramesPerSecond + FramesInWindow) >> 1;
        FramesInWindow = 0;
    }
    if (Overlay2D != nullptr) Overlay2D(Overlay2DUser);
    if (TriangleCount2D > 0 && (VertexCapacity2D < TriangleCount2D || VertexCapacity2D == 0)) {
        VertexBuffer2D.reset();
        VertexCapacity2D = 0;
        const int64_t bytes = (int64_t(TriangleCount2D) + 250) * kVertexStride2D * 3;
        if (bytes > INT32_MAX || Failed(d.CreateVertexBuffer(static_cast<uint32_t>(bytes), D3DUSAGE_WRITEONLY, kFvf2D,
                                                             D3DPOOL_MANAGED, VertexBuffer2D))) {
            Tell(Messages, "failing trying to build a dx8 vertex buffer for 2d stuff!!!!");
            return;
        }
        VertexCapacity2D = TriangleCount2D + 250;
    }
    if (TriangleCount2D > 0) {
        uint8_t* p = nullptr;
        const uint32_t bytes = static_cast<uint32_t>(TriangleCount2D) * sizeof(Triangle2D);
        if (Failed(VertexBuffer2D->Lock(0, bytes, &p, D3DLOCK_DISCARD))) return;
        std::memcpy(p, Vertices2D.data(), bytes);
        VertexBuffer2D->Unlock();
    }
    d.SetStreamSource(0, VertexBuffer2D.get(), kVertexStride2D);
    d.SetVertexShader(kFvf2D);
    d.SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d.SetRenderState(D3DRS_FOGENABLE, 0);
    const uint32_t modulate = static_cast<uint32_t>(D3DTOP_MODULATE + ModulateShift);
    int32_t start = 0;
    for (int32_t b = 0; b < BatchCount2D; ++b) {
        const Batch2D batch = Batches2D[b];
        const int32_t wanted = batch.Count;  // a copy: std::clamp would bind to the packed field
        const int32_t count = std::clamp(wanted, 0, TriangleCount2D - start / 3);
        for (uint32_t stage = 0; stage < 2; ++stage) {
            d.SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
            d.SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
        d.SetTexture(0, LookupTexture(batch.Slot));
        ApplyBlendStates(d, OverlayBlendStates(static_cast<BlendMode>(batch.Mode)), 0);
        d.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d.SetTextureStageState(0, D3DTSS_COLOROP, modulate);
        d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        if (count > 0) {
            d.DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
        }
        start += 3 * count;
    }
    if (Fog.Enabled) d.SetRenderState(D3DRS_FOGENABLE, 1);
}

}  // namespace dv
