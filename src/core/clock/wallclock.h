// The one wall clock: milliseconds, to the microsecond, on the time of day's
// scale. The window's analysis clock takes it in whole milliseconds.
#pragma once

namespace starlume {

double wallms();

// Time as the window's clock keeps it, and waits; a seam so that the clock
// can be driven by a test.
class Wallclock {
  public:
    virtual ~Wallclock() = default;
    virtual double now() { return wallms(); }
    virtual void sleep(double ms);
};

} // namespace starlume
