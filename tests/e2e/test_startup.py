"""Start-up dialogue, header report, banner and exit statuses."""

import os
import subprocess
import unittest

from harness import BANNER, BIN, E2ETest, INSTRUCTIONS, PROMPT, tone, wav_bytes

# 2.25 s of a 440 Hz tone: 99225 frames, 396900 data bytes.
TONE_REPORT = """Successfully opened file
(1-4): RIFF 
136 14 6 0
(5-8) Overall size: bytes:396936, Kb:387 
(9-12) Wave marker: WAVE
(13-16) Fmt marker: fmt 
16 0 0 0
(17-20) Length of Fmt header: 16 
1 0 
(21-22) Format type: 1 PCM 
2 0 
(23-24) Channels: 2 
68 172 0 0
(25-28) Sample rate: 44100
16 177 2 0
(29-32) Byte Rate: 176400 , Bit Rate:1411200
4 0 
(33-34) Block Alignment: 4 
16 0 
(35-36) Bits per sample: 16 
(37-40) Data Marker: data 
100 14 6 0
(41-44) Size of data chunk: 396900 
Number of samples:99225 
Size of each sample:4 bytes
Approx.Duration in seconds=2.250204
Approx.Duration in h:m:s=0:0:2.250
Closing file..
"""


class StartupTest(E2ETest):
    def test_canonical_run_prints_report_and_banner_then_quits(self):
        path = self.fixture('tone.wav', wav_bytes(tone(99225, 440)))
        app = self.launch(path)
        self.quit(app)
        self.assertEqual(app.text(), PROMPT + TONE_REPORT + BANNER)

    def test_file_that_cannot_be_opened_ends_with_status_1(self):
        missing = self.tmp + '/no-such.wav'
        # a folder plays its songs: one without any cannot be opened
        os.makedirs(self.tmp + '/no songs', exist_ok=True)
        for name, line in [('missing', missing), ('directory', self.tmp + '/no songs'),
                           ('overlong', '/' + 'a' * 5000)]:
            with self.subTest(name):
                app = self.launch(line, window=False)
                self.assertEqual(app.wait_exit(), 1)
                self.assertEqual(app.text(), PROMPT + 'Error opening file\n')
        with self.subTest('end of input'):
            app = self.launch(window=False)
            app.proc.stdin.close()
            self.assertEqual(app.wait_exit(), 1)
            self.assertEqual(app.text(), PROMPT + 'Error opening file\n')

    def test_audio_device_failure_ends_with_status_2(self):
        path = self.fixture('tone.wav', wav_bytes(tone(99225, 440)))
        app = self.launch(path, env={'SDL_AUDIODRIVER': 'nosuchdriver'},
                          window=False)
        self.assertEqual(app.wait_exit(), 2)
        head = PROMPT + TONE_REPORT + BANNER + 'Mix_OpenAudio: '
        out = app.text()
        self.assertEqual(out[:len(head)], head)
        self.assertEqual(out.count('\n', len(head)), 1)
        self.assertTrue(out.endswith('\n'))

    def test_file_that_is_not_audio_still_opens_the_window(self):
        app = self.launch(self.fixture('notes.txt', b'not a wav file\n' * 99))
        # nothing plays, so the song has ended at once, and says so
        app.wait_for('End of the list: press Q to quit\n')
        self.assertIsNone(app.proc.poll())
        self.quit(app)
        out = app.text()
        head = PROMPT + 'Successfully opened file\n(1-4): not  \n'
        self.assertEqual(out[:len(head)], head)
        tail = ('Closing file..\n(Not a WAV header: no decoder reads this file)\n'
                + BANNER + 'Not found\nMix_PlayMusic: ')
        self.assertIn(tail, out)
        self.assertRegex(out[out.index(tail) + len(tail):],
                         r'\A[^\n]+\nEnd of the list: press Q to quit\n\Z')

    def test_command_line(self):
        def run(*args):
            return subprocess.run([BIN, *args], capture_output=True, text=True,
                                  timeout=30, stdin=subprocess.DEVNULL)
        version = run('--version')
        self.assertEqual((version.returncode, version.stdout), (0, 'starlume 1.2.0\n'))
        usage = run('--help')
        self.assertEqual(usage.returncode, 0)
        self.assertIn('Usage: starlume [OPTIONS] [FILE...]', usage.stdout)
        # several files make one video, so a second one is no usage fault
        for args in (['--bogus'], ['--render', 'v.mp4', '--size', 'round', 'a.wav'],
                     ['-geometry']):
            wrong = run(*args)
            self.assertEqual(wrong.returncode, 64, args)
            self.assertEqual((wrong.stdout, wrong.stderr.count('\n')), ('', 1))
        # the toolkit's own options still reach it: the display comes from
        # -display alone, and the path from the command line
        path = self.fixture('tone.wav', wav_bytes(tone(99225, 440)))
        app = self.launch(argv=['-display', self.display, '-sync', path],
                          env={'DISPLAY': ''}, window=False)
        app.env['DISPLAY'] = self.display  # for xdotool
        app.wait_for(INSTRUCTIONS)
        app.find_window()
        self.quit(app)
        self.assertEqual(app.text(), PROMPT + TONE_REPORT + BANNER)
        # a file named like a toolkit option, after "--", is only a file
        self.fixture('-geometry', wav_bytes(tone(99225, 440)))
        app = self.launch(argv=['--', '-geometry'], cwd=self.tmp)
        self.quit(app)
        self.assertEqual(app.text(), PROMPT + TONE_REPORT + BANNER)


if __name__ == '__main__':
    unittest.main()
