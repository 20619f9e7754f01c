// What a video lays under and over its stars: the song's picture or one
// given, blurred and darkened to fill the background, and the title and
// artist, composed by a libavfilter graph between readback and encoding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/app/cli.h"
#include "core/app/playlist.h"
#include "platform/video/encoder.h"

namespace starlume {

class Compose {
  public:
    Compose();
    ~Compose();
    Compose(const Compose&) = delete;
    Compose& operator=(const Compose&) = delete;

    // Reads the cover and the tags of the song as args ask (its list's
    // title when it has no title tag), and builds the graph for width x
    // height frames; touches no output file. Afterwards active() says
    // whether there is anything to compose.
    Failure open(const Song& song, const Args& args);

    bool active() const;
    // Whether a picture lies under the stars, which must then leave their
    // background transparent.
    bool hascover() const;

    // Lays the background under a drawn frame (width x height RGBA, bottom
    // row first, its background transparent) and the text over it, in place.
    Failure apply(std::uint8_t* rgba);

    struct State;

  private:
    std::unique_ptr<State> s;
};

// A song's own title: its title tag, else its list's title; "" for neither.
std::string songtitle(const Song& song);

} // namespace starlume
