"""Keys pressed in the window and what they print on the console."""

import re
import unittest

from harness import E2ETest, INSTRUCTIONS, RATE, poll, silence, wav_bytes

ASK = 'Enter the number between 1-100: '
AGAIN = 'Invalid input: Enter the number between 1-100: '


def status(hole='OFF', gravity='ON', damping='ON', distance='ON',
           borders='OFF', reverse='OFF', bars='OFF', color=2):
    return ('TOGGLES: \nBlack Hole:%s\nGravity: %s\nDamping:%s\nDistance: %s\n'
            'Borders: %s\nReverse: %s\nRadial Bars: %s\nColor: %d\n\n' % (
                hole, gravity, damping, distance, borders, reverse, bars,
                color))


class KeysTest(E2ETest):
    def setUp(self):
        wav = self.fixture('quiet.wav', wav_bytes(silence(5 * RATE)))
        self.app = self.launch(wav)

    def status_now(self, start=None):
        """Presses p; returns the output from start (default: now) on."""
        start = self.app.mark() if start is None else start
        self.app.key('p')
        return self.app.text(start, self.app.wait_for(
            '\n\n', self.app.wait_for('Color:', start)))

    def test_status_report_follows_the_toggles(self):
        app = self.app
        self.assertEqual(self.status_now(), status())
        # pause, resume and the kick randomiser are not reported
        app.key('P', 'P', 'a')
        self.assertEqual(self.status_now(), status())
        app.key('b', 'g', 'v', 'd', 'l', 'r', '7')
        self.assertEqual(self.status_now(), status(
            'ON', 'OFF', 'OFF', 'OFF', 'ON', 'ON', color=7))
        # radial bars with the button up keep gravity on
        app.key('m', '0')
        poll(lambda: 'Gravity: ON' in self.status_now())
        self.assertEqual(self.status_now(), status(
            'ON', 'ON', 'OFF', 'OFF', 'ON', 'ON', 'ON', 0))
        self.quit(app)

    def test_listings_and_reports(self):
        self.assertEqual(self.app.report('c', '8: '), 'COLORS:\n'
                         '0: Classic Black\n1: Ferrofluid\n2: Transitions\n'
                         '3: Matrix\n4: Glitter\n5: Teal/Pink\n6: Red/Yellow\n'
                         '7: Fire\n8: Alternating\n')
        self.app.wait_for('8: Alternating\n\n\n\n')
        again = INSTRUCTIONS.replace("'Shift-p'", "'shift-p'").replace(
            '(make sure', '(makes sure')
        self.assertEqual(self.app.report('i', '(makes sure'), again[:-1])
        # 100 lines of finite numbers
        number = r'-?\d+\.\d{6}'
        self.assertRegex(self.app.report('V', 'Speedx 99:'), '^%s$' % ''.join(
            r'Speedx %d: %s \t Speedy %d: %s\n' % (i, number, i, number)
            for i in range(100)))
        m = re.fullmatch(r'Drawn (\d+) frames and simulated (\d+) RK2 steps '
                         r'in (\d+) milliseconds\n',
                         self.app.report('F', 'Drawn'))
        self.assertTrue(m)
        self.assertGreater(int(m[1]), 0)
        self.assertGreater(int(m[2]), 0)
        self.quit(self.app)

    def test_star_count_prompt(self):
        app = self.app
        out = self.star_count_then_status('0', '75')
        self.assertEqual(out, ASK + '0\n' + AGAIN + status())

        out = self.star_count_then_status('abc', '40')
        self.assertEqual(out, ASK + AGAIN + status())
        self.still_grid(app)
        shot = app.shot_when(
            lambda s: len(s.runs('x')) == len(s.runs('y')) == 40)
        self.assertEqual(len(shot.runs('x')), 40)
        self.assertEqual(len(shot.runs('y')), 40)

        # end of input: the prompt gives up and the count stays
        out = self.star_count_then_status(None)
        self.assertEqual(out, ASK + status(gravity='OFF'))
        self.assertEqual(len(app.screenshot().runs('x')), 40)
        self.assertIsNone(app.proc.poll())
        self.quit(app)

    def star_count_then_status(self, *answers):
        """Presses n and types the answers (None closes the input)."""
        app = self.app
        start = app.mark()
        app.key('n')
        at = app.wait_for(ASK, start)
        for answer in answers:
            if answer is None:
                app.proc.stdin.close()
            else:
                app.send(answer)
            if answer != answers[-1]:
                at = app.wait_for(AGAIN, at)
        return self.status_now(start)


if __name__ == '__main__':
    unittest.main()
