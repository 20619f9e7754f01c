// The analysis clock: when the next block of sound comes due. Its time is
// milliseconds on whatever scale the stage keeps (the wall clock in the
// window, the music position in a video); nothing here reads a clock.
#pragma once

namespace starlume {

struct Clock {
    double startm = 0;    // origin, ms on the stage's scale
    int framecounter = 1; // number of the next block to come due
    double pausedat = 0;  // when the music was paused
    double lead = 0;      // ms the clock runs ahead of the music heard
};

// Whether the next block is due at time nowms.
bool blockdue(const Clock& c, double nowms);

// How far ahead of the heard music the clock runs, ms: half a block, so a
// block comes due when its middle is heard, and the time the picture takes
// to show a kick (picturems).
double clocklead(double picturems);

// Sets the clock so that blocks come due lead ms ahead of the music heard
// from heardms on.
void setclock(Clock& c, double heardms, double lead);

// Changes only the lead, keeping where the music is heard and the pauses.
void setlead(Clock& c, double lead);

// The lead for a picture that takes picturems to show, once it differs by a
// millisecond or more: the clock follows the drawing time, not its jitter.
void followlead(Clock& c, double picturems);

// The clock stands still while the music is paused, so that the blocks
// resume where the music does.
void pauseclock(Clock& c, double nowms);
void resumeclock(Clock& c, double nowms);

// The music heard at nowms, ms from its start, pauses left out: where the
// position stood when paused; 0 before the clock is set.
double heardms(const Clock& c, double nowms, bool paused);

} // namespace starlume
