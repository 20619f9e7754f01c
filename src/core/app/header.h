// The field-by-field console report of a WAV file's 44-byte header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace starlume {

struct WavHeader {
    unsigned char riff_marker[4] = {};
    std::uint32_t overall_size = 0;
    unsigned char wave_marker[4] = {};
    unsigned char fmt_marker[4] = {};
    std::uint32_t fmt_length = 0;
    std::uint32_t format_type = 0;
    std::uint32_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t byte_rate = 0;
    std::uint32_t block_alignment = 0;
    std::uint32_t bits_per_sample = 0;
    unsigned char data_marker[4] = {};
    std::uint32_t data_size = 0;
};

// Reads the first 44 bytes of ptr into header and reports them on out. ptr is
// left at the first sample; nothing is validated.
void reportHeader(WavHeader& header, std::FILE* ptr, std::FILE* out);

// Whether the header is the canonical one of 16-bit stereo PCM at 44100 Hz,
// which the report reads right.
bool canonical(const WavHeader& header);

// What a decoder found in a file that has no canonical header, to follow its
// report: "(Not a WAV header: FORMAT, N channels, R Hz, m:ss)", or a line
// that says no decoder reads it (format empty).
std::string notwav(const std::string& format, int channels, int rate, double seconds);

// "h:m:s.ms" with whole seconds truncated from the value and the milliseconds
// cut from its six-decimal text.
std::string seconds_to_time(float seconds);

} // namespace starlume
