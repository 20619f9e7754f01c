// Where the analysis gets its sound: anything that hands out 16-bit stereo
// frames at 44100 Hz, left first.
#pragma once

#include <cstdint>
#include <cstdio>

namespace starlume {

class Source {
  public:
    virtual ~Source() = default;
    // Fills count interleaved frames; silence where there is no sound.
    virtual void read(std::int16_t* frames, int count) = 0;
};

// A file's bytes from where the stream stands, taken as 16-bit little-endian
// stereo whatever they hold: the reader for files no decoder recognises.
// Values the file cannot supply read as 0; a final lone byte is no sample.
class RawSource final : public Source {
  public:
    explicit RawSource(std::FILE* stream) : ptr(stream) {}
    void read(std::int16_t* frames, int count) override;

  private:
    std::FILE* ptr;
};

} // namespace starlume
