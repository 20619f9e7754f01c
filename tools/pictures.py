#!/usr/bin/env python3
"""Makes the README pictures: docs/scheme-0.png to docs/scheme-9.png,
docs/montage.png, docs/spiral.png, docs/circle.png, docs/blackhole.png,
docs/radialbars.png and docs/dancing.gif, each from frames of a scene on the
demo tune drawn offscreen by starlume_stills at exact music positions.

A scene is what a video with the same options would show (a fixed seed, the
keys at their times, a video's passes per second), with the left button held
at the middle where the scene asks for it. Nothing depends on the machine's
speed or the wall clock, and the PNG and GIF writers are told to leave dates
out, so every run writes the same bytes on the same machine."""

import argparse
import os
import subprocess
import tempfile

NAMES = ['Classic Black', 'Ferrofluid', 'Transitions', 'Matrix', 'Glitter',
         'Teal/Pink', 'Red/Yellow', 'Fire', 'Alternating', 'Frozen colour']
FONT = 'DejaVu-Sans'
SEED = 1
FPS = 30  # frames drawn a second: about what the window draws at 75 a side
GIF_FPS = 10  # every third frame; a GIF's delays are in hundredths of a second


def convert(*args):
    # -strip leaves out the dates ImageMagick would write into a PNG.
    subprocess.run(['convert', *args], check=True, timeout=300)


class Pictures:
    def __init__(self, stills, wav, out, size, tmp):
        self.stills, self.wav, self.out, self.size = stills, wav, out, size
        self.tmp = tmp  # the frames of the scene in hand

    def path(self, name):
        return os.path.join(self.out, name)

    def frames(self, times, keys, at=(), hold=None):
        """The frames at times (seconds of music) of the scene where keys are
        pressed before the first pass, each (seconds, keys) of at when the
        music reaches seconds, and the button held from hold on: a list of
        PPM files."""
        args = [self.stills, '--size', '%dx%d' % (self.size, self.size),
                '--fps', str(FPS), '--seed', str(SEED), '--keys', keys]
        for seconds, pressed in at:
            args += ['--at', '%g:%s' % (seconds, pressed)]
        if hold is not None:
            args += ['--hold', '%g' % hold]
        names = [os.path.join(self.tmp, '%04d.ppm' % i)
                 for i in range(len(times))]
        for t, name in zip(times, names):
            args += ['--shot', '%.4f:%s' % (t, name)]
        subprocess.run(args + [self.wav], check=True, timeout=600)
        return names

    def still(self, name, seconds, keys, **scene):
        [ppm] = self.frames([seconds], keys, **scene)
        convert(ppm, '-strip', 'png:' + self.path(name))

    def scheme(self, n):
        """Colour scheme n when the tune has thrown the stars highest in its
        first seconds. 9 keeps the colour of the last star drawn: it follows
        a moment of Red/Yellow."""
        if n == 9:
            self.still('scheme-9.png', 3.4, '6', at=[(0.5, '9')])
        else:
            self.still('scheme-%d.png' % n, 3.4, str(n))

    def montage(self):
        args = ['montage', '-font', FONT, '-pointsize', '14', '-fill', 'white',
                '-background', '#202020']
        for n, name in enumerate(NAMES):
            args += ['-label', '%d: %s' % (n, name),
                     self.path('scheme-%d.png' % n)]
        args += ['-tile', '5x2', '-geometry', '200x200+3+3', '-colors', '128',
                 '-strip', 'png8:' + self.path('montage.png')]
        subprocess.run(args, check=True, timeout=120)

    def spiral(self):
        """Without gravity the spiral stays as laid out."""
        self.still('spiral.png', 0.1, '8gS')

    def circle(self):
        """Every star pulled toward its point on the circle of radius 0.7
        from the grid at rest, with gravity and damping off: they all get
        there 2000 passes (1 s) later. 70 ms before, nearly every star is in
        a thick ring."""
        self.still('circle.png', 0.93, '3gvC')

    def blackhole(self):
        """The button held at the middle of a grid at rest: the pull toward
        the cursor, turned a quarter turn every pass, drives the stars round
        and away and leaves a hole, wider the longer it is held."""
        self.still('blackhole.png', 4, '5gb', hold=0)

    def radialbars(self):
        """The stars gathered around the held cursor pulse with the bands;
        a moment when they spread wide."""
        self.still('radialbars.png', 10.6, '4', at=[(1, 'md')], hold=1)

    def dancing(self, seconds):
        """Fire (resting stars red, fast ones white) from 3 s into the tune,
        at half the size."""
        times = [3 + i / GIF_FPS for i in range(round(seconds * GIF_FPS))]
        frames = self.frames(times, '7')
        convert('-delay', str(100 // GIF_FPS), *frames, '-resize', '50%',
                '+dither', '-colors', '32', '-layers', 'Optimize',
                '-loop', '0', self.path('dancing.gif'))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--stills', default='build/starlume_stills')
    parser.add_argument('--wav', default='build/demo.wav')
    parser.add_argument('--out', default='docs')
    parser.add_argument('--size', type=int, default=700,
                        help='width and height of a picture (the window: 700)')
    parser.add_argument('--gif-seconds', type=float, default=4)
    parser.add_argument('only', nargs='*',
                        help='make only these (names without .png or .gif)')
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix='starlume-pictures-') as tmp:
        pics = Pictures(os.path.abspath(args.stills),
                        os.path.abspath(args.wav), args.out, args.size, tmp)
        scenes = [('scheme-%d.png' % n, lambda n=n: pics.scheme(n))
                  for n in range(10)]
        scenes += [('montage.png', pics.montage), ('spiral.png', pics.spiral),
                   ('circle.png', pics.circle),
                   ('blackhole.png', pics.blackhole),
                   ('radialbars.png', pics.radialbars),
                   ('dancing.gif', lambda: pics.dancing(args.gif_seconds))]
        for name, scene in scenes:
            if args.only and os.path.splitext(name)[0] not in args.only:
                continue
            print('pictures:', pics.path(name), flush=True)
            scene()

if __name__ == '__main__':
    main()
