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

} // namespace starlume
