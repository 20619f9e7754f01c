// The audio of a file as the analysis takes it: 16-bit stereo frames at
// 44100 Hz. Sound files are decoded by libsndfile (WAV in any layout, AIFF,
// FLAC, Ogg Vorbis, Opus, MP3, ...), mixed down to stereo and resampled;
// tracker modules (MOD, XM, S3M, IT, ...) are rendered by libopenmpt
// (module.h). Frames are made only as they are asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/audio/convert.h"
#include "core/audio/source.h"

namespace starlume {

// How often a module plays its song: once, or over and over as the player
// plays it. A sound file ends at its end either way.
enum class Repeat { once, forever };

// What a decoder tells of its file, for people to read.
struct Soundinfo {
    std::string format; // "FLAC", "Ogg Vorbis", "MP3", "ProTracker MOD (M.K.)", ...
    int channels = 0;   // in the file; a module's are its tracks
    int rate = 0;       // the file's; a module's is the rate it is rendered at
    double seconds = 0; // one pass of the music; 0 when the file does not say
};

class Decoder : public Source {
  public:
    // nullptr when no decoder recognises the file. libsndfile is asked
    // first, then libopenmpt; each refuses the other's files.
    static std::unique_ptr<Decoder> open(const char* path, Repeat repeat = Repeat::once);
    // The same over bytes in memory, which must outlive the decoder.
    static std::unique_ptr<Decoder> open(const unsigned char* data, std::size_t size,
                                         Repeat repeat = Repeat::once);

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Fills count interleaved frames, left first; silence after the end.
    void read(std::int16_t* frames, int count) final { decode(frames, count); }

    // The same, returning how many frames came from the file: fewer than
    // count only at its end.
    int decode(std::int16_t* frames, int count) {
        const int n = produce(frames, count);
        made += n;
        return n;
    }

    // Frames that came from the file so far, at 44100 Hz: at the end, set
    // against estimate, whether the file held all it announced.
    std::int64_t decoded() const { return made; }

    // About how many frames at 44100 Hz one pass holds, from the file's
    // header; 0 when it does not say.
    virtual std::int64_t estimate() const = 0;

    virtual Soundinfo info() const = 0;

  protected:
    virtual int produce(std::int16_t* frames, int count) = 0;

  private:
    std::int64_t made = 0;
};

// Side of channel c of n, from the file's channel map (libsndfile's
// SF_CHANNEL_MAP_* values) when it has one (map != nullptr), else from the
// usual order for n channels.
Side sideof(const int* map, int c, int n, bool vorbisorder);

// The whole of a file's music, decoded once (a module plays its song once):
// interleaved frames. Empty when no decoder reads it. announced, when given,
// is set to the frames the file's header promised (0 when it does not say).
std::vector<std::int16_t> decodeall(const char* path, std::int64_t* announced = nullptr);

// The sound of a file for the analysis: its decoded audio when a decoder
// reads it (decoded; a module repeating as the player repeats it);
// otherwise what the player makes of it (played, when the player plays it);
// otherwise the bytes of ptr from where it stands.
std::unique_ptr<Source> filesource(std::unique_ptr<Decoder> decoded, std::FILE* ptr,
                                   std::unique_ptr<Source> played);

} // namespace starlume
