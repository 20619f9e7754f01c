#include "platform/files/resampler.h"

#include <soxr.h>

namespace starlume {

namespace {

class Soxr final : public Resampler {
  public:
    explicit Soxr(soxr_t s) : s(s) {}
    ~Soxr() override { soxr_delete(s); }
    Soxr(const Soxr&) = delete;
    Soxr& operator=(const Soxr&) = delete;

    std::size_t process(const float* in, std::size_t n, std::size_t& used, float* out,
                        std::size_t room) override {
        std::size_t done = 0, made = 0;
        soxr_process(s, in, in != nullptr ? n : 0, &done, out, room, &made);
        used = done;
        return made;
    }

    void clear() override { soxr_clear(s); }

  private:
    soxr_t s;
};

} // namespace

std::unique_ptr<Resampler> makeresampler(int rate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_t s = soxr_create(rate, analysisrate, 2, &error, &io, &quality, nullptr);
    if (error != nullptr || s == nullptr) {
        if (s != nullptr) soxr_delete(s);
        return nullptr;
    }
    return std::make_unique<Soxr>(s);
}

} // namespace starlume
