// Writes a video file: H.264 video through libx264 and AAC sound, in the
// container that the file name's extension picks, shaped like libavformat's
// muxing example: open, add the streams, write frames, finish. A transparent
// video is VP9 with alpha and Vorbis sound in WebM, or ProRes 4444 and AAC
// sound in QuickTime.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/app/cli.h"
#include "core/app/exits.h"

namespace starlume {

// What went wrong, with the exit status it gives.
struct Failure {
    int status = 0; // 0: none
    std::string message;
    explicit operator bool() const { return status != 0; }
};

// A chapter of the video: from start to end, in frames of sound at 44100 Hz
// from the video's start, and its title.
struct Chaptermark {
    std::int64_t start, end;
    std::string title;
};

class Encoder {
  public:
    Encoder();
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Whether the container that path's extension names can hold H.264 and
    // AAC, or with transparency is WebM or QuickTime; touches no file.
    static Failure fits(const char* path, bool transparent = false);

    // Whether path names a QuickTime file, which a transparent video makes
    // with ProRes.
    static bool prores(const char* path);

    // Finds the encoders and opens them for width x height at fps frames a
    // second with x264's settings (VP9 takes their quality) and stereo sound
    // at 44100 Hz; then creates the file and writes the container's header,
    // which holds the chapters (an MP4 file's chapter track is made then).
    Failure open(const char* path, int width, int height, int fps, const Videosettings& x264,
                 bool transparent = false, const std::vector<Chaptermark>& chapters = {});

    // The next frame: width x height RGBA pixels, bottom row first; the
    // alpha is kept only by a transparent video.
    Failure video(const std::uint8_t* rgba) {
        if (Failure e = convert(rgba)) return e;
        return encode();
    }

    // The two halves of video, for timing them apart: the pixels converted
    // into the encoder's frame, then that frame encoded.
    Failure convert(const std::uint8_t* rgba);
    Failure encode();

    // The next count stereo frames of sound, interleaved.
    Failure audio(const std::int16_t* frames, int count);

    // Drains the encoders, writes the container's trailer and closes the file.
    Failure finish();

    // Whether open got as far as creating the file.
    bool created() const;

    struct State;

  private:
    std::unique_ptr<State> s;
};

} // namespace starlume
