#include "platform/video/batch.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>

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
// The side of the tiles whose samples are cleared and averaged, in pixels.
constexpr int tile = 8;

} // namespace

Batch::~Batch() {
    if (atlastexture != 0) glDeleteTextures(1, &atlastexture);
    if (sampleframebuffer != 0) glDeleteFramebuffers(1, &sampleframebuffer);
    if (sampletextures[0] != 0) glDeleteTextures(4, sampletextures);
    for (const Program* p : {&bysample, &blended, &cleared, &averaged}) {
        if (p->id != 0 && p->id != ~0u) glDeleteProgram(p->id);
    }
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
    const int largest = largesttexture();
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
    std::vector<std::uint8_t> covered; // a pixel's samples, one a channel
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
            for (int y = 0; y < a.height; y++) {
                for (int x = 0; x < a.width; x++) {
                    const std::size_t at = 4 * (static_cast<std::size_t>(y) * a.width + x);
                    if (quarter[at + 3] <= 32) continue;
                    covered[at + s] = 255;
                    const int cx = x % a.cellw, cy = y % a.cellh;
                    made.left = std::min(made.left, cx);
                    made.right = std::max(made.right, cx + 1);
                    made.bottom = std::min(made.bottom, cy);
                    made.top = std::max(made.top, cy + 1);
                }
            }
        }
        if (atlastexture == 0) glGenTextures(1, &atlastexture);
        texelsasthey(atlastexture, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, a.width, a.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     covered.data());
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

bool Batch::sampleframes(int width, int height) {
    if (width == samplewidth && height == sampleheight) return samplesfit;
    samplewidth = width;
    sampleheight = height;
    samplesfit = false;
    GLint attachments = 0, buffers = 0;
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &attachments);
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &buffers);
    if (std::min(attachments, buffers) < samplecount ||
        std::max(width, height) > largesttexture()) {
        return false;
    }
    const Boundnow bound;
    glPushAttrib(GL_TEXTURE_BIT);
    if (sampletextures[0] == 0) glGenTextures(samplecount, sampletextures);
    if (sampleframebuffer == 0) glGenFramebuffers(1, &sampleframebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, sampleframebuffer);
    GLenum drawn[samplecount];
    for (int s = 0; s < samplecount; s++) {
        texelsasthey(sampletextures[s], GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        drawn[s] = GL_COLOR_ATTACHMENT0 + s;
        glFramebufferTexture2D(GL_FRAMEBUFFER, drawn[s], GL_TEXTURE_2D, sampletextures[s], 0);
    }
    glDrawBuffers(samplecount, drawn);
    samplesfit = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glPopAttrib();
    return samplesfit;
}

namespace {

// A star's point covers its sprite's box from the lower left pixel given, in
// a view wider than the square by a point a side, so that no star partly
// in the square has its point's centre outside the view, where GL would
// leave the point out.
constexpr const char* spritevertex = R"(#version 130
in vec2 corner;
in vec2 cell;
in vec3 colour;
uniform vec2 offset; // the square's lower left pixel in the framebuffer
uniform vec2 toclip; // 2 / the view's size
uniform float side;  // the point's, in pixels
flat out ivec2 origin;
flat out ivec2 texel;
flat out vec3 rgb;
void main() {
    gl_Position = vec4((corner + vec2(1.5 * side)) * toclip - 1.0, 0.0, 1.0);
    gl_PointSize = side;
    origin = ivec2(corner + offset);
    texel = ivec2(cell);
    rgb = colour;
}
)";

// The sprite's four samples at this pixel, nothing outside its box.
constexpr const char* spritesamples = R"(#version 130
flat in ivec2 origin;
flat in ivec2 texel;
flat in vec3 rgb;
uniform sampler2D atlas;
uniform ivec2 box;
vec4 samples() {
    ivec2 at = ivec2(gl_FragCoord.xy) - origin;
    if (at.x >= box.x || at.y >= box.y) discard;
    return texelFetch(atlas, texel + at, 0);
}
)";

// Each sample the star's where it covers, else what it was.
constexpr const char* bysamplefragment = R"(
void main() {
    vec4 covered = samples();
    gl_FragData[0] = vec4(rgb, covered.r);
    gl_FragData[1] = vec4(rgb, covered.g);
    gl_FragData[2] = vec4(rgb, covered.b);
    gl_FragData[3] = vec4(rgb, covered.a);
}
)";

constexpr const char* blendedfragment = R"(
void main() { gl_FragColor = vec4(rgb, dot(samples(), vec4(0.25))); }
)";

// The area's corners in the square's pixels, in the same wider view.
constexpr const char* areavertex = R"(#version 130
in vec2 corner;
uniform vec2 toclip;
uniform float side;
void main() { gl_Position = vec4((corner + vec2(side)) * toclip - 1.0, 0.0, 1.0); }
)";

constexpr const char* clearedfragment = R"(#version 130
uniform vec4 colour;
void main() {
    gl_FragData[0] = colour;
    gl_FragData[1] = colour;
    gl_FragData[2] = colour;
    gl_FragData[3] = colour;
}
)";

