"""Every kind of file the player plays dances in step: the same tone in
bursts, as FLAC, Ogg Vorbis, Opus, MP3 and WAV of other layouts and rates,
throws up the strips its frequency belongs to, as the canonical WAV does,
and a tracker module dances, in the window and in a video, as the player's
own output does. Each file is given on the command line, so the window
opens untyped."""

import array
import math
import os
import re
import struct
import unittest

from harness import (BLOCK, E2ETest, PROMPT, RATE, encode, lifted, render,
                     video_frames, wav_bytes)

TONE = 10 * RATE / BLOCK  # bin 10 of the analysis, about 215 Hz


def bursts_at(rate, seconds, channels=2):
    """The tone for 11 blocks' time, silence for as long, again and again,
    as float frames of all channels."""
    on = round(11 * BLOCK * rate / RATE)
    cycle = [0.9 * math.sin(2 * math.pi * TONE * i / rate) for i in range(on)]
    cycle += [0.0] * on
    mono = cycle * math.ceil(seconds * rate / len(cycle))
    return [v for v in mono for _ in range(channels)]


def float_wav(rate, channels=2, seconds=40):
    pcm = array.array('f', bursts_at(rate, seconds, channels)).tobytes()
    return wav_bytes(pcm, rate, channels, 32, fmt=3)


def list_chunk_wav(seconds=40):
    pcm = array.array('h', (round(v * 32767) for v in bursts_at(RATE, seconds)))
    info = b'INFOISFT' + (b'\x0e\x00\x00\x00' + b'starlume test\x00')
    return wav_bytes(pcm.tobytes(), chunks=b'LIST' + len(info).to_bytes(4, 'little') + info)


# name, rate and channels of the float WAV it is made from, encoding,
# whether the tone strips dance alone, and what follows the header report.
# Vorbis and Opus leave noise some 70 dB below the tone in the bass, and the
# logarithmic band levels make that enough to stir strips 0 to 3 (levels 0.6
# to 1.0 against the tone's 1.26 and 1.42).
CASES = [
    ('flac', RATE, 2, 'flac', True, 'FLAC, 2 channels, 44100 Hz, 0:41'),
    ('ogg', RATE, 2, 'ogg', False, 'Ogg Vorbis, 2 channels, 44100 Hz, 0:41'),
    ('opus', 48000, 2, 'opus', False, 'Ogg Opus, 2 channels, 48000 Hz, 0:41'),
    ('mp3', 48000, 2, 'mp3', True, 'MP3, 2 channels, 48000 Hz, 0:41'),
    ('48khz.wav', 48000, 2, 'pcm16', True, 'WAV, 2 channels, 48000 Hz, 0:41'),
    ('mono.wav', RATE, 1, 'pcm16', True, 'WAV, 1 channel, 44100 Hz, 0:41'),
    ('24bit.wav', RATE, 2, 'pcm24', True, 'WAV, 2 channels, 44100 Hz, 0:41'),
    ('float.wav', RATE, 2, None, True, 'WAV, 2 channels, 44100 Hz, 0:41'),
    ('list.wav', None, None, None, True, 'WAV, 2 channels, 44100 Hz, 0:41'),
]


def protracker(positions=12):
    """A 31-sample "M.K." module that holds one note for about 90 s: a looped
    one-cycle sine of 128 bytes at period 127, an A of about 218 Hz."""
    cycle = bytes(round(100 * math.sin(2 * math.pi * i / 128)) & 0xff
                  for i in range(128))
    sample = b'sine'.ljust(22, b'\0') + struct.pack('>HBBHH', 64, 0, 64, 0, 64)
    unused = bytes(22) + struct.pack('>HBBHH', 0, 0, 0, 0, 1)
    note = bytes([0x00, 127, 0x10, 0x00])  # sample 1, period 127, no effect
    return (b'starlume'.ljust(20, b'\0') + sample + unused * 30
            + bytes([positions, 127]) + bytes(128) + b'M.K.'
            + note + bytes(1020) + cycle)


class FormatsTest(E2ETest):
    def test_every_format_dances_in_the_tone_strips(self):
        for name, rate, channels, encoding, only, found in CASES:
            with self.subTest(name):
                if rate is None:
                    path = self.fixture(name, list_chunk_wav())
                else:
                    path = self.fixture(name + '.src.wav',
                                        float_wav(rate, channels))
                    if encoding is not None:
                        path = encode(path, path[:-len('.src.wav')], encoding)
                app = self.launch(argv=[path])
                try:
                    head = PROMPT + 'Successfully opened file\n'
                    self.assertEqual(app.text()[:len(head)], head)
                    self.assertNotIn('Not found', app.text())
                    self.assertIn('Closing file..\n(Not a WAV header: %s)\n' % found,
                                  app.text())
                    self.assert_strips_4_and_5_dance(app, only)
                    self.quit(app)
                finally:
                    app.close()

    def test_module_dances_as_its_own_output_does(self):
        # The player's output, saved by the disk driver while it plays, then
        # played again as a canonical WAV. The 8-bit sample's noise stirs
        # every band a little; only the tone throws stars into the top rows.
        mixed = os.path.join(self.tmp, 'mixed.raw')
        app = self.launch(argv=[self.fixture('tone.mod', protracker())],
                          env={'SDL_AUDIODRIVER': 'disk',
                               'SDL_DISKAUDIOFILE': mixed})
        self.assertNotIn('Not found', app.text())
        self.assert_strips_4_and_5_dance(app, top=450)
        self.quit(app)
        with open(mixed, 'rb') as f:
            pcm = f.read()
        app = self.launch(argv=[self.fixture('mixed.wav', wav_bytes(pcm))])
        self.assert_strips_4_and_5_dance(app, top=450)
        self.quit(app)

        # A video of one pass of the module (7.68 s and libopenmpt's 0.1 s
        # fade-out), decoded by libopenmpt, throws up the same strips as a
        # video of the player's output from its first sound on.
        w, h, fps = 320, 180, 30
        small = ['--size', '%dx%d' % (w, h), '--fit', 'stretch', '--fps', str(fps),
                 '--keys', '0']
        video = os.path.join(self.tmp, 'module.mp4')
        run = render(video, *small, self.fixture('short.mod', protracker(1)))
        self.assertEqual(run.returncode, 0, run.stderr)
        frames = int(re.search(r"wrote '.*': (\d+) frames", run.stderr)[1])
        self.assertAlmostEqual(frames / fps, 7.78, delta=0.1)
        start = next(i for i in range(0, len(pcm), 4) if any(pcm[i:i + 4]))
        heard = pcm[start:start + frames * RATE * 4 // fps]
        played = os.path.join(self.tmp, 'played.mp4')
        run = render(played, *small, self.fixture('played.wav',
                                                  wav_bytes(heard)))
        self.assertEqual(run.returncode, 0, run.stderr)
        a, b = video_frames(video, w, h), video_frames(played, w, h)
        n = min(len(a), len(b))
        self.assertGreater(n, 3 * fps)  # the window played long enough

        def strips(shots):  # from when the grid has landed
            return [sum(lifted(s, k, h // 7) for s in shots[fps:n])
                    for k in range(16)]

        got, want = strips(a), strips(b)
        self.assertGreater(min(got[4:6]), 3 * max(got[:4] + got[6:]), got)
        for k in range(16):
            self.assertAlmostEqual(got[k], want[k], delta=max(want) / 10,
                                   msg=(k, got, want))


if __name__ == '__main__':
    unittest.main()
