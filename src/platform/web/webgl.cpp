#include "platform/web/webgl.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>

#include "core/render/glyph.h"

namespace starlume {

namespace {

// World coordinates are clip coordinates: the square from -1 to 1 fills the
// canvas, stretched with it, as it fills the window.
const char* const vertexshader = "attribute vec2 position;\n"
                                 "attribute vec4 colour;\n"
                                 "uniform float pointsize;\n"
                                 "varying vec4 tint;\n"
                                 "void main() {\n"
                                 "  gl_Position = vec4(position, 0.0, 1.0);\n"
                                 "  gl_PointSize = pointsize;\n"
                                 "  tint = colour;\n"
                                 "}\n";
const char* const fragmentshader = "precision mediump float;\n"
                                   "varying vec4 tint;\n"
                                   "void main() { gl_FragColor = tint; }\n";

unsigned shader(unsigned type, const char* source) {
    const unsigned s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    return s;
}

// GL clamps colours to 0..1 (the transition colour runs up to about 1.5,
// the background below 0); the page's bytes do the same.
std::uint8_t byte(float v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255 + 0.5f);
}

} // namespace

bool Webgl::open(const char* canvas, bool multisample, bool seethrough) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = seethrough;
    attributes.premultipliedAlpha = !seethrough;
    attributes.depth = false;
    attributes.stencil = false;
    attributes.antialias = multisample;
    attributes.majorVersion = 1;
    context = emscripten_webgl_create_context(canvas, &attributes);
    if (context <= 0) return false;
    emscripten_webgl_make_context_current(context);
    program = glCreateProgram();
    glAttachShader(program, shader(GL_VERTEX_SHADER, vertexshader));
    glAttachShader(program, shader(GL_FRAGMENT_SHADER, fragmentshader));
    glBindAttribLocation(program, 0, "position");
    glBindAttribLocation(program, 1, "colour");
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked == 0) return false;
    glUseProgram(program);
    pointuniform = glGetUniformLocation(program, "pointsize");
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, r)));
    return true;
}

void Webgl::resize(int w, int h, double pixelratio) {
    emscripten_webgl_make_context_current(context);
    width = w;
    height = h;
    glViewport(0, 0, width, height);
    glUniform1f(pointuniform, static_cast<float>(pointsize * pixelratio));
}

void Webgl::place(int x, int y, int width, int height) {
    emscripten_webgl_make_context_current(context);
    glViewport(x, y, width, height);
}

void Webgl::draw(const Frame& f) {
    emscripten_webgl_make_context_current(context);
    const int n = f.vertices();
    // An outline of n vertices is n segments; a point is itself.
    const std::size_t each = f.corners > 0 ? 2 * static_cast<std::size_t>(n) : 1;
    vertices.resize(static_cast<std::size_t>(f.count()) * each);
    Vertex* out = vertices.data();
    for (int k = 0; k < f.count(); k++) {
        const Rgb& c = f.colours[k];
        const std::uint8_t r = byte(c.r), g = byte(c.g), b = byte(c.b);
        const float* v = f.xy.data() + 2 * static_cast<std::size_t>(k) * n;
        if (f.corners == 0) {
            *out++ = {v[0], v[1], r, g, b, 255};
            continue;
        }
        for (int i = 0; i < n; i++) {
            const int j = i + 1 < n ? i + 1 : 0;
            *out++ = {v[2 * i], v[2 * i + 1], r, g, b, 255};
            *out++ = {v[2 * j], v[2 * j + 1], r, g, b, 255};
        }
    }
    glClearColor(clear[0], clear[1], clear[2], alpha_);
    glClear(GL_COLOR_BUFFER_BIT);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                 vertices.data(), GL_STREAM_DRAW);
    glDrawArrays(f.corners > 0 ? GL_LINES : GL_POINTS, 0, static_cast<GLsizei>(vertices.size()));
    if (f.clearset) {
        clear[0] = f.clear.r;
        clear[1] = f.clear.g;
        clear[2] = f.clear.b;
    }
}

void Webgl::read(std::uint8_t* rgba) {
    emscripten_webgl_make_context_current(context);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

} // namespace starlume
