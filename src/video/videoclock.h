// The clock of a video. There is no sound card to keep step with: the music
// position drives everything. Each simulation pass moves it on by a fixed
// share of a second, analysis blocks come due by it, timed keys are pressed
// when it reaches their time, and frame k is drawn at k / fps seconds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/cli.h"
#include "audio/analysis.h"
#include "audio/source.h"
#include "input/commands.h"
#include "render/palette.h"
#include "world/world.h"

namespace starlume {

class Videoclock {
  public:
    // passes: simulation passes per second of music; fps: frames per second
    // of video; musicframes: the music's length in frames at analysisrate.
    Videoclock(int passes, int fps, std::int64_t musicframes);

    // Frames of the video: as many as cover the music, the last one starting
    // before it ends, so the two lengths differ by less than a frame.
    std::int64_t frames() const { return frames_; }

    // Passes run before frame k is drawn: all whose position is at or
    // before k / fps seconds.
    std::int64_t passesbefore(std::int64_t k) const { return k * passes_ / fps_; }

    // The music position pass p moves to, in ms from the start of the music.
    double positionms(std::int64_t p) const { return 1000.0 * static_cast<double>(p) / passes_; }

    // Seconds of music at the end of video frame k.
    double seconds(std::int64_t k) const { return static_cast<double>(k + 1) / fps_; }

    // Music frames that belong with video frames 0 to k: up to the end of
    // frame k, at most the whole music.
    std::int64_t musicthrough(std::int64_t k) const;

    // The pass after which keys timed at seconds are pressed: the first
    // whose position reaches that time, so that the frame drawn at that time
    // shows them. 0 is before the first pass.
    std::int64_t keypass(double seconds) const;

  private:
    int passes_, fps_;
    std::int64_t music_, frames_;
};

// Frames of decoded music in the file at path, 0 when no decoder reads it:
// the length of its video.
std::int64_t musiclength(const char* path);

// The analysis of one pass at the music position nowms. While P holds the
// dance the music plays on regardless, so blocks that come due are read and
// dropped unanalysed: the dance resumes in step with the music.
void videoanalysis(Analysis& a, World& w, Source& from, double nowms);

// A video's scene at its --size: the stars as the options set them up with
// --keys pressed, and the analysis clock centred on the music (a file has no
// way out to wait for: a block comes due when the music reaches its middle,
// as in the window when it is heard). The state is large, so it lives on
// the heap.
struct Scene {
    Scene(const Args& args, const Io& io);
    std::unique_ptr<World> world = std::make_unique<World>();
    std::unique_ptr<Analysis> analysis = std::make_unique<Analysis>();
    std::unique_ptr<Palette> palette = std::make_unique<Palette>();
};

// The dance up to a point of the music, by the clock: each pass moves the
// position on, reads the block due by it and steps the stars, and keys timed
// at a position are pressed after the pass that reaches it. A video runs it
// to each frame; anything else that wants the stars at a given moment runs
// it there, and the same passes give the same stars however they are split.
class Dance {
  public:
    // Keeps references to everything; at must stay in time order.
    Dance(const Videoclock& clock, World& w, Palette& p, Analysis& a, Source& from,
          const std::vector<Timedkeys>& at, const Io& io)
        : clock_(clock), w_(w), p_(p), a_(a), from_(from), at_(at), io_(io) {}

    // Runs passes until upto have run since the start, pressing the keys due
    // on the way, those due before the first pass included.
    void runto(std::int64_t upto);

    // Runs the passes before frame k of the video.
    void toframe(std::int64_t k) { runto(clock_.passesbefore(k)); }

    // Passes run so far, and the music position they reached.
    std::int64_t passes() const { return pass_; }
    double positionms() const { return clock_.positionms(pass_); }

  private:
    void presstimed();

    const Videoclock& clock_;
    World& w_;
    Palette& p_;
    Analysis& a_;
    Source& from_;
    const std::vector<Timedkeys>& at_;
    const Io& io_;
    std::int64_t pass_ = 0;
    std::size_t next_ = 0; // the first timed keys not pressed yet
};

// A duration as the progress line shows it: "0:07", "12:34", "1:02:03".
std::string clocktext(double seconds);

// The progress line on a terminal: percent, frame n of total, speed as a
// multiple of real time and the time left.
std::string progressline(std::int64_t done, std::int64_t total, double videoseconds,
                         double wallseconds);

} // namespace starlume
