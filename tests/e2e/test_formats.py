"""Every kind of file the player plays dances in step: the same tone in
bursts, as FLAC, Ogg Vorbis, Opus, MP3 and WAV of other layouts and rates,
throws up the strips its frequency belongs to, as the canonical WAV does.
Each file is given on the command line, so the window opens untyped."""

import array
import math
import os
import struct
import unittest

from harness import BLOCK, E2ETest, PROMPT, RATE, encode, wav_bytes

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


# name, rate and channels of the float WAV it is made from, encoding, and
# whether the tone strips dance alone. Vorbis and Opus leave noise some 70 dB
# below the tone in the bass, and the logarithmic band levels make that enough
# to stir strips 0 to 3 (levels 0.6 to 1.0 against the tone's 1.26 and 1.42).
CASES = [
    ('flac', RATE, 2, 'flac', True),
    ('ogg', RATE, 2, 'ogg', False),
    ('opus', 48000, 2, 'opus', False),
    ('mp3', 48000, 2, 'mp3', True),
    ('48khz.wav', 48000, 2, 'pcm16', True),
    ('mono.wav', RATE, 1, 'pcm16', True),
    ('24bit.wav', RATE, 2, 'pcm24', True),
    ('float.wav', RATE, 2, None, True),
    ('list.wav', None, None, None, True),
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
        for name, rate, channels, encoding, only in CASES:
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


if __name__ == '__main__':
    unittest.main()
