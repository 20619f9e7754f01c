"""Stars thrown up by the music and pulled by the mouse."""

import re
import time
import unittest

from harness import (BLOCK, E2ETest, INSTRUCTIONS, RATE, WIN, bursts, silence,
                     tone, wav_bytes)


class MotionTest(E2ETest):
    def test_tone_at_bin_10_throws_up_strips_4_and_5(self):
        app = self.launch(self.fixture('bursts.wav', wav_bytes(bursts(100))))
        self.assert_strips_4_and_5_dance(app)
        self.quit(app)

    def test_a_long_way_to_the_ear_holds_the_kicks_back(self):
        # With --latency 1000 the music is heard a second after it is mixed,
        # and its first block comes due then: a loud tone at bin 10 leaves
        # the floor stars of its strips (stars 20 and 30 of a 10 by 10 grid,
        # the bottom row's, landed within a fifth of a second) at rest
        # until then, and throws them up after.
        wav = self.fixture('loud.wav', wav_bytes(
            tone(20 * RATE, 10 * RATE / BLOCK, 32000)))
        app = self.launch(argv=['--latency', '1000', '--stars', '10',
                                '--keys', 'a', wav], window=False)
        app.wait_for(INSTRUCTIONS)
        started = time.monotonic()  # the music starts right after the banner
        app.find_window()
        early, late = [], []
        while (now := time.monotonic() - started) < 3:
            pairs = self.velocities(app)
            (early if now < 0.8 else late).append(max(pairs[20][1],
                                                      pairs[30][1]))
        self.assertTrue(early, 'the window took too long to open')
        self.assertLessEqual(max(early), 0, early)
        self.assertGreater(max(late), 0.05, late)
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
