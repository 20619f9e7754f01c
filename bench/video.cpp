// The speed of a video, in one process: first every stage of a frame timed
// on its own (the frames run through the stages one after another, each
// stage waited for before the next), wall-clock and CPU time of every
// thread of the process; then the whole render of the same music to a
// file, its stages overlapped as the program runs them, as x real time.
//
//   starlume_videobench [--immediate] [--ssim] [render options] FILE
//
// Without --size it measures the two videos people post: 720p at 60 frames
// a second, and vertical at 30 with a generated cover and a title.
// --immediate draws glyph by glyph, as the window does; --ssim also renders
// the music losslessly and compares.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "core/app/cli.h"
#include "core/app/exits.h"
#include "core/app/show.h"
#include "core/clock/videoclock.h"
#include "platform/files/decoder.h"
#include "platform/gl/draw.h"
#include "platform/video/batch.h"
#include "platform/video/compose.h"
#include "platform/video/encoder.h"
#include "platform/video/offscreen.h"
#include "platform/video/render.h"

using namespace starlume;

namespace {

using clock_ = std::chrono::steady_clock;

// CPU time of every thread of the process so far, in seconds: Mesa's
// rasteriser threads and x264's count with the one that waits for them.
double cpuseconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int noelapsed() { return 0; }
void nothing() {}

struct Stage {
    const char* name;
    double wall = 0, cpu = 0; // seconds, summed over the frames
};

// Times what follows until the next mark against the stage it names.
class Stopwatch {
  public:
    void mark(Stage* next) {
        const auto now = clock_::now();
        const double cpu = cpuseconds();
        if (current != nullptr) {
            current->wall += std::chrono::duration<double>(now - since).count();
            current->cpu += cpu - cpusince;
        }
        current = next;
        since = now;
        cpusince = cpu;
    }

  private:
    Stage* current = nullptr;
    clock_::time_point since;
    double cpusince = 0;
};

[[noreturn]] void quit(int status, const std::string& why) {
    std::fprintf(stderr, "starlume_videobench: %s\n", why.c_str());
    std::exit(status);
}

// Every frame of the video through the stages one at a time.
void stages(const Args& args, const std::vector<std::int16_t>& music, bool immediate) {
    const Videoclock timeline(args.passes, args.fps, static_cast<std::int64_t>(music.size() / 2));
    Compose dressing;
    if (Failure e = dressing.open(Song{args.path, ""}, args)) quit(e.status, e.message);
    Offscreen target;
    if (std::string error; !target.open(args.width, args.height,
                                        starsquare(args.width, args.height, args.stretch), error)) {
        quit(exitunavailable, error);
    }
    char out[] = "/tmp/starlume-videobench-XXXXXX.mp4";
    const int fd = mkstemps(out, 4);
    if (fd < 0) quit(exitcantcreate, "no temporary file");
    close(fd);
    Encoder encoder;
    if (Failure e = encoder.open(out, args.width, args.height, args.fps, videosettings(args),
                                 args.transparent)) {
        quit(e.status, e.message);
    }
    const Io io{stdin, stdout, noelapsed, nothing, nothing};
    const auto show = makeshow();
    startvideo(*show, args, music, io);
    setglstate();
    if (args.transparent || dressing.hascover()) setclearalpha(0);
    Dance dance(timeline, *show, timedevents(args.at), io);
    Batch batch;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(args.width) * args.height * 4);
    Stage passes{"passes"}, build{"frame data"}, submit{"drawing calls"}, raster{"rasterising"},
        resolve{"MSAA resolve"}, read{"readback"}, compose{"composition"},
        convert{"colour conversion"}, x264{"x264"};
    Stopwatch w;
    for (std::int64_t k = 0; k < timeline.frames(); k++) {
        w.mark(&passes);
        dance.toframe(k);
        w.mark(&build);
        buildframe(show->frame, show->world, show->palette);
        w.mark(&submit);
        target.clear();
        if (immediate) {
            drawframe(show->frame);
        } else {
            batch.draw(show->frame, target);
        }
        glFlush();
        w.mark(&raster);
        glFinish();
        w.mark(&resolve);
        target.resolve();
        glFinish();
        w.mark(&read);
        target.read(pixels.data());
        w.mark(&compose);
        if (dressing.active()) dressing.apply(pixels.data());
        w.mark(&convert);
        encoder.convert(pixels.data());
        w.mark(&x264);
        encoder.encode();
        w.mark(nullptr);
    }
    encoder.finish();
    unlink(out);
    const auto frames = static_cast<double>(timeline.frames());
    double wall = 0, cpu = 0;
    std::printf("  %-18s %9s %9s\n", "stage, a frame", "wall ms", "CPU ms");
    for (const Stage* s :
         {&passes, &build, &submit, &raster, &resolve, &read, &compose, &convert, &x264}) {
        std::printf("  %-18s %9.2f %9.2f\n", s->name, 1e3 * s->wall / frames,
                    1e3 * s->cpu / frames);
        wall += s->wall;
        cpu += s->cpu;
    }
    std::printf("  %-18s %9.2f %9.2f  (one at a time: %.2fx real time)\n", "all",
                1e3 * wall / frames, 1e3 * cpu / frames, frames / args.fps / wall);
}

