#include "render/fixed_function.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <vector>

namespace dv {

namespace {

// Direct3D matrices are row-major with row vectors; handed to GL untransposed they read as
// their transposes, so `M * v` in GLSL is Direct3D's `v x M`.
constexpr const char* kVertexSource = R"(#version 330 core
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

out vec4 v_diffuse;
out vec4 v_specular;
out vec2 v_tex0;
out vec2 v_tex1;
out vec2 v_tex2;
out float v_fog;

const float kCentreShift = 0.5 - 1.0 / 64.0;

void main() {
    v_diffuse = a_diffuse;
    v_specular = a_specular;
    v_tex0 = a_tex0;
    v_tex1 = a_tex1;
    v_tex2 = a_tex2;
    v_fog = 1.0;
    if (u_pretransformed) {
        // Pixels from the top-left with pixel centres on integers (GL's are on halves). The
        // shift is a little short of half a pixel so that edges lying exactly on pixel
        // centres follow Direct3D's top-left fill rule rather than GL's.
        float w = a_position.w > 0.0 ? 1.0 / a_position.w : 1.0;
        vec2 ndc = vec2((a_position.x + kCentreShift) * 2.0 / u_viewport.x - 1.0,
                        1.0 - (a_position.y + kCentreShift) * 2.0 / u_viewport.y);
        gl_Position = vec4(ndc, a_position.z * 2.0 - 1.0, 1.0) * w;
        return;
    }
    vec4 eye = u_worldView * vec4(a_position.xyz, 1.0);
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
    gl_Position = clip;
}
)";

constexpr const char* kFragmentSource = R"(#version 330 core
in vec4 v_diffuse;
in vec4 v_specular;
in vec2 v_tex0;
in vec2 v_tex1;
in vec2 v_tex2;
in float v_fog;

uniform sampler2D u_sampler0;
uniform sampler2D u_sampler1;
uniform sampler2D u_sampler2;
uniform int u_colorOp[3];
uniform int u_colorArg1[3];
uniform int u_colorArg2[3];
uniform int u_alphaOp[3];
uniform int u_alphaArg1[3];
uniform int u_alphaArg2[3];
uniform int u_texIndex[3];
uniform int u_hasTexture[3];
uniform bool u_alphaTest;
uniform int u_alphaFunc;
uniform int u_alphaRef;
uniform bool u_fogEnable;
uniform vec3 u_fogColor;
uniform vec4 u_textureFactor;

out vec4 fragColor;

vec2 coords(int index) {
    if (index == 1) return v_tex1;
    if (index == 2) return v_tex2;
    return v_tex0;
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
    // Sample in uniform control flow; an unbound stage reads opaque white.
    vec4 tex[3];
    tex[0] = u_hasTexture[0] != 0 ? texture(u_sampler0, coords(u_texIndex[0])) : vec4(1.0);
    tex[1] = u_hasTexture[1] != 0 ? texture(u_sampler1, coords(u_texIndex[1])) : vec4(1.0);
    tex[2] = u_hasTexture[2] != 0 ? texture(u_sampler2, coords(u_texIndex[2])) : vec4(1.0);

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

}  // namespace

std::unique_ptr<FixedFunctionProgram> FixedFunctionProgram::Create(std::string& error) {
    const GLuint vs = Compile(GL_VERTEX_SHADER, kVertexSource, error);
    if (vs == 0) return nullptr;
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentSource, error);
    if (fs == 0) {
        glDeleteShader(vs);
        return nullptr;
    }
    std::unique_ptr<FixedFunctionProgram> p(new FixedFunctionProgram());
    p->program_ = glCreateProgram();
    glAttachShader(p->program_, vs);
    glAttachShader(p->program_, fs);
    glLinkProgram(p->program_);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(p->program_, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint length = 0;
        glGetProgramiv(p->program_, GL_INFO_LOG_LENGTH, &length);
        std::vector<char> log(static_cast<size_t>(length) + 1, '\0');
        glGetProgramInfoLog(p->program_, length, nullptr, log.data());
        error = std::string("shader link failed: ") + log.data();
        return nullptr;
    }
    const GLuint prog = p->program_;
    auto loc = [prog](const char* name) { return glGetUniformLocation(prog, name); };
    p->locWorldView_ = loc("u_worldView");
    p->locProjection_ = loc("u_projection");
    p->locColorOp_ = loc("u_colorOp");
    p->locColorArg1_ = loc("u_colorArg1");
    p->locColorArg2_ = loc("u_colorArg2");
    p->locAlphaOp_ = loc("u_alphaOp");
    p->locAlphaArg1_ = loc("u_alphaArg1");
    p->locAlphaArg2_ = loc("u_alphaArg2");
    p->locTexIndex_ = loc("u_texIndex");
    p->locHasTexture_ = loc("u_hasTexture");
    p->locAlphaTest_ = loc("u_alphaTest");
    p->locAlphaFunc_ = loc("u_alphaFunc");
    p->locAlphaRef_ = loc("u_alphaRef");
    p->locFogEnable_ = loc("u_fogEnable");
    p->locFogColor_ = loc("u_fogColor");
    p->locFogStart_ = loc("u_fogStart");
    p->locFogEnd_ = loc("u_fogEnd");
    p->locTextureFactor_ = loc("u_textureFactor");
    p->locPretransformed_ = loc("u_pretransformed");
    p->locViewport_ = loc("u_viewport");
    glUseProgram(prog);
    glUniform1i(loc("u_sampler0"), 0);
    glUniform1i(loc("u_sampler1"), 1);
    glUniform1i(loc("u_sampler2"), 2);
    return p;
}

FixedFunctionProgram::~FixedFunctionProgram() {
    if (program_ != 0 && SDL_GL_GetCurrentContext() != nullptr) glDeleteProgram(program_);
}

void FixedFunctionProgram::Use() const { glUseProgram(program_); }

void FixedFunctionProgram::SetState(const FixedFunctionState& s) const {
    glUniform1iv(locColorOp_, 3, s.colorOp);
    glUniform1iv(locColorArg1_, 3, s.colorArg1);
    glUniform1iv(locColorArg2_, 3, s.colorArg2);
    glUniform1iv(locAlphaOp_, 3, s.alphaOp);
    glUniform1iv(locAlphaArg1_, 3, s.alphaArg1);
    glUniform1iv(locAlphaArg2_, 3, s.alphaArg2);
    glUniform1iv(locTexIndex_, 3, s.texIndex);
    glUniform1iv(locHasTexture_, 3, s.hasTexture);
    glUniform1i(locAlphaTest_, s.alphaTest);
    glUniform1i(locAlphaFunc_, s.alphaFunc);
    glUniform1i(locAlphaRef_, s.alphaRef);
    glUniform1i(locFogEnable_, s.fogEnable);
    glUniform3fv(locFogColor_, 1, s.fogColor);
    glUniform1f(locFogStart_, s.fogStart);
    glUniform1f(locFogEnd_, s.fogEnd);
    glUniform4fv(locTextureFactor_, 1, s.textureFactor);
    glUniform1i(locPretransformed_, s.pretransformed);
    glUniform2fv(locViewport_, 1, s.viewport);
}

void FixedFunctionProgram::SetTransforms(const Mat4& worldView, const Mat4& projection) const {
    glUniformMatrix4fv(locWorldView_, 1, GL_FALSE, worldView.m);
    glUniformMatrix4fv(locProjection_, 1, GL_FALSE, projection.m);
}

}  // namespace dv
