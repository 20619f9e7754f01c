// The clock of a video. There is no sound card to keep step with: the music
// position drives everything. Each simulation pass moves it on by a fixed
// share of a second, analysis blocks come due by it, timed keys are pressed
// when it reaches their time, and frame k is drawn at k / fps seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

    // The first video frame that starts at or after music frame m: the
    // first that shows a song starting there.
    std::int64_t firstframe(std::int64_t m) const;

    // The pass after which keys timed at seconds are pressed: the first
    // whose position reaches that time, so that the frame drawn at that time
    // shows them. 0 is before the first pass.
    std::int64_t keypass(double seconds) const;

    int fps() const { return fps_; }
    // Frames of music in all.
    std::int64_t musicframes() const { return music_; }

  private:
    int passes_, fps_;
    std::int64_t music_, frames_;
};

// The part of a video that --from and --to keep: frames first to end (not
// included) of the whole video, the same frames, and the music from the
// start of the first to the end of the part.
struct Cut {
    std::int64_t first = 0, end = 0; // video frames
    std::int64_t from = 0, to = 0;   // music frames
    std::int64_t frames() const { return end - first; }
};

// The part between from and to (seconds, none: the start or the end; to
// past the end is the end). "" or why no frame is kept.
std::string cutvideo(const Videoclock& c, std::optional<double> from, std::optional<double> to,
                     Cut& cut);

// A run of the music (a song of several played back to back) as a part of
// the video keeps it: which run, and where it lies in the part, in music
// frames from the part's start.
struct Span {
    std::size_t index;
    std::int64_t start, end;
    bool operator==(const Span&) const = default;
};

// The runs that start at starts (in order, the first at 0, each ending where
// the next starts and the last at musicend) that the part keeps any of, each
// cut to the part.
std::vector<Span> partspans(const std::vector<std::int64_t>& starts, std::int64_t musicend,
                            const Cut& part);

// Fades the first and the last count frames of stereo sound in and out, so
// that a cut does not click.
void fadeends(std::int16_t* frames, std::int64_t length, std::int64_t count, bool in, bool out);

// A duration as the progress line shows it: "0:07", "12:34", "1:02:03".
std::string clocktext(double seconds);

// The progress line on a terminal: percent, frame n of total, speed as a
// multiple of real time and the time left.
std::string progressline(std::int64_t done, std::int64_t total, double videoseconds,
                         double wallseconds);

} // namespace starlume
