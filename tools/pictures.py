#!/usr/bin/env python3
"""Makes the README pictures: runs the real program on the demo tune under a
private Xvfb, as the end-to-end tests do, and writes docs/scheme-0.png to
docs/scheme-9.png, docs/montage.png, docs/spiral.png, docs/circle.png,
docs/blackhole.png, docs/radialbars.png and docs/dancing.gif.

Every scene starts the program afresh, so each one begins at the start of
the tune with every toggle at its start value. The program seeds its random
generator from the clock, so where several moments would do, a few
screenshots are taken and the one that shows the effect best is kept."""

import argparse
import contextlib
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                os.pardir, 'tests', 'e2e'))
from harness import (INSTRUCTIONS, WIN, Starlume, grab,  # noqa: E402
                     stop, xvfb)

NAMES = ['Classic Black', 'Ferrofluid', 'Transitions', 'Matrix', 'Glitter',
         'Teal/Pink', 'Red/Yellow', 'Fire', 'Alternating', 'Frozen colour']
FONT = 'DejaVu-Sans'


def save_png(shot, path):
    ppm = b'P6\n%d %d\n255\n' % (shot.w, shot.h) + shot.rgb
    subprocess.run(['convert', 'ppm:-', '-strip', 'png:' + path],
                   input=ppm, check=True, timeout=60)


def ring(r0, r1):
    """A mask like Shot.lit (one byte per pixel) of the ring r0 <= r < r1
    around the window's centre, r in world units (half the window is 1)."""
    half = WIN / 2
    return bytes(r0 * r0 <= ((x + 0.5 - half) ** 2 + (y + 0.5 - half) ** 2)
                 / half ** 2 < r1 * r1 for y in range(WIN) for x in range(WIN))


def lit_in(shot, mask):
    return (int.from_bytes(shot.lit, 'big')
            & int.from_bytes(mask, 'big')).bit_count()


def steps(app):
    """Simulation passes since the last 'F' report; restarts the count."""
    return app.timing()[1]


def wait_steps(app, n):
    """Waits for n passes since the last 'F' report: what the stars do
    depends on passes, and how many a second the program manages depends on
    the machine and its load."""
    done = 0
    while done < n:
        time.sleep(0.05)
        done += steps(app)
    return done


def colours(app, n):
    """Selects colour scheme n on a black background."""
    if n >= 3:  # schemes 3 to 9 keep the background set by 0 to 2
        app.key('0')
        app.wait_frames()
    if n == 9:  # 9 keeps the last star's colour: Red/Yellow's last strip
        app.key('6')
        app.wait_frames()
    app.key(str(n))


def best(app, score, count, gap):
    shots = []
    for _ in range(count):
        shots.append(app.screenshot())
        time.sleep(gap)
    return max(shots, key=score)


