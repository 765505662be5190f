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
    sceneBuilt_ = false;
    return DrawFrame();
}

void Viewport::AddTriangles(const TriangleHeader* headers, const TriangleVertices* triples, int32_t count) {
    if (count <= 0 || headers == nullptr || triples == nullptr) return;
    const size_t total = static_cast<size_t>(triangleCount_) + static_cast<size_t>(count);
    if (headers_.size() < total) {
        headers_.resize(total);
        vertices_.resize(total);
    }
    std::memcpy(&headers_[triangleCount_], headers, sizeof(TriangleHeader) * count);
    std::memcpy(&vertices_[triangleCount_], triples, sizeof(TriangleVertices) * count);
    triangleCount_ = static_cast<int32_t>(total);
}

TriangleSpan Viewport::ReserveTriangles(int32_t count) {
    const size_t total = static_cast<size_t>(triangleCount_) + static_cast<size_t>(std::max(count, 0));
    if (headers_.size() < total) {
        headers_.resize(total);
        vertices_.resize(total);
    }
    return TriangleSpan{headers_.data() + triangleCount_, vertices_.data() + triangleCount_};
}

void Viewport::CommitTriangles(int32_t count) {
    const int64_t room = static_cast<int64_t>(headers_.size()) - triangleCount_;
    triangleCount_ += static_cast<int32_t>(std::clamp<int64_t>(count, 0, room));
}

Triangle2D* Viewport::Add2DBatch(uint16_t slot, BlendMode mode, int32_t triangles) {
    triangles = std::max(triangles, 0);
    if (batches2D_.size() <= static_cast<size_t>(batchCount2D_)) batches2D_.resize(batchCount2D_ + 1);
    const size_t total = static_cast<size_t>(triangleCount2D_) + static_cast<size_t>(triangles);
    if (vertices2D_.size() < total) vertices2D_.resize(total);
    batches2D_[batchCount2D_] = Batch2D{slot, BlendByte(mode), triangles};
    ++batchCount2D_;
    Triangle2D* first = vertices2D_.data() + triangleCount2D_;
    if (triangles > 0) std::memset(first, 0, sizeof(Triangle2D) * triangles);  // zero area
    triangleCount2D_ = static_cast<int32_t>(total);
    return first;
}

Texture* Viewport::LookupTexture(int32_t slot) const {
    return textures_.Lookup != nullptr ? textures_.Lookup(textures_.User, slot) : nullptr;
}