// The mean SSIM of a video's picture against another's, by ffmpeg's filter.
// Frames are paired by their number: Matroska starts the video after the
// AAC encoder's delay and MP4 at zero, and pairing by time would compare
// each frame with its neighbour.
double ssim(const char* video, const char* reference) {
    const std::string command =
        std::string("ffmpeg -v info -nostats -i '") + video + "' -i '" + reference +
        "' -lavfi '[0:v]setpts=N/FRAME_RATE/TB[a];[1:v]setpts=N/FRAME_RATE/TB[b];[a][b]ssim'"
        " -f null - 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return 0;
    char line[512];
    double all = 0;
    while (std::fgets(line, sizeof line, p) != nullptr) {
        if (const char* at = std::strstr(line, " All:")) all = std::atof(at + 5);
    }
    pclose(p);
    return all;
}

double megabytes(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? static_cast<double>(st.st_size) / 1e6 : 0;
}

// The whole render, as the program runs it.
void whole(Args args, const std::vector<std::int16_t>& music, bool withssim) {
    char out[] = "/tmp/starlume-videobench-XXXXXX.mp4";
    const int fd = mkstemps(out, 4);
    if (fd < 0) quit(exitcantcreate, "no temporary file");
    close(fd);
    args.out = out;
    const auto start = clock_::now();
    const double cpu = cpuseconds();
    if (const int status = renderrun(args); status != 0) quit(status, "the render failed");
    const double seconds = std::chrono::duration<double>(clock_::now() - start).count();
    const Videoclock timeline(args.passes, args.fps, static_cast<std::int64_t>(music.size() / 2));
    const auto frames = static_cast<double>(timeline.frames());
    const double mb = megabytes(out);
    std::printf("  whole render: %.1f frames/s, %.2fx real time, %.1f ms of CPU a frame; "
                "%.1f MB, %.2f Mb/s\n",
                frames / seconds, frames / args.fps / seconds, 1e3 * (cpuseconds() - cpu) / frames,
                mb, 8 * mb / (frames / args.fps));
    std::fflush(stdout);
    if (withssim) {
        char lossless[] = "/tmp/starlume-videobench-XXXXXX.mkv";
        const int fd2 = mkstemps(lossless, 4);
        if (fd2 < 0) quit(exitcantcreate, "no temporary file");
        close(fd2);
        args.out = lossless;
        args.quality = 0;
        args.preset = "ultrafast";
        if (renderrun(args) == 0) {
            std::printf("  SSIM against lossless: %.4f\n", ssim(out, lossless));
        }
        unlink(lossless);
    }
    unlink(out);
}

// A cover for the vertical video: a colourful picture, made by ffmpeg.
std::string makecover() {
    const std::string path = "/tmp/starlume-videobench-cover-" + std::to_string(getpid()) + ".png";
    const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=s=1000x1000 "
                                "-frames:v 1 '" +
                                path + "'";
    if (std::system(command.c_str()) != 0) quit(exitunavailable, "ffmpeg made no cover");
    return path;
}

void bench(std::vector<std::string> options, const char* file, bool immediate, bool withssim) {
    std::vector<char*> argv{const_cast<char*>("starlume"), const_cast<char*>("--render"),
                            const_cast<char*>("/dev/null"), const_cast<char*>("--seed"),
                            const_cast<char*>("1")};
    for (std::string& o : options) argv.push_back(o.data());
    argv.push_back(const_cast<char*>(file));
    const Args args = parseargs(static_cast<int>(argv.size()), argv.data());
    if (args.action != Args::render) quit(exitusage, args.error);
    std::printf("%dx%d, %d frames a second:", args.width, args.height, args.fps);
    for (std::size_t i = 5; i + 1 < argv.size(); i++) std::printf(" %s", argv[i]);
    std::printf("%s\n", immediate ? " (glyph by glyph)" : "");
    std::fflush(stdout);
    const std::vector<std::int16_t> music = decodeall(args.path);
    if (music.empty()) quit(exitnofile, std::string("no sound in '") + file + "'");
    stages(args, music, immediate);
    std::fflush(stdout);
    whole(args, music, withssim);
}

} // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_QUIET);
    bool immediate = false, withssim = false, sized = false;
    std::vector<std::string> options;
    for (int i = 1; i + 1 < argc; i++) {
        const std::string o = argv[i];
        if (o == "--immediate") {
            immediate = true;
        } else if (o == "--ssim") {
            withssim = true;
        } else {
            sized = sized || o == "--size" || o.rfind("--size=", 0) == 0;
            options.push_back(o);
        }
    }
    if (argc < 2)
        quit(exitusage, "usage: starlume_videobench [--immediate] [--ssim] "
                        "[render options] FILE");
    const char* file = argv[argc - 1];
    if (sized) {
        bench(options, file, immediate, withssim);
        return 0;
    }
    std::vector<std::string> wide{"--size", "720p", "--fps", "60", "--stars", "75"};
    wide.insert(wide.end(), options.begin(), options.end());
    bench(wide, file, immediate, withssim);
    const std::string cover = makecover();
    std::vector<std::string> tall{"--size",   "vertical", "--fps", "30",      "--stars",
                                  "75",       "--cover",  cover,   "--title", "Étoiles · Ἀστέρες",
                                  "--artist", "Starlume"};
    tall.insert(tall.end(), options.begin(), options.end());
    bench(tall, file, immediate, withssim);
    unlink(cover.c_str());
    return 0;
}
