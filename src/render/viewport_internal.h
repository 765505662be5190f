// The viewport's inside, for its tests, benchmarks and tools: the frame's lists and buffers as
// the frame steps leave them, and the steps themselves, which the game reaches only through
// RenderFrame and DrawFrame.
#pragma once

#include <memory>
#include <vector>

#include "render/viewport.h"

namespace dv {

struct ViewportInternals {
    // The 3D list: TriangleCount() entries in use, the vectors may hold more.
    static std::vector<TriangleHeader>& Headers(Viewport& v) { return v.headers_; }
    static const std::vector<TriangleHeader>& Headers(const Viewport& v) { return v.headers_; }
    static std::vector<TriangleVertices>& Vertices(Viewport& v) { return v.vertices_; }
    // The 2D list of this frame: batches and their triangles.
    static int32_t BatchCount2D(const Viewport& v) { return v.batchCount2D_; }
    static const std::vector<Batch2D>& Batches2D(const Viewport& v) { return v.batches2D_; }
    static int32_t TriangleCount2D(const Viewport& v) { return v.triangleCount2D_; }
    static const std::vector<Triangle2D>& Vertices2D(const Viewport& v) { return v.vertices2D_; }
    // The vertex buffers and the triangles they hold room for.
    static const VertexBuffer8* VertexBuffer3D(const Viewport& v) { return v.vertexBuffer3D_.get(); }
    static int32_t VertexCapacity3D(const Viewport& v) { return v.vertexCapacity3D_; }
    static int32_t VertexCapacity2D(const Viewport& v) { return v.vertexCapacity2D_; }

    // The scene callback RenderFrame calls to build the 3D list.
    static ViewportCallback Scene3D(const Viewport& v) { return v.scene3D_; }
    static void BuildScene3D(Viewport& v) {
        if (v.scene3D_ != nullptr) v.scene3D_(v.scene3DUser_);
    }

    // The frame steps, in the order DrawFrame runs them.
    static void AnimateTextureReferences(Viewport& v, int32_t clockMs) { v.AnimateTextureReferences(clockMs); }
    static void SortTriangles(Viewport& v) { v.SortTriangles(); }
    static int32_t BuildRuns(Viewport& v) { return v.BuildRuns(); }
    static bool UploadTriangles(Viewport& v) { return v.UploadTriangles(); }

    static bool DeviceLost(const Viewport& v) { return v.deviceLost_; }
    // Whether this frame drew a shadow: its caster copies and receivers are draws of their own,
    // from a vertex buffer of their own.
    static bool ShadowDrawn(const Viewport& v) { return v.shadowDrawn_; }
    // The device and the graphics system, for the device tests.
    static Direct3DDevice8* Device(const Viewport& v) { return v.device_.get(); }
    static Direct3D8* Graphics(const Viewport& v) { return v.graphics_.get(); }
};

}  // namespace dv
