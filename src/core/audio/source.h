// Where the analysis gets its sound: anything that hands out 16-bit stereo
// frames at 44100 Hz, left first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

namespace starlume {

class Source {
  public:
    virtual ~Source() = default;
    // Fills count interleaved frames; silence where there is no sound.
    virtual void read(std::int16_t* frames, int count) = 0;
    // Takes in what has arrived since the last pass (live sound, the
    // player's output); called at the start of every pass.
    virtual void poll() {}
    // Whether everything there is has been read: a file's end. Live sound
    // never ends.
    virtual bool ended() const { return false; }
};

// Where sound is kept as it is heard: 16-bit stereo frames at 44100 Hz, left
// first, handed over as they arrive.
class Soundsink {
  public:
    virtual ~Soundsink() = default;
    virtual void write(const std::int16_t* frames, int count) = 0;
};

// A file's bytes from where the stream stands, taken as 16-bit little-endian
// stereo whatever they hold: the reader for files no decoder recognises.
// Values the file cannot supply read as 0; a final lone byte is no sample.
class RawSource final : public Source {
  public:
    explicit RawSource(std::FILE* stream) : ptr(stream) {}
    void read(std::int16_t* frames, int count) override;
    bool ended() const override { return ended_; }

  private:
    std::FILE* ptr;
    bool ended_ = false;
};

// Music decoded into memory, read from the start: silence after its end.
// The frames must outlive the source.
class Memorysource final : public Source {
  public:
    explicit Memorysource(std::span<const std::int16_t> frames) : music(frames) {}
    void read(std::int16_t* frames, int count) override;
    bool ended() const override { return at == music.size(); }

  private:
    std::span<const std::int16_t> music; // interleaved
    std::size_t at = 0;                  // values read so far
};

// No sound at all: a still sky.
class Silence final : public Source {
  public:
    void read(std::int16_t* frames, int count) override;
    bool ended() const override { return true; }
};

} // namespace starlume
