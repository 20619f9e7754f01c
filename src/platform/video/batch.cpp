#include "platform/video/batch.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/render/crowding.h"
#include "core/render/glyph.h"
#include "platform/gl/draw.h"

namespace starlume {

namespace {

// Sub-pixel offsets a side the outline is drawn at: a star is at most a
// 32nd of a pixel from where its lines would lie (llvmpipe places line
// ends to a 256th), fewer for outlines so large that the texture would
// pass this many pixels a side. Finer offsets match the lines a little
// more closely but leave fewer piled stars in the very same place, and
// cost more than they gain.
constexpr int phases = 16;
constexpr int atlasmost = 2048;
constexpr int samplecount = 4; // as the window asks for with GLUT_MULTISAMPLE

} // namespace

Batch::~Batch() {
    if (atlastexture != 0) glDeleteTextures(1, &atlastexture);
    if (sampleframebuffer != 0) glDeleteFramebuffers(1, &sampleframebuffer);
    if (sampletexture != 0) glDeleteTextures(1, &sampletexture);
}

namespace {

// The texture filtered as asked, clamped at its edges, with no mipmaps.
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
    while (a.phases > 1 &&
           std::max(a.phases * a.cellw, a.phases * a.cellh) > std::min(largest, atlasmost)) {
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
                    if (quarter[from + 3] <= 32) continue;
                    covered[to] = 255;
                    const int cx = x % a.cellw, cy = y % a.cellh;
                    made.left = std::min(made.left, cx);
                    made.right = std::max(made.right, cx + 1);
                    made.bottom = std::min(made.bottom, cy);
                    made.top = std::max(made.top, cy + 1);
                }
            }
        }
        if (atlastexture == 0) glGenTextures(1, &atlastexture);
        // Nearest at twice the size, where texels fall on pixels; at the
        // size, the mean of a pixel's four samples.
        texelsasthey(atlastexture, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, 2 * a.width, 2 * a.height, 0, GL_ALPHA,
                     GL_UNSIGNED_BYTE, covered.data());
    }
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(2, renderbuffers);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
    made.fits = complete && made.right > made.left;
    return made.fits;
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
    const int boxw = a.right - a.left, boxh = a.top - a.bottom;
    // Where each star's sprite lies in the square's pixels, and which
    // offset it takes, the nearest to where the star is: midway between
    // opposite corners.
    places.resize(static_cast<std::size_t>(n));
    for (int k = 0; k < n; k++) {
        const float* v = f.xy.data() + 2 * static_cast<std::size_t>(k) * per;
        const double x = (0.5 * (static_cast<double>(v[0]) + v[2 * opposite]) + 1) * sx;
        const double y = (0.5 * (static_cast<double>(v[1]) + v[2 * opposite + 1]) + 1) * sy;
        const auto px = static_cast<long long>(std::floor(x * a.phases + 0.5));
        const auto py = static_cast<long long>(std::floor(y * a.phases + 0.5));
        const long long ix = floordiv(px, a.phases), iy = floordiv(py, a.phases);
        Spriteplace& p = places[k];
        p.x = ix - a.halfw + a.left;
        p.y = iy - a.halfh + a.bottom;
        p.i = static_cast<int>(px - ix * a.phases);
        p.j = static_cast<int>(py - iy * a.phases);
    }
    crowding(places, boxw, boxh, byplace);

    // A lone sprite over the background by its coverage is what its
    // samples would average to; where sprites overlap, each sample is the
    // last star's that covers it, drawn out at twice the size.
    lone.clear();
    crowd.clear();
    const float cellw = 1.0f / static_cast<float>(a.phases), cellh = cellw;
    const float texelw = 1.0f / static_cast<float>(a.width);
    const float texelh = 1.0f / static_cast<float>(a.height);
    for (std::size_t k = 0; k < places.size(); k++) {
        const Spriteplace& p = places[k];
        if (p.hidden) continue;
        const auto x0 = static_cast<float>(p.x), y0 = static_cast<float>(p.y);
        const float x1 = x0 + static_cast<float>(boxw), y1 = y0 + static_cast<float>(boxh);
        const float s0 = static_cast<float>(p.i) * cellw + static_cast<float>(a.left) * texelw;
        const float s1 = s0 + static_cast<float>(boxw) * texelw;
        const float t0 = static_cast<float>(p.j) * cellh + static_cast<float>(a.bottom) * texelh;
        const float t1 = t0 + static_cast<float>(boxh) * texelh;
        const Rgb& c = f.colours[k];
        Sprites& to = p.crowded ? crowd : lone;
        const float quad[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        const float tex[8] = {s0, t0, s1, t0, s1, t1, s0, t1};
        const float colour[12] = {c.r, c.g, c.b, c.r, c.g, c.b, c.r, c.g, c.b, c.r, c.g, c.b};
        to.corners.insert(to.corners.end(), quad, quad + 8);
        to.texels.insert(to.texels.end(), tex, tex + 8);
        to.colours.insert(to.colours.end(), colour, colour + 12);
    }

    GLint square[4];
    glGetIntegerv(GL_VIEWPORT, square);
    glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT |
                 GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, atlastexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (!crowd.corners.empty()) {
        GLint frame = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &frame);
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        glBindFramebuffer(GL_FRAMEBUFFER, sampleframebuffer);
        glViewport(0, 0, 2 * width, 2 * height);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
        const int quads = static_cast<int>(crowd.corners.size() / 8);
        glVertexPointer(2, GL_FLOAT, 0, crowd.corners.data());
        // Every sprite's samples cleared first, then the stars in order.
        glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4fv(clear);
        glDrawArrays(GL_QUADS, 0, 4 * quads);
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.5f);
        glTexCoordPointer(2, GL_FLOAT, 0, crowd.texels.data());
        glColorPointer(3, GL_FLOAT, 0, crowd.colours.data());
        glDrawArrays(GL_QUADS, 0, 4 * quads);
        glDisable(GL_ALPHA_TEST);
        glDisableClientState(GL_COLOR_ARRAY);

        // Averaged down into their places, as resolving would.
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<unsigned>(frame));
        glViewport(square[0], square[1], square[2], square[3]);
        glEnable(GL_SCISSOR_TEST);
        glBindTexture(GL_TEXTURE_2D, sampletexture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        crowd.texels.resize(crowd.corners.size());
        const float w = 1.0f / static_cast<float>(width), h = 1.0f / static_cast<float>(height);
        for (std::size_t i = 0; i < crowd.corners.size(); i += 2) {
            crowd.texels[i] = crowd.corners[i] * w;
            crowd.texels[i + 1] = crowd.corners[i + 1] * h;
        }
        glTexCoordPointer(2, GL_FLOAT, 0, crowd.texels.data());
        glDrawArrays(GL_QUADS, 0, 4 * quads);
    }
    if (!lone.corners.empty()) {
        // Over the crowds' places, which are whole: the alpha as the
        // samples would average it too.
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glBindTexture(GL_TEXTURE_2D, atlastexture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, lone.corners.data());
        glTexCoordPointer(2, GL_FLOAT, 0, lone.texels.data());
        glColorPointer(3, GL_FLOAT, 0, lone.colours.data());
        glDrawArrays(GL_QUADS, 0, static_cast<int>(lone.corners.size() / 2));
    }
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