void Viewport::AnimateTextureReferences(int32_t clockMs) {
    for (int32_t i = 0; i < triangleCount_; ++i) {
        TriangleHeader& h = headers_[i];
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
        TriangleVertices& tri = vertices_[i];
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

void Viewport::SortTriangles() { SortTriangleListForDrawing(headers_, vertices_, triangleCount_, sortScratch_); }

int32_t Viewport::BuildRuns() {
    int32_t runs = 0;
    int32_t i = 0;
    while (i < triangleCount_) {
        int32_t j = i + 1;
        while (j < triangleCount_ && SameRunState(headers_[j], headers_[i])) ++j;
        headers_[i].RunLength = j - i;
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
    if (framesInWindow_ == 0) fpsWindowStart_ = ClockMs();
    frameView_ = MatIdentity();
    if (sceneCamera_ != nullptr) {
        sceneCamera_->UpdateView();
        frameView_ = sceneCamera_->View;
    }
    d->SetTransform(D3DTS_VIEW, frameView_);
    BuildProjection();
    d->SetTransform(D3DTS_PROJECTION, projection_);
    viewFrustum_ = FrustumFromMatrices(sceneCamera_ != nullptr ? sceneCamera_->View : MatIdentity(), projection_);
    if (!sceneBuilt_) {
        Shadow.Clear();
        if (scene3D_ != nullptr) scene3D_(scene3DUser_);
        AnimateTextureReferences(ClockMs());
        SortTriangles();
        BuildRuns();
        sceneBuilt_ = true;
    }
    DrawShadowTexture();
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, ToD3DColor(clearColor_), 1.0f, 0);
    d->BeginScene();
    d->SetTransform(D3DTS_WORLD, MatIdentity());  // the 3D list is in world coordinates
    if (UploadTriangles()) {
        d->SetStreamSource(0, vertexBuffer3D_.get(), kVertexStride3D);
        d->SetVertexShader(kFvf3D);
        d->SetRenderState(D3DRS_FILLMODE, kSolidFill);
        DrawRuns();
        DrawShadowReceivers();
        Draw2D();
    }
    d->EndScene();  // also after a failed vertex buffer, so the next frame starts cleanly
    return true;
}

bool Viewport::UploadTriangles() {
    Direct3DDevice8* d = device_.get();
    if (d == nullptr) return false;
    if (triangleCount_ <= 0) return true;
    if (vertexCapacity3D_ < triangleCount_ || vertexCapacity3D_ == 0) {
        vertexBuffer3D_.reset();
        vertexCapacity3D_ = 0;
        const int64_t bytes = (int64_t(triangleCount_) + 1000) * kVertexStride3D * 3;
        if (bytes > INT32_MAX || Failed(d->CreateVertexBuffer(static_cast<uint32_t>(bytes), D3DUSAGE_WRITEONLY, kFvf3D,
                                                              D3DPOOL_MANAGED, vertexBuffer3D_))) {
            Tell(Messages, "failing trying to build a dx8 vertex buffer!!!!");
            return false;
        }
        vertexCapacity3D_ = triangleCount_ + 1000;
    }
    uint8_t* p = nullptr;
    const uint32_t bytes = static_cast<uint32_t>(triangleCount_) * sizeof(TriangleVertices);
    if (Failed(vertexBuffer3D_->Lock(0, bytes, &p, D3DLOCK_DISCARD))) return false;
    std::memcpy(p, vertices_.data(), bytes);
    vertexBuffer3D_->Unlock();
    return true;
}

void Viewport::DrawRuns() {
    int32_t start = 0;
    int32_t i = 0;
    while (i < triangleCount_) {
        const TriangleHeader& h = headers_[i];
        const int32_t runLength = h.RunLength;  // a copy: std::clamp would bind to the packed field
        const int32_t n = std::clamp(runLength, 1, triangleCount_ - i);
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
    ++framesInWindow_;
    if (ClockSince(ClockMs(), fpsWindowStart_) >= 1000) {
        framesPerSecond_ = (framesPerSecond_ + framesInWindow_) >> 1;
        framesInWindow_ = 0;
    }
    if (overlay2D_ != nullptr) overlay2D_(overlay2DUser_);
    if (triangleCount2D_ > 0 && (vertexCapacity2D_ < triangleCount2D_ || vertexCapacity2D_ == 0)) {
        vertexBuffer2D_.reset();
        vertexCapacity2D_ = 0;
        const int64_t bytes = (int64_t(triangleCount2D_) + 250) * kVertexStride2D * 3;
        if (bytes > INT32_MAX || Failed(d.CreateVertexBuffer(static_cast<uint32_t>(bytes), D3DUSAGE_WRITEONLY, kFvf2D,
                                                             D3DPOOL_MANAGED, vertexBuffer2D_))) {
            Tell(Messages, "failing trying to build a dx8 vertex buffer for 2d stuff!!!!");
            return;
        }
        vertexCapacity2D_ = triangleCount2D_ + 250;
    }
    if (triangleCount2D_ > 0) {
        uint8_t* p = nullptr;
        const uint32_t bytes = static_cast<uint32_t>(triangleCount2D_) * sizeof(Triangle2D);
        if (Failed(vertexBuffer2D_->Lock(0, bytes, &p, D3DLOCK_DISCARD))) return;
        std::memcpy(p, vertices2D_.data(), bytes);
        vertexBuffer2D_->Unlock();
    }
    d.SetStreamSource(0, vertexBuffer2D_.get(), kVertexStride2D);
    d.SetVertexShader(kFvf2D);
    d.SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d.SetRenderState(D3DRS_FOGENABLE, 0);
    const uint32_t modulate = static_cast<uint32_t>(D3DTOP_MODULATE + ModulateShift);
    int32_t start = 0;
    for (int32_t b = 0; b < batchCount2D_; ++b) {
        const Batch2D batch = batches2D_[b];
        const int32_t wanted = batch.Count;  // a copy: std::clamp would bind to the packed field
        const int32_t count = std::clamp(wanted, 0, triangleCount2D_ - start / 3);
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
