#!/usr/bin/env python3
"""Latency of live sound: from a click reaching the capture device to its
kick being applied.

A private PulseAudio server (the end-to-end tests' helper) with a null sink;
starlume_listenbench runs the listening pass on "monitor" (the sink's
monitor, as `starlume --listen monitor` would). Clicks are played into the
sink with paplay at irregular intervals. A second listener, parec with 1 ms
fragments on the same monitor, notes when each click arrives there: that is
when the sound reached the capture device. The capture transfers and the
blocks keep a fixed phase for a whole run, so the runs are repeated, each
with its own. Prints the median and spread of the latencies, and the cost of
draining the capture queue in a pass.

    python3 bench/latency.py [--build build-bench] [--clicks 40] [--rounds 5]
"""
import argparse
import os
import random
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'e2e'))
import harness  # noqa: E402  the end-to-end tests' PulseAudio and WAV files

RATE = harness.RATE


def click_wav():
    """A click: 2 ms of a full-scale square wave after 20 ms of silence."""
    pcm = harness.silence(RATE // 50)
    for i in range(RATE // 500):
        v = 30000 if i // 11 % 2 else -30000
        pcm += struct.pack('<hh', v, v)
    return harness.wav_bytes(pcm + harness.silence(RATE // 50))


def arrivals(proc, found):
    """Times (ms since the epoch) at which parec hands over a chunk that
    holds the start of a click."""
    fd, loud = proc.stdout.fileno(), False
    for chunk in iter(lambda: os.read(fd, 4096), b''):
        t = time.time() * 1000
        values = struct.unpack('<%dh' % (len(chunk) // 2), chunk[:len(chunk) // 2 * 2])
        now = any(abs(v) > 1000 for v in values)
        if now and not loud:
            found.append(t)
        loud = now


def round_(bench, env, click, clicks, rng):
    """One run of the listening pass: the latency of each click heard, the
    clicks it missed, and the drain figures."""
    seconds = clicks * 0.6 + 3
    listener = subprocess.Popen(
        [bench, 'monitor', str(seconds)], env=dict(env, SDL_AUDIODRIVER='pulseaudio'),
        stdout=subprocess.PIPE, text=True)
    ref = subprocess.Popen(
        ['parec', '--raw', '--format=s16le', '--rate=%d' % RATE, '--channels=2',
         '--latency-msec=1', '--device=null.monitor'], env=env, stdout=subprocess.PIPE)
    found = []
    reader = threading.Thread(target=arrivals, args=(ref, found), daemon=True)
    reader.start()
    time.sleep(1.5)
    for _ in range(clicks):
        subprocess.run(['paplay', click], env=env, check=True)
        time.sleep(rng.uniform(0.25, 0.45))
    out = listener.communicate(timeout=seconds + 30)[0]
    harness.stop(ref)
    kicks = [float(line.split()[1]) for line in out.splitlines() if line.startswith('kick')]
    # each arrival with the first kick after it, before the next click
    latencies, missed = [], 0
    for t, following in zip(found, found[1:] + [float('inf')]):
        after = [k - t for k in kicks if t <= k < min(following, t + 200)]
        if after:
            latencies.append(min(after))
        else:
            missed += 1
    return latencies, missed, [float(v) for v in out.splitlines()[-1].split()[1:]]


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument('--build', default='build-bench')
    p.add_argument('--clicks', type=int, default=40, help='per round')
    p.add_argument('--rounds', type=int, default=5)
    args = p.parse_args()
    bench = os.path.join(args.build, 'bench', 'starlume_listenbench')
    rng = random.Random(1)
    latencies, missed, drains = [], 0, []
    with tempfile.TemporaryDirectory() as tmp, harness.pulseaudio() as (env, _):
        click = os.path.join(tmp, 'click.wav')
        with open(click, 'wb') as f:
            f.write(click_wav())
        for r in range(args.rounds):
            got, lost, drain = round_(bench, env, click, args.clicks, rng)
            print('round %d: median %.1f ms over %d clicks, %d missed; drain µs %s' % (
                r + 1, statistics.median(got), len(got), lost, drain))
            latencies += got
            missed += lost
            drains.append(drain)
    latencies.sort()
    n = len(latencies)
    print('latency ms over %d clicks (%d missed): median %.1f, 10%% %.1f, 90%% %.1f, '
          'min %.1f, max %.1f' % (n, missed, statistics.median(latencies),
                                  latencies[n // 10], latencies[n * 9 // 10],
                                  latencies[0], latencies[-1]))
    print('drain per pass, µs, worst round: median %.2f, 99%% %.2f, 99.9%% %.2f, max %.2f'
          % tuple(max(d[i] for d in drains) for i in range(4)))


if __name__ == '__main__':
    main()
