#include "platform/sound/capture.h"

#include <algorithm>
#include <cstdio>

#include <SDL2/SDL.h>

namespace starlume {

namespace {

// Frames per transfer from the device: the sound waits for a whole buffer
// before it is queued, so this is most of the capture latency.
constexpr int bufferframes = 512;

} // namespace

bool startcapture() {
    SDL_SetHint(SDL_HINT_AUDIO_INCLUDE_MONITORS, "1");
    // Ctrl-C in the console ends the program, as SDL would otherwise catch it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_Init(SDL_INIT_AUDIO) == 0;
}

std::vector<std::string> capturedevices() {
    std::vector<std::string> names;
    const int n = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < n; i++) {
        const char* name = SDL_GetAudioDeviceName(i, 1);
        names.emplace_back(name != nullptr ? name : "");
    }
    return names;
}

std::string defaultcapture() {
    char* name = nullptr;
    SDL_AudioSpec spec;
    if (SDL_GetDefaultAudioInfo(&name, &spec, 1) != 0 || name == nullptr) return "";
    std::string s = name;
    SDL_free(name);
    return s;
}

std::unique_ptr<Capture> Capture::open(const char* device) {
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = bufferframes;
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(device, 1, &want, nullptr, 0);
    if (id == 0) return nullptr;
    SDL_PauseAudioDevice(id, 0);
    return std::unique_ptr<Capture>(new Capture(id));
}

Capture::~Capture() { SDL_CloseAudioDevice(id); }

void Capture::drain() {
    std::int16_t chunk[4096];
    auto* bytes = reinterpret_cast<unsigned char*>(chunk);
    while (const Uint32 n = SDL_DequeueAudio(id, chunk, sizeof chunk)) {
        newest.add(bytes, n);
        if (sink == nullptr) continue;
        const Uint32 skipped = std::min(skip, n);
        skip -= skipped;
        // The device's frames are whole 16-bit stereo ones, as it was opened.
        const int frames = static_cast<int>((n - skipped) / 4);
        sink->write(chunk + skipped / 2, frames);
        keptframes += frames;
    }
}

void Capture::keep(Soundsink* s) {
    sink = s;
    skip = SDL_GetQueuedAudioSize(id);
    keptframes = 0;
}

void Capture::poll() {
    drain();
    if (!stopped && SDL_GetAudioDeviceStatus(id) == SDL_AUDIO_STOPPED) {
        stopped = true;
        newest.clear();
        std::fprintf(stderr, "starlume: the capture device has stopped; Q quits\n");
    }
}

void Capture::pause() {
    drain(); // heard before the pause: kept in its place
    SDL_PauseAudioDevice(id, 1);
}

void Capture::resume() {
    // What was heard before the pause is not news any more.
    SDL_ClearQueuedAudio(id);
    newest.clear();
    SDL_PauseAudioDevice(id, 0);
}

} // namespace starlume
