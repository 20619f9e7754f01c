"""A long random session: every command but Q, star counts typed on the
console, drags that leave the window, resizes down to 1x1. The program must
stay up, keep its velocities finite and its memory flat, and quit with 0.

STARLUME_SOAK_SECONDS sets the random phase per file, STARLUME_SOAK_SEED
replays the same sequence of actions."""

import os
import random
import time
import unittest

from harness import E2ETest, RATE, WIN, bursts, silence, wav_bytes

SECONDS = float(os.environ.get('STARLUME_SOAK_SECONDS', 20))
SEED = int(os.environ.get('STARLUME_SOAK_SEED', 1103515245))
KEYS = 'PFRVramglSCdvbn0123456789cpi'  # the whole command table but Q
ASK = 'Enter the number between 1-100: '
AGAIN = 'Invalid input: Enter the number between 1-100: '
WRONG = ['abc', 'x1', '-', '0', '101', '-7', '99999999999999999999']
BIG = WIN + 200  # the largest window that fits the screen
FAR = (-100, BIG)  # pointer range, well beyond the window's edges


class SoakTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        print('\nsoak: %g s per file, STARLUME_SOAK_SEED=%d' % (SECONDS, SEED))

    def test_tone(self):
        self.soak('tone', wav_bytes(bursts(SECONDS + 60)))

    def test_silence(self):
        self.soak('silence', wav_bytes(silence(int((SECONDS + 60) * RATE))))

    def test_garbage(self):
        size = int((SECONDS + 60) * RATE * 4)
        self.soak('garbage', random.Random(SEED).randbytes(size))

    def soak(self, name, data):
        rng = random.Random('%d %s' % (SEED, name))
        # freed memory waits in a sanitizer's quarantine (up to 256 MB) before
        # reuse, which would look like growth; a small one is full at once
        asan = os.environ.get('ASAN_OPTIONS', '') + ':quarantine_size_mb=16'
        app = self.launch(self.fixture(name + '.wav', data),
                          env={'ASAN_OPTIONS': asan})
        self.size = WIN, WIN
        # warm-up: the software GL keeps what its first frames of each glyph
        # kind and window size needed, once and for good (decagons landing on
        # the floor cost it some 70 MB), so these come before the first count
        for count in (100, 20, 5, 40):
            self.star_count(app, rng, count)
            app.wait_frames(1)
        time.sleep(4)
        for w in (1, BIG, WIN):
            self.resize(app, w, w)
        self.drag(app, rng)
        self.assert_finite_velocities(app)
        start = warm = None
        actions, begin = 0, time.monotonic()
        while time.monotonic() - begin < SECONDS:
            if warm is None and time.monotonic() - begin > SECONDS / 4:
                warm, start = actions, app.rss_kb()
            self.act(app, rng)
            actions += 1
            self.assertIsNone(app.proc.poll(), 'died after %d actions' %
                              actions)
        self.resize(app, WIN, WIN)
        self.assert_finite_velocities(app)
        end = app.rss_kb()
        print('%s: %d actions; VmRSS %d kB after %d actions, %d kB at the end'
              % (name, actions, start, warm, end))
        self.assertLess(end, start * 1.3 + 20000)
        self.quit(app)

    def act(self, app, rng):
        roll = rng.random()
        if roll < 0.1:
            self.drag(app, rng)
        elif roll < 0.15:
            self.resize(app, *rng.choice([
                (1, 1), (WIN, WIN), (rng.randint(1, BIG),) * 2,
                (rng.randint(1, 50), rng.randint(1, BIG))]))
        elif (key := rng.choice(KEYS)) == 'n':
            self.star_count(app, rng, rng.choice([1, 100, rng.randint(1, 100)]))
        elif key == 'V':
            self.assert_finite_velocities(app)
        else:
            app.key(key)
            time.sleep(rng.random() * 0.2)

    def star_count(self, app, rng, count):
        start = app.mark()
        app.key('n')
        at = app.wait_for(ASK, start)
        if rng.random() < 0.3:
            app.send(rng.choice(WRONG))
            at = app.wait_for(AGAIN, at)
        app.send(str(count))

    def drag(self, app, rng):
        """Presses inside the window, wanders outside it, lets go anywhere."""
        w, h = self.size
        app.mouse('down', rng.randrange(w), rng.randrange(h))
        for _ in range(rng.randint(1, 8)):
            app.mouse('move', rng.randint(*FAR), rng.randint(*FAR))
            time.sleep(rng.random() * 0.3)
        app.mouse('up', rng.randint(*FAR), rng.randint(*FAR))

    def resize(self, app, w, h):
        app.xdo('windowsize', app.wid, str(w), str(h))
        self.size = w, h


if __name__ == '__main__':
    unittest.main()
