#include "render/fixed_function.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace dv {

namespace {

// Direct3D matrices are row-major with row vectors; handed to GL untransposed they read as
// their transposes, so `M * v` in GLSL is Direct3D's `v x M`.
// Desktop GLSL 3.30, or GLSL ES 3.00 for WebGL 2 (where colours arrive B, G, R, A: see
// BindVertexFormat).
#if defined(__EMSCRIPTEN__)
#define DV_SHADER_VERSION "#version 300 es\nprecision highp float;\nprecision highp int;\n"
#define DV_COLOUR_ORDER ".bgra"
#else
#define DV_SHADER_VERSION "#version 330 core\n"
#define DV_COLOUR_ORDER ""
#endif

constexpr const char* kVertexSource = DV_SHADER_VERSION R"(
layout(location = 0) in vec4 a_position;
layout(location = 1) in vec4 a_diffuse;
layout(location = 2) in vec4 a_specular;
layout(location = 3) in vec2 a_tex0;
layout(location = 4) in vec2 a_tex1;
layout(location = 5) in vec2 a_tex2;

uniform mat4 u_worldView;
uniform mat4 u_projection;
uniform bool u_pretransformed;
uniform vec2 u_viewport;
uniform bool u_fogEnable;
uniform float u_fogStart;
uniform float u_fogEnd;
uniform bool u_flipY;
uniform int u_texSource[3];
uniform int u_texCount[3];
uniform mat4 u_texMatrix[3];

out vec4 v_diffuse;
out vec4 v_specular;
out vec4 v_stage0;
out vec4 v_stage1;
out vec4 v_stage2;
out float v_fog;

const float kCentreShift = 0.5 - 1.0 / 64.0;

// A stage's texture coordinates: a set of the vertex as (u, v, 1, 0), or the camera-space
// position (x, y, z, 1), through the stage's texture matrix when it has a count. A count of
// one leaves only the first output; the division of projected coordinates is per pixel.
vec4 stageCoords(int stage, vec3 eye) {
    int source = u_texSource[stage];
    vec4 c = vec4(a_tex0, 1.0, 0.0);
    if (source == 1) c = vec4(a_tex1, 1.0, 0.0);
    else if (source == 2) c = vec4(a_tex2, 1.0, 0.0);
    else if (source == 3) c = vec4(eye, 1.0);
    int count = u_texCount[stage];
    if (count == 0) return c;
    vec4 t = u_texMatrix[stage] * c;
    if (count == 1) t.y = 0.0;
    return t;
}

void setStages(vec3 eye) {
    v_stage0 = stageCoords(0, eye);
    v_stage1 = stageCoords(1, eye);
    v_stage2 = stageCoords(2, eye);
}

void main() {
    v_diffuse = a_diffuse)" DV_COLOUR_ORDER R"(;
    v_specular = a_specular)" DV_COLOUR_ORDER R"(;
    v_fog = 1.0;
    if (u_pretransformed) {
        // Pixels from the top-left with pixel centres on integers (GL's are on halves). The
        // shift is a little short of half a pixel so that edges lying exactly on pixel
        // centres follow Direct3D's top-left fill rule rather than GL's.
        float w = a_position.w > 0.0 ? 1.0 / a_position.w : 1.0;
        vec2 ndc = vec2((a_position.x + kCentreShift) * 2.0 / u_viewport.x - 1.0,
                        1.0 - (a_position.y + kCentreShift) * 2.0 / u_viewport.y);
        gl_Position = vec4(ndc, a_position.z * 2.0 - 1.0, 1.0) * w;
        if (u_flipY) gl_Position.y = -gl_Position.y;
        setStages(a_position.xyz);
        return;
    }
    vec4 eye = u_worldView * vec4(a_position.xyz, 1.0);
    setStages(eye.xyz);
    if (u_fogEnable) {
        float range = u_fogEnd - u_fogStart;
        v_fog = range > 0.0 ? clamp((u_fogEnd - eye.z) / range, 0.0, 1.0)
                            : (eye.z < u_fogEnd ? 1.0 : 0.0);
    }
    vec4 clip = u_projection * eye;
    // Direct3D's depth range 0..w onto GL's -w..w, and its pixel-centre convention.
    clip.z = clip.z * 2.0 - clip.w;
    clip.x += clip.w * 2.0 * kCentreShift / u_viewport.x;
    clip.y -= clip.w * 2.0 * kCentreShift / u_viewport.y;
    // A texture's first row (v = 0) is GL's bottom one: drawn into, the image is turned over.
    if (u_flipY) clip.y = -clip.y;
    gl_Position = clip;
}
)";

