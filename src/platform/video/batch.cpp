#include "platform/video/batch.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>

#include "core/render/glyph.h"
#include "platform/gl/draw.h"

namespace starlume {

namespace {

// Sub-pixel offsets a side the outline is drawn at: a star is at most a
// 32nd of a pixel from where its lines would lie, where llvmpipe places
// line ends to a 256th.
constexpr int phases = 16;
constexpr int samplecount = 4; // as the window asks for with GLUT_MULTISAMPLE

long long floordiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

Batch::~Batch() {
    if (atlastexture != 0) glDeleteTextures(1, &atlastexture);
    if (sampleframebuffer != 0) glDeleteFramebuffers(1, &sampleframebuffer);
    if (sampletexture != 0) glDeleteTextures(1, &sampletexture);
}

namespace {

// Nearest texels whole, clamped, no mipmaps.
void texelsasthey(unsigned texture, int filter) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
}

int largesttexture() {
    GLint texturemost = 0, buffermost = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texturemost);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &buffermost);
    return std::min(texturemost, buffermost);
}

// The framebuffers bound, put back when it goes.
struct Boundnow {
    GLint drawn = 0, read = 0;
    Boundnow() {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawn);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    }
    ~Boundnow() {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<unsigned>(read));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<unsigned>(drawn));
    }
    Boundnow(const Boundnow&) = delete;
    Boundnow& operator=(const Boundnow&) = delete;
};

} // namespace

bool Batch::atlas(int n, double rx, double ry) {
    if (made.corners == n && made.rx == rx && made.ry == ry) return made.fits;
    Atlas a;
    a.corners = n;
    a.rx = rx;
    a.ry = ry;
    // A pixel clear round the lines, which reach half a pixel past the
    // outline, at any offset.
    a.halfw = static_cast<int>(std::ceil(rx)) + 2;
    a.halfh = static_cast<int>(std::ceil(ry)) + 2;
    a.cellw = 2 * a.halfw + 2;
    a.cellh = 2 * a.halfh + 2;
    const int largest = largesttexture() / 2;
    a.phases = phases;
    while (a.phases > 1 && std::max(a.phases * a.cellw, a.phases * a.cellh) > largest) {
        a.phases /= 2;
    }
    a.width = a.phases * a.cellw;
    a.height = a.phases * a.cellh;
    made = a;
    if (std::max(a.width, a.height) > largest) return false;

    // Cell (i, j) holds the outline offset by (i, j) / phases of a pixel,
    // each edge a line of its own as the frame's lines are.
    const Outline& o = outline(n);
    std::vector<float> xy;
    xy.reserve(4 * static_cast<std::size_t>(n) * a.phases * a.phases);
    for (int j = 0; j < a.phases; j++) {
        for (int i = 0; i < a.phases; i++) {
            const double cx = i * a.cellw + a.halfw + static_cast<double>(i) / a.phases;
            const double cy = j * a.cellh + a.halfh + static_cast<double>(j) / a.phases;
            for (int m = 0; m < n; m++) {
                for (const int e : {m, (m + 1) % n}) {
                    xy.push_back(static_cast<float>(cx + rx * o.c[e]));
                    xy.push_back(static_cast<float>(cy + ry * o.s[e]));
                }
            }
        }
    }

    const Boundnow bound;
    glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT |
                 GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_MULTISAMPLE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT | GL_CLIENT_VERTEX_ARRAY_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, a.width, 0, a.height, -1, 1);

    unsigned framebuffers[2], renderbuffers[2];
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(2, renderbuffers);
    bool complete = true;
    for (int i = 0; i < 2; i++) {
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[i]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, i == 0 ? samplecount : 0, GL_RGBA8,
                                         a.width, a.height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  renderbuffers[i]);
        complete = complete && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    std::vector<std::uint8_t> covered; // a pixel's samples two by two
    if (complete) {
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_ALPHA_TEST);
        glViewport(0, 0, a.width, a.height);
        glClearColor(0, 0, 0, 0);
        glColor3f(1, 1, 1);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, xy.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        covered.assign(4 * static_cast<std::size_t>(a.width) * a.height, 0);
        std::vector<std::uint8_t> quarter(4 * static_cast<std::size_t>(a.width) * a.height);
        // One sample at a time: the outline drawn into it alone, resolved,
        // leaves a quarter of white where it covers.
        for (int s = 0; s < samplecount; s++) {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
            glDisable(GL_SAMPLE_MASK);
            glClear(GL_COLOR_BUFFER_BIT);
            glEnable(GL_SAMPLE_MASK);
            glSampleMaski(0, 1u << s);
            glDrawArrays(GL_LINES, 0, static_cast<int>(xy.size() / 2));
            glDisable(GL_SAMPLE_MASK);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
            glBlitFramebuffer(0, 0, a.width, a.height, 0, 0, a.width, a.height, GL_COLOR_BUFFER_BIT,
                              GL_NEAREST);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
            glReadPixels(0, 0, a.width, a.height, GL_RGBA, GL_UNSIGNED_BYTE, quarter.data());
            const int dx = s % 2, dy = s / 2;
            for (int y = 0; y < a.height; y++) {
                for (int x = 0; x < a.width; x++) {
                    const std::size_t from = 4 * (static_cast<std::size_t>(y) * a.width + x);
                    const std::size_t to =
                        static_cast<std::size_t>(2 * y + dy) * 2 * a.width + 2 * x + dx;
                    covered[to] = quarter[from + 3] > 32 ? 255 : 0;
                }
            }
        }
        if (atlastexture == 0) glGenTextures(1, &atlastexture);
        texelsasthey(atlastexture, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, 2 * a.width, 2 * a.height, 0, GL_ALPHA,
                     GL_UNSIGNED_BYTE, covered.data());
    }
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(2, renderbuffers);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
    made.fits = complete;
    return complete;
}

