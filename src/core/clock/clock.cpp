#include "core/clock/clock.h"

#include <cmath>

#include "core/audio/analysis.h"

namespace starlume {

bool blockdue(const Clock& c, double nowms) {
    return nowms - c.startm > blockperiod * c.framecounter;
}

double clocklead(double picturems) { return blockperiod / 2 + picturems; }

void setclock(Clock& c, double heardms, double lead) {
    c.startm = heardms - lead;
    c.lead = lead;
}

void setlead(Clock& c, double lead) {
    c.startm += c.lead - lead;
    c.lead = lead;
}

void followlead(Clock& c, double picturems) {
    const double lead = clocklead(picturems);
    if (std::fabs(lead - c.lead) >= 1) setlead(c, lead);
}

void pauseclock(Clock& c, double nowms) { c.pausedat = nowms; }

void resumeclock(Clock& c, double nowms) { c.startm += nowms - c.pausedat; }

double heardms(const Clock& c, double nowms, bool paused) {
    const double ms = (paused ? c.pausedat : nowms) - c.startm - c.lead;
    return ms > 0 ? ms : 0; // also while a clock waits for its music (-inf)
}

} // namespace starlume
