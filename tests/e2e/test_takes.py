"""Takes: a performance played in the window with --record (keys, the held
button, the song), rendered from the take with --render --take at two sizes
and twice alike; the takes a video refuses; live sound kept beside its take
and rendered; a recording ended by SIGINT or refused before the window."""

import math
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

from harness import (BANNER, BLOCK, E2ETest, RATE, bursts, poll, probe, render,
                     tone, video_frames, wav_bytes)
from test_render import hashes

HELD = (600, 100)  # window pixels: near the top-right corner


def events(take):
    """A take's event lines as (ms, event, rest)."""
    with open(take) as f:
        return [(float(m[1]), m[2], m[3]) for m in re.finditer(
            r'^(\d+\.\d) (\w+) ?(.*)$', f.read(), re.M)]


def fire(shot):
    """How red the stars are: the mean of red less blue over lit pixels (the
    transitions scheme starts grey, Fire is red to yellow)."""
    px = shot.lit_pixels()
    return sum(r - b for r, _, b in px) / max(1, len(px))


def around(shot, fx, fy):
    """Lit pixels within 0.3 world units of the point at fractions fx, fy of
    the picture, those of them beyond 0.03 (spread out, not a dot), and how
    many of 16 directions from the point those lie in."""
    w, h = shot.w, shot.h
    near = spread = 0
    sectors = set()
    for i, on in enumerate(shot.lit):
        if not on:
            continue
        dx = (i % w - fx * w) / (w / 2)
        dy = (i // w - fy * h) / (h / 2)
        d = math.hypot(dx, dy)
        if d < 0.3:
            near += 1
            if d > 0.03:
                spread += 1
                sectors.add(int((math.atan2(dy, dx) + math.pi) / (math.pi / 8)) % 16)
    return near, spread, len(sectors)


class TakesTest(E2ETest):
    def test_a_performance_recorded_and_rendered(self):
        wav = self.fixture('bursts.wav', wav_bytes(bursts(14)[:14 * RATE * 4]))
        take = os.path.join(self.tmp, 'set.take')
        said = tempfile.TemporaryFile(dir=self.tmp)
        self.addCleanup(said.close)
        app = self.launch(argv=['--record', take, '--seed', '9', '--verbose', wav],
                          stderr=said)

        def heard():
            said.seek(0)
            return b'clock lead' in said.read()
        # once the music is heard (--verbose says so), wherever it is by
        # then (a slow start plays seconds of it before the window is up)
        self.assertTrue(poll(heard))
        started = time.monotonic()

        def at(seconds):
            time.sleep(max(0, seconds - (time.monotonic() - started)))
        app.key('F')
        at(0.5)
        app.key('m', 'd')  # radial bars on, the distance law off
        at(1.5)
        app.key('7')
        at(3)
        app.mouse('down', *HELD)
        at(3.8)
        app.mouse('move', HELD[0] + 5, HELD[1] - 5)
        at(4.4)
        app.mouse('move', *HELD)
        at(5.2)
        app.mouse('up', *HELD)
        at(5.5)
        self.quit(app)

        with open(take) as f:
            text = f.read()
        self.assertRegex(text, r'^# Starlume take.*\nstarlume take 1\nseed 9\n'
                               r'stars 75\nkeys\nsong 14\.000 bursts\.wav\n')
        played = events(take)
        kinds = [(e, r) for _, e, r in played if e != 'move']
        self.assertEqual(kinds, [('key', 'F'), ('key', 'm'), ('key', 'd'),
                                 ('key', '7'), ('press', '0.8571 0.1429'),
                                 ('release', '0.8571 0.1429'), ('key', 'Q')])
        self.assertIn(('move', '0.8643 0.1357'), [(e, r) for _, e, r in played])
        times = [ms for ms, _, _ in played]
        self.assertEqual(times, sorted(times))
        ms = {e + r: t for t, e, r in played if e != 'move'}
        self.assertLess(ms['keyQ'], 14000, 'the window opened too late in the music')
        held = ms['release0.8571 0.1429'] - ms['press0.8571 0.1429']
        self.assertTrue(1500 < held < 3500, ms)

        fps = 20
        big = os.path.join(self.tmp, 'big.mp4')
        run = render(big, '--take', take, '--size', '700x700', '--fps', str(fps), wav)
        self.assertEqual(run.returncode, 0, run.stderr)
        # F lands on the pass that reaches its recorded position: one pass
        # is half a millisecond of music
        steps = int(re.search(r'simulated (\d+) RK2 steps', run.stdout)[1])
        self.assertLessEqual(abs(steps / 2 - ms['keyF']), 0.5, (steps, ms))
        frames = video_frames(big, 700, 700)
        first = next(k for k, f in enumerate(frames) if fire(f) > 40)
        self.assertLessEqual(abs(first - ms['key7'] * fps / 1000), 2, first)
        self.assertLess(max(fire(f) for f in frames[first - 10:first - 2]), 20)
        # just before the release the pile is at the held point, spread all
        # round it by the radial bars
        before = frames[int(ms['release0.8571 0.1429'] * fps / 1000) - 1]
        near, spread, sectors = around(before, 600 / 700, 100 / 700)
        self.assertGreater(near, 0.8 * sum(before.lit), (near, sum(before.lit)))
        self.assertGreater(spread, 500)
        self.assertGreaterEqual(sectors, 12)

        # without the radial bars (the take edited by hand) the pile
        # collapses to a point; at another size the same stars are hit
        plain = self.fixture('plain.take', text.replace(
            '%.1f key m\n' % ms['keym'], '').encode())
        small, again, flat = (os.path.join(self.tmp, n) for n in
                              ('small.mp4', 'again.mkv', 'flat.mp4'))
        for out, t in ((small, take), (again, take), (flat, plain)):
            run = render(out, '--take', t, '--size', '320x180', '--fit', 'stretch', '--fps',
                         str(fps), wav)
            self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(hashes(small), hashes(again))
        k = int(ms['release0.8571 0.1429'] * fps / 1000) - 1
        for out, spreads in ((small, True), (flat, False)):
            shot = video_frames(out, 320, 180)[k]
            near, spread, sectors = around(shot, 600 / 700, 100 / 700)
            self.assertGreater(near, 0.8 * sum(shot.lit), out)
            self.assertEqual(sectors >= 12, spreads, (out, sectors))

    def test_takes_a_video_refuses(self):
        wav = self.fixture('short.wav', wav_bytes(tone(2 * RATE, 440)))
        header = 'starlume take 1\nseed 1\nstars 40\nkeys 7\n'
        song = header + 'song 2.000 short.wav\n'
        # name, take (None: none there), options, status, message
        cases = [
            ('missing', None, [wav], 1, r"starlume: cannot open '.*none\.take': "
             r'No such file or directory'),
            ('version', 'starlume take 2\n', [wav], 65, r"TAKE:1: unknown version '2'"),
            ('order', song + '5.0 key b\n# fine\n4.0 key b\n', [wav], 65,
             'TAKE:8: out of time order: 4.0 ms after 5.0 ms'),
            ('past the end', song + '2000.1 key b\n', [wav], 65,
             r'TAKE:6: 2000\.1 ms is past the end of the song \(2\.000 s\)'),
            ('unknown key', song + '1.0 key x\n', [wav], 65, "TAKE:6: 'x' is not a key"),
            ('another song', song + 'song 3.000 other.wav\n', [wav], 65,
             "TAKE:6: a section for 'other.wav', which is not among the songs given"),
            ('garbage', None, [wav], 65, 'TAKE:\\d+: (binary data|not UTF-8).*'),
            ('seed', song, ['--seed', '2', wav], 64,
             "starlume: --seed 2 does not agree with the take's seed 1"),
            ('no sound', song, [], 64, "starlume: --render needs a FILE: the take "
             "'.*' keeps no sound of its own"),
        ]
        for name, text, extra, status, message in cases:
            with self.subTest(name):
                path = os.path.join(self.tmp, 'none.take')
                if text is not None:
                    path = self.fixture(name + '.take', text.encode())
                elif name == 'garbage':
                    path = self.fixture(name + '.take', b'starlume take 1\n' +
                                        os.urandom(4000))
                out = os.path.join(self.tmp, name + '.mp4')
                run = render(out, '--take', path, *extra)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertRegex(run.stderr, '^%s\n$' % message.replace('TAKE', re.escape(path)))
                self.assertFalse(os.path.exists(out))

    def test_live_sound_kept_beside_its_take(self):
        raw = self.fixture('tone.raw', tone(BLOCK, 10 * RATE / BLOCK, 32000) * 200)
        take = os.path.join(self.tmp, 'live.take')
        app = self.launch(argv=['--listen', '--record', take],
                          env={'SDL_AUDIODRIVER': 'disk', 'SDL_DISKAUDIOFILEIN': raw})
        time.sleep(2)
        app.key('b')
        time.sleep(2)
        self.quit(app)
        with open(take) as f:
            self.assertRegex(f.read(), r'\nkeys\nsound live\.flac\nsong 0\.000 live\.flac\n'
                                       r'\d+\.\d key b\n\d+\.\d key Q\n$')
        quit_ms = events(take)[-1][0]
        flac = os.path.join(self.tmp, 'live.flac')
        sound, = probe(flac)
        self.assertEqual((sound['codec_name'], sound['sample_rate'], sound['channels']),
                         ('flac', '44100', '2'))
        self.assertAlmostEqual(float(sound['duration']), quit_ms / 1000, delta=0.25)
        out = os.path.join(self.tmp, 'live.mp4')
        run = render(out, '--take', take, '--size', '160x90', '--fps', '10')
        self.assertEqual(run.returncode, 0, run.stderr)
        video, _ = probe(out)
        self.assertAlmostEqual(float(video['duration']), float(sound['duration']),
                               delta=0.15)

    def test_a_recording_ends_whole_or_never_starts(self):
        wav = self.fixture('tone.wav', wav_bytes(tone(20 * RATE, 440)))
        take = os.path.join(self.tmp, 'cut.take')
        app = self.launch(argv=['--record', take, wav])
        app.key('g')
        app.wait_for('\n')  # nothing printed by g: a report makes sure it arrived
        app.report('p', 'Color:')
        app.proc.send_signal(signal.SIGINT)
        self.assertEqual(app.wait_exit(), 130)
        self.assertEqual([(e, r) for _, e, r in events(take)], [('key', 'g'), ('key', 'p')])
        # a take that cannot be created: said, and no window
        bad = subprocess.run([os.environ['STARLUME_BIN'], '--record', self.tmp + '/no/x.take',
                              wav], capture_output=True, text=True, timeout=60,
                             stdin=subprocess.DEVNULL, env=dict(os.environ, DISPLAY=self.display))
        self.assertEqual(bad.returncode, 73)
        self.assertEqual(bad.stderr, "starlume: cannot create the take '%s/no/x.take': "
                                     'No such file or directory\n' % self.tmp)
        self.assertNotIn(BANNER, bad.stdout)


if __name__ == '__main__':
    unittest.main()
