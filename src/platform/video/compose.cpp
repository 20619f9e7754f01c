#include "platform/video/compose.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/app/showntext.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace starlume {

namespace {

// Larger covers are refused from their header: decoded, one would take a
// gigabyte or more for a background that is blurred anyway.
constexpr int mostside = 8192;

const char* const fontpath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::string averror(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// A cover that cannot be used, as a music file that holds no sound.
Failure badcover(const std::string& message) { return {exitnofile, message}; }

const Failure nomemory{exitunavailable, "out of memory"};

unsigned bigendian(const std::uint8_t* p, int bytes) {
    unsigned n = 0;
    for (int i = 0; i < bytes; i++) n = n << 8 | p[i];
    return n;
}

// A PNG's or JPEG's size as its header gives it, before anything is decoded;
// false when the header does not say.
bool headersize(const AVPacket& p, AVCodecID codec, unsigned& w, unsigned& h) {
    const std::uint8_t* d = p.data;
    const int n = p.size;
    if (codec == AV_CODEC_ID_PNG) {
        if (n < 24 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
        w = bigendian(d + 16, 4);
        h = bigendian(d + 20, 4);
        return true;
    }
    // JPEG: the markers up to the start of a frame (SOF0 to SOF15, but for
    // the three that are not frames).
    for (int i = 2; i + 9 <= n;) {
        if (d[i] != 0xff) return false;
        const int m = d[i + 1];
        if (m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc) {
            h = bigendian(d + i + 5, 2);
            w = bigendian(d + i + 7, 2);
            return true;
        }
        i += 2 + static_cast<int>(bigendian(d + i + 2, 2));
    }
    return false;
}

struct Input {
    AVFormatContext* fc = nullptr;
    ~Input() { avformat_close_input(&fc); }
};

struct Decoding {
    AVCodecContext* c = nullptr;
    ~Decoding() { avcodec_free_context(&c); }
};

// Decodes a picture's one packet into frame; what is wrong with it, or "".
std::string decodepicture(const AVCodecParameters* par, const AVPacket& packet, AVFrame* frame) {
    if (par->codec_id != AV_CODEC_ID_PNG && par->codec_id != AV_CODEC_ID_MJPEG) {
        return "not a PNG or JPEG picture";
    }
    unsigned w = 0, h = 0;
    if (headersize(packet, par->codec_id, w, h) && (w > mostside || h > mostside)) {
        return std::to_string(w) + "x" + std::to_string(h) + " pixels, larger than " +
               std::to_string(mostside) + "x" + std::to_string(mostside);
    }
    Decoding d;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr || (d.c = avcodec_alloc_context3(codec)) == nullptr) return "no decoder";
    avcodec_parameters_to_context(d.c, par);
    // The header check's backstop, for headers it cannot read.
    av_opt_set_int(d.c, "max_pixels", std::int64_t{mostside} * mostside, 0);
    int ret = avcodec_open2(d.c, codec, nullptr);
    if (ret >= 0) ret = avcodec_send_packet(d.c, &packet);
    if (ret >= 0) ret = avcodec_send_packet(d.c, nullptr);
    if (ret >= 0) ret = avcodec_receive_frame(d.c, frame);
    if (ret < 0) return "not a picture that can be read (" + averror(ret) + ")";
    return "";
}

std::string tag(const AVFormatContext* fc, const char* key) {
    if (const AVDictionaryEntry* e = av_dict_get(fc->metadata, key, nullptr, 0)) return e->value;
    // Ogg keeps its comments with the stream.
    for (unsigned i = 0; i < fc->nb_streams; i++) {
        if (const AVDictionaryEntry* e = av_dict_get(fc->streams[i]->metadata, key, nullptr, 0)) {
            return e->value;
        }
    }
    return "";
}

// The song's file for its tags: read a second time, so only a file; a
// pipe's sound has gone.
bool opensong(const char* path, Input& in) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return avformat_open_input(&in.fc, path, nullptr, nullptr) >= 0;
}

struct Graph {
    AVFilterGraph* g = nullptr;
    ~Graph() { avfilter_graph_free(&g); }
};

// A graph from desc with buffer sources named by inputs (each for frames
// like the one given) and a sink; what went wrong, or "".
std::string buildgraph(Graph& graph, const std::string& desc, const std::vector<AVFrame*>& like,
                       const std::vector<std::string>& names, int fps,
                       std::vector<AVFilterContext*>& sources, AVFilterContext*& sink) {
    graph.g = avfilter_graph_alloc();
    if (graph.g == nullptr) return "out of memory";
    graph.g->nb_threads = 1; // the machine's cores are drawing and encoding
    AVFilterInOut* outputs = nullptr;
    for (std::size_t i = 0; i < like.size(); i++) {
        char args[160];
        std::snprintf(args, sizeof args,
                      "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1", like[i]->width,
                      like[i]->height, like[i]->format, fps);
        AVFilterContext* src = nullptr;
        if (avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), names[i].c_str(),
                                         args, nullptr, graph.g) < 0) {
            avfilter_inout_free(&outputs);
            return "cannot make a buffer source";
        }
        sources.push_back(src);
        AVFilterInOut* o = avfilter_inout_alloc();
        o->name = av_strdup(names[i].c_str());
        o->filter_ctx = src;
        o->next = outputs;
        outputs = o;
    }
    if (avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph.g) < 0) {
        avfilter_inout_free(&outputs);
        return "cannot make a buffer sink";
    }
    const AVPixelFormat rgba[] = {AV_PIX_FMT_RGBA, AV_PIX_FMT_NONE};
    av_opt_set_int_list(sink, "pix_fmts", rgba, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    AVFilterInOut* inputs = avfilter_inout_alloc();
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    int ret = avfilter_graph_parse_ptr(graph.g, desc.c_str(), &inputs, &outputs, nullptr);
    if (ret >= 0) ret = avfilter_graph_config(graph.g, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (ret < 0) return "cannot build the filter graph (" + averror(ret) + ")";
    return "";
}

// A text given to drawtext through a file, never through the graph's own
// syntax; the file goes once the graph has read it.
struct Textfile {
    std::string path;
    ~Textfile() {
        if (!path.empty()) unlink(path.c_str());
    }
    bool write(const std::string& text) {
        char name[] = "/tmp/starlume-text-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) return false;
        path = name;
        const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        return ok;
    }
};

} // namespace

