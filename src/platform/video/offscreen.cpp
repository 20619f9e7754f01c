#include "platform/video/offscreen.h"

#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>

#include "platform/gl/draw.h"

namespace starlume {

namespace {

constexpr int samples = 4; // as the window asks for with GLUT_MULTISAMPLE

std::string eglerror(const char* what) {
    const EGLint code = eglGetError();
    const char* name = nullptr;
    switch (code) {
    case EGL_NOT_INITIALIZED: name = "EGL_NOT_INITIALIZED"; break;
    case EGL_BAD_ACCESS: name = "EGL_BAD_ACCESS"; break;
    case EGL_BAD_ALLOC: name = "EGL_BAD_ALLOC"; break;
    case EGL_BAD_ATTRIBUTE: name = "EGL_BAD_ATTRIBUTE"; break;
    case EGL_BAD_CONFIG: name = "EGL_BAD_CONFIG"; break;
    case EGL_BAD_CONTEXT: name = "EGL_BAD_CONTEXT"; break;
    case EGL_BAD_DISPLAY: name = "EGL_BAD_DISPLAY"; break;
    case EGL_BAD_MATCH: name = "EGL_BAD_MATCH"; break;
    case EGL_BAD_PARAMETER: name = "EGL_BAD_PARAMETER"; break;
    case EGL_BAD_SURFACE: name = "EGL_BAD_SURFACE"; break;
    default: break;
    }
    char code16[16];
    std::snprintf(code16, sizeof code16, "0x%04x", static_cast<unsigned>(code));
    return std::string(what) + " (" + (name != nullptr ? name : code16) + ")";
}

} // namespace

bool Offscreen::open(int w, int h, const Square& sq, std::string& error) {
    keepfreedmemory();
    width = w;
    height = h;
    square = sq;
    const auto platformdisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (platformdisplay == nullptr) {
        error = eglerror("no EGL display: this EGL has no platform displays");
        return false;
    }
    display = platformdisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        error = eglerror("no EGL display on Mesa's surfaceless platform");
        display = EGL_NO_DISPLAY;
        return false;
    }
    // The drawing is fixed-function: a compatibility context runs it as is.
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    if (!eglBindAPI(EGL_OPENGL_API) ||
        (context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes)) ==
            EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        error = eglerror("no OpenGL compatibility context without a surface");
        return false;
    }

    GLint largest = 0, most = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    if (w > largest || h > largest || most < samples) {
        error = "the OpenGL driver draws at most " + std::to_string(largest) + "x" +
                std::to_string(largest) + " pixels with " + std::to_string(most) + " samples";
        return false;
    }
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(2, renderbuffers);
    for (int i = 0; i < 2; i++) {
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[i]);
        if (i == 0) {
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, sq.width,
                                             sq.height);
        } else {
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, 0, GL_RGBA8, w, h);
        }
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  renderbuffers[i]);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            error = "no multisampled framebuffer of " + std::to_string(w) + "x" +
                    std::to_string(h) + " pixels";
            return false;
        }
    }
    // A context without a surface starts with no viewport.
    bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

void Offscreen::drawinto(bool ms) {
    if (ms == multisampled) return;
    multisampled = ms;
    bind();
}

void Offscreen::bind() {
    const Square& q = square;
    if (multisampled) {
        glDisable(GL_SCISSOR_TEST);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
        glViewport(0, 0, q.width, q.height);
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[1]);
        glViewport(q.x, q.y, q.width, q.height);
        glScissor(q.x, q.y, q.width, q.height);
        glEnable(GL_SCISSOR_TEST);
    }
}

void Offscreen::clear() {
    // The outside keeps its colour until the clear colour changes, which
    // the schemes seldom do.
    float colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    if (std::equal(colour, colour + 4, cleared)) return;
    std::copy(colour, colour + 4, cleared);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[1]);
    glClear(GL_COLOR_BUFFER_BIT);
    bind();
}

void Offscreen::resolve() {
    if (!multisampled) return;
    const Square& q = square;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
    glBlitFramebuffer(0, 0, q.width, q.height, q.x, q.y, q.x + q.width, q.y + q.height,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

void Offscreen::read(std::uint8_t* rgba) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    bind();
}

Offscreen::~Offscreen() {
    if (display == EGL_NO_DISPLAY) return;
    if (context != EGL_NO_CONTEXT) {
        if (framebuffers[0] != 0) {
            glDeleteFramebuffers(2, framebuffers);
            glDeleteRenderbuffers(2, renderbuffers);
        }
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    eglTerminate(display);
    eglReleaseThread();
}

} // namespace starlume
