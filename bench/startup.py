#!/usr/bin/env python3
"""Start-up time, from the path answered to the window shown, for a
10-minute canonical WAV and the same music as FLAC (and MP3).

Each file is given on the command line, so the path is answered when the
process starts; the window counts as shown once the X server lists it.
Rounds alternate the files; the median is reported.

    python3 bench/startup.py [--build build-bench] [--rounds 9]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'e2e'))
import harness  # noqa: E402  the end-to-end tests' Xvfb and program driver


def ten_minutes(build, folder):
    """The demo tune repeated to ten minutes, as a canonical WAV."""
    tune = os.path.join(folder, 'demo.wav')
    subprocess.run([os.path.join(build, 'demotune'), tune], check=True)
    with open(tune, 'rb') as f:
        pcm = f.read()[44:]
    pcm = (pcm * (600 * 176400 // len(pcm) + 1))[:600 * 176400]
    path = os.path.join(folder, 'ten.wav')
    with open(path, 'wb') as f:
        f.write(harness.wav_bytes(pcm))
    return path


def startup(display, binary, path):
    """Seconds from the start of the process to its window being listed."""
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER='dummy')
    begin = time.monotonic()
    proc = subprocess.Popen([binary, path], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, env=env)
    try:
        while subprocess.run(['xdotool', 'search', '--name', '^Starlume$'],
                             env=env, capture_output=True).returncode != 0:
            if proc.poll() is not None:
                raise RuntimeError('starlume ended before its window showed')
        return time.monotonic() - begin
    finally:
        harness.stop(proc)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--build', default='build-bench')
    ap.add_argument('--rounds', type=int, default=9)
    args = ap.parse_args()
    binary = os.path.join(args.build, 'starlume')
    os.environ['STARLUME_ENCODE'] = os.path.join(args.build, 'tests', 'starlume_encode')
    with tempfile.TemporaryDirectory() as folder:
        wav = ten_minutes(args.build, folder)
        files = {'WAV': wav,
                 'FLAC': harness.encode(wav, wav[:-3] + 'flac', 'flac'),
                 'MP3': harness.encode(wav, wav[:-3] + 'mp3', 'mp3')}
        server, display = harness.xvfb()
        try:
            times = {name: [] for name in files}
            for _ in range(args.rounds):
                for name, path in files.items():
                    times[name].append(startup(display, binary, path))
        finally:
            harness.stop(server)
        base = statistics.median(times['WAV'])
        for name, got in times.items():
            median = statistics.median(got)
            print(f'{name:<5} {os.path.getsize(files[name]) / 1e6:6.1f} MB  '
                  f'median {median * 1000:6.1f} ms  ({(median - base) * 1000:+.1f} ms)')
    return 0


if __name__ == '__main__':
    sys.exit(main())
