#include "platform/gl_window.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#if defined(DV_SANITIZE)
#include <dlfcn.h>
#include <link.h>
#endif

namespace dv {

namespace {

#if defined(DV_SANITIZE)
// The leak checker runs at exit, after SDL has unloaded the GL driver, and cannot name the
// driver's own allocations any more, so its suppressions miss them. Keeping every library
// loaded once a context exists lets them be named (and suppressed by library).
void KeepLoadedLibrariesForLeakReports() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
#else
void KeepLoadedLibrariesForLeakReports() {}
#endif

}  // namespace

bool DisplayReachable(std::string& reason) {
    // While SDL probes, the window-system libraries print their own complaints (Wayland's
    // "XDG_RUNTIME_DIR is invalid ..."); SDL's error text and the driver it picked say enough.
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (savedStderr >= 0 && devNull >= 0) dup2(devNull, STDERR_FILENO);
    const bool initialised = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (savedStderr >= 0 && devNull >= 0) dup2(savedStderr, STDERR_FILENO);
    if (devNull >= 0) close(devNull);
    if (savedStderr >= 0) close(savedStderr);
    if (!initialised) {
        reason = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool invisible =
        driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
    if (!invisible) return true;  // video stays up: the window opens on this driver, with no second probe
    reason = std::string("SDL found only the '") + (driver ? driver : "") + "' video driver";
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
}

std::unique_ptr<GLWindow> GLWindow::Create(const std::string& title, int width, int height, bool visible,
                                           bool resizable, std::string& error) {
    std::unique_ptr<GLWindow> w(new GLWindow());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("cannot initialise SDL video: ") + SDL_GetError();
        return nullptr;
    }
    w->videoInit_ = true;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    Uint32 flags = SDL_WINDOW_OPENGL | (visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    if (resizable) flags |= SDL_WINDOW_RESIZABLE;
    w->window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (w->window_ == nullptr) {
        error = std::string("cannot create the window: ") + SDL_GetError();
        return nullptr;
    }
    w->context_ = SDL_GL_CreateContext(w->window_);
    if (w->context_ == nullptr) {
        error = std::string("cannot create an OpenGL 3.3 context: ") + SDL_GetError();
        return nullptr;
    }
    if (epoxy_gl_version() < 33) {
        const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        error = std::string("OpenGL 3.3 core is needed; the driver offers ") + (version ? version : "no version") +
                " on " + (renderer ? renderer : "an unknown renderer");
        return nullptr;
    }
    SDL_GL_SetSwapInterval(visible ? 1 : 0);
    KeepLoadedLibrariesForLeakReports();
    return w;
}

GLWindow::~GLWindow() {
    if (context_ != nullptr) {
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
    }
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    if (videoInit_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void GLWindow::MakeCurrent() const { SDL_GL_MakeCurrent(window_, context_); }

}  // namespace dv
