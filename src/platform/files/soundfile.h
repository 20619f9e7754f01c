// A sound file written as the sound is heard: FLAC, 16-bit stereo at
// 44100 Hz, by libsndfile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/audio/source.h"

namespace starlume {

class Flacwriter final : public Soundsink {
  public:
    // Creates path; nullptr, with libsndfile's reason in error, when it cannot.
    static std::unique_ptr<Flacwriter> create(const char* path, std::string& error);
    ~Flacwriter() override;
    Flacwriter(const Flacwriter&) = delete;
    Flacwriter& operator=(const Flacwriter&) = delete;

    void write(const std::int16_t* frames, int count) override;

    // Finishes the file; false, with the reason in error, when writing it
    // failed at any time.
    bool close(std::string& error);

  private:
    explicit Flacwriter(void* file) : file(file) {}
    void* file; // SNDFILE
    std::string failure;
};

} // namespace starlume