// The body of every fragment program. The stage set-up (ops, arguments, coordinate sets, bound
// textures, alpha test and fog switch) is not a uniform: each set-up gets its own program with
// those values as constants (FragmentPrefix), so the compiler folds the stage logic away and a
// software rasteriser runs only what the set-up needs.
constexpr const char* kFragmentBody = R"(
in vec4 v_diffuse;
in vec4 v_specular;
in vec4 v_stage0;
in vec4 v_stage1;
in vec4 v_stage2;
in float v_fog;

uniform bool u_flipY;
uniform sampler2D u_sampler0;
uniform sampler2D u_sampler1;
uniform sampler2D u_sampler2;
uniform int u_alphaRef;
uniform vec3 u_fogColor;
uniform vec4 u_textureFactor;

out vec4 fragColor;

// The vertex shader moves pixels 1/64 px short of GL's half-pixel centres so that edges
// follow Direct3D's top-left fill rule; interpolants therefore arrive as they are 1/64 px
// right of and below Direct3D's pixel centre. Texture coordinates are moved back by that
// much along their screen gradients, so a texel-exact picture samples exactly its texel
// centres (an alpha-tested transparent texel beside an opaque one reads alpha 0, not 1/64 of
// its neighbour's). GL's window y grows upwards, Direct3D's downwards, except in a texture
// drawn into, whose image is turned over.
vec2 atPixelCentre(vec2 tc) {
    vec2 down = u_flipY ? dFdy(tc) : -dFdy(tc);
    return tc - (dFdx(tc) + down) * (1.0 / 64.0);
}

// Projected coordinates are divided by the output the stage names (2..4) here, per pixel.
vec2 projected(vec4 c, int divisor) {
    if (divisor == 2) return c.xy / c.y;
    if (divisor == 3) return c.xy / c.z;
    if (divisor == 4) return c.xy / c.w;
    return c.xy;
}

vec2 coords(int stage) {
    if (stage == 1) return atPixelCentre(projected(v_stage1, u_texProjected[1]));
    if (stage == 2) return atPixelCentre(projected(v_stage2, u_texProjected[2]));
    return atPixelCentre(projected(v_stage0, u_texProjected[0]));
}

vec4 arg(int a, vec4 current, vec4 tex) {
    int selector = a & 15;
    vec4 r = current;
    if (selector == 0) r = v_diffuse;
    else if (selector == 2) r = tex;
    else if (selector == 3) r = u_textureFactor;
    else if (selector == 4) r = v_specular;
    if ((a & 16) != 0) r = vec4(1.0) - r;
    if ((a & 32) != 0) r = vec4(r.a);
    return r;
}

vec4 combine(int op, vec4 a1, vec4 a2) {
    if (op == 2) return a1;
    if (op == 3) return a2;
    if (op == 4) return a1 * a2;
    if (op == 5) return clamp(a1 * a2 * 2.0, 0.0, 1.0);
    if (op == 6) return clamp(a1 * a2 * 4.0, 0.0, 1.0);
    if (op == 7) return clamp(a1 + a2, 0.0, 1.0);
    if (op == 8) return clamp(a1 + a2 - 0.5, 0.0, 1.0);
    if (op == 10) return clamp(a1 - a2, 0.0, 1.0);
    if (op == 24) return vec4(clamp(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5), 0.0, 1.0));
    return a1;
}

