#include "platform/files/module.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <libopenmpt/libopenmpt.h>
#include <sys/stat.h>

namespace starlume {

namespace {

// Frames per render call, always the same: libopenmpt's output may differ in
// its last bit with the size of its reads.
constexpr int chunk = 1024;

// Set even where they are libopenmpt's defaults, so that a new default
// changes no render.
constexpr std::pair<int, std::int32_t> renderparams[] = {
    {OPENMPT_MODULE_RENDER_MASTERGAIN_MILLIBEL, 0},
    {OPENMPT_MODULE_RENDER_STEREOSEPARATION_PERCENT, 100},
    {OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 8},
    {OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, -1},
};

// libopenmpt's string, copied and given back.
std::string take(const char* s) {
    std::string copy = s != nullptr ? s : "";
    openmpt_free_string(s);
    return copy;
}

// Whether the first bytes of a file of filesize bytes look like a module.
// Without the real size a short file only ever "wants more data".
bool ismodule(const unsigned char* head, std::size_t size, std::uint64_t filesize) {
    static const unsigned char none = 0; // the probe takes no null pointer
    return openmpt_probe_file_header(
               OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, size > 0 ? head : &none, size, filesize,
               openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr,
               nullptr) == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS;
}

class Module final : public Decoder {
  public:
    explicit Module(openmpt_module* m) : m(m) {
        const double d = openmpt_module_get_duration_seconds(m);
        // Patterns too tangled to follow give infinity.
        seconds = std::isfinite(d) && d > 0 ? d : 0;
    }
    ~Module() override { openmpt_module_destroy(m); }

    int produce(std::int16_t* frames, int count) override {
        int done = 0;
        while (done < count) {
            if (at == held) {
                if (over) break;
                held = static_cast<int>(
                    openmpt_module_read_interleaved_stereo(m, analysisrate, chunk, rendered));
                at = 0;
                over = held == 0;
                continue;
            }
            const int n = std::min(count - done, held - at);
            std::copy_n(rendered + 2 * at, 2 * n, frames + 2 * done);
            at += n;
            done += n;
        }
        std::fill(frames + 2 * done, frames + 2 * count, std::int16_t{0});
        return done;
    }

    std::int64_t estimate() const override { return std::llround(seconds * analysisrate); }

    bool ended() const override { return over && at == held; }

    Soundinfo info() const override {
        std::string format = take(openmpt_module_get_metadata(m, "type_long"));
        if (format.empty()) format = take(openmpt_module_get_metadata(m, "type"));
        return {format, openmpt_module_get_num_channels(m), analysisrate, seconds};
    }

  private:
    openmpt_module* m;
    double seconds;                   // one pass; 0 when unknown
    std::int16_t rendered[2 * chunk]; // the last read, interleaved
    int held = 0, at = 0;             // frames in it, of those handed out
    bool over = false;                // libopenmpt has rendered all there is
};

// A decoder over bytes already probed as a module.
std::unique_ptr<Decoder> create(const unsigned char* data, std::size_t size, Repeat repeat) {
    openmpt_module* m = openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent,
                                                           nullptr, openmpt_error_func_ignore,
                                                           nullptr, nullptr, nullptr, nullptr);
    if (m == nullptr) return nullptr;
    auto d = std::make_unique<Module>(m);
    // The player loops a module for ever; played once, the song ends where
    // it would start again.
    openmpt_module_set_repeat_count(m, repeat == Repeat::forever ? -1 : 0);
    openmpt_module_ctl_set_integer(m, "dither", 0); // else no two renders are the same
    for (const auto& [param, value] : renderparams)
        openmpt_module_set_render_param(m, param, value);
    return d;
}

} // namespace

std::unique_ptr<Decoder> openmodule(const unsigned char* data, std::size_t size, Repeat repeat) {
    const std::size_t head = std::min(size, openmpt_probe_file_header_get_recommended_size());
    return ismodule(data, head, size) ? create(data, size, repeat) : nullptr;
}

std::unique_ptr<Decoder> openmodule(const char* path, Repeat repeat) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return nullptr;
    std::unique_ptr<Decoder> d;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        std::vector<unsigned char> bytes(
            std::min(size, openmpt_probe_file_header_get_recommended_size()));
        std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        if (got == bytes.size() && ismodule(bytes.data(), got, size)) {
            bytes.resize(size);
            got += std::fread(bytes.data() + got, 1, size - got, f);
            if (got == size) d = create(bytes.data(), size, repeat);
        }
    }
    std::fclose(f);
    return d;
}

} // namespace starlume
