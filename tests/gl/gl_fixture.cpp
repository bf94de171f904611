#include "gl_fixture.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>

namespace {

struct Offscreen {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    const char* failure = nullptr;
    GLuint fbo = 0, color = 0, depth = 0;
};

Offscreen& offscreen() {
    static Offscreen o = [] {
        Offscreen s;
        auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!get_display) {
            s.failure = "EGL has no eglGetPlatformDisplayEXT";
            return s;
        }
        s.display = get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (s.display == EGL_NO_DISPLAY || !eglInitialize(s.display, nullptr, nullptr)) {
            s.failure = "no surfaceless EGL display (is libegl-mesa0 installed?)";
            return s;
        }
        eglBindAPI(EGL_OPENGL_API);
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     3,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     2,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
        s.context = eglCreateContext(s.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
        if (s.context == EGL_NO_CONTEXT)
            s.failure = "no OpenGL 3.2 core context on the surfaceless display";
        return s;
    }();
    return o;
}

} // namespace

bool gl_offscreen_begin(int width, int height, const char** why) {
    Offscreen& o = offscreen();
    if (o.failure) {
        *why = o.failure;
        return false;
    }
    eglMakeCurrent(o.display, EGL_NO_SURFACE, EGL_NO_SURFACE, o.context);
    glGenFramebuffers(1, &o.fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, o.fbo);
    glGenRenderbuffers(1, &o.color);
    glBindRenderbuffer(GL_RENDERBUFFER, o.color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, o.color);
    glGenRenderbuffers(1, &o.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, o.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              o.depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        *why = "the framebuffer object is incomplete";
        gl_offscreen_end();
        return false;
    }
    return true;
}

void gl_offscreen_end() {
    Offscreen& o = offscreen();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &o.color);
    glDeleteRenderbuffers(1, &o.depth);
    glDeleteFramebuffers(1, &o.fbo);
    o.fbo = o.color = o.depth = 0;
}

std::vector<uint32_t> gl_read_pixels(int width, int height) {
    std::vector<uint32_t> px(size_t(width) * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // BGRA bytes are a little-endian 0xAARRGGBB word; GL's rows run bottom-up.
    std::vector<uint32_t> rows(px.size());
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            px[size_t(y) * width + x] = rows[size_t(height - 1 - y) * width + x];
    return px;
}

void GlTest::SetUp() {
    const char* why = nullptr;
    if (!gl_offscreen_begin(kWidth, kHeight, &why)) {
        if (std::getenv("SW_CI"))
            FAIL() << "no off-screen OpenGL: " << why;
        GTEST_SKIP() << "no off-screen OpenGL: " << why;
    }
    ctx = gr_context_create();
    ASSERT_NE(ctx->vg, nullptr);
}

void GlTest::use_framebuffer(int w, int h) {
    const char* why = nullptr;
    gl_offscreen_end();
    fb_w = w;
    fb_h = h;
    ASSERT_TRUE(gl_offscreen_begin(w, h, &why)) << why;
}

void GlTest::TearDown() {
    if (!ctx)
        return;
    gr_context_destroy(ctx);
    ctx = nullptr;
    gl_offscreen_end();
}