bool passes(int func, int value, int ref) {
    if (func == 1) return false;
    if (func == 2) return value < ref;
    if (func == 3) return value == ref;
    if (func == 4) return value <= ref;
    if (func == 5) return value > ref;
    if (func == 6) return value != ref;
    if (func == 7) return value >= ref;
    return true;
}

void main() {
    // Sample in uniform control flow. An unbound stage's texture is never read: FragmentKeyOf
    // passes such a stage through.
    vec4 tex[3];
    tex[0] = u_hasTexture[0] != 0 ? texture(u_sampler0, coords(0)) : vec4(1.0);
    tex[1] = u_hasTexture[1] != 0 ? texture(u_sampler1, coords(1)) : vec4(1.0);
    tex[2] = u_hasTexture[2] != 0 ? texture(u_sampler2, coords(2)) : vec4(1.0);

    vec4 current = v_diffuse;
    for (int i = 0; i < 3; ++i) {
        int op = u_colorOp[i];
        if (op == 1) break;
        vec4 c = combine(op, arg(u_colorArg1[i], current, tex[i]),
                         arg(u_colorArg2[i], current, tex[i]));
        float a = current.a;
        if (op == 24) {
            a = c.r;  // the dot product goes to every channel, alpha too
        } else if (u_alphaOp[i] != 1) {
            a = combine(u_alphaOp[i], arg(u_alphaArg1[i], current, tex[i]),
                        arg(u_alphaArg2[i], current, tex[i])).a;
        }
        current = vec4(c.rgb, a);
    }

    if (u_alphaTest) {
        int alpha = int(floor(clamp(current.a, 0.0, 1.0) * 255.0 + 0.5));
        if (!passes(u_alphaFunc, alpha, u_alphaRef)) discard;
    }
    if (u_fogEnable) current.rgb = mix(u_fogColor, current.rgb, v_fog);
    fragColor = current;
}
)";

GLuint Compile(GLenum type, const char* source, std::string& error) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return shader;
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    error = std::string("shader compilation failed: ") + log.data();
    glDeleteShader(shader);
    return 0;
}

void AppendIntArray(std::string& out, const char* name, const int32_t (&values)[3]) {
    char line[128];
    std::snprintf(line, sizeof line, "const int %s[3] = int[3](%d, %d, %d);\n", name, values[0], values[1], values[2]);
    out += line;
}

std::string FragmentSource(const FragmentKey& k) {
    std::string out = DV_SHADER_VERSION;
    AppendIntArray(out, "u_colorOp", k.colorOp);
    AppendIntArray(out, "u_colorArg1", k.colorArg1);
    AppendIntArray(out, "u_colorArg2", k.colorArg2);
    AppendIntArray(out, "u_alphaOp", k.alphaOp);
    AppendIntArray(out, "u_alphaArg1", k.alphaArg1);
    AppendIntArray(out, "u_alphaArg2", k.alphaArg2);
    AppendIntArray(out, "u_texProjected", k.texProjected);
    AppendIntArray(out, "u_hasTexture", k.hasTexture);
    char line[160];
    std::snprintf(line, sizeof line,
                  "const bool u_alphaTest = %s;\nconst int u_alphaFunc = %d;\nconst bool u_fogEnable = %s;\n",
                  k.alphaTest ? "true" : "false", k.alphaFunc, k.fogEnable ? "true" : "false");
    out += line;
    out += kFragmentBody;
    return out;
}

constexpr int32_t kOpSelectArg1 = 2, kOpSelectArg2 = 3, kArgCurrent = 1, kArgTexture = 2;

bool ReadsTexture(int32_t op, int32_t arg1, int32_t arg2) {
    const bool first = (arg1 & 15) == kArgTexture, second = (arg2 & 15) == kArgTexture;
    if (op == kOpSelectArg1) return first;
    if (op == kOpSelectArg2) return second;
    return first || second;
}

