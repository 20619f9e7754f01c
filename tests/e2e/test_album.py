"""An album in one video: a list's songs back to back, a chapter and a title
for each, a part of the whole, a take's sections each on its song, and the
songs that leave nothing to make a video of."""

import json
import os
import re
import subprocess
import unittest

from harness import RATE, E2ETest, render, tone, video_frames, wav_bytes

W, H, FPS = 180, 320, 10 # tall: the titles lie above the stars' square
TOP = (H - W) // 2  # rows above the square
SMALL = ['--size', '%dx%d' % (W, H), '--fps', str(FPS)]
LENGTHS = {'s220.wav': 2, 's330.wav': 2.5, 's440.wav': 3}


def ffmpeg(*args):
    subprocess.run(['ffmpeg', '-v', 'error', '-y', *args], check=True, timeout=60)


def chapters(path):
    """A file's chapters as (start s, end s, title), and its length, s."""
    out = json.loads(subprocess.run(
        ['ffprobe', '-v', 'error', '-show_chapters', '-show_format', '-of', 'json', path],
        capture_output=True, text=True, timeout=60, check=True).stdout)
    return ([(float(c['start_time']), float(c['end_time']), c['tags']['title'])
             for c in out['chapters']], float(out['format']['duration']))


class AlbumTest(E2ETest):
    display_needed = False

    def setUp(self):
        for name, seconds in LENGTHS.items():
            self.fixture(name, wav_bytes(tone(int(seconds * RATE), int(name[1:4]))))

    def test_a_list_is_one_video_with_a_chapter_and_title_per_song(self):
        # the second song has a red picture of its own, and no title tag
        red, flac = os.path.join(self.tmp, 'red.png'), os.path.join(self.tmp, 's330.flac')
        ffmpeg('-f', 'lavfi', '-i', 'color=red:s=64x48', '-frames:v', '1', red)
        ffmpeg('-i', os.path.join(self.tmp, 's330.wav'), '-i', red, '-map', '0', '-map', '1',
               '-c:a', 'flac', '-disposition:v', 'attached_pic', flac)
        album = self.fixture('party.m3u', '#EXTM3U\n#EXTINF:2,First Song\ns220.wav\n'
                             '#EXTINF:3,Second – Ünïcode\ns330.flac\nmissing.wav\n'
                             's440.wav\n'.encode())
        whole = [(0, 2, 'First Song'), (2, 4.5, 'Second – Ünïcode'), (4.5, 7.5, 's440.wav')]
        # container, --from/--to, the chapters wanted
        cases = [('mp4', [], whole), ('mkv', [], whole),
                 ('mp4', ['--from', '1', '--to', '0:05'],
                  [(0, 1, 'First Song'), (1, 3.5, 'Second – Ünïcode'), (3.5, 4, 's440.wav')])]
        for i, (ext, part, want) in enumerate(cases):
            with self.subTest(ext=ext, part=part):
                out = os.path.join(self.tmp, 'album%d.%s' % (i, ext))
                run = render(out, *SMALL, *part, album)
                self.assertEqual(run.returncode, 0, run.stderr)
                # a song that does not open is left out, as the window does
                self.assertRegex(run.stderr, r"^starlume: cannot open '.*missing\.wav': No such "
                                 r"file or directory\nstarlume: wrote .*: %d frames" %
                                 (want[-1][1] * FPS))
                got, duration = chapters(out)
                self.assertAlmostEqual(duration, want[-1][1], delta=1.5 / FPS)
                self.assertEqual([(round(a, 2), round(b, 2), t) for a, b, t in got], want)
        # each song's title above its stars, the untitled one with none, and
        # the second one's picture under its frames alone, below the square
        frames = [video_frames(os.path.join(self.tmp, 'album0.mp4'), W, H)[int(s * FPS) + 2].rgb
                  for s, _, _ in whole]
        white = [sum(min(f[i:i + 3]) > 200 for i in range(0, TOP * W * 3, 3)) for f in frames]
        red = [sum(f[i] > 70 and f[i + 1] < 40 and f[i + 2] < 40
                   for i in range(len(f) - TOP * W * 3 // 2, len(f), 3)) for f in frames]
        self.assertTrue(white[0] > 20 and white[1] > 20 and white[2] == 0, white)
        self.assertNotEqual(frames[0][:TOP * W * 3], frames[1][:TOP * W * 3])
        self.assertTrue(red[1] > TOP * W // 2 * 0.9 and max(red[0], red[2]) < TOP * W // 20, red)

    def test_a_take_plays_each_song_its_own_section(self):
        # played as b then a: on the album a then b, b from 2 s
        take = self.fixture('album.take', b'starlume take 1\nseed 3\nstars 20\nkeys \n'
                            b'song 2.500 s330.wav\n300.0 key F\n'
                            b'song 2.000 s220.wav\n500.0 key F\n')
        songs = [os.path.join(self.tmp, n) for n in ('s220.wav', 's330.wav')]
        run = render(os.path.join(self.tmp, 'take.mkv'), *SMALL, '--take', take, *songs)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(re.findall(r'in (\d+) milliseconds', run.stdout), ['500', '1800'])
        self.assertEqual([t for _, _, t in chapters(os.path.join(self.tmp, 'take.mkv'))[0]],
                         ['s220.wav', 's330.wav'])

    def test_songs_that_leave_nothing_to_make_a_video_of(self):
        tmp = self.tmp
        text = self.fixture('notes.txt', b'not music at all\n' * 100)
        dead = self.fixture('dead.m3u', ('missing.wav\n%s\n' % text).encode())
        bare = os.path.join(tmp, 'bare')
        os.makedirs(bare, exist_ok=True)
        self.fixture('bare/readme.txt', b'no music here\n')
        empty = self.fixture('empty.m3u', b'#EXTM3U\n# nothing\n')
        os.symlink(os.path.join(tmp, 's220.wav'), os.path.join(tmp, 'link.mp4'))
        wav = os.path.join(tmp, 's330.wav')
        other = self.fixture('other.take', b'starlume take 1\nseed 3\nstars 20\nkeys \n'
                             b'song 2.000 other.wav\n')
        # name, OUT, FILEs and options, status, the lines before the last, the last
        cases = [
            ('no song opens', 'a.mp4', [dead], 1,
             r"starlume: cannot open '.*missing\.wav': No such file or directory\n"
             r"starlume: no decoder reads sound from '.*notes\.txt'; left out of the video\n",
             r"no song of '.*dead\.m3u' holds sound a decoder reads; a video needs "
             r"decodable audio"),
            ('files that do not open', 'a.mp4', [tmp + '/none.wav', tmp + '/none.flac'], 1,
             r"(starlume: cannot open .*\n){2}", 'none of the songs given holds sound.*'),
            ('a folder with no music', 'a.mp4', [bare], 1, '', r"no songs in '.*bare'"),
            ('an empty list', 'a.mp4', [empty], 1, '', r"no songs in '.*empty\.m3u'"),
            ('a song is the video', 'link.mp4', [wav, tmp + '/s220.wav'], 64, '',
             r"'.*link\.mp4' is the song '.*s220\.wav' itself; the video would overwrite it"),
            ('a take of another song', 'a.mp4', ['--take', other, wav, wav], 65, '',
             r".*other\.take:5: a section for 'other\.wav', which is not among the songs "
             r"given"),
        ]
        for name, out, given, status, before, last in cases:
            with self.subTest(name):
                out = os.path.join(tmp, out)
                run = render(out, *given)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertEqual(run.stdout, '')
                prefix = '' if name.startswith('a take') else 'starlume: '
                self.assertRegex(run.stderr, '^%s%s%s\n$' % (before, prefix, last))
                if name == 'a song is the video':
                    self.assertTrue(os.path.islink(out))
                else:
                    self.assertFalse(os.path.exists(out))


if __name__ == '__main__':
    unittest.main()
