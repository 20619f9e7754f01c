#!/usr/bin/env python3
"""Measures how close Starlume comes to its pacing limits.

Runs the real program and the pacing skeleton on one Xvfb display in four
cases (75 stars idle, 100 idle, 100 with the left button held in
radial-bars mode, the same on the demo tune decoded from an MP3), reads
each one's 'F' report and prints passes/s, frames/s and their ratios to the
skeleton: every round's, then the median round's; and the main thread's
time on the CPU per pass of each, which the machine's load hardly moves.

    python3 bench/pacing.py [--build build-bench] [--seconds 8] [--rounds 5]
                            [--encode starlume_encode] [--record] [--before DIR]

With --record the program writes a take of what is played as it runs. With
--before, DIR's starlume (an earlier build) runs in every round too, between
the two, so that a change is held against what came before it under the
same load; its ratios are printed after the program's.
`cmake --build BUILD --target pacing` runs it on BUILD's programs.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'e2e'))
import harness  # noqa: E402  the end-to-end tests' Xvfb and program driver

# name, stars per side, button held, the tune's file
CASES = (('75 idle', 75, False, 'wav'), ('100 idle', 100, False, 'wav'),
         ('100 held', 100, True, 'wav'), ('100 held mp3', 100, True, 'mp3'))


def oncpu(pid):
    """Nanoseconds the main thread of pid has run, and waited to run."""
    with open(f'/proc/{pid}/task/{pid}/schedstat') as f:
        ran, waited, _ = (int(v) for v in f.read().split())
    return ran, waited


def rates(app, held, seconds):
    """Passes/s and frames/s over seconds, from two 'F' reports, and the
    main thread's time on the CPU per pass, µs: what the load on the
    machine does not change."""
    if held:
        app.mouse('down')
    time.sleep(2)  # let the window settle and the stars fall
    app.timing()
    ran = oncpu(app.proc.pid)[0]
    time.sleep(seconds)
    frames, steps, ms = app.timing()
    ran = oncpu(app.proc.pid)[0] - ran
    if held:
        app.mouse('up')
    return steps * 1000 / ms, frames * 1000 / ms, ran / 1000 / max(steps, 1)


def measure(display, argv, held, seconds, path=None, keys=()):
    """Starts argv (answering the file prompt with path), presses keys and
    measures."""
    app = harness.Starlume(display, argv=argv)
    try:
        if path:
            app.send(path)
        app.find_window()
        if keys:
            app.key(*keys)
        return rates(app, held, seconds)
    finally:
        app.close()


def tunes(build, encode):
    """The demo tune as a canonical WAV and as an MP3, made when missing."""
    wav = os.path.abspath(os.path.join(build, 'demo.wav'))
    mp3 = os.path.abspath(os.path.join(build, 'demo.mp3'))
    if not os.path.exists(wav):
        subprocess.run([os.path.join(build, 'demotune'), wav], check=True)
    if not os.path.exists(mp3):
        if encode:
            subprocess.run([encode, wav, mp3, 'mp3'], check=True)
        elif shutil.which('ffmpeg'):
            subprocess.run(['ffmpeg', '-loglevel', 'error', '-y', '-i', wav, mp3], check=True)
        else:
            sys.exit('pacing.py: no encoder for the MP3 (give --encode)')
    return {'wav': wav, 'mp3': mp3}


def median(values):
    return sorted(values)[len(values) // 2]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--build', default='build-bench')
    ap.add_argument('--seconds', type=float, default=8)
    ap.add_argument('--rounds', type=int, default=5)
    ap.add_argument('--encode', help='the test fixtures encoder, for the MP3')
    ap.add_argument('--record', action='store_true')
    ap.add_argument('--before', help='a build directory with an earlier starlume')
    args = ap.parse_args()
    starlume = os.path.join(args.build, 'starlume')
    skeleton = os.path.join(args.build, 'bench', 'starlume_pacing')
    files = tunes(args.build, args.encode)

    programs = [('', starlume)]
    if args.before:
        programs.append(('before ', os.path.join(args.before, 'starlume')))
    extra = []
    if args.record:
        take = tempfile.NamedTemporaryFile(suffix='.take')
        extra = ['--record', take.name]
    xvfb, display = harness.xvfb()
    results = {label: [] for label, _ in programs}
    try:
        for name, order, held, tune in CASES:
            stars = ['--stars', str(order)] if order != 75 else []
            keys = ('m', 'd') if held else ()
            # Alternate the programs so that a busy spell on the machine
            # hits them all.
            rounds = {label: [] for label, _ in programs}
            for r in range(args.rounds):
                got = {label: measure(display, [path] + extra + stars, held, args.seconds,
                                      files[tune], keys)
                       for label, path in programs}
                base = measure(display, [skeleton, str(order)], held, args.seconds)
                for label, ours in got.items():
                    rounds[label].append((ours[0] / base[0], ours[1] / base[1], ours, base))
                    print(f'{label}{name:<14}round {r + 1}: passes {ours[0]:.0f}/{base[0]:.0f}'
                          f' = {rounds[label][-1][0]:.2f}, frames {ours[1]:.1f}/{base[1]:.1f}'
                          f' = {rounds[label][-1][1]:.2f}, CPU per pass {ours[2]:.1f}/'
                          f'{base[2]:.1f} µs', flush=True)
            for label in rounds:
                results[label].append((name, rounds[label]))
    finally:
        harness.stop(xvfb)

    for label, cases in results.items():
        print(f"\n{label + 'case':<14}{'passes/s':>10}{'skeleton':>10}{'ratio':>7}{'lowest':>8}"
              f"{'frames/s':>10}{'skeleton':>10}{'ratio':>7}{'CPU µs/pass':>13}{'skeleton':>10}")
        worst = worstround = 1.0
        for name, rounds in cases:
            p_ratio, _, ours, base = median(rounds)
            f_ratio = median([r[1] for r in rounds])
            lowest = min(r[0] for r in rounds)
            worst = min(worst, p_ratio)
            worstround = min(worstround, lowest)
            cpu = median([r[2][2] for r in rounds])
            cpubase = median([r[3][2] for r in rounds])
            print(f'{name:<14}{ours[0]:>10.0f}{base[0]:>10.0f}{p_ratio:>7.2f}{lowest:>8.2f}'
                  f'{ours[1]:>10.1f}{base[1]:>10.1f}{f_ratio:>7.2f}{cpu:>13.1f}{cpubase:>10.1f}')
        print(f'{label}worst median pass ratio {worst:.2f}, worst round {worstround:.2f}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