struct Compose::State {
    int width = 0, height = 0, fps = 0;
    AVFrame* background = nullptr; // the cover as it lies under the stars; none without
    AVFrame* stars = nullptr;      // a drawn frame, as the graph takes it
    AVFrame* out = nullptr;
    Graph graph;
    std::vector<AVFilterContext*> sources; // the background's, then the stars'
    AVFilterContext* sink = nullptr;
    std::int64_t next = 0;
    bool active = false;
    // With the text beside the stars' square, the background and the text
    // are laid once: the outside of every frame is copied from them, and the
    // graph only lays the stars' square over its part of the background.
    bool squareonly = false;
    Square square;
    AVFrame* outside = nullptr; // the background with the text on it

    ~State() {
        av_frame_free(&background);
        av_frame_free(&stars);
        av_frame_free(&out);
        av_frame_free(&outside);
    }

    // Where a picture's row y (top first) and column x lie in a drawn frame.
    std::uint8_t* at(std::uint8_t* rgba, int x, int y) const {
        return rgba + static_cast<std::ptrdiff_t>(height - 1 - y) * width * 4 + 4 * x;
    }

    // The background and text, whose result is the same on every frame.
    Failure laytext(const std::string& text) {
        Graph g;
        std::vector<AVFilterContext*> src;
        AVFilterContext* once = nullptr;
        if (std::string e = buildgraph(g, "[bg]null" + text, {background}, {"bg"}, fps, src, once);
            !e.empty()) {
            return {exitunavailable, "cannot compose the video: " + e};
        }
        background->pts = 0;
        outside = av_frame_alloc();
        int ret = av_buffersrc_add_frame_flags(src[0], background, AV_BUFFERSRC_FLAG_KEEP_REF);
        if (ret >= 0) ret = av_buffersrc_add_frame(src[0], nullptr);
        if (ret >= 0) ret = av_buffersink_get_frame(once, outside);
        if (ret < 0) return {exitunavailable, "cannot compose the video: " + averror(ret)};
        // The graph's background: the square's part of it.
        av_frame_unref(background);
        if (av_frame_ref(background, outside) < 0) return nomemory;
        const int top = height - square.y - square.height;
        background->data[0] +=
            static_cast<std::ptrdiff_t>(top) * background->linesize[0] + 4 * square.x;
        background->width = square.width;
        background->height = square.height;
        return {};
    }

    // Copies the composed outside of the square into a drawn frame: the
    // rows above and below it, then the columns beside it.
    void copyoutside(std::uint8_t* rgba) const {
        const int top = height - square.y - square.height;
        const int bottom = top + square.height;
        const int right = square.x + square.width;
        const struct {
            int x, y, w, h;
        } parts[] = {{0, 0, width, top},
                     {0, bottom, width, height - bottom},
                     {0, top, square.x, square.height},
                     {right, top, width - right, square.height}};
        for (const auto& p : parts) {
            if (p.w <= 0 || p.h <= 0) continue;
            av_image_copy_plane(at(rgba, p.x, p.y), -4 * width,
                                outside->data[0] +
                                    static_cast<std::ptrdiff_t>(p.y) * outside->linesize[0] +
                                    4 * p.x,
                                outside->linesize[0], 4 * p.w, p.h);
        }
    }

