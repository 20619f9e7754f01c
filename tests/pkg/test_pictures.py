"""The README's pictures are the same bytes on every run: the picture maker
run twice on a few of them, small and short, with no display."""

import hashlib
import os
import struct
import subprocess
import sys
import unittest

from harness import E2ETest, headless_env

PICTURES = os.path.join(os.environ['STARLUME_SOURCE'], 'tools', 'pictures.py')


def png_chunks(data):
    types, i = [], 8
    while i < len(data):
        size, kind = struct.unpack('>I4s', data[i:i + 8])
        types.append(kind.decode())
        i += 12 + size
    return types


class PicturesTest(E2ETest):
    display_needed = False

    def test_two_runs_write_the_same_bytes(self):
        wav = os.path.join(self.tmp, 'demo.wav')
        subprocess.run([os.environ['STARLUME_DEMOTUNE'], wav], check=True,
                       capture_output=True, timeout=60)
        runs = []
        for run in ('first', 'second'):
            out = os.path.join(self.tmp, run)
            subprocess.run(
                [sys.executable, PICTURES,
                 '--stills', os.environ['STARLUME_STILLS'], '--wav', wav,
                 '--out', out, '--size', '160', '--gif-seconds', '1',
                 'scheme-4', 'blackhole', 'dancing'],
                check=True, stdout=subprocess.DEVNULL, timeout=300,
                env=headless_env())
            files = {}
            for name in sorted(os.listdir(out)):
                with open(os.path.join(out, name), 'rb') as f:
                    files[name] = f.read()
            runs.append(files)
        first, second = runs
        self.assertEqual(list(first),
                         ['blackhole.png', 'dancing.gif', 'scheme-4.png'])
        digest = {name: hashlib.sha256(data).hexdigest()
                  for name, data in first.items()}
        self.assertEqual({name: hashlib.sha256(data).hexdigest()
                          for name, data in second.items()}, digest)
        for name in ('blackhole.png', 'scheme-4.png'):
            # no dates, no comments
            self.assertFalse({'tIME', 'tEXt', 'zTXt', 'iTXt'}
                             & set(png_chunks(first[name])), name)
            self.assertEqual(struct.unpack('>II', first[name][16:24]),
                             (160, 160))
        # ten frames a second at half the size
        frames = subprocess.run(
            ['identify', '-format', '%Wx%H %T\n',
             os.path.join(self.tmp, 'first', 'dancing.gif')],
            check=True, capture_output=True, text=True, timeout=60).stdout
        self.assertEqual(frames.splitlines(), ['80x80 10'] * 10)


if __name__ == '__main__':
    unittest.main()
