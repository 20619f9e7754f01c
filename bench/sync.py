#!/usr/bin/env python3
"""How far the stars' movement is from the sound being heard.

A private PulseAudio with a null sink; Starlume plays a WAV into it: silence,
then a bass note from exactly 7.000 s. What is heard is the null sink's
playback clock: its monitor is recorded with pacat through a pipe, every read
timestamped, and the clock is fitted to the lower envelope of the reads made
before the program starts. The window's leftmost strip is grabbed from the X
server every couple of milliseconds. For each run it gives the first movement
above the floor minus the heard onset, and a lift of more than 60 px minus the
heard onset; the medians over the runs, at the default latency and with
PULSE_LATENCY_MSEC=100. With --second the note is in the second song of a
list, after FIRST seconds of a silent first song.

    python3 bench/sync.py [--bin build/starlume] [--runs 7] [--second] [--args ...]
"""
import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'e2e'))
import harness  # noqa: E402  the end-to-end tests' Xvfb, PulseAudio and program driver

RATE = 44100
ONSET = 7.0  # s into the file
FIRST = 3.0  # s of the silent first song, with --second
STRIP = harness.WIN // 16  # pixels of the leftmost strip
ROWS = 120  # grabbed rows, up from the bottom of the window
MOVED, LIFTED = 5, 60  # px above the resting row