    // The song's own picture, if it has one, and its tags.
    Failure readsong(const char* path, bool cover, std::string& title, std::string& artist) {
        Input in;
        if (!opensong(path, in)) return {};
        title = tag(in.fc, "title");
        artist = tag(in.fc, "artist");
        for (unsigned i = 0; cover && i < in.fc->nb_streams; i++) {
            const AVStream* st = in.fc->streams[i];
            if ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) continue;
            AVFrame* f = av_frame_alloc();
            // A picture that does not decode leaves the song without one.
            if (decodepicture(st->codecpar, st->attached_pic, f).empty()) {
                background = f;
                return {};
            }
            av_frame_free(&f);
        }
        return {};
    }

    Failure readcover(const char* path) {
        const std::string named = std::string("the cover '") + path + "'";
        struct stat st;
        if (stat(path, &st) != 0) {
            return {exitnofile, "cannot open " + named + ": " + std::strerror(errno)};
        }
        if (!S_ISREG(st.st_mode)) return badcover(named + " is not a file");
        if (st.st_size == 0) return badcover(named + " is empty");
        Input in;
        if (avformat_open_input(&in.fc, path, nullptr, nullptr) < 0 || in.fc->nb_streams == 0 ||
            in.fc->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
            return badcover(named + " is not a PNG or JPEG picture");
        }
        AVPacket* packet = av_packet_alloc();
        int ret = av_read_frame(in.fc, packet);
        std::string wrong = ret < 0 ? "not a PNG or JPEG picture"
                                    : decodepicture(in.fc->streams[0]->codecpar, *packet,
                                                    background = av_frame_alloc());
        av_packet_free(&packet);
        if (!wrong.empty()) return badcover(named + " is " + wrong);
        return {};
    }

    // The picture scaled to cover the frame, cropped about its middle,
    // blurred and darkened so that the stars read over it.
    Failure makebackground() {
        Graph g;
        std::vector<AVFilterContext*> src;
        AVFilterContext* sink = nullptr;
        const int shortside = std::min(width, height);
        char desc[320];
        std::snprintf(desc, sizeof desc,
                      "[cover]scale=%d:%d:force_original_aspect_ratio=increase,crop=%d:%d,"
                      "gblur=sigma=%d,colorchannelmixer=rr=0.45:gg=0.45:bb=0.45,format=rgba",
                      width, height, width, height, std::max(2, shortside / 40));
        if (std::string e = buildgraph(g, desc, {background}, {"cover"}, fps, src, sink);
            !e.empty()) {
            return {exitunavailable, "cannot lay the cover: " + e};
        }
        background->pts = 0;
        AVFrame* f = av_frame_alloc();
        int ret = av_buffersrc_add_frame(src[0], background);
        if (ret >= 0) ret = av_buffersrc_add_frame(src[0], nullptr);
        if (ret >= 0) ret = av_buffersink_get_frame(sink, f);
        av_frame_free(&background);
        background = f;
        if (ret < 0) return {exitunavailable, "cannot lay the cover: " + averror(ret)};
        return {};
    }

    // drawtext for one line: at most one line of the frame's width, in
    // white edged with black so that it reads on any background.
    std::string textfilter(Textfile& file, const std::string& text, int size, const std::string& x,
                           int y) {
        const int margin = std::min(width, height) / 30;
        // DejaVu Sans's letters average well under 0.65 of their size.
        const auto most = static_cast<std::size_t>((width - 2 * margin) / (0.65 * size));
        if (!file.write(showntext(text, most))) return "";
        // Without DejaVu, whatever sans fontconfig has.
        struct stat st;
        const std::string font = stat(fontpath, &st) == 0 ? std::string("fontfile=") + fontpath
                                                          : std::string("font=Sans");
        char f[400];
        std::snprintf(f, sizeof f,
                      "drawtext=%s:textfile=%s:expansion=none:fontsize=%d:"
                      "fontcolor=white:borderw=%d:bordercolor=black@0.6:x=%s:y=%d",
                      font.c_str(), file.path.c_str(), size, std::max(1, size / 16), x.c_str(), y);
        return f;
    }

    Failure makegraph(const std::string& title, const std::string& artist, const Args& args) {
        const int shortside = std::min(width, height);
        const int titlesize = std::max(8, shortside / 18), artistsize = std::max(6, shortside / 26);
        const int lines =
            (title.empty() ? 0 : titlesize * 5 / 4) + (artist.empty() ? 0 : artistsize * 5 / 4);
        // Above the stars' square where there is room, as in a tall frame;
        // else in the bottom left corner.
        const Square sq = starsquare(width, height, args.stretch);
        const int band = height - sq.y - sq.height;
        const int margin = shortside / 30;
        const bool above = band >= lines + 2 * margin;
        square = sq;
        squareonly = background != nullptr && (above || lines == 0) && !args.stretch;
        const std::string x = above ? "(w-text_w)/2" : std::to_string(margin);
        int y = above ? (band - lines) / 2 : height - margin - lines;
        Textfile files[2];
        std::string text;
        bool written = true;
        for (int i = 0; i < 2; i++) {
            const std::string& line = i == 0 ? title : artist;
            if (line.empty()) continue;
            const int size = i == 0 ? titlesize : artistsize;
            const std::string f = textfilter(files[i], line, size, x, y);
            written = written && !f.empty();
            text += "," + f;
            y += size * 5 / 4;
        }
        if (!written) {
            return {exitcantcreate, std::string("cannot write the text for drawtext in /tmp: ") +
                                        std::strerror(errno)};
        }
        stars = av_frame_alloc();
        stars->width = squareonly ? sq.width : width;
        stars->height = squareonly ? sq.height : height;
        stars->format = AV_PIX_FMT_RGBA;
        if (squareonly) {
            if (Failure e = laytext(text)) return e;
            text.clear();
        }
        std::string desc;
        std::vector<AVFrame*> like;
        std::vector<std::string> names;
        if (background != nullptr) {
            desc = "[bg][stars]overlay=format=rgb";
            like = {background, stars};
            names = {"bg", "stars"};
        } else {
            desc = "[stars]null";
            like = {stars};
            names = {"stars"};
        }
        desc += text;
        if (std::string e = buildgraph(graph, desc, like, names, fps, sources, sink); !e.empty()) {
            return {exitunavailable, "cannot compose the video: " + e};
        }
        out = av_frame_alloc();
        return {};
    }
};

