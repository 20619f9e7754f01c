// Helpers shared by the unit tests: in-memory console streams, WAV and module
// bytes and small worlds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "core/app/show.h"
#include "core/audio/source.h"
#include "core/world/random.h"
#include "core/world/world.h"

namespace testsupport {

// A read-only stream over bytes; an empty one is a temporary file because
// fmemopen refuses a zero size on some C libraries.
class Input {
  public:
    explicit Input(std::string bytes)
        : data_(std::move(bytes)),
          f_(data_.empty() ? std::tmpfile() : fmemopen(data_.data(), data_.size(), "rb")),
          raw_(f_) {}
    Input(const Input&) = delete;
    ~Input() { std::fclose(f_); }
    std::FILE* get() const { return f_; }
    // The bytes as the analysis reads a file no decoder recognises.
    starlume::Source& source() { return raw_; }

  private:
    std::string data_;
    std::FILE* f_;
    starlume::RawSource raw_;
};

// Collects everything written to get().
class Output {
  public:
    Output() : f_(open_memstream(&buf_, &len_)) {}
    Output(const Output&) = delete;
    ~Output() {
        std::fclose(f_);
        std::free(buf_);
    }
    std::FILE* get() const { return f_; }
    std::string text() {
        std::fflush(f_);
        return std::string(buf_, len_);
    }

  private:
    char* buf_ = nullptr;
    std::size_t len_ = 0;
    std::FILE* f_;
};

inline std::string le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
}
inline std::string le32(std::uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }
inline std::string be16(std::uint16_t v) {
    return {static_cast<char>(v >> 8), static_cast<char>(v & 0xff)};
}

// count interleaved 16-bit stereo frames, left first.
inline std::string frames(std::int16_t left, std::int16_t right, int count = 1) {
    std::string out;
    for (int i = 0; i < count; i++) {
        out += le16(static_cast<std::uint16_t>(left)) + le16(static_cast<std::uint16_t>(right));
    }
    return out;
}

// A grid of order x order stars with star 0 put at (x, y) moving at (vx, vy).
inline std::unique_ptr<starlume::World> world(int order, double x = 0, double y = 0, double vx = 0,
                                              double vy = 0) {
    auto w = std::make_unique<starlume::World>();
    setOrder(*w, order);
    w->x[0] = x;
    w->y[0] = y;
    w->vx[0] = vx;
    w->vy[0] = vy;
    return w;
}

// A source the test keeps, lent to a show.
class Lent final : public starlume::Source {
  public:
    explicit Lent(starlume::Source& s) : s_(s) {}
    void read(std::int16_t* frames, int count) override { s_.read(frames, count); }
    void poll() override { s_.poll(); }

  private:
    starlume::Source& s_;
};

// A show of order x order stars on the grid that analyses from.
inline std::unique_ptr<starlume::Show> show(int order, starlume::Source& from) {
    auto s = starlume::makeshow();
    setOrder(s->world, order);
    s->source = std::make_unique<Lent>(from);
    return s;
}

} // namespace testsupport
