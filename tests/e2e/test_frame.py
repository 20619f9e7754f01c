"""What the window shows: the start grid and the plain colour schemes."""

import unittest

from harness import E2ETest, RATE, WIN, WIN_X, WIN_Y, poll, silence, wav_bytes

SCREEN = (0, 0, 1024, 1024)  # the private X server's screen


class FrameTest(E2ETest):
    def setUp(self):
        self.app = self.launch(self.fixture('quiet.wav',
                                            wav_bytes(silence(5 * RATE))))
        self.still_grid(self.app)

    def assert_grid(self, shot, n=75, size=WIN):
        for axis in 'xy':
            centres = shot.runs(axis)
            self.assertEqual(len(centres), n, axis)
            gaps = [b - a for a, b in zip(centres, centres[1:])]
            self.assertLess(max(gaps) - min(gaps), 2.5, axis)
            self.assertAlmostEqual(sum(gaps) / len(gaps), size / n, delta=0.3)

    def test_start_grid_in_the_window(self):
        geometry = self.app.xdo('getwindowgeometry', self.app.wid)
        self.assertIn('Position: 100,100', geometry)
        self.assertIn('Geometry: 700x700', geometry)
        # polled: the first shots may still show the stars before the reset
        shot = self.app.shot_when(
            lambda s: len(s.runs('x')) == len(s.runs('y')) == 75)
        self.assert_grid(shot)
        # small outlines: each glyph lights a handful of pixels of its cell
        self.assertTrue(6 < shot.count() / 75 ** 2 < 40, shot.count())
        # the transitions scheme starts light stars on a dark background
        self.assertLess(max(shot.bg), 110)
        lighter = [p for p in shot.lit_pixels() if sum(p) > sum(shot.bg)]
        self.assertGreater(len(lighter), 0.9 * shot.count())
        self.quit(self.app)

    def assert_plain(self, shot, bg, glyph):
        """Grid of grey glyphs, some at the glyph level, on a plain bg."""
        self.assertEqual(shot.bg, bg)
        self.assertGreater(shot.bg_share, 0.7)
        self.assert_grid(shot)
        lit = shot.lit_pixels()
        self.assertTrue(all(r == g == b for r, g, b in lit))
        self.assertGreater(sum(abs(r - glyph) < 40 for r, _, _ in lit), 75**2)

    def test_ferrofluid_then_classic_black(self):
        # the background follows one frame after the glyphs: poll for it
        self.app.key('1')
        self.assert_plain(self.app.shot_when(
            lambda s: s.bg == (255, 255, 255)), (255, 255, 255), 0)
        self.app.key('0')
        self.assert_plain(self.app.shot_when(
            lambda s: s.bg == (0, 0, 0)), (0, 0, 0), 255)
        self.quit(self.app)

    def test_fullscreen(self):
        app = self.app
        app.key('F11')
        self.assertTrue(poll(lambda: app.geometry() == SCREEN), app.geometry())
        # the grid laid out again fills the whole screen
        app.key('R')
        full = SCREEN[2:] + SCREEN[:2]
        self.assert_grid(app.shot_when(lambda s: len(s.runs('x')) == 75,
                                       area=full), size=SCREEN[2])
        app.key('Escape')
        self.assertTrue(poll(lambda: app.geometry() == (WIN_X, WIN_Y, WIN, WIN)),
                        app.geometry())
        self.quit(app)
        # and --fullscreen starts that way
        app = self.launch(argv=['--fullscreen', self.fixture(
            'quiet.wav', wav_bytes(silence(5 * RATE)))])
        self.assertTrue(poll(lambda: app.geometry() == SCREEN), app.geometry())
        self.quit(app)


if __name__ == '__main__':
    unittest.main()
