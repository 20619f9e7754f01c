// The show: everything one run of the stars is made of, whatever stage shows
// it (a window, a video, a page). A stage assembles it from a source of
// sound, a clock and a target, and calls one pass at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "core/app/cli.h"
#include "core/audio/analysis.h"
#include "core/audio/source.h"
#include "core/clock/clock.h"
#include "core/clock/videoclock.h"
#include "core/input/commands.h"
#include "core/input/events.h"
#include "core/render/frame.h"
#include "core/render/palette.h"
#include "core/world/world.h"

namespace starlume {

struct Show {
    World world;
    Analysis analysis;
    Palette palette;
    Clock clock;
    Frame frame;
    std::unique_ptr<Source> source = std::make_unique<Silence>();
    // While P holds the dance the music plays on (a video): the blocks that
    // come due are read and dropped, so that the dance resumes in step.
    // Otherwise P stops the music and its clock, and no block comes due.
    bool musicplayson = false;
};

// The show is large (the stars' arrays): it lives on the heap.
std::unique_ptr<Show> makeshow();

// What every run starts with, in this order: the grid, the transition steps
// (before seeding, so they are the same on every run), the seed (from the
// clock unless given) and the stars per side of --stars. Returns the seed.
unsigned startshow(Show& s, const Args& args);

// One simulation pass at nowms on the clock's scale: the source polled, at
// most one block read if one is due (levels, then the floor kicks), then the
// step. Returns whether a block was read.
bool pass(Show& s, double nowms);

// Presses keys as if in the window, in order; true when one of them quits.
bool presskeys(Show& s, std::string_view keys, const Io& io);

// A video's show of music (decoded, stereo), its stars' square at its
// --size and --fit, with --keys pressed: the analysis clock is centred on the music position (a
// file has no way out to wait for: a block comes due when the music reaches its middle, as in the
// window when it is heard) and the music plays on while P holds the dance.
void startvideo(Show& s, const Args& args, std::span<const std::int16_t> music, const Io& io);

// The dance up to a point of the music, by a video's clock: each pass moves
// the position on and runs the show's pass there, and an event (a take's,
// --at's) is applied after the first pass whose position reaches its time.
// A video runs it to each frame; anything else that wants the stars at a
// given moment runs it there, and the same passes give the same stars
// however they are split. What only a stage can do (the song keys,
// fullscreen, quit) does nothing here.
class Dance {
  public:
    // Keeps references to the clock, the show and io; events in time order.
    Dance(const Videoclock& clock, Show& show, std::vector<Event> events, const Io& io)
        : clock_(clock), show_(show), events_(std::move(events)), io_(io) {}

    // Runs passes until upto have run since the start, applying the events
    // due on the way, those due before the first pass included.
    void runto(std::int64_t upto);

    // Runs the passes before frame k of the video.
    void toframe(std::int64_t k) { runto(clock_.passesbefore(k)); }

    // Passes run so far, and the music position they reached.
    std::int64_t passes() const { return pass_; }
    double positionms() const { return clock_.positionms(pass_); }

  private:
    void applydue();

    const Videoclock& clock_;
    Show& show_;
    std::vector<Event> events_;
    const Io& io_;
    std::int64_t pass_ = 0;
    std::size_t next_ = 0; // the first event not applied yet
};

} // namespace starlume
