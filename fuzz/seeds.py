#!/usr/bin/env python3
"""Writes small seed inputs for the fuzzers into OUTDIR/header, OUTDIR/analysis and
OUTDIR/list."""
import math
import os
import struct
import sys


def header(fmt=1, channels=2, rate=44100, bits=16, data_size=8192, riff=b"RIFF", size=None):
    align = channels * bits // 8
    if size is None:
        size = 36 + data_size
    return (riff + struct.pack("<I", size) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, fmt, channels, rate, rate * align, align, bits) +
            b"data" + struct.pack("<I", data_size))


def wav(pcm, fmt=1, channels=2, rate=44100, bits=16):
    """A whole WAV file, for the decoders."""
    align = channels * bits // 8
    body = (b"WAVEfmt " + struct.pack("<IHHIIHH", 16, fmt, channels, rate, rate * align, align,
                                      bits) + b"data" + struct.pack("<I", len(pcm)) + pcm)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def module():
    """A four-channel "M.K." module: one looped sine note, then empty rows."""
    sample = b"sine".ljust(22, b"\0") + struct.pack(">HBBHH", 64, 0, 64, 0, 64)
    unused = bytes(22) + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    cycle = bytes(round(100 * math.sin(math.pi * i / 64)) & 0xFF for i in range(128))
    return (b"seed".ljust(20, b"\0") + sample + unused * 30 + bytes([1, 127]) + bytes(128) +
            b"M.K." + bytes([0, 127, 0x10, 0]) + bytes(1020) + cycle)


def frames(samples):
    """Stereo 16-bit little-endian frames, both channels the same."""
    return b"".join(struct.pack("<hh", v, v) for v in samples)


def main():
    out = sys.argv[1]
    seeds = {
        "header": {
            "canonical": header(),
            "float-format": header(fmt=3, bits=32),
            "no-channels": header(channels=0, bits=0),
            "one-byte-rate": header(channels=1, bits=8, rate=1, size=0xFFFFFFFF),
            "truncated": header()[:23],
            "not-riff": b"RIFX" + header()[4:40],
        },
        "analysis": {
            # One block of a full-scale tone on bin 10, then the end of the file.
            "tone": frames(round(32767 * math.sin(2 * math.pi * 10 * i / 2048))
                           for i in range(2048)),
            # Extremes alternating: most of the power at the top of the spectrum.
            "nyquist": frames(32767 if i % 2 else -32768 for i in range(3072)),
            "silence": bytes(4096),
            "odd-tail": frames(range(-600, 600, 7)) + b"\x7f",
            # Whole files that the decoders take: resampled, mixed down, widened.
            "wav-48k-mono-24bit": wav(b"".join(
                int(3e6 * math.sin(i / 7)).to_bytes(3, "little", signed=True)
                for i in range(3000)), channels=1, rate=48000, bits=24),
            "wav-float-3ch": wav(struct.pack("<%df" % 3000, *(
                math.sin(i / 3) * 1.5 for i in range(3000))), fmt=3, channels=3, bits=32),
            "wav-8bit-22k": wav(bytes(i * 37 % 256 for i in range(4000)), channels=2,
                                rate=22050, bits=8),
            "module": module(),
        },
        # The first byte picks the kind: even an M3U list, odd a PLS one.
        "list": {
            "m3u": b"\0#EXTM3U\r\n#EXTINF:12,Artist - Title\r\nsub\\a.ogg\r\n"
                   b"file:///m/My%20Song.flac\r\nfile:///m/b%G1.ogg\r\nlist.m3u8\r\n",
            "pls": b"\1[playlist]\nFile1=a.ogg\nTitle1=A\nFile12=file://localhost/c%2e.ogg\n"
                   b"File2=x.pls\nNumberOfEntries=3\n",
        },
    }
    for kind, files in seeds.items():
        os.makedirs(os.path.join(out, kind), exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(out, kind, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
