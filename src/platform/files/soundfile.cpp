#include "platform/files/soundfile.h"

#include <sndfile.h>

namespace starlume {

std::unique_ptr<Flacwriter> Flacwriter::create(const char* path, std::string& error) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path, SFM_WRITE, &info);
    if (f == nullptr) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    return std::unique_ptr<Flacwriter>(new Flacwriter(f));
}

Flacwriter::~Flacwriter() {
    std::string ignored;
    close(ignored);
}

void Flacwriter::write(const std::int16_t* frames, int count) {
    if (file == nullptr || !failure.empty() || count <= 0) return;
    auto* f = static_cast<SNDFILE*>(file);
    if (sf_writef_short(f, frames, count) != count) failure = sf_strerror(f);
}

bool Flacwriter::close(std::string& error) {
    if (file != nullptr) {
        const int closed = sf_close(static_cast<SNDFILE*>(file));
        if (closed != 0 && failure.empty()) failure = sf_error_number(closed);
        file = nullptr;
    }
    error = failure;
    return failure.empty();
}

} // namespace starlume
