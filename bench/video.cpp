// The speed of a video, in one process: frames per second of the drawing
// alone (the frames drawn offscreen and read back, the simulation that moves
// the stars between them left out of the time) against the whole render of
// the same music to a file, and the ratio of the two.
//
//   starlume_videobench [--size WxH] [--fps N] [--stars N] [--keys K] FILE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/app/cli.h"
#include "core/app/exits.h"
#include "core/app/show.h"
#include "core/clock/videoclock.h"
#include "platform/files/decoder.h"
#include "platform/gl/draw.h"
#include "platform/video/offscreen.h"
#include "platform/video/render.h"

using namespace starlume;

namespace {

using clock_ = std::chrono::steady_clock;

// CPU time of every thread of the process so far, in seconds.
double cpuseconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int noelapsed() { return 0; }
void nothing() {}

// Frames per second of the drawing and readback of every frame of the
// video; the passes between frames run untimed.
double drawingalone(const Args& args, const std::vector<std::int16_t>& music) {
    const Videoclock timeline(args.passes, args.fps, static_cast<std::int64_t>(music.size() / 2));
    Offscreen target;
    std::string error;
    if (!target.open(args.width, args.height, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(exitunavailable);
    }
    const Io io{stdin, stdout, noelapsed, nothing, nothing};
    const auto show = makeshow();
    startvideo(*show, args, music, io);
    setglstate();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(args.width) * args.height * 4);
    clock_::duration drawing{};
    double drawingcpu = 0;
    Dance dance(timeline, *show, timedevents(args.at), io);
    for (std::int64_t k = 0; k < timeline.frames(); k++) {
        dance.toframe(k);
        const auto start = clock_::now();
        const double cpu = cpuseconds();
        drawstars(*show);
        target.readback(pixels.data());
        drawing += clock_::now() - start;
        drawingcpu += cpuseconds() - cpu;
    }
    const auto frames = static_cast<double>(timeline.frames());
    const double fps = frames / std::chrono::duration<double>(drawing).count();
    std::printf("drawing alone: %.1f frames/s, %.1f ms of CPU a frame\n", fps,
                1e3 * drawingcpu / frames);
    return fps;
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

} // namespace

int main(int argc, char** argv) {
    char out[] = "/tmp/starlume-videobench-XXXXXX.mp4";
    const int fd = mkstemps(out, 4);
    if (fd < 0) return 1;
    close(fd);
    std::vector<char*> full{argv[0], const_cast<char*>("--render"), out,
                            const_cast<char*>("--seed"), const_cast<char*>("1")};
    for (int i = 1; i < argc; i++) full.push_back(argv[i]);
    Args args = parseargs(static_cast<int>(full.size()), full.data());
    if (args.action != Args::render) {
        std::fprintf(stderr, "usage: starlume_videobench [render options] FILE (%s)\n",
                     args.error.c_str());
        return exitusage;
    }
    const std::vector<std::int16_t> music = decodeall(args.path);
    const double drawing = drawingalone(args, music);
    std::fflush(stdout);

    const auto start = clock_::now();
    const double cpu = cpuseconds();
    const int status = renderrun(args);
    const double seconds = std::chrono::duration<double>(clock_::now() - start).count();
    if (status != 0) return status;
    // The frames of the whole render are the drawing's.
    const Videoclock timeline(args.passes, args.fps, static_cast<std::int64_t>(music.size() / 2));
    const auto frames = static_cast<double>(timeline.frames());
    const double whole = frames / seconds;
    std::printf("whole render: %.1f frames/s (%.2fx real time), %.1f ms of CPU a frame\n"
                "ratio: %.2f\n",
                whole, whole / args.fps, 1e3 * (cpuseconds() - cpu) / frames, whole / drawing);

    // Its size, and its picture against the same frames encoded losslessly.
    const double mb = megabytes(out);
    std::printf("size: %.1f MB, %.2f Mb/s\n", mb, 8 * mb / (frames / args.fps));
    std::fflush(stdout);
    char lossless[] = "/tmp/starlume-videobench-XXXXXX.mkv";
    const int fd2 = mkstemps(lossless, 4);
    if (fd2 < 0) return 1;
    close(fd2);
    args.out = lossless;
    args.quality = 0;
    args.preset = "ultrafast";
    if (renderrun(args) == 0) std::printf("SSIM against lossless: %.4f\n", ssim(out, lossless));
    unlink(out);
    unlink(lossless);
    return 0;
}