// A stage that reads its texture when none is bound hands the current colour (or alpha) on
// unchanged. Direct3D leaves the case undefined; drivers of its time were observed to skip
// such a stage, and reading opaque white instead would double the vertex colour under
// MODULATE2X wherever a picture or lightmap is missing.
void PassThroughUnboundTexture(FragmentKey& k, int i) {
    if (k.colorOp[i] != 1 && ReadsTexture(k.colorOp[i], k.colorArg1[i], k.colorArg2[i])) {
        k.colorOp[i] = kOpSelectArg1;
        k.colorArg1[i] = kArgCurrent;
        k.colorArg2[i] = kArgCurrent;
    }
    if (k.alphaOp[i] != 1 && ReadsTexture(k.alphaOp[i], k.alphaArg1[i], k.alphaArg2[i])) {
        k.alphaOp[i] = kOpSelectArg1;
        k.alphaArg1[i] = kArgCurrent;
        k.alphaArg2[i] = kArgCurrent;
    }
}

}  // namespace

FragmentKey FragmentKeyOf(const FixedFunctionState& s) {
    FragmentKey k{};
    for (int i = 0; i < 3; ++i) {
        // Stages after the first disabled one are never read.
        if (i > 0 && k.colorOp[i - 1] == 1) break;
        k.colorOp[i] = s.setup.colorOp[i];
        k.colorArg1[i] = s.setup.colorArg1[i];
        k.colorArg2[i] = s.setup.colorArg2[i];
        k.alphaOp[i] = s.setup.alphaOp[i];
        k.alphaArg1[i] = s.setup.alphaArg1[i];
        k.alphaArg2[i] = s.setup.alphaArg2[i];
        k.texProjected[i] = s.setup.texProjected[i];
        k.hasTexture[i] = s.setup.hasTexture[i];
        if (k.hasTexture[i] == 0) PassThroughUnboundTexture(k, i);
    }
    k.alphaTest = s.setup.alphaTest != 0 ? 1 : 0;
    k.alphaFunc = k.alphaTest ? s.setup.alphaFunc : 0;
    k.fogEnable = s.setup.fogEnable != 0 ? 1 : 0;
    return k;
}

std::unique_ptr<FixedFunctionProgram> FixedFunctionProgram::Create(std::string& error) {
    std::unique_ptr<FixedFunctionProgram> p(new FixedFunctionProgram());
    p->vertexShader_ = Compile(GL_VERTEX_SHADER, kVertexSource, error);
    if (p->vertexShader_ == 0) return nullptr;
    // The plain modulate set-up, so that a driver that cannot build the programs fails here.
    FixedFunctionState first{};
    first.setup.colorOp[0] = 4;
    first.setup.colorArg1[0] = 2;
    first.setup.colorArg2[0] = 0;
    first.setup.alphaOp[0] = 2;
    first.setup.alphaArg1[0] = 2;
    first.setup.colorOp[1] = first.setup.alphaOp[1] = 1;
    p->current_ = p->FindOrBuild(FragmentKeyOf(first), error);
    if (p->current_ < 0) return nullptr;
    glUseProgram(p->variants_[0].program);
    return p;
}

FixedFunctionProgram::~FixedFunctionProgram() {
    if (SDL_GL_GetCurrentContext() == nullptr) return;  // the context took its objects along
    for (const Variant& v : variants_) glDeleteProgram(v.program);
    if (vertexShader_ != 0) glDeleteShader(vertexShader_);
}

