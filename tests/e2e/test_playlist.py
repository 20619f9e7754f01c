"""An evening of music in one window: a folder's songs one after another,
each with its header report and a "Now playing" line, a tone that dances
after the switch, the next song on the Right arrow, the end of the list;
an M3U list that starts over with --loop, its titles named; a path with
blanks and quotes, and a folder, typed at the prompt; a single song's end;
the song keys while paused."""

import os
import re
import time
import unittest

from harness import BANNER, E2ETest, PROMPT, RATE, bursts, encode, silence, wav_bytes


def played(out):
    """The "Now playing" lines, in order."""
    return re.findall(r'^Now playing (\d+)/(\d+): (.+) \((.+)\)$', out, re.M)


class PlaylistTest(E2ETest):
    def test_a_folder_plays_through(self):
        folder = os.path.join(self.tmp, 'album')
        os.mkdir(folder)
        songs = {'1 quiet.wav': silence(RATE),           # a second
                 '2 tone.wav': bursts(8)[:8 * RATE * 4],  # eight seconds
                 '3 quiet.wav': silence(RATE // 2),
                 'cover.jpg': b'\xff\xd8 not a song'}
        for name, pcm in songs.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(pcm if name.endswith('.jpg') else wav_bytes(pcm))
        app = self.launch(argv=[folder])
        app.wait_for('Now playing 2/3: 2 tone.wav (0:08)\n')
        self.assert_strips_4_and_5_dance(app)
        app.key('Right')
        app.wait_for('End of the list: press Q to quit\n')
        self.quit(app)
        out = app.text()
        self.assertTrue(out.startswith(PROMPT + 'Successfully opened file\n(1-4): RIFF'))
        self.assertEqual(played(out), [('1', '3', '1 quiet.wav', '0:01'),
                                       ('2', '3', '2 tone.wav', '0:08'),
                                       ('3', '3', '3 quiet.wav', '0:01')])
        # each song's report, then its line; the banner after the first report
        reports = [m.start() for m in re.finditer('Closing file..\n', out)]
        lines = [m.start() for m in re.finditer('^Now playing', out, re.M)]
        self.assertEqual(len(reports), 3)
        self.assertTrue(reports[0] < out.index(BANNER) < lines[0] < reports[1]
                        < lines[1] < reports[2] < lines[2], out)
        self.assertEqual(out.count('Successfully opened file\n'), 3)

    def test_a_list_starts_over_with_loop(self):
        quiet = self.fixture('quiet.wav', wav_bytes(silence(RATE // 2)))
        with open(os.path.join(self.tmp, 'list.m3u8'), 'wb') as f:
            f.write(b'#EXTM3U\r\n#EXTINF:1,Quiet\r\nquiet.wav\r\nmissing.wav\r\n'
                    + quiet.encode() + b'\r\n')
        app = self.launch(argv=['--loop', os.path.join(self.tmp, 'list.m3u8')],
                          stderr=-1)
        app.wait_for('Now playing 1/3', app.wait_for('Now playing 3/3'))
        self.quit(app)
        self.assertEqual([(n, name) for n, _, name, _ in played(app.text())][:3],
                         [('1', 'Quiet'), ('3', 'quiet.wav'), ('1', 'Quiet')])
        # the missing song said why, each time round, and was left out
        err = app.proc.stderr.read().decode()
        self.assertIn("starlume: cannot open '%s/missing.wav': No such file or "
                      "directory\n" % self.tmp, err)

    def test_paths_as_typed_at_the_prompt(self):
        folder = os.path.join(self.tmp, 'My Album')
        os.mkdir(folder)
        for name, pcm in {'1 quiet.wav': silence(RATE // 2),
                          '2 tone.wav': bursts(20)[:20 * RATE * 4]}.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(wav_bytes(pcm))
        # pasted as a terminal quotes a dropped file: one song, as before
        app = self.launch(" '%s/2 tone.wav' " % folder)
        self.assert_strips_4_and_5_dance(app)
        self.quit(app)
        out = app.text()
        self.assertTrue(out.startswith(PROMPT + 'Successfully opened file\n(1-4): RIFF'))
        self.assertEqual((out.count('Closing file..\n'), played(out)), (1, []))
        # a folder under ~ plays its songs as on the command line
        app = self.launch('~/My Album', env={'HOME': self.tmp})
        app.wait_for('Now playing 2/2: 2 tone.wav (0:20)\n')
        self.quit(app)
        out = app.text()
        self.assertTrue(out.startswith(PROMPT + 'Successfully opened file\n(1-4): RIFF'))
        self.assertEqual(out.count(PROMPT), 1)
        self.assertEqual(played(out), [('1', '2', '1 quiet.wav', '0:01'),
                                       ('2', '2', '2 tone.wav', '0:20')])

    def test_a_single_song_ends_as_a_list_does(self):
        # A FLAC cut short: its header says 0:06, its music stops near 0:02.
        whole = encode(self.fixture('whole.wav', wav_bytes(bursts(6)[:6 * RATE * 4])),
                       os.path.join(self.tmp, 'whole.flac'), 'flac')
        with open(whole, 'rb') as f:
            data = f.read()
        cut = self.fixture('cut.flac', data[:len(data) * 4 // 10])
        app = self.launch(argv=[cut], stderr=-1)
        ended = app.wait_for('End of the list: press Q to quit\n')
        app.key('Left')  # plays it again, and it ends again
        app.wait_for('End of the list: press Q to quit\n', ended)
        self.quit(app)
        self.assertEqual(app.text().count('Closing file..\n'), 2)
        err = app.proc.stderr.read().decode()
        self.assertRegex(err, r"^(starlume: '%s' ended at 0:0[123] of 0:06\n){2}$"
                         % re.escape(cut))

    def test_keys_while_paused(self):
        # Left counts the music heard, not the time paused, and the song it
        # skips to plays: the short one ends, and --loop starts over.
        long = self.fixture('long.wav', wav_bytes(silence(10 * RATE)))
        short = self.fixture('short.wav', wav_bytes(silence(RATE // 2)))
        app = self.launch(argv=['--loop', long, short])
        start = app.wait_for('Now playing 1/2')
        app.key('P')
        time.sleep(3.5)
        app.key('Prior')  # PgUp, as Left
        app.wait_for('Now playing 1/2', app.wait_for('Now playing 2/2', start))
        self.quit(app)
        self.assertEqual([n for n, _, _, _ in played(app.text(start))][:2], ['2', '1'])


if __name__ == '__main__':
    unittest.main()
