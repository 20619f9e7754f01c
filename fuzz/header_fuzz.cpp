// Arbitrary bytes as the whole WAV file for the header report. Besides the
// sanitizers' checks, the fields must match a byte-by-byte model of the reads
// (short files keep stale scratch bytes), the stream must be left at the first
// sample and the report must end in a well-formed duration.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/app/header.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// What the reads leave behind: the bytes the file still has land at the start
// of the destination, the rest of it keeps its old contents.
struct Model {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    unsigned char buffer4[4] = {};
    unsigned char buffer2[2] = {};

    void read(unsigned char* dst, std::size_t n) {
        const std::size_t got = std::min(n, size - pos);
        if (got > 0) std::memcpy(dst, data + pos, got);
        pos += got;
    }
    std::uint32_t read4() {
        read(buffer4, 4);
        return buffer4[0] | buffer4[1] << 8 | buffer4[2] << 16 |
               static_cast<std::uint32_t>(buffer4[3]) << 24;
    }
    std::uint32_t read2() {
        read(buffer2, 2);
        return buffer2[0] | buffer2[1] << 8;
    }
};

starlume::WavHeader expected(const std::uint8_t* data, std::size_t size) {
    Model m{data, size};
    starlume::WavHeader h;
    m.read(h.riff_marker, 4);
    h.overall_size = m.read4();
    m.read(h.wave_marker, 4);
    m.read(h.fmt_marker, 4);
    h.fmt_length = m.read4();
    h.format_type = m.read2();
    h.channels = m.read2();
    h.sample_rate = m.read4();
    h.byte_rate = m.read4();
    h.block_alignment = m.read2();
    h.bits_per_sample = m.read2();
    m.read(h.data_marker, 4);
    h.data_size = m.read4();
    return h;
}

bool same(const starlume::WavHeader& a, const starlume::WavHeader& b) {
    return std::memcmp(a.riff_marker, b.riff_marker, 4) == 0 &&
           std::memcmp(a.wave_marker, b.wave_marker, 4) == 0 &&
           std::memcmp(a.fmt_marker, b.fmt_marker, 4) == 0 &&
           std::memcmp(a.data_marker, b.data_marker, 4) == 0 && a.overall_size == b.overall_size &&
           a.fmt_length == b.fmt_length && a.format_type == b.format_type &&
           a.channels == b.channels && a.sample_rate == b.sample_rate &&
           a.byte_rate == b.byte_rate && a.block_alignment == b.block_alignment &&
           a.bits_per_sample == b.bits_per_sample && a.data_size == b.data_size;
}

// "h:m:s.ms" with nothing after it but the newline.
bool welltimed(const char* text) {
    int h = -1, m = -1, s = -1, ms = -1, used = 0;
    if (std::sscanf(text, "%d:%d:%d.%d%n", &h, &m, &s, &ms, &used) != 4) return false;
    return text[used] == '\n' && h >= 0 && m >= 0 && m < 60 && s >= 0 && s < 60 && ms >= 0 &&
           ms < 1000;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen will not take an empty buffer everywhere; /dev/null is an empty file.
    std::FILE* in = size == 0 ? std::fopen("/dev/null", "rb")
                              : fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    check(in != nullptr && out != nullptr);

    starlume::WavHeader header;
    starlume::reportHeader(header, in, out);
    const long pos = std::ftell(in);
    std::fclose(in);
    std::fclose(out);

    check(pos == static_cast<long>(std::min<std::size_t>(size, 44)));
    check(same(header, expected(data, size)));

    // Markers are printed raw and may hold any byte, but only four of them, so
    // the duration label cannot come from one.
    const std::string report(text, length);
    const std::size_t label = report.rfind("Approx.Duration in h:m:s=");
    check(label != std::string::npos);
    check(welltimed(report.c_str() + label + std::strlen("Approx.Duration in h:m:s=")));
    const char closing[] = "Closing file..\n";
    check(report.size() >= sizeof closing - 1 &&
          report.compare(report.size() - (sizeof closing - 1), std::string::npos, closing) == 0);
    std::free(text);
    return 0;
}