bool Batch::sampleframe(int width, int height) {
    if (width == samplewidth && height == sampleheight) return samplesfit;
    samplewidth = width;
    sampleheight = height;
    samplesfit = false;
    if (2 * std::max(width, height) > largesttexture()) return false;
    const Boundnow bound;
    glPushAttrib(GL_TEXTURE_BIT);
    if (sampletexture == 0) glGenTextures(1, &sampletexture);
    // Each pixel of the square takes the mean of its four texels.
    texelsasthey(sampletexture, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2 * width, 2 * height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    if (sampleframebuffer == 0) glGenFramebuffers(1, &sampleframebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, sampleframebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, sampletexture, 0);
    samplesfit = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glPopAttrib();
    return samplesfit;
}

void Batch::sprites(const Frame& f, int width, int height) {
    const Atlas& a = made;
    const int n = f.count();
    const int per = f.vertices();
    const int opposite = per / 2;
    const double sx = width / 2.0, sy = height / 2.0;
    corners.resize(8 * static_cast<std::size_t>(n));
    texels.resize(corners.size());
    colours.resize(12 * static_cast<std::size_t>(n));
    const float cell = 1.0f / static_cast<float>(a.phases); // of the texture, a side
    float* q = corners.data();
    float* t = texels.data();
    float* c = colours.data();
    for (int k = 0; k < n; k++, q += 8, t += 8, c += 12) {
        // Where the star lies in the square's pixels, to the nearest offset
        // drawn; it is midway between opposite corners.
        const float* v = f.xy.data() + 2 * static_cast<std::size_t>(k) * per;
        const double x = (0.5 * (static_cast<double>(v[0]) + v[2 * opposite]) + 1) * sx;
        const double y = (0.5 * (static_cast<double>(v[1]) + v[2 * opposite + 1]) + 1) * sy;
        const auto px = static_cast<long long>(std::floor(x * a.phases + 0.5));
        const auto py = static_cast<long long>(std::floor(y * a.phases + 0.5));
        const long long ix = floordiv(px, a.phases), iy = floordiv(py, a.phases);
        const auto i = static_cast<float>(px - ix * a.phases);
        const auto j = static_cast<float>(py - iy * a.phases);
        const auto x0 = static_cast<float>(ix - a.halfw), y0 = static_cast<float>(iy - a.halfh);
        const float x1 = x0 + static_cast<float>(a.cellw), y1 = y0 + static_cast<float>(a.cellh);
        const float s0 = i * cell, s1 = s0 + cell, t0 = j * cell, t1 = t0 + cell;
        const float quad[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        const float tex[8] = {s0, t0, s1, t0, s1, t1, s0, t1};
        std::copy(quad, quad + 8, q);
        std::copy(tex, tex + 8, t);
        const Rgb& rgb = f.colours[k];
        for (int m = 0; m < 4; m++) {
            c[3 * m] = rgb.r;
            c[3 * m + 1] = rgb.g;
            c[3 * m + 2] = rgb.b;
        }
    }
    glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT |
                 GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    GLint frame = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &frame);

    // The samples: cleared, then each star's colour where its outline
    // covers, over whatever was there.
    glBindFramebuffer(GL_FRAMEBUFFER, sampleframebuffer);
    glViewport(0, 0, 2 * width, 2 * height);
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindTexture(GL_TEXTURE_2D, atlastexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, corners.data());
    glTexCoordPointer(2, GL_FLOAT, 0, texels.data());
    glColorPointer(3, GL_FLOAT, 0, colours.data());
    glDrawArrays(GL_QUADS, 0, 4 * n);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisable(GL_ALPHA_TEST);

    // Averaged down into the square, as resolving would.
    glPopAttrib();
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<unsigned>(frame));
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, sampletexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    const auto w = static_cast<float>(width), h = static_cast<float>(height);
    const float square[8] = {0, 0, w, 0, w, h, 0, h};
    const float whole[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    glVertexPointer(2, GL_FLOAT, 0, square);
    glTexCoordPointer(2, GL_FLOAT, 0, whole);
    glDrawArrays(GL_QUADS, 0, 4);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
}

void Batch::lines(const Frame& f) {
    const int n = f.count();
    const int per = f.vertices();
    colours.resize(3 * static_cast<std::size_t>(n) * per);
    float* c = colours.data();
    for (int k = 0; k < n; k++) {
        const Rgb& rgb = f.colours[k];
        for (int i = 0; i < per; i++, c += 3) {
            c[0] = rgb.r;
            c[1] = rgb.g;
            c[2] = rgb.b;
        }
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, f.xy.data());
    glColorPointer(3, GL_FLOAT, 0, colours.data());
    if (f.corners == 0) {
        glPointSize(pointsize);
        glDrawArrays(GL_POINTS, 0, n);
    } else {
        // A line loop is its edges drawn as separate lines: each leaves out
        // its last pixel either way.
        if (edgecorners != f.corners || edgeglyphs != n) {
            edgecorners = f.corners;
            edgeglyphs = n;
            edges.clear();
            for (int k = 0; k < n; k++) {
                const unsigned first = static_cast<unsigned>(k * per);
                for (int i = 0; i < per; i++) {
                    edges.push_back(first + static_cast<unsigned>(i));
                    edges.push_back(first + static_cast<unsigned>((i + 1) % per));
                }
            }
        }
        glDrawElements(GL_LINES, static_cast<int>(edges.size()), GL_UNSIGNED_INT, edges.data());
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void Batch::draw(const Frame& f, Offscreen& target) {
    const Square& sq = target.stars();
    // Points are too small and too many to gain from sprites; an outline
    // too large for a texture keeps its lines.
    const bool sprite = f.corners > 0 && sampleframe(sq.width, sq.height) &&
                        atlas(f.corners, f.radius * sq.width / 2, f.radius * sq.height / 2);
    target.drawinto(!sprite);
    if (sprite) {
        sprites(f, sq.width, sq.height);
    } else {
        glClear(GL_COLOR_BUFFER_BIT);
        lines(f);
    }
    keepclear(f);
}

void drawbatched(Show& s, Batch& b, Offscreen& target) {
    buildframe(s.frame, s.world, s.palette);
    b.draw(s.frame, target);
}

} // namespace starlume
