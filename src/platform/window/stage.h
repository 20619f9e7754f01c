// The window stage: a GLUT window around a show. The event loop's callbacks
// are one-line adapters over it; the clock is the wall clock, each pass
// sleeps 400 us, and a frame is drawn at most every 15 ms.
#pragma once

#include "core/app/cli.h"
#include "core/app/show.h"
#include "core/clock/clock.h"

namespace starlume {

// The window's analysis clock: the wall clock in whole milliseconds.
double clockms();

// The sound a window runs on: what P does to it and to the clock, and what
// the clock does before every pass.
class Windowsound {
  public:
    virtual ~Windowsound() = default;
    virtual void pause(Clock& c) = 0;
    virtual void resume(Clock& c, double picturems) = 0;
    virtual void follow(Clock&, double /*picturems*/) {}
    // The music heard at nowms in this song, ms, pauses left out.
    virtual double heard(const Clock& c, double nowms, bool paused) {
        return heardms(c, nowms, paused);
    }
    // The keys of a list of songs: the next one, the one before.
    virtual void next() {}
    virtual void previous() {}
};

// Sound that stands still with P, and its clock with it.
class Stillclock : public Windowsound {
  public:
    void pause(Clock& c) override;
    void resume(Clock& c, double picturems) override;
};

// The show both window runs start from: the world as the options set it up,
// and the banner on the console; with --record, the take's header.
Show& windowshow(const Args& args);

// How long after a pass a change it makes shows on the screen, ms: waiting
// for the redraw gate, then drawing and showing the frame.
double picturems();

// Opens the window, presses --keys and runs the event loop until Q, the
// window is closed or, recording, a SIGINT or SIGTERM; then the take is
// closed. Returns the exit status.
int runwindow(Args& args, Show& show, Windowsound& sound);

} // namespace starlume
