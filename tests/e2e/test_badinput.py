"""Files and answers the program was not made for: the header report it
prints for them, and that it keeps running with finite numbers until Q."""

import math
import os
import struct
import time
import unittest

from harness import E2ETest, PROMPT, RATE, encode, tone, wav_bytes

ASK = 'Enter the number between 1-100: '
AGAIN = 'Invalid input: Enter the number between 1-100: '


def wav(fmt=1, channels=2, byte_rate=RATE * 4, align=4, bits=16, rate=RATE,
        data=b''):
    """A canonical 44-byte header with any field values, then data."""
    return (b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt '
            + struct.pack('<IHHIIHH', 16, fmt, channels, rate, byte_rate,
                          align, bits) + b'data'
            + struct.pack('<I', len(data)) + data)


def aiff(channels, data):
    """AIFF: big-endian chunks, the rate (44100) an 80-bit float."""
    comm = struct.pack('>IhIh', 18, channels, len(data) // 4, 16)
    body = (b'AIFFCOMM' + comm + bytes.fromhex('400EAC44000000000000')
            + b'SSND' + struct.pack('>III', 8 + len(data), 0, 0) + data)
    return b'FORM' + struct.pack('>I', len(body)) + body


def surround():
    """Six channels of 24-bit at 96 kHz in a WAVE_FORMAT_EXTENSIBLE file."""
    frames = [int(3000000 * math.sin(2 * math.pi * 440 * i / 96000))
              for i in range(96000)]
    pcm = b''.join(v.to_bytes(3, 'little', signed=True) * 6 for v in frames)
    fmt = struct.pack('<HHIIHHHHI', 0xFFFE, 6, 96000, 96000 * 18, 18, 24, 22,
                      24, 0x3F) + bytes.fromhex(
                          '0100000000001000800000aa00389b71')
    body = (b'WAVEfmt ' + struct.pack('<I', len(fmt)) + fmt + b'data'
            + struct.pack('<I', len(pcm)) + pcm)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def half_flac(test):
    """The first half of a FLAC file: its stream stops mid-frame."""
    src = test.fixture('for-flac.wav', wav_bytes(SECOND * 3))
    with open(encode(src, src + '.flac', 'flac'), 'rb') as f:
        data = f.read()
    return data[:len(data) // 2]


ID3 = (b'ID3\x04\x00\x00' + bytes([0, 0, 0, 20]) + b'TIT2'
       + struct.pack('>I', 10) + b'\x00\x00\x03starlume\x00')

SECOND = tone(RATE, 440)  # 1 s of 16-bit stereo
FLOATS = struct.pack('<%df' % RATE, *(
    0.5 * math.sin(2 * math.pi * 440 * (i // 2) / RATE) for i in range(RATE)))
UNSIGNED8 = bytes(128 + int(100 * math.sin(2 * math.pi * 440 * i / RATE))
                  for i in range(RATE))

# name, file contents, lines that must appear in this order in the output
# after the path prompt. Where the file ends inside the header, markers keep
# zero bytes and numeric fields the bytes that the previous read of the same
# width left in its buffer.
CASES = [
    ('empty file', b'', [
        '(1-4):  ', '0 0 0 0', '(5-8) Overall size: bytes:0, Kb:0 ',
        '(9-12) Wave marker: ', '(13-16) Fmt marker: ', '0 0 0 0',
        '(17-20) Length of Fmt header: 0 ', '0 0 ',
        '(21-22) Format type: 0  ', '0 0 ', '(23-24) Channels: 0 ',
        '(37-40) Data Marker:  ', '0 0 0 0',
        '(41-44) Size of data chunk: 0 ', 'Number of samples:0 ',
        'Size of each sample:0 bytes', 'Approx.Duration in seconds=0.000000',
        'Approx.Duration in h:m:s=0:0:0.0']),
    ('10 bytes', b'RIFF' + struct.pack('<I', 1000) + b'WA', [
        '(1-4): RIFF ', '232 3 0 0', '(5-8) Overall size: bytes:1000, Kb:0 ',
        '(9-12) Wave marker: WA', '(13-16) Fmt marker: ', '232 3 0 0',
        '(17-20) Length of Fmt header: 1000 ', '0 0 ',
        '(21-22) Format type: 0  ', '232 3 0 0', '(25-28) Sample rate: 1000',
        '232 3 0 0', '(29-32) Byte Rate: 1000 , Bit Rate:8000',
        '(37-40) Data Marker:  ', '232 3 0 0',
        '(41-44) Size of data chunk: 1000 ', 'Number of samples:0 ',
        'Approx.Duration in seconds=1.000000',
        'Approx.Duration in h:m:s=0:0:1.0']),
    # the byte rate gets two bytes of its own and two of the sample rate
    ('cut in the byte rate', wav(rate=96000, byte_rate=384000)[:30], [
        '0 119 1 0', '(25-28) Sample rate: 96000', '0 220 1 0',
        '(29-32) Byte Rate: 121856 , Bit Rate:974848', '2 0 ',
        '(33-34) Block Alignment: 2 ', '2 0 ', '(35-36) Bits per sample: 2 ',
        '(37-40) Data Marker:  ', '0 220 1 0',
        '(41-44) Size of data chunk: 121856 ', 'Number of samples:243712 ',
        'Size of each sample:0 bytes', 'Approx.Duration in seconds=0.000295']),
    ('header without samples', wav(), [
        '(5-8) Overall size: bytes:36, Kb:0 ', '(37-40) Data Marker: data ',
        '(41-44) Size of data chunk: 0 ', 'Number of samples:0 ',
        'Size of each sample:4 bytes', 'Approx.Duration in seconds=0.000204',
        'Approx.Duration in h:m:s=0:0:0.0']),
    # the second block holds a lone byte
    ('odd length', wav(data=SECOND[:8192] + b'\x7f'), [
        '(41-44) Size of data chunk: 8193 ', 'Number of samples:2048 ',
        'Approx.Duration in seconds=0.046650',
        'Approx.Duration in h:m:s=0:0:0.46']),
    ('no channels', wav(channels=0, align=0, data=SECOND), [
        '(23-24) Channels: 0 ', 'Number of samples:0 ',
        'Size of each sample:0 bytes', 'Approx.Duration in seconds=1.000204',
        'Approx.Duration in h:m:s=0:0:1.0', 'Not found']),
    # the music library would divide by the channel count
    ('AIFF without channels', aiff(0, SECOND), [
        '(1-4): FORM ', '(9-12) Wave marker: AIFF', '(13-16) Fmt marker: COMM',
        '0 0 0 18', '(17-20) Length of Fmt header: 301989888 ', '0 0 ',
        '(21-22) Format type: 0  ', 'Not found']),
    ('byte rate 0', wav(byte_rate=0, data=SECOND), [
        '0 0 0 0', '(29-32) Byte Rate: 0 , Bit Rate:0',
        'Number of samples:44100 ', 'Approx.Duration in seconds=0.000000',
        'Approx.Duration in h:m:s=0:0:0.0']),
    ('mono 8-bit', wav(channels=1, byte_rate=RATE, align=1, bits=8,
                       data=UNSIGNED8), [
        '(23-24) Channels: 1 ', '(29-32) Byte Rate: 44100 , Bit Rate:352800',
        '(35-36) Bits per sample: 8 ', 'Number of samples:44100 ',
        'Size of each sample:1 bytes', 'Approx.Duration in seconds=1.000816',
        'Approx.Duration in h:m:s=0:0:1.0']),
    ('32-bit float', wav(fmt=3, byte_rate=RATE * 8, align=8, bits=32,
                         data=FLOATS), [
        '3 0 ', '(21-22) Format type: 3  ', '(33-34) Block Alignment: 8 ',
        '(35-36) Bits per sample: 32 ', 'Number of samples:22050 ',
        'Size of each sample:8 bytes', 'Approx.Duration in seconds=0.500102',
        'Approx.Duration in h:m:s=0:0:0.500']),
    # Below: files a decoder is tried on; those it refuses go to the raw reader.
    ('truncated FLAC', half_flac, ['(1-4): fLaC ']),
    ('MP3 tag and garbage', ID3 + bytes(range(7, 256)) * 200, [
        '(1-4): ID3\x04 ', 'Not found']),
    ('only an ID3 tag', ID3, ['(1-4): ID3\x04 ', 'Not found']),
    ('data size beyond the end', wav(data=SECOND)[:40] + struct.pack(
        '<I', 10**9) + SECOND, [
        '(41-44) Size of data chunk: 1000000000 ',
        'Number of samples:250000000 ']),
    ('0 Hz', wav(rate=0, byte_rate=0, data=SECOND), [
        '(25-28) Sample rate: 0', 'Not found']),
    ('one frame', wav(data=SECOND[:4]), [
        '(41-44) Size of data chunk: 4 ', 'Number of samples:1 ']),
    ('6 channels 96 kHz 24-bit', surround(), [
        '(17-20) Length of Fmt header: 40 ', '(21-22) Format type: 65534  ',
        '(23-24) Channels: 6 ', '(25-28) Sample rate: 96000',
        '(29-32) Byte Rate: 1728000 , Bit Rate:13824000']),
]


class BadInputTest(E2ETest):
    def padded(self, name, length):
        """A path of exactly length characters to the fixture name."""
        tail = '/' + name
        return self.tmp + '/' * (length - len(self.tmp) - len(tail)) + tail

    def assert_lines_in_order(self, text, expected):
        lines = iter(text.split('\n'))
        for line in expected:
            self.assertIn(line, lines, 'missing or out of order in\n' + text)

    def test_odd_files_are_reported_and_run_until_q(self):
        for name, data, expected in CASES:
            with self.subTest(name):
                if callable(data):
                    data = data(self)
                path = self.fixture(name.replace(' ', '-') + '.wav', data)
                if name == 'header without samples':
                    # the longest path the system opens fits the buffer
                    path = self.padded(name.replace(' ', '-') + '.wav', 4095)
                app = self.launch(path)
                try:
                    out = app.text()
                    head = PROMPT + 'Successfully opened file\n'
                    self.assertEqual(out[:len(head)], head)
                    report = out[len(head):out.index('Closing file..\n')]
                    self.assertEqual(report.count('\n'), 26)
                    self.assert_lines_in_order(out[len(head):], expected)
                    # the analysis runs on whatever bytes the file holds
                    time.sleep(3)
                    self.assertIsNone(app.proc.poll())
                    self.assert_finite_velocities(app)
                    self.quit(app)
                finally:
                    app.close()

    def test_why_is_said_on_stderr(self):
        missing = self.tmp + '/no-such.wav'
        empty = self.fixture('empty.wav', b'')
        text = self.fixture('text.mp3', b'no music in here at all\n' * 80)
        os.mkdir(self.tmp + '/nothing')
        # given or typed, the exit status (None: the window opens), the line
        lists = {'nowhere.m3u': 'file:///nowhere/My%20Song.ogg\n',
                 'bad.m3u8': 'file://%s/a%%G1.wav\nbad.m3u8\n' % self.tmp,
                 'nofile.pls': '[playlist]\nFile2=a.wav\n'}
        for name, entries in lists.items():
            self.fixture(name, entries.encode())
        lists = {name: os.path.join(self.tmp, name) for name in lists}
        rows = [([missing], 1, "starlume: cannot open '%s': No such file or directory\n" % missing),
                # a folder, typed at the prompt or given, stands for its songs
                (self.tmp + '/nothing', 1, "starlume: no songs in '%s/nothing'\n" % self.tmp),
                ([self.tmp + '/nothing'], 1, "starlume: no songs in '%s/nothing'\n" % self.tmp),
                ("  '%s/My Music/no such.wav' " % self.tmp, 1,
                 "starlume: cannot open '%s/My Music/no such.wav': No such file or directory\n"
                 % self.tmp),
                (' \t ', 1, 'starlume: no file was named\n'),
                ([lists['nowhere.m3u']], 1,
                 "starlume: cannot open '/nowhere/My Song.ogg': No such file or directory\n"),
                ([lists['bad.m3u8']], 1,
                 "starlume: '{0}' line 1: '%G1' in 'file://{1}/a%G1.wav' is not a percent escape\n"
                 "starlume: '{0}' line 2: the list names itself\n"
                 "starlume: no songs in '{0}'\n".format(lists['bad.m3u8'], self.tmp)),
                ([lists['nofile.pls']], 1,
                 "starlume: '{0}': a PLS list needs a File1 entry, and this one has none\n"
                 "starlume: no songs in '{0}'\n".format(lists['nofile.pls'])),
                ([empty], None, "starlume: '%s' holds no sound\n" % empty),
                # a text renamed: the decoders' notes on it are held back
                ([text], None, '')]
        if os.geteuid() != 0:  # root reads whatever the mode says
            locked = self.fixture('locked.wav', wav(data=SECOND))
            os.chmod(locked, 0)
            rows.append(([locked], 1, "starlume: cannot open '%s': Permission denied\n" % locked))
        for path, status, line in rows:
            with self.subTest(path):
                typed = isinstance(path, str)
                app = self.launch(path if typed else None, argv=None if typed else path,
                                  window=status is None, stderr=-1)
                try:
                    if status is None:
                        self.quit(app)
                        self.assertIn('Closing file..\n', app.text())
                    else:
                        self.assertEqual(app.wait_exit(), status)
                        self.assertEqual(app.text(), PROMPT + 'Error opening file\n')
                    self.assertEqual(app.proc.stderr.read().decode(), line)
                finally:
                    app.close()

    def test_path_of_4096_characters_cannot_be_opened(self):
        self.fixture('tone.wav', wav(data=SECOND))
        app = self.launch(self.padded('tone.wav', 4096), window=False)
        self.assertEqual(app.wait_exit(), 1)
        self.assertEqual(app.text(), PROMPT + 'Error opening file\n')

    def test_letters_then_end_of_input_keep_the_star_count(self):
        app = self.launch(self.fixture('tone.wav', wav(data=SECOND * 5)))
        start = app.mark()
        app.key('n')
        app.send('abc')
        app.wait_for(AGAIN, app.wait_for(ASK, start))
        app.proc.stdin.close()
        # a second prompt after the end of input gives up at once
        app.key('n', 'p')
        app.wait_for('Color: 2\n\n', start)
        self.assertEqual(app.text(start), ASK + AGAIN + ASK + (
            'TOGGLES: \nBlack Hole:OFF\nGravity: ON\nDamping:ON\nDistance: ON\n'
            'Borders: OFF\nReverse: OFF\nRadial Bars: OFF\nColor: 2\n\n'))
        self.still_grid(app)
        shot = app.shot_when(lambda s: len(s.runs('x')) == 75)
        self.assertEqual(len(shot.runs('x')), 75)
        self.assert_finite_velocities(app)
        self.quit(app)


if __name__ == '__main__':
    unittest.main()