class Recorder(threading.Thread):
    """pacat on the null sink's monitor: (time, frames so far) per read, and
    the samples."""

    def __init__(self, env):
        super().__init__(daemon=True)
        self.proc = subprocess.Popen(
            ['pacat', '-r', '-d', 'null.monitor', '--format=s16le',
             '--rate=%d' % RATE, '--channels=2', '--latency-msec=2'],
            stdout=subprocess.PIPE, env=env)
        self.reads, self.data = [], bytearray()
        self.start()

    def run(self):
        fd = self.proc.stdout.fileno()
        while chunk := os.read(fd, 4096):
            now = time.monotonic()
            self.data += chunk
            self.reads.append((now, len(self.data) // 4))

    def clock(self, until):
        """Time of frame 0, from the reads in the 3 s before until: the last
        frame of a read is heard no later than the read returns."""
        near = [t - n / RATE for t, n in self.reads if until - 3 < t < until]
        if not near:
            raise RuntimeError('no reads from the monitor')
        return min(near)

    def onset(self, after_frame):
        """The first frame from after_frame on with a clearly audible sample."""
        samples = memoryview(bytes(self.data[after_frame * 4:])).cast('h')
        for i, v in enumerate(samples):
            if abs(v) > 300:
                return after_frame + i // 2
        return None

    def stop(self):
        harness.stop(self.proc)


class Grabber:
    """The bottom rows of the leftmost strip, straight from the X server."""

    class XImage(ctypes.Structure):
        _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int),
                    ('xoffset', ctypes.c_int), ('format', ctypes.c_int),
                    ('data', ctypes.POINTER(ctypes.c_ubyte)),
                    ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                    ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                    ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                    ('bits_per_pixel', ctypes.c_int)]

    def __init__(self, display):
        x = self.x = ctypes.CDLL('libX11.so.6')
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(self.XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XGetSubImage.argtypes = x.XGetImage.argtypes[:8] + [
            ctypes.POINTER(self.XImage), ctypes.c_int, ctypes.c_int]
        x.XGetSubImage.restype = ctypes.c_void_p
        self.dpy = x.XOpenDisplay(display.encode())
        self.root = x.XDefaultRootWindow(self.dpy)
        self.area = (harness.WIN_X, harness.WIN_Y + harness.WIN - ROWS, STRIP, ROWS)
        self.image = x.XGetImage(self.dpy, self.root, *self.area, 0xffffffff, 2)
        self.stride = self.image.contents.bytes_per_line

    def lift(self):
        """Rows above the lowest lit row of the strip that hold a lit pixel:
        how high the highest star is, in px (0 when all rest)."""
        self.x.XGetSubImage(self.dpy, self.root, *self.area, 0xffffffff, 2,
                            self.image, 0, 0)
        raw = ctypes.string_at(self.image.contents.data, self.stride * ROWS)
        background = raw[0:4] * STRIP  # the clear colour is uniform
        for r in range(ROWS):
            if raw[r * self.stride:r * self.stride + 4 * STRIP] != background:
                return max(0, ROWS - 1 - r - 3)  # a resting glyph is ~4 px tall
        return 0


def fixture(tmp, second):
    """The files to play: the note's, after a silent song with second."""
    path = os.path.join(tmp, 'bass.wav')
    note = harness.tone(int(1.5 * RATE), 55, 24000)
    with open(path, 'wb') as f:
        f.write(harness.wav_bytes(harness.silence(int(ONSET * RATE)) + note +
                                  harness.silence(RATE)))
    if not second:
        return [path]
    first = os.path.join(tmp, 'first.wav')
    with open(first, 'wb') as f:
        f.write(harness.wav_bytes(harness.silence(int(FIRST * RATE))))
    return [first, path]


def run(display, env, paths, recorder, extra):
    """One run: (first movement, lift > 60 px), each minus the heard onset, ms."""
    before = recorder.reads[-1][1]
    app = harness.Starlume(display, env, [harness.BIN, *extra, *paths])
    try:
        start = time.monotonic()
        t0 = recorder.clock(start)
        app.find_window()
        grab, shots = Grabber(display), []
        until = start + ONSET + 1.5 + (FIRST if len(paths) > 1 else 0)
        while time.monotonic() < until:
            shots.append((time.monotonic(), grab.lift()))
        onset = recorder.onset(before)
    finally:
        app.close()
    if onset is None:
        raise RuntimeError('no sound reached the sink')
    heard = t0 + onset / RATE
    # The stars have landed well before the note, and stay still until it.
    settled = [lift for t, lift in shots if heard - 0.6 < t < heard - 0.3]
    if not settled or max(settled) >= MOVED:
        raise RuntimeError('the strip was not still before the note')
    first = next(t for t, lift in shots if t > heard - 0.3 and lift >= MOVED)
    high = next(t for t, lift in shots if t > heard - 0.3 and lift > LIFTED)
    gaps = [b[0] - a[0] for a, b in zip(shots, shots[1:])]
    return (first - heard) * 1000, (high - heard) * 1000, statistics.median(gaps) * 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--bin', default='build/starlume')
    parser.add_argument('--runs', type=int, default=7)
    parser.add_argument('--args', nargs='*', default=[], help='options for starlume')
    parser.add_argument('--second', action='store_true',
                        help='the note in the second song of a list')
    parser.add_argument('--settings', nargs='*', default=['default', '100'],
                        help='PULSE_LATENCY_MSEC values, or default')
    opts = parser.parse_args()
    harness.BIN = os.path.abspath(opts.bin)
    with tempfile.TemporaryDirectory() as tmp, harness.pulseaudio() as (pulse, _):
        xvfb, display = harness.xvfb()
        recorder = Recorder(pulse)
        try:
            time.sleep(3.5)  # reads to fit the sink's clock to
            path = fixture(tmp, opts.second)
            print('setting  runs  first movement (median, range)  lift > 60 px (median)  grab ms')
            for setting in opts.settings:
                env = dict(pulse, SDL_AUDIODRIVER='pulseaudio')
                if setting != 'default':
                    env['PULSE_LATENCY_MSEC'] = setting
                results = []
                for _ in range(opts.runs):
                    try:
                        results.append(run(display, env, path, recorder, opts.args))
                    except (RuntimeError, StopIteration) as e:
                        print('  run failed:', e or 'no movement', file=sys.stderr)
                    time.sleep(1)
                if not results:
                    continue
                firsts = [r[0] for r in results]
                print('%-8s %4d  %+6.0f ms (%+.0f to %+.0f)        %+6.0f ms            %.1f' % (
                    setting, len(results), statistics.median(firsts), min(firsts),
                    max(firsts), statistics.median(r[1] for r in results),
                    statistics.median(r[2] for r in results)))
        finally:
            recorder.stop()
            harness.stop(xvfb)


if __name__ == '__main__':
    main()
