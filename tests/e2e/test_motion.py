"""Stars thrown up by the music and pulled by the mouse."""

import re
import time
import unittest

from harness import E2ETest, RATE, WIN, bursts, silence, wav_bytes

HIGH = WIN - 100  # rows above this are well clear of the floor


def high(shot, first, last):
    """Lit pixels well above the floor in strips first..last."""
    return shot.count(first * WIN // 16, (last + 1) * WIN // 16, 0, HIGH)


def quiet(shot):
    """Strips whose bands get too little of a bin 10 tone to throw stars
    that high."""
    return high(shot, 0, 2) + high(shot, 8, 15)


class MotionTest(E2ETest):
    def test_tone_at_bin_10_throws_up_strips_4_and_5(self):
        app = self.launch(self.fixture('bursts.wav', wav_bytes(bursts(100))))
        app.key('0')  # white on black
        app.wait_frames()  # a window not drawn yet has no stars in the air
        # all stars start in the air: wait until the quiet strips have landed
        shot = app.shot_when(lambda s: s.bg == (0, 0, 0) and quiet(s) == 0,
                             timeout=60)
        self.assertEqual(quiet(shot), 0, 'stars did not settle')
        shots = [shot]
        for _ in range(5):
            time.sleep(0.3)
            shots.append(app.screenshot())
        loud = sum(high(s, 4, 5) for s in shots)
        self.assertGreater(loud, 300)
        self.assertLess(sum(quiet(s) for s in shots) * 20, loud)
        self.quit(app)

    def velocities(self, app):
        dump = app.report('V', 'Speedx 99:')
        pairs = re.findall(r'Speedx \d+: (\S+) \t Speedy \d+: (\S+)\n', dump)
        self.assertEqual(len(pairs), 100)
        return [(float(vx), float(vy)) for vx, vy in pairs]

    def assert_pulled_toward(self, app, cx, cy):
        """Stars 0..99 (left columns of the grid) move toward (cx, cy)."""
        for k, (vx, vy) in enumerate(self.velocities(app)):
            x = -0.9999 + (2 * (k // 75) + 1) / 75  # where the grid put it
            y = -0.9999 + (2 * (k % 75) + 1) / 75
            for d, v in ((cx - x, vx), (cy - y, vy)):
                if abs(d) > 0.1:
                    self.assertGreater(v * d, 0, (k, vx, vy, cx, cy))

    def test_held_button_pulls_stars_toward_the_cursor(self):
        app = self.launch(self.fixture('quiet.wav',
                                       wav_bytes(silence(10 * RATE))))
        self.still_grid(app)
        app.mouse('down', WIN // 2, WIN // 2)
        time.sleep(1)
        self.assert_pulled_toward(app, 0, 0)

        # drag to the upper right quadrant, start again from rest there
        app.mouse('move', WIN * 3 // 4, WIN // 4)
        app.key('R')
        time.sleep(1)
        self.assert_pulled_toward(app, 0.5, 0.5)

        # released: no more pull, so a reset grid stays at rest
        app.mouse('up', WIN * 3 // 4, WIN // 4)
        app.key('R')
        time.sleep(0.5)
        self.assertEqual(set(self.velocities(app)), {(0.0, 0.0)})
        self.quit(app)

    def test_pull_follows_a_resized_window(self):
        app = self.launch(self.fixture('quiet.wav',
                                       wav_bytes(silence(10 * RATE))))
        self.still_grid(app)
        app.xdo('windowsize', app.wid, str(WIN), str(WIN // 2))
        app.wait_frames()
        # pixel (350, 87) of a 700 by 350 window is world (0, 0.503); read
        # against the old 700 by 700 size it would be (0, 0.751), and the
        # stars between the two (60 and 61 of the first column) would rise
        app.mouse('down', WIN // 2, 87)
        time.sleep(1)
        self.assert_pulled_toward(app, 0, (175 - 87) / 175)
        app.mouse('up', WIN // 2, 87)
        self.quit(app)


if __name__ == '__main__':
    unittest.main()
