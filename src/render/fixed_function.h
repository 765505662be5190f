// The GLSL program that stands in for Direct3D 8's fixed-function pipeline: transform (or
// pre-transformed pixels), up to three texture stages, alpha test and linear vertex fog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
// A stage's coordinate source beyond the vertex's sets: the camera-space position.
inline constexpr int32_t kTexSourceCameraPosition = 3;

// The part of the state that shapes the fragment program: each distinct key gets a program
// of its own with these values compiled in.
struct FragmentKey {
    int32_t colorOp[3];
    int32_t colorArg1[3];
    int32_t colorArg2[3];
    int32_t alphaOp[3];
    int32_t alphaArg1[3];
    int32_t alphaArg2[3];
    int32_t texProjected[3];  // 0, or which output (2..4) the coordinates are divided by
    int32_t hasTexture[3];
    int32_t alphaTest;
    int32_t alphaFunc;
    int32_t fogEnable;
};

// Everything the fragment path reads, in Direct3D's numbers.
struct FixedFunctionState {
    FragmentKey setup;  // stages, alpha test and fog switch as set on the device
    int32_t alphaRef;
    float fogColor[3];
    float fogStart;
    float fogEnd;
    float textureFactor[4];
    int32_t pretransformed;
    float viewport[2];  // render target's width and height in pixels
    int32_t flipY;      // drawing into a texture, whose first row is GL's bottom one
    // Per stage: the coordinates read (a set, or kTexSourceCameraPosition), how many outputs
    // of the texture matrix go on (0 = no transform) and the matrix.
    int32_t texSource[3];
    int32_t texCount[3];
    float texMatrix[3][16];
};

// The program key of a state: stages after the first disabled one and the alpha function
// without the alpha test are zero, so set-ups that draw alike share a program.
FragmentKey FragmentKeyOf(const FixedFunctionState& state);

class FixedFunctionProgram {
public:
    // Compiles the vertex shader and a first program; null with `error` set (the GL info log)
    // on failure. Needs a current GL 3.3 context.
    static std::unique_ptr<FixedFunctionProgram> Create(std::string& error);
    ~FixedFunctionProgram();
    FixedFunctionProgram(const FixedFunctionProgram&) = delete;
    FixedFunctionProgram& operator=(const FixedFunctionProgram&) = delete;

    // Makes the program of the last state current again (after other GL code used its own).
    void Use() const;
    // Makes the program for `state` current, building it on first use, and uploads the rest of
    // the state. Allocates only when a set-up is seen for the first time.
    void SetState(const FixedFunctionState& state);
    // World x view and projection, Direct3D row-vector matrices; every program gets them when
    // it next becomes current.
    void SetTransforms(const Mat4& worldView, const Mat4& projection);
    size_t ProgramCount() const { return variants_.size(); }

private:
    struct Variant {
        FragmentKey key;
        uint32_t program;
        uint64_t transformsVersion;
        int32_t locWorldView, locProjection, locAlphaRef, locFogEnable, locFogColor, locFogStart, locFogEnd;
        int32_t locTextureFactor, locPretransformed, locViewport, locFlipY, locTexSource, locTexCount, locTexMatrix;
    };
    FixedFunctionProgram() = default;
    // Index of the program for `key`, built when new; -1 with `error` set when it cannot be.
    int FindOrBuild(const FragmentKey& key, std::string& error);
    void UploadTransforms(Variant& v) const;

    uint32_t vertexShader_ = 0;
    std::vector<Variant> variants_;  // grows only for new set-ups
    int current_ = -1;
    Mat4 worldView_{};
    Mat4 projection_{};
    uint64_t transformsVersion_ = 1;
    bool reportedFailure_ = false;
};

}  // namespace dv
