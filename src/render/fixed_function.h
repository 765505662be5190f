// The GLSL program that stands in for Direct3D 8's fixed-function pipeline: transform (or
// pre-transformed pixels), up to three texture stages, alpha test and linear vertex fog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "math/vecmath.h"

namespace dv {

// Vertex attribute locations the device binds the vertex format to.
enum FixedFunctionAttrib : uint32_t {
    kAttribPosition = 0,
    kAttribDiffuse = 1,
    kAttribSpecular = 2,
    kAttribTex0 = 3,  // kAttribTex0 + n for coordinate set n
};
inline constexpr int kTexCoordSets = 3;

// Everything the fragment path reads, in Direct3D's numbers.
struct FixedFunctionState {
    int32_t colorOp[3];
    int32_t colorArg1[3];
    int32_t colorArg2[3];
    int32_t alphaOp[3];
    int32_t alphaArg1[3];
    int32_t alphaArg2[3];
    int32_t texIndex[3];
    int32_t hasTexture[3];
    int32_t alphaTest;
    int32_t alphaFunc;
    int32_t alphaRef;
    int32_t fogEnable;
    float fogColor[3];
    float fogStart;
    float fogEnd;
    float textureFactor[4];
    int32_t pretransformed;
    float viewport[2];  // back-buffer width and height in pixels
};

class FixedFunctionProgram {
public:
    // Compiles and links; null with `error` set (the GL info log) on failure. Needs a
    // current GL 3.3 context.
    static std::unique_ptr<FixedFunctionProgram> Create(std::string& error);
    ~FixedFunctionProgram();
    FixedFunctionProgram(const FixedFunctionProgram&) = delete;
    FixedFunctionProgram& operator=(const FixedFunctionProgram&) = delete;

    void Use() const;
    // Uploads the state (program must be in use).
    void SetState(const FixedFunctionState& state) const;
    // World x view and projection, Direct3D row-vector matrices (program must be in use).
    void SetTransforms(const Mat4& worldView, const Mat4& projection) const;

private:
    FixedFunctionProgram() = default;
    uint32_t program_ = 0;
    int32_t locWorldView_ = -1;
    int32_t locProjection_ = -1;
    int32_t locColorOp_ = -1, locColorArg1_ = -1, locColorArg2_ = -1;
    int32_t locAlphaOp_ = -1, locAlphaArg1_ = -1, locAlphaArg2_ = -1;
    int32_t locTexIndex_ = -1, locHasTexture_ = -1;
    int32_t locAlphaTest_ = -1, locAlphaFunc_ = -1, locAlphaRef_ = -1;
    int32_t locFogEnable_ = -1, locFogColor_ = -1, locFogStart_ = -1, locFogEnd_ = -1;
    int32_t locTextureFactor_ = -1, locPretransformed_ = -1, locViewport_ = -1;
};

}  // namespace dv
