#include "core/app/header.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/clock/videoclock.h"

namespace starlume {

namespace {

// Reads into the start of dst; whatever the file cannot supply stays as it was.
void readinto(unsigned char* dst, std::size_t n, std::FILE* ptr) {
    unsigned char got[4];
    const std::size_t k = std::fread(got, 1, n, ptr);
    std::memcpy(dst, got, k);
}

std::uint32_t read4(unsigned char (&buffer4)[4], std::FILE* ptr, std::FILE* out) {
    readinto(buffer4, 4, ptr);
    std::fprintf(out, "%u %u %u %u\n", buffer4[0], buffer4[1], buffer4[2], buffer4[3]);
    return buffer4[0] | buffer4[1] << 8 | buffer4[2] << 16 |
           static_cast<std::uint32_t>(buffer4[3]) << 24;
}

std::uint32_t read2(unsigned char (&buffer2)[2], std::FILE* ptr, std::FILE* out) {
    readinto(buffer2, 2, ptr);
    std::fprintf(out, "%u %u \n", buffer2[0], buffer2[1]);
    return buffer2[0] | buffer2[1] << 8;
}

const char* formatname(std::uint32_t format_type) {
    switch (format_type) {
    case 1: return "PCM";
    case 6: return "A-law";
    case 7: return "Mu-law";
    default: return "";
    }
}

} // namespace

void reportHeader(WavHeader& header, std::FILE* ptr, std::FILE* out) {
    unsigned char buffer4[4] = {};
    unsigned char buffer2[2] = {};
    auto marker = [](const unsigned char* m) { return reinterpret_cast<const char*>(m); };

    readinto(header.riff_marker, 4, ptr);
    std::fprintf(out, "(1-4): %.4s \n", marker(header.riff_marker));

    header.overall_size = read4(buffer4, ptr, out);
    std::fprintf(out, "(5-8) Overall size: bytes:%u, Kb:%u \n", header.overall_size,
                 header.overall_size / 1024);

    readinto(header.wave_marker, 4, ptr);
    std::fprintf(out, "(9-12) Wave marker: %.4s\n", marker(header.wave_marker));

    readinto(header.fmt_marker, 4, ptr);
    std::fprintf(out, "(13-16) Fmt marker: %.4s\n", marker(header.fmt_marker));

    header.fmt_length = read4(buffer4, ptr, out);
    std::fprintf(out, "(17-20) Length of Fmt header: %u \n", header.fmt_length);

    header.format_type = read2(buffer2, ptr, out);
    std::fprintf(out, "(21-22) Format type: %u %s \n", header.format_type,
                 formatname(header.format_type));

    header.channels = read2(buffer2, ptr, out);
    std::fprintf(out, "(23-24) Channels: %u \n", header.channels);

    header.sample_rate = read4(buffer4, ptr, out);
    std::fprintf(out, "(25-28) Sample rate: %u\n", header.sample_rate);

    header.byte_rate = read4(buffer4, ptr, out);
    std::fprintf(out, "(29-32) Byte Rate: %u , Bit Rate:%u\n", header.byte_rate,
                 header.byte_rate * 8u);

    header.block_alignment = read2(buffer2, ptr, out);
    std::fprintf(out, "(33-34) Block Alignment: %u \n", header.block_alignment);

    header.bits_per_sample = read2(buffer2, ptr, out);
    std::fprintf(out, "(35-36) Bits per sample: %u \n", header.bits_per_sample);

    readinto(header.data_marker, 4, ptr);
    std::fprintf(out, "(37-40) Data Marker: %.4s \n", marker(header.data_marker));

    header.data_size = read4(buffer4, ptr, out);
    std::fprintf(out, "(41-44) Size of data chunk: %u \n", header.data_size);

    // A header with no channels, no sample width or no byte rate has no
    // meaningful count or duration; those are reported as 0.
    const std::uint32_t framebits = header.channels * header.bits_per_sample;
    const long long samples =
        framebits == 0 ? 0 : static_cast<long long>(8.0 * header.data_size / framebits);
    std::fprintf(out, "Number of samples:%llu \n", static_cast<unsigned long long>(samples));
    std::fprintf(out, "Size of each sample:%ld bytes\n", static_cast<long>(framebits / 8));

    const float duration = header.byte_rate == 0 ? 0.0f
                                                 : static_cast<float>(header.overall_size) /
                                                       static_cast<float>(header.byte_rate);
    std::fprintf(out, "Approx.Duration in seconds=%f\n", static_cast<double>(duration));
    std::fprintf(out, "Approx.Duration in h:m:s=%s\n", seconds_to_time(duration).c_str());
    std::fprintf(out, "Closing file..\n");
}

std::string seconds_to_time(float seconds) {
    char text[100];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(seconds));

    // Past 2^31 s there is no whole-second count; such durations saturate.
    const int s = seconds >= 2147483648.0f ? INT_MAX : static_cast<int>(seconds);
    const int hours = s / 3600;
    const int rest = s % 3600;
    const int minutes = rest / 60;
    const int secs = rest % 60;

    char field[16];
    std::memset(field, ' ', 15);
    field[15] = '\0';
    if (const char* dot = std::strchr(text, '.')) {
        for (int i = 0; i < 3 && dot[1 + i] != '\0'; i++) field[i] = dot[1 + i];
    }
    const int milliseconds = std::atoi(field);

    std::snprintf(text, sizeof text, "%d:%d:%d.%d", hours, minutes, secs, milliseconds);
    return text;
}

bool canonical(const WavHeader& h) {
    return std::memcmp(h.riff_marker, "RIFF", 4) == 0 &&
           std::memcmp(h.wave_marker, "WAVE", 4) == 0 &&
           std::memcmp(h.fmt_marker, "fmt ", 4) == 0 && h.fmt_length == 16 && h.format_type == 1 &&
           h.channels == 2 && h.sample_rate == 44100 && h.byte_rate == 176400 &&
           h.block_alignment == 4 && h.bits_per_sample == 16 &&
           std::memcmp(h.data_marker, "data", 4) == 0;
}

std::string notwav(const std::string& format, int channels, int rate, double seconds) {
    if (format.empty()) return "(Not a WAV header: no decoder reads this file)";
    char text[256];
    std::snprintf(text, sizeof text, "(Not a WAV header: %s, %d channel%s, %d Hz, %s)",
                  format.c_str(), channels, channels == 1 ? "" : "s", rate,
                  clocktext(seconds).c_str());
    return text;
}

} // namespace starlume