constexpr const char* averagedfragment = R"(#version 130
uniform sampler2D sample0, sample1, sample2, sample3;
uniform vec2 offset;
uniform ivec2 box; // here the square's size
void main() {
    ivec2 at = clamp(ivec2(gl_FragCoord.xy - offset), ivec2(0), box - 1);
    gl_FragColor = 0.25 * (texelFetch(sample0, at, 0) + texelFetch(sample1, at, 0) +
                           texelFetch(sample2, at, 0) + texelFetch(sample3, at, 0));
}
)";

unsigned compiled(GLenum kind, std::initializer_list<const char*> parts) {
    const unsigned shader = glCreateShader(kind);
    const std::vector<const char*> texts(parts);
    glShaderSource(shader, static_cast<int>(texts.size()), texts.data(), nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == 0) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The attributes are in one array, a star's seven floats together.
constexpr int perstar = 7;

unsigned linked(const char* vertexshader, std::initializer_list<const char*> fragment) {
    const unsigned vertex = compiled(GL_VERTEX_SHADER, {vertexshader});
    const unsigned pixel = compiled(GL_FRAGMENT_SHADER, fragment);
    unsigned program = 0;
    if (vertex != 0 && pixel != 0) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, pixel);
        // corner in attribute 0, which in a compatibility context is what
        // makes a vertex
        glBindAttribLocation(program, 0, "corner");
        glBindAttribLocation(program, 1, "cell");
        glBindAttribLocation(program, 2, "colour");
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok == 0) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vertex != 0) glDeleteShader(vertex);
    if (pixel != 0) glDeleteShader(pixel);
    return program;
}

} // namespace

bool Batch::shaders() {
    if (bysample.id != 0) return bysample.id != ~0u;
    bysample.id = linked(spritevertex, {spritesamples, bysamplefragment});
    blended.id = linked(spritevertex, {spritesamples, blendedfragment});
    cleared.id = linked(areavertex, {clearedfragment});
    averaged.id = linked(areavertex, {averagedfragment});
    GLint range[2] = {0, 0}, aliased[2] = {0, 0};
    glGetIntegerv(GL_POINT_SIZE_RANGE, range);
    glGetIntegerv(GL_ALIASED_POINT_SIZE_RANGE, aliased);
    largestpoint = std::min(range[1], aliased[1]);
    if (bysample.id == 0 || blended.id == 0 || cleared.id == 0 || averaged.id == 0) {
        for (Program* p : {&bysample, &blended, &cleared, &averaged}) {
            if (p->id != 0) glDeleteProgram(p->id);
            p->id = ~0u;
        }
        return false;
    }
    for (Program* p : {&bysample, &blended, &cleared, &averaged}) {
        p->offset = glGetUniformLocation(p->id, "offset");
        p->toclip = glGetUniformLocation(p->id, "toclip");
        p->side = glGetUniformLocation(p->id, "side");
        p->box = glGetUniformLocation(p->id, "box");
        p->colour = glGetUniformLocation(p->id, "colour");
        glUseProgram(p->id);
        glUniform1i(glGetUniformLocation(p->id, "atlas"), 0);
        for (int s = 0; s < samplecount; s++) {
            glUniform1i(glGetUniformLocation(p->id, ("sample" + std::to_string(s)).c_str()), s);
        }
    }
    glUseProgram(0);
    return true;
}

