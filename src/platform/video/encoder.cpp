#include "platform/video/encoder.h"

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "core/audio/convert.h"

namespace starlume {

namespace {

// x264's settings and why are in videosettings; the sound is AAC at this
// bit rate, stereo, 44100 Hz.
constexpr int soundbitrate = 192000;

const Failure nomemory{exitunavailable, "out of memory"};

std::string averror(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The encoders of a video and the pixels its video takes.
struct Codecs {
    const char* video;
    const char* videoname; // as messages say it
    AVPixelFormat pixels;
    const char* sound;
    const char* soundname;
};
constexpr Codecs h264{"libx264", "H.264", AV_PIX_FMT_YUV420P, "aac", "AAC"};
// The two that keep an alpha channel, each in the container that people
// lay over their own video.
constexpr Codecs vp9{"libvpx-vp9", "VP9", AV_PIX_FMT_YUVA420P, "libvorbis", "Vorbis"};
constexpr Codecs prores4444{"prores_ks", "ProRes 4444", AV_PIX_FMT_YUVA444P10LE, "aac", "AAC"};

// The container's name that path's extension picks; "" for none.
std::string containerof(const char* path) {
    AVFormatContext* oc = nullptr;
    avformat_alloc_output_context2(&oc, nullptr, nullptr, path);
    if (oc == nullptr) return "";
    std::string name = oc->oformat->name;
    avformat_free_context(oc);
    return name;
}

const Codecs& codecsfor(const std::string& container, bool transparent) {
    if (!transparent) return h264;
    return container == "mov" ? prores4444 : vp9;
}

struct Stream {
    AVStream* st = nullptr;
    AVCodecContext* enc = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t next = 0; // pts of the next frame

    ~Stream() {
        avcodec_free_context(&enc);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

} // namespace

struct Encoder::State {
    AVFormatContext* oc = nullptr;
    Stream video, audio;
    SwsContext* sws = nullptr;
    std::vector<float> pending[2]; // sound not yet a whole encoder frame, per side
    std::string path;
    const Codecs* codecs = &h264;
    int width = 0, height = 0;
    bool created = false; // the file was created
    bool opened = false;  // and is open

    ~State() {
        sws_freeContext(sws);
        if (oc != nullptr) {
            if (opened) avio_closep(&oc->pb);
            avformat_free_context(oc);
        }
    }

    // A stream in the container with its encoder, packet and frame.
    bool addstream(Stream& st, const AVCodec* codec) {
        st.packet = av_packet_alloc();
        st.frame = av_frame_alloc();
        st.st = avformat_new_stream(oc, nullptr);
        st.enc = avcodec_alloc_context3(codec);
        if (st.enc != nullptr && (oc->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            st.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        return st.packet != nullptr && st.frame != nullptr && st.st != nullptr && st.enc != nullptr;
    }

    // The encoder's own settings: x264's as chosen; VP9 at x264's quality
    // as its constant quality, as fast as it goes; ProRes 4444 with its
    // alpha.
    AVDictionary* settings(const Videosettings& x264) const {
        AVDictionary* options = nullptr;
        if (codecs == &h264) {
            av_dict_set(&options, "preset", x264.preset.c_str(), 0);
            av_dict_set_int(&options, "crf", x264.quality, 0);
            if (!x264.params.empty()) {
                av_dict_set(&options, "x264-params", x264.params.c_str(), 0);
            }
        } else if (codecs == &vp9) {
            av_dict_set_int(&options, "crf", x264.quality, 0);
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set_int(&options, "cpu-used", 8, 0);
            av_dict_set_int(&options, "row-mt", 1, 0);
            // Realtime looks no frames ahead anyway; held back, they only
            // cost memory (a tenth of a GB at 720p).
            av_dict_set_int(&options, "lag-in-frames", 0, 0);
        } else {
            av_dict_set(&options, "profile", "4444", 0);
        }
        return options;
    }

    // The video at fps frames a second, BT.709, and the conversion from the
    // read-back pixels.
    Failure openvideo(const AVCodec* codec, int fps, const Videosettings& x264) {
        AVCodecContext* v = video.enc;
        v->width = width;
        v->height = height;
        v->time_base = AVRational{1, fps};
        v->framerate = AVRational{fps, 1};
        v->pix_fmt = codecs->pixels;
        if (codecs == &vp9) v->bit_rate = 0; // its constant quality needs no bit rate
        v->color_range = AVCOL_RANGE_MPEG;
        v->colorspace = AVCOL_SPC_BT709;
        v->color_primaries = AVCOL_PRI_BT709;
        v->color_trc = AVCOL_TRC_BT709;
        // ProRes, the slowest of the encoders, takes the cores that drawing
        // leaves; the others keep to one.
        v->thread_count = codecs == &prores4444 ? 0 : 1;
        video.st->time_base = v->time_base;
        video.st->avg_frame_rate = v->framerate;
        AVDictionary* options = settings(x264);
        const int ret = avcodec_open2(v, codec, &options);
        av_dict_free(&options);
        if (ret < 0) {
            return {exitunavailable,
                    std::string(codecs->video) + " refused the video: " + averror(ret)};
        }

        AVFrame* f = video.frame;
        f->format = v->pix_fmt;
        f->width = width;
        f->height = height;
        f->color_range = v->color_range;
        f->colorspace = v->colorspace;
        f->color_primaries = v->color_primaries;
        f->color_trc = v->color_trc;
        if (av_frame_get_buffer(f, 0) < 0 ||
            avcodec_parameters_from_context(video.st->codecpar, v) < 0) {
            return nomemory;
        }
        // The pixels are full-range RGB; the video is limited-range BT.709, as
        // its tags say.
        sws = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, codecs->pixels,
                             SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (sws == nullptr) return nomemory;
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(sws, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        return {};
    }

    // AAC or Vorbis, stereo at 44100 Hz.
    Failure openaudio(const AVCodec* codec) {
        AVCodecContext* a = audio.enc;
        a->sample_fmt = AV_SAMPLE_FMT_FLTP;
        a->sample_rate = analysisrate;
        a->bit_rate = soundbitrate;
        av_channel_layout_default(&a->ch_layout, 2);
        a->time_base = AVRational{1, analysisrate};
        audio.st->time_base = a->time_base;
        if (const int ret = avcodec_open2(a, codec, nullptr); ret < 0) {
            return {exitunavailable, std::string("the ") + codecs->soundname +
                                         " encoder refused the sound: " + averror(ret)};
        }
        AVFrame* af = audio.frame;
        af->format = a->sample_fmt;
        af->sample_rate = a->sample_rate;
        af->nb_samples = a->frame_size;
        av_channel_layout_copy(&af->ch_layout, &a->ch_layout);
        if (av_frame_get_buffer(af, 0) < 0 ||
            avcodec_parameters_from_context(audio.st->codecpar, a) < 0) {
            return nomemory;
        }
        return {};
    }

    // The chapters, which the context frees with itself.
    bool addchapters(const std::vector<Chaptermark>& chapters) {
        for (const Chaptermark& c : chapters) {
            auto* ch = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (ch == nullptr) return false;
            void* grown = av_realloc_array(oc->chapters, oc->nb_chapters + 1, sizeof ch);
            if (grown == nullptr) {
                av_free(ch);
                return false;
            }
            oc->chapters = static_cast<AVChapter**>(grown);
            oc->chapters[oc->nb_chapters++] = ch;
            ch->id = oc->nb_chapters;
            ch->time_base = AVRational{1, analysisrate};
            ch->start = c.start;
            ch->end = c.end;
            if (av_dict_set(&ch->metadata, "title", c.title.c_str(), 0) < 0) return false;
        }
        return true;
    }

    // Creates the file and writes the container's header.
    Failure openfile() {
        // Always a file: "a:b.mp4" names no protocol "a".
        int ret = avio_open(&oc->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE);
        if (ret < 0) return {exitcantcreate, "cannot create '" + path + "': " + averror(ret)};
        created = opened = true;
        if ((ret = avformat_write_header(oc, nullptr)) < 0) {
            if (oc->pb->error < 0) return ioerror(oc->pb->error);
            return {exitusage, std::string("the ") + oc->oformat->name + " container refused " +
                                   codecs->videoname + " video and " + codecs->soundname +
                                   " sound (" + averror(ret) + "); use .mp4 or .mkv"};
        }
        return {};
    }

    Failure ioerror(int code) const {
        return {exitioerror, "writing '" + path + "' failed: " + averror(code)};
    }

    // Sends frame (nullptr: the end) and writes every packet that comes out.
    Failure send(Stream& s, AVFrame* frame) {
        int ret = avcodec_send_frame(s.enc, frame);
        while (ret >= 0) {
            ret = avcodec_receive_packet(s.enc, s.packet);
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return {};
            if (ret < 0) break;
            av_packet_rescale_ts(s.packet, s.enc->time_base, s.st->time_base);
            s.packet->stream_index = s.st->index;
            ret = av_interleaved_write_frame(oc, s.packet);
            if (ret < 0)
                return ioerror(oc->pb != nullptr && oc->pb->error < 0 ? oc->pb->error : ret);
        }
        return {exitioerror, "encoding '" + path + "' failed: " + averror(ret)};
    }

    // Encodes count frames of the pending sound.
    Failure soundframe(int count) {
        AVFrame* f = audio.frame;
        if (int ret = av_frame_make_writable(f); ret < 0) return ioerror(ret);
        f->nb_samples = count;
        for (int c = 0; c < 2; c++) {
            auto* plane = reinterpret_cast<float*>(f->data[c]);
            std::copy(pending[c].begin(), pending[c].begin() + count, plane);
            pending[c].erase(pending[c].begin(), pending[c].begin() + count);
        }
        f->pts = audio.next;
        audio.next += count;
        return send(audio, f);
    }
};

Encoder::Encoder() : s(std::make_unique<State>()) {}
Encoder::~Encoder() = default;

Failure Encoder::fits(const char* path, bool transparent) {
    if (transparent) {
        const std::string name = containerof(path);
        if (name == "webm" || name == "mov") return {};
        return {exitusage,
                name == "mp4" ? std::string("--transparent needs .webm or .mov: the H.264 video "
                                            "of an mp4 file has no transparency")
                : name.empty()
                    ? "--transparent needs .webm or .mov, not '" + std::string(path) + "'"
                    : "--transparent needs .webm or .mov, not the " + name + " container"};
    }
    AVFormatContext* oc = nullptr;
    avformat_alloc_output_context2(&oc, nullptr, nullptr, path);
    if (oc == nullptr) {
        return {exitusage, std::string("no container is known by the name of '") + path +
                               "'; give it an extension such as .mp4 or .mkv"};
    }
    const AVOutputFormat* f = oc->oformat;
    // Unsure answers (the container keeps no list) are left to its header.
    const int video = avformat_query_codec(f, AV_CODEC_ID_H264, FF_COMPLIANCE_NORMAL);
    const int sound = avformat_query_codec(f, AV_CODEC_ID_AAC, FF_COMPLIANCE_NORMAL);
    const std::string name = f->name;
    const bool nofile = (f->flags & AVFMT_NOFILE) != 0;
    avformat_free_context(oc);
    if (video == 0 || sound == 0 || nofile) {
        return {exitusage,
                "the " + name +
                    " container cannot hold H.264 video and AAC sound; use .mp4 or .mkv"};
    }
    return {};
}

bool Encoder::prores(const char* path) { return containerof(path) == "mov"; }

Failure Encoder::open(const char* path, int width, int height, int fps, const Videosettings& x264,
                      bool transparent, const std::vector<Chaptermark>& chapters) {
    s->path = path;
    s->width = width;
    s->height = height;
    avformat_alloc_output_context2(&s->oc, nullptr, nullptr, path);
    if (s->oc == nullptr) return fits(path, transparent);
    const Codecs& codecs = codecsfor(s->oc->oformat->name, transparent);
    s->codecs = &codecs;
    const AVCodec* video = avcodec_find_encoder_by_name(codecs.video);
    const AVCodec* sound = avcodec_find_encoder_by_name(codecs.sound);
    if (video == nullptr || sound == nullptr) {
        const char* missing = video == nullptr ? codecs.video : codecs.sound;
        const char* name = video == nullptr ? codecs.videoname : codecs.soundname;
        return {exitunavailable,
                std::string("this FFmpeg has no ") + missing + " (" + name + ") encoder"};
    }
    if (!s->addstream(s->video, video) || !s->addstream(s->audio, sound)) return nomemory;
    if (Failure e = s->openvideo(video, fps, x264)) return e;
    if (Failure e = s->openaudio(sound)) return e;
    if (!s->addchapters(chapters)) return nomemory;
    return s->openfile();
}

Failure Encoder::convert(const std::uint8_t* rgba) {
    AVFrame* f = s->video.frame;
    if (int ret = av_frame_make_writable(f); ret < 0) return s->ioerror(ret);
    // GL's rows run bottom up: start at the last row and step backwards.
    const int stride = 4 * s->width;
    const std::uint8_t* top = rgba + static_cast<std::ptrdiff_t>(s->height - 1) * stride;
    const int strides[1] = {-stride};
    sws_scale(s->sws, &top, strides, 0, s->height, f->data, f->linesize);
    return {};
}

Failure Encoder::encode() {
    AVFrame* f = s->video.frame;
    f->pts = s->video.next++;
    return s->send(s->video, f);
}

Failure Encoder::audio(const std::int16_t* frames, int count) {
    for (int i = 0; i < count; i++) {
        s->pending[0].push_back(static_cast<float>(frames[2 * i]) / 32768.0f);
        s->pending[1].push_back(static_cast<float>(frames[2 * i + 1]) / 32768.0f);
    }
    const int size = s->audio.enc->frame_size;
    while (static_cast<int>(s->pending[0].size()) >= size) {
        if (Failure e = s->soundframe(size)) return e;
    }
    return {};
}

Failure Encoder::finish() {
    // The encoder takes a short last frame, so the sound ends where it does.
    if (!s->pending[0].empty()) {
        if (Failure e = s->soundframe(static_cast<int>(s->pending[0].size()))) return e;
    }
    if (Failure e = s->send(s->video, nullptr)) return e;
    if (Failure e = s->send(s->audio, nullptr)) return e;
    int ret = av_write_trailer(s->oc);
    if (ret < 0) return s->ioerror(ret);
    s->opened = false;
    if ((ret = avio_closep(&s->oc->pb)) < 0) return s->ioerror(ret);
    return {};
}

bool Encoder::created() const { return s->created; }

} // namespace starlume
