// Live sound at another rate than the analysis's, resampled by the one
// resampler the decoders use.
#include <gtest/gtest.h>

#include "core/audio/newest.h"
#include "platform/files/resampler.h"
#include "sound.h"

using namespace starlume;
using namespace testsupport;

TEST(Newest, ResampledTo44100FromAnyRate) {
    // Up to a frame late at 215 Hz.
    const Devicecase cases[] = {{{48000, 0x8010, 2}, "LR", 1, 600},
                                {{22050, 0x8120, 2}, "LR", 1, 600},
                                {{96000, 0x8010, 2}, "LR", 1, 600},
                                {{8000, 0x8010, 2}, "LR", 1, 600}};
    for (const Devicecase& c : cases) {
        Newest newest(c.f, makeresampler(c.f.rate)), whole(c.f, makeresampler(c.f.rate));
        EXPECT_LE(newestblock(c, newest, whole), c.tolerance) << c.f.rate << " Hz";
    }
}