void Batch::sprites(const Frame& f, int width, int height, int x, int y) {
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
        const double cx = (0.5 * (static_cast<double>(v[0]) + v[2 * opposite]) + 1) * sx;
        const double cy = (0.5 * (static_cast<double>(v[1]) + v[2 * opposite + 1]) + 1) * sy;
        const auto px = static_cast<long long>(std::floor(cx * a.phases + 0.5));
        const auto py = static_cast<long long>(std::floor(cy * a.phases + 0.5));
        const long long ix = floordiv(px, a.phases), iy = floordiv(py, a.phases);
        Spriteplace& p = places[k];
        p.x = ix - a.halfw + a.left;
        p.y = iy - a.halfh + a.bottom;
        p.i = static_cast<int>(px - ix * a.phases);
        p.j = static_cast<int>(py - iy * a.phases);
    }
    crowding(places, boxw, boxh, crowdscratch);

    // A lone sprite over the background by its coverage is what its
    // samples would average to; where sprites overlap, each sample is the
    // last star's that covers it. A sprite wholly outside the square
    // draws nothing.
    lone.clear();
    crowd.clear();
    const int across = (width + tile - 1) / tile, up = (height + tile - 1) / tile;
    tiles.assign(static_cast<std::size_t>(across) * up, 0);
    for (std::size_t k = 0; k < places.size(); k++) {
        const Spriteplace& p = places[k];
        if (p.hidden || p.x <= -boxw || p.y <= -boxh || p.x >= width || p.y >= height) continue;
        const Rgb& c = f.colours[k];
        const float star[perstar] = {static_cast<float>(p.x),
                                     static_cast<float>(p.y),
                                     static_cast<float>(p.i * a.cellw + a.left),
                                     static_cast<float>(p.j * a.cellh + a.bottom),
                                     c.r,
                                     c.g,
                                     c.b};
        std::vector<float>& to = p.crowded ? crowd : lone;
        to.insert(to.end(), star, star + perstar);
        if (!p.crowded) continue;
        const long long left = std::max(p.x, 0LL) / tile;
        const long long right = (std::min(p.x + boxw, static_cast<long long>(width)) - 1) / tile;
        const long long bottom = std::max(p.y, 0LL) / tile;
        const long long top = (std::min(p.y + boxh, static_cast<long long>(height)) - 1) / tile;
        for (long long ty = bottom; ty <= top; ty++) {
            for (long long tx = left; tx <= right; tx++) tiles[ty * across + tx] = 1;
        }
    }
    // The tiles crowded sprites reach, as runs along each row of them:
    // where the samples are cleared and averaged, a pile taking a few
    // quads where its stars would take a point each.
    areas.clear();
    for (int ty = 0; ty < up; ty++) {
        for (int tx = 0; tx < across; tx++) {
            if (tiles[static_cast<std::size_t>(ty) * across + tx] == 0) continue;
            const int first = tx;
            while (tx < across && tiles[static_cast<std::size_t>(ty) * across + tx] != 0) tx++;
            const auto x0 = static_cast<float>(first * tile);
            const auto x1 = static_cast<float>(std::min(tx * tile, width));
            const auto y0 = static_cast<float>(ty * tile);
            const auto y1 = static_cast<float>(std::min((ty + 1) * tile, height));
            const float quad[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
            areas.insert(areas.end(), quad, quad + 8);
        }
    }

    const int side = std::max(boxw, boxh);
    glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT |
                 GL_TEXTURE_BIT | GL_POINT_BIT);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_PROGRAM_POINT_SIZE);
    glEnable(GL_POINT_SPRITE);
    glDisable(GL_POINT_SMOOTH);
    // Coverage as alpha: a sample the star covers takes its colour, one it
    // does not keeps what it had.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    const auto use = [&](const Program& p, int atx, int aty, int boxx, int boxy) {
        glUseProgram(p.id);
        glViewport(atx - side, aty - side, width + 2 * side, height + 2 * side);
        glUniform2f(p.offset, static_cast<float>(atx), static_cast<float>(aty));
        glUniform2f(p.toclip, 2.0f / static_cast<float>(width + 2 * side),
                    2.0f / static_cast<float>(height + 2 * side));
        glUniform1f(p.side, static_cast<float>(side));
        glUniform2i(p.box, boxx, boxy);
    };
    const auto points = [](const std::vector<float>& stars) {
        const float* at = stars.data();
        const int stride = perstar * static_cast<int>(sizeof(float));
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, at);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, at + 2);
        glVertexAttribPointer(2, 3, GL_FLOAT, GL_FALSE, stride, at + 4);
        glDrawArrays(GL_POINTS, 0, static_cast<int>(stars.size() / perstar));
    };
    const auto quads = [this] {
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, areas.data());
        glDrawArrays(GL_QUADS, 0, static_cast<int>(areas.size() / 2));
    };
    for (unsigned i = 0; i < 3; i++) glEnableVertexAttribArray(i);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, atlastexture);
    if (!crowd.empty()) {
        GLint frame = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &frame);
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        glBindFramebuffer(GL_FRAMEBUFFER, sampleframebuffer);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
        use(cleared, 0, 0, 0, 0);
        glUniform4fv(cleared.colour, 1, clear);
        quads();
        glEnable(GL_BLEND);
        use(bysample, 0, 0, boxw, boxh);
        points(crowd);

        // Averaged into their places, as resolving would.
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<unsigned>(frame));
        glEnable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
        for (int s = 0; s < samplecount; s++) {
            glActiveTexture(GL_TEXTURE0 + s);
            glBindTexture(GL_TEXTURE_2D, sampletextures[s]);
        }
        use(averaged, x, y, width, height);
        quads();
        for (int s = samplecount - 1; s >= 0; s--) {
            glActiveTexture(GL_TEXTURE0 + s);
            glBindTexture(GL_TEXTURE_2D, s == 0 ? atlastexture : 0);
        }
    }
    if (!lone.empty()) {
        // Over the crowds' places, which are whole: the alpha as the
        // samples would average it too.
        glEnable(GL_BLEND);
        use(blended, x, y, boxw, boxh);
        points(lone);
    }
    for (unsigned i = 0; i < 3; i++) glDisableVertexAttribArray(i);
    glUseProgram(0);
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
    const bool sprite = f.corners > 0 && shaders() && sampleframes(sq.width, sq.height) &&
                        atlas(f.corners, f.radius * sq.width / 2, f.radius * sq.height / 2) &&
                        std::max(made.right - made.left, made.top - made.bottom) <= largestpoint;
    target.drawinto(!sprite);
    if (sprite) {
        sprites(f, sq.width, sq.height, sq.x, sq.y);
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
