// OpenGL for the browser build: WebGL 2 through OpenGL ES 3.0's header, plus the few desktop
// names the shared device code spells out. Where WebGL lacks a desktop feature, the device
// takes another path under __EMSCRIPTEN__ (texture formats, colour attributes, buffer
// updates); these names only let that code compile.
#pragma once

#include <GLES3/gl3.h>

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#ifndef GL_BGR
#define GL_BGR 0x80E0
#endif
#ifndef GL_UNSIGNED_SHORT_1_5_5_5_REV
#define GL_UNSIGNED_SHORT_1_5_5_5_REV 0x8366
#endif

inline void glClearDepth(double depth) { glClearDepthf(static_cast<float>(depth)); }

// WebGL 2 with the device's web branches offers what it asks of desktop GL 3.3.
inline int epoxy_gl_version() { return 33; }