Compose::Compose() : s(std::make_unique<State>()) {}
Compose::~Compose() = default;

bool Compose::active() const { return s->active; }
bool Compose::hascover() const { return s->background != nullptr; }

Failure Compose::open(const Song& song, const Args& args) {
    const char* path = song.path.c_str();
    s->width = args.width;
    s->height = args.height;
    s->fps = args.fps;
    const bool none = args.cover != nullptr && std::strcmp(args.cover, "none") == 0;
    std::string title, artist;
    // A transparent video is laid over another: the song's own picture
    // would hide it, so only a picture asked for is laid there.
    const bool songs = args.cover == nullptr && !args.transparent;
    if (Failure e = s->readsong(path, songs, title, artist)) return e;
    if (title.empty()) title = song.title;
    if (args.cover != nullptr && !none) {
        if (Failure e = s->readcover(args.cover)) return e;
    }
    if (args.title) title = *args.title;
    if (args.artist) artist = *args.artist;
    // Nothing to see is no line, which drawtext would refuse as well.
    for (std::string* line : {&title, &artist}) {
        if (showntext(*line, line->size()).find_first_not_of(' ') == std::string::npos) {
            line->clear();
        }
    }
    if (s->background == nullptr && title.empty() && artist.empty()) return {};
    if (s->background != nullptr) {
        if (Failure e = s->makebackground()) return e;
    }
    if (Failure e = s->makegraph(title, artist, args)) return e;
    s->active = true;
    return {};
}

Failure Compose::apply(std::uint8_t* rgba) {
    const int stride = s->width * 4;
    // The drawn frame's rows, top first, without copying them here: the
    // source copies what it keeps.
    AVFrame* f = s->stars;
    const int left = s->squareonly ? s->square.x : 0;
    const int top = s->squareonly ? s->height - s->square.y - s->square.height : 0;
    std::uint8_t* corner = s->at(rgba, left, top);
    f->data[0] = corner;
    f->linesize[0] = -stride;
    f->pts = s->next;
    int ret = 0;
    if (s->background != nullptr) {
        s->background->pts = s->next;
        ret =
            av_buffersrc_add_frame_flags(s->sources[0], s->background, AV_BUFFERSRC_FLAG_KEEP_REF);
    }
    if (ret >= 0) {
        ret = av_buffersrc_add_frame_flags(s->sources.back(), f, AV_BUFFERSRC_FLAG_KEEP_REF);
    }
    f->data[0] = nullptr;
    s->next++;
    if (ret >= 0) ret = av_buffersink_get_frame(s->sink, s->out);
    if (ret < 0) return {exitunavailable, "cannot compose a frame: " + averror(ret)};
    av_image_copy_plane(corner, -stride, s->out->data[0], s->out->linesize[0], 4 * f->width,
                        f->height);
    av_frame_unref(s->out);
    if (s->squareonly) s->copyoutside(rgba);
    return {};
}

std::string songtitle(const Song& song) {
    Input in;
    std::string title = opensong(song.path.c_str(), in) ? tag(in.fc, "title") : "";
    return title.empty() ? song.title : title;
}

} // namespace starlume
