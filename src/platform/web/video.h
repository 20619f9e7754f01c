// The page's video: the native video's show, clock and dance, drawn by
// WebGL into a canvas of the video's size, one frame at a time as
// makevideo.js asks, which lays the cover and the text and encodes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/app/cli.h"
#include "core/app/show.h"
#include "core/clock/videoclock.h"
#include "core/input/events.h"
#include "core/render/lay.h"
#include "platform/web/webgl.h"

namespace starlume {

class Pagevideo {
  public:
    // A video of music (16-bit stereo at analysisrate) as args ask (size,
    // fps, passes, stars, seed, keys) with events played on it, drawn on
    // canvas (multisampled or not, as the page's first video found it);
    // transparent leaves the background for a cover. False when the browser
    // gives no WebGL for it.
    bool begin(const char* canvas, bool multisample, const Args& args,
               std::span<const std::int16_t> music, std::vector<Event> events, bool transparent);

    // Frames of the video, 0 before begin.
    std::int64_t frames() const { return clock ? clock->frames() : 0; }

    // What lies under the stars and over them (RGBA rows top first, the
    // frame's size, or null for none), copied; the cover wants a begin that
    // was transparent.
    void layers(const std::uint8_t* under, const std::uint8_t* over);

    // Dances to frame k, draws it and lays it: the frame as the encoder
    // takes it, I420 (BT.709, limited range), until the next. Frames come
    // in order.
    const std::uint8_t* draw(std::int64_t k);

    // Music frames that belong with frames 0 to k.
    std::int64_t musicthrough(std::int64_t k) const { return clock->musicthrough(k); }

    // Rows of the frame above the stars' square, where its text may go.
    int band() const { return band_; }

    // The dance and its show let go; the canvas's context stays for the next.
    void end();

    // The position of the dance, for F's report while it renders.
    double positionms() const { return dance ? dance->positionms() : 0; }

  private:
    Webgl gl;
    bool opened = false;
    std::unique_ptr<Show> show;
    std::unique_ptr<Videoclock> clock;
    std::unique_ptr<Dance> dance;
    int band_ = 0;
    int width = 0, height = 0;
    std::vector<std::uint8_t> under, over, stars, laid, i420;
    Layers lays;
};

} // namespace starlume