class Pictures:
    def __init__(self, display, binary, wav, out):
        self.display, self.binary = display, binary
        self.wav, self.out = wav, out

    def path(self, name):
        return os.path.join(self.out, name)

    @contextlib.contextmanager
    def program(self):
        """The program on the demo tune; its .started is when the window
        came up, about when the tune started."""
        app = Starlume(self.display, argv=[self.binary, self.wav])
        try:
            app.wait_for(INSTRUCTIONS)
            app.find_window()
            app.started = time.monotonic()
            yield app
        finally:
            app.close()

    @staticmethod
    def until(app, seconds):
        time.sleep(max(0.0, app.started + seconds - time.monotonic()))

    def scheme(self, n):
        """Colour scheme n a few seconds into the tune, at the screenshot
        with the most stars thrown into the upper half."""
        with self.program() as app:
            colours(app, n)
            wait_steps(app, 3000)  # the grid has come down
            self.until(app, 3.5)
            shot = best(app, lambda s: s.count(0, None, 0, WIN // 2), 10, 0.2)
        save_png(shot, self.path('scheme-%d.png' % n))

    def spiral(self):
        with self.program() as app:
            colours(app, 8)
            app.key('g')  # without gravity the spiral stays as laid out
            app.wait_frames()
            app.key('S')
            app.wait_frames(3)
            save_png(app.screenshot(), self.path('spiral.png'))

    def circle(self):
        """Every star pulled toward the circle of radius 0.7 from a grid at
        rest. With gravity and damping off each star reaches its point on
        the circle 2000 passes later, all at once; the shot just before, when
        nearly every star is in a thick ring, shows the shape best."""
        mask = ring(0.55, 0.85)
        with self.program() as app:
            colours(app, 3)
            app.key('g', 'v')
            for _ in range(3):  # again if every screenshot missed the ring
                app.key('R')
                app.wait_frames()
                steps(app)
                app.key('C')
                done = wait_steps(app, 1700)
                shots = []
                while done < 2300:
                    shots.append(app.screenshot())
                    done += steps(app)
                shots = [s for s in shots
                         if lit_in(s, mask) >= 0.95 * s.count()]
                if shots:
                    save_png(max(shots, key=lambda s: s.count()),
                             self.path('circle.png'))
                    return
        raise RuntimeError('the stars never gathered in a ring')

    def blackhole(self):
        """The black hole with the button held at the centre of a grid at
        rest: the pull toward the cursor, turned a quarter turn every pass,
        drives the stars round and away and leaves a hole."""
        with self.program() as app:
            colours(app, 5)
            app.key('g', 'R')
            app.wait_frames()
            app.mouse('down')
            steps(app)
            app.key('b')
            wait_steps(app, 8000)
            save_png(app.screenshot(), self.path('blackhole.png'))
            app.mouse('up')

    def radialbars(self):
        """Radial bars: the stars gathered around the held cursor, kept at
        the screenshot where they spread furthest with the bands."""
        with self.program() as app:
            colours(app, 4)
            wait_steps(app, 2000)
            app.key('m', 'd')
            app.mouse('down')
            steps(app)
            wait_steps(app, 4000)
            shot = best(app, lambda s: s.count(), 8, 0.3)
            app.mouse('up')
        save_png(shot, self.path('radialbars.png'))

    def dancing(self, seconds=5.0):
        """An animated GIF of the stars dancing, at the rate screenshots can
        be taken (up to about 8 a second), each frame shown for as long as
        it lasted."""
        with tempfile.TemporaryDirectory(prefix='starlume-gif-') as tmp:
            with self.program() as app:
                colours(app, 7)  # fire: resting stars red, fast ones white
                wait_steps(app, 3000)
                self.until(app, 3)
                frames, end = [], time.monotonic() + seconds
                while (now := time.monotonic()) < end:
                    name = os.path.join(tmp, '%03d.ppm' % len(frames))
                    with open(name, 'wb') as f:
                        f.write(grab(self.display))
                    frames.append((now, name))
            args = ['convert']
            for (t, name), (t1, _) in zip(frames, frames[1:]):
                args += ['-delay', str(round(100 * (t1 - t))), name]
            args += ['-resize', '50%', '+dither', '-colors', '32',
                     '-layers', 'Optimize', '-loop', '0',
                     self.path('dancing.gif')]
            subprocess.run(args, check=True, timeout=300)

    def montage(self):
        args = ['montage', '-font', FONT, '-pointsize', '14', '-fill', 'white',
                '-background', '#202020']
        for n, name in enumerate(NAMES):
            args += ['-label', '%d: %s' % (n, name),
                     self.path('scheme-%d.png' % n)]
        args += ['-tile', '5x2', '-geometry', '200x200+3+3', '-colors', '128',
                 '-strip', 'png8:' + self.path('montage.png')]
        subprocess.run(args, check=True, timeout=120)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--bin', default='build/starlume')
    parser.add_argument('--wav', default='build/demo.wav')
    parser.add_argument('--out', default='docs')
    parser.add_argument('only', nargs='*',
                        help='make only these (names without .png or .gif)')
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    server, display = xvfb()
    try:
        pics = Pictures(display, os.path.abspath(args.bin),
                        os.path.abspath(args.wav), args.out)
        scenes = [('scheme-%d.png' % n, lambda n=n: pics.scheme(n))
                  for n in range(10)]
        scenes += [('montage.png', pics.montage), ('spiral.png', pics.spiral),
                   ('circle.png', pics.circle),
                   ('blackhole.png', pics.blackhole),
                   ('radialbars.png', pics.radialbars),
                   ('dancing.gif', pics.dancing)]
        for name, scene in scenes:
            if args.only and os.path.splitext(name)[0] not in args.only:
                continue
            print('pictures:', pics.path(name), flush=True)
            scene()
    finally:
        stop(server)


if __name__ == '__main__':
    main()
