"""The keys as --help prints them match the manual's KEYS section and the
README's key table, and each one does what they say: every key is pressed
through the key handling (starlume_keys) on a show whose stars are on the
move, and what it changed is checked against its description."""

import os
import re
import subprocess
import unittest


def section(path, start, end):
    with open(os.path.join(os.environ['STARLUME_SOURCE'], path)) as f:
        return f.read().split(start, 1)[1].split(end, 1)[0]


def toggle(name, start):
    return '%s %d -> %d' % (name, start, -start)


# What each key listed does, as the key handling reports it.
DOES = {
    'P': ['paused -1 -> 1, music paused'],
    'Q': ['asks to quit'],
    'F': [r'prints 1 line: "Drawn 0 frames and simulated 300 RK2 steps in '
          r'1234 milliseconds"'],
    'R': ['stars on the grid, at rest'],
    'V': [r'prints 100 lines from "Speedx 0: \S+ \t Speedy 0: \S+"'],
    'r': [toggle('reverse', 1)],
    'a': [toggle('bar', 1)],
    'm': [toggle('mousekick', -1)],
    'g': [toggle('gravity', 1)],
    'l': [toggle('looper', -1)],
    'S': ['stars in a spiral, at rest'],
    'C': ['velocities changed'],
    'd': [toggle('distance', 1)],
    'v': [toggle('viscous', 1)],
    'b': [toggle('blackhole', -1)],
    # the console's answer is 40
    'n': ['order 75 -> 40, stars on the grid, at rest, prints 1 line: '
          '"Enter the number between 1-100: 40", a new count'],
    '0-9': ['color 10 -> %d%s' % (d, ', draws random numbers' if d == 7 else '')
            for d in range(10)],
    'c': ['prints 13 lines from "COLORS:"'],
    'p': ['prints 10 lines from "TOGGLES: "'],
    'i': ['prints 17 lines from "Instructions"'],
    'F11': ['asks for fullscreen on or off'],
    'Esc': ['asks to leave fullscreen'],
    'Right/PgDn': ['asks for the next song'],
    'Left/PgUp': ['asks for the song before'],
}


class KeyDocsTest(unittest.TestCase):
    def keys(self):
        out = subprocess.run([os.environ['STARLUME_BIN'], '--help'],
                             check=True, capture_output=True, text=True).stdout
        lines = out.split('Keys in the window:\n')[1].split('\n\n')[0]
        # two spaces, the key padded to ten columns, the description
        rows = [re.fullmatch(r'  (\S+ *) (\S.*)', line)
                for line in lines.splitlines()]
        self.assertTrue(all(m and len(m[1]) == 10 for m in rows), lines)
        return [(m[1].rstrip(), m[2]) for m in rows]

    def test_help_manual_and_readme_agree(self):
        keys = self.keys()
        man = section('data/starlume.6.in', '.Sh KEYS\n', '.Sh ')
        man = re.findall(r'^\.It Ic (\S+)\n([^.\n].*)$', man, re.M)
        self.assertEqual([(k.replace('\\-', '-'), d) for k, d in man], keys)
        readme = section('README.md', '## Keys', '\n## ')
        self.assertEqual(re.findall(r'^\| `(.+)` \| (.+) \|$', readme, re.M),
                         keys)

    def test_every_key_listed_does_what_it_says(self):
        names = [k for k, _ in self.keys()]
        self.assertEqual(set(names), set(DOES))
        run = subprocess.run([os.environ['STARLUME_KEYS'], *names],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout)
        got = run.stdout.splitlines()
        want = [(k, effect) for k in names for effect in DOES[k]]
        self.assertEqual(len(got), len(want), run.stdout)
        for line, (key, effect) in zip(got, want):
            name, said = line.split(': ', 1)
            self.assertEqual(name.split(' ')[0], key, line)
            self.assertRegex(said, '^%s$' % (effect if key in ('F', 'V')
                                                  else re.escape(effect)), key)


if __name__ == '__main__':
    unittest.main()