int FixedFunctionProgram::FindOrBuild(const FragmentKey& key, std::string& error) {
    for (size_t i = 0; i < variants_.size(); ++i) {
        if (std::memcmp(&variants_[i].key, &key, sizeof key) == 0) return static_cast<int>(i);
    }
    const std::string source = FragmentSource(key);
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, source.c_str(), error);
    if (fs == 0) return -1;
    const GLuint prog = glCreateProgram();
    glAttachShader(prog, vertexShader_);
    glAttachShader(prog, fs);
    glLinkProgram(prog);
    glDetachShader(prog, vertexShader_);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(prog, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint length = 0;
        glGetProgramiv(prog, GL_INFO_LOG_LENGTH, &length);
        std::vector<char> log(static_cast<size_t>(length) + 1, '\0');
        glGetProgramInfoLog(prog, length, nullptr, log.data());
        error = std::string("shader link failed: ") + log.data();
        glDeleteProgram(prog);
        return -1;
    }
    Variant v{};
    v.key = key;
    v.program = prog;
    auto loc = [prog](const char* name) { return glGetUniformLocation(prog, name); };
    v.locWorldView = loc("u_worldView");
    v.locProjection = loc("u_projection");
    v.locAlphaRef = loc("u_alphaRef");
    v.locFogEnable = loc("u_fogEnable");
    v.locFogColor = loc("u_fogColor");
    v.locFogStart = loc("u_fogStart");
    v.locFogEnd = loc("u_fogEnd");
    v.locTextureFactor = loc("u_textureFactor");
    v.locPretransformed = loc("u_pretransformed");
    v.locViewport = loc("u_viewport");
    v.locFlipY = loc("u_flipY");
    v.locTexSource = loc("u_texSource");
    v.locTexCount = loc("u_texCount");
    v.locTexMatrix = loc("u_texMatrix");
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(prog);
    glUniform1i(loc("u_sampler0"), 0);
    glUniform1i(loc("u_sampler1"), 1);
    glUniform1i(loc("u_sampler2"), 2);
    glUseProgram(static_cast<GLuint>(previous));
    variants_.push_back(v);
    return static_cast<int>(variants_.size()) - 1;
}

void FixedFunctionProgram::Use() const {
    if (current_ >= 0) glUseProgram(variants_[static_cast<size_t>(current_)].program);
}

void FixedFunctionProgram::SetState(const FixedFunctionState& s) {
    std::string error;
    int index = FindOrBuild(FragmentKeyOf(s), error);
    if (index < 0) {
        // Drawing on with the last program beats drawing nothing; said once.
        if (!reportedFailure_) std::fprintf(stderr, "%s\n", error.c_str());
        reportedFailure_ = true;
        index = current_;
    }
    Variant* v = &variants_[static_cast<size_t>(index)];
    if (index != current_) {
        current_ = index;
        glUseProgram(v->program);
    }
    if (v->transformsVersion != transformsVersion_) UploadTransforms(*v);
    glUniform1i(v->locAlphaRef, s.alphaRef);
    glUniform1i(v->locFogEnable, s.setup.fogEnable);
    glUniform3fv(v->locFogColor, 1, s.fogColor);
    glUniform1f(v->locFogStart, s.fogStart);
    glUniform1f(v->locFogEnd, s.fogEnd);
    glUniform4fv(v->locTextureFactor, 1, s.textureFactor);
    glUniform1i(v->locPretransformed, s.pretransformed);
    glUniform2fv(v->locViewport, 1, s.viewport);
    glUniform1i(v->locFlipY, s.flipY);
    glUniform1iv(v->locTexSource, 3, s.texSource);
    glUniform1iv(v->locTexCount, 3, s.texCount);
    glUniformMatrix4fv(v->locTexMatrix, 3, GL_FALSE, &s.texMatrix[0][0]);
}

void FixedFunctionProgram::SetTransforms(const Mat4& worldView, const Mat4& projection) {
    worldView_ = worldView;
    projection_ = projection;
    ++transformsVersion_;
    if (current_ >= 0) UploadTransforms(variants_[static_cast<size_t>(current_)]);
}

void FixedFunctionProgram::UploadTransforms(Variant& v) const {
    glUniformMatrix4fv(v.locWorldView, 1, GL_FALSE, worldView_.m);
    glUniformMatrix4fv(v.locProjection, 1, GL_FALSE, projection_.m);
    v.transformsVersion = transformsVersion_;
}

}  // namespace dv
