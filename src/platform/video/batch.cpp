#include "platform/video/batch.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "core/render/glyph.h"
#include "platform/gl/draw.h"

namespace starlume {

namespace {

// Sub-pixel offsets a side the outline is drawn at: a star is at most a
// 32nd of a pixel from where its lines would lie, where llvmpipe places
// line ends to a 256th.
constexpr int phases = 16;
constexpr int samples = 4; // as the window asks for with GLUT_MULTISAMPLE

long long floordiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

Batch::~Batch() {
    if (texture != 0) glDeleteTextures(1, &texture);
}

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
    GLint texturemost = 0, buffermost = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texturemost);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &buffermost);
    const int largest = std::min(texturemost, buffermost);
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

    GLint drawn = 0, read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawn);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT |
                 GL_CURRENT_BIT | GL_TEXTURE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, a.width, 0, a.height, -1, 1);

    unsigned framebuffers[2], renderbuffer;
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, a.width, a.height);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer);
    bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (texture == 0) glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, a.width, a.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    // Each pixel of a sprite takes one texel, whole.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[1]);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    complete = complete && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;

    if (complete) {
        // White on nothing: the texture holds each pixel's coverage, in all
        // four channels.
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_TEXTURE_2D);
        glViewport(0, 0, a.width, a.height);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, xy.data());
        glDrawArrays(GL_LINES, 0, static_cast<int>(xy.size() / 2));
        glDisableClientState(GL_VERTEX_ARRAY);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
        glBlitFramebuffer(0, 0, a.width, a.height, 0, 0, a.width, a.height, GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<unsigned>(read));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<unsigned>(drawn));
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(1, &renderbuffer);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    made.fits = complete;
    return complete;
}

void Batch::sprites(const Frame& f, int width, int height) {
    const Atlas& a = made;
    const int n = f.count();
    const int per = f.vertices();
    const int opposite = per / 2;
    const double sx = width / 2.0, sy = height / 2.0;
    // Where each star lies in the square's pixels, to the nearest offset
    // drawn; it is midway between opposite corners.
    places.resize(static_cast<std::size_t>(n));
    for (int k = 0; k < n; k++) {
        const float* v = f.xy.data() + 2 * static_cast<std::size_t>(k) * per;
        const double x = (0.5 * (static_cast<double>(v[0]) + v[2 * opposite]) + 1) * sx;
        const double y = (0.5 * (static_cast<double>(v[1]) + v[2 * opposite + 1]) + 1) * sy;
        places[k] = {static_cast<long long>(std::floor(x * a.phases + 0.5)),
                     static_cast<long long>(std::floor(y * a.phases + 0.5)), k};
    }
    // Stars piled on one place: lines drawn over lines leave the last one's
    // alone, where sprites would blend each over the one before.
    byplace = places;
    std::sort(byplace.begin(), byplace.end(), [](const Place& p, const Place& q) {
        return std::tie(p.x, p.y, p.star) < std::tie(q.x, q.y, q.star);
    });
    hidden.assign(static_cast<std::size_t>(n), 0);
    for (std::size_t i = 0; i + 1 < byplace.size(); i++) {
        const Place& p = byplace[i];
        const Place& q = byplace[i + 1];
        if (p.x == q.x && p.y == q.y) hidden[p.star] = 1;
    }

    corners.resize(8 * static_cast<std::size_t>(n));
    texels.resize(corners.size());
    colours.resize(12 * static_cast<std::size_t>(n));
    const float cell = 1.0f / static_cast<float>(a.phases); // of the texture, a side
    float* q = corners.data();
    float* t = texels.data();
    float* c = colours.data();
    int quads = 0;
    for (int k = 0; k < n; k++) {
        if (hidden[k]) continue;
        const Place& p = places[k];
        const long long ix = floordiv(p.x, a.phases), iy = floordiv(p.y, a.phases);
        const auto i = static_cast<float>(p.x - ix * a.phases);
        const auto j = static_cast<float>(p.y - iy * a.phases);
        const auto x0 = static_cast<float>(ix - a.halfw), y0 = static_cast<float>(iy - a.halfh);
        const float x1 = x0 + static_cast<float>(a.cellw), y1 = y0 + static_cast<float>(a.cellh);
        const float s0 = i * cell, s1 = s0 + cell, t0 = j * cell, t1 = t0 + cell;
        const float quad[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        const float tex[8] = {s0, t0, s1, t0, s1, t1, s0, t1};
        q = std::copy(quad, quad + 8, q);
        t = std::copy(tex, tex + 8, t);
        const Rgb& rgb = f.colours[k];
        for (int m = 0; m < 4; m++, c += 3) {
            c[0] = rgb.r;
            c[1] = rgb.g;
            c[2] = rgb.b;
        }
        quads++;
    }
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // The texture's colour is already its coverage times white: the star's
    // colour over what is there by that coverage, and the alpha the
    // samples would have averaged to.
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, corners.data());
    glTexCoordPointer(2, GL_FLOAT, 0, texels.data());
    glColorPointer(3, GL_FLOAT, 0, colours.data());
    glDrawArrays(GL_QUADS, 0, 4 * quads);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
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
    const bool sprite =
        f.corners > 0 && atlas(f.corners, f.radius * sq.width / 2, f.radius * sq.height / 2);
    target.drawinto(!sprite);
    glClear(GL_COLOR_BUFFER_BIT);
    if (sprite) {
        sprites(f, sq.width, sq.height);
    } else {
        lines(f);
    }
    keepclear(f);
}

void drawbatched(Show& s, Batch& b, Offscreen& target) {
    buildframe(s.frame, s.world, s.palette);
    b.draw(s.frame, target);
}

} // namespace starlume
