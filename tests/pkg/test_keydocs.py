"""The keys as --help prints them must match the manual's KEYS section, the
README's key table and the keys the command table and the window handle."""

import os
import re
import subprocess
import unittest


def section(path, start, end):
    with open(os.path.join(os.environ['STARLUME_SOURCE'], path)) as f:
        return f.read().split(start, 1)[1].split(end, 1)[0]


class KeyDocsTest(unittest.TestCase):
    def test_help_manual_readme_and_command_table_agree(self):
        out = subprocess.run([os.environ['STARLUME_BIN'], '--help'],
                             check=True, capture_output=True, text=True).stdout
        lines = out.split('Keys in the window:\n')[1].split('\n\n')[0]
        # two spaces, the key padded to ten columns, the description
        rows = [re.fullmatch(r'  (\S+ *) (\S.*)', line)
                for line in lines.splitlines()]
        self.assertTrue(all(m and len(m[1]) == 10 for m in rows), lines)
        keys = [(m[1].rstrip(), m[2]) for m in rows]
        man = section('data/starlume.6.in', '.Sh KEYS\n', '.Sh ')
        man = re.findall(r'^\.It Ic (\S+)\n([^.\n].*)$', man, re.M)
        self.assertEqual([(k.replace('\\-', '-'), d) for k, d in man], keys)
        readme = section('README.md', '## Keys', '\n## ')
        self.assertEqual(re.findall(r'^\| `(.+)` \| (.+) \|$', readme, re.M),
                         keys)
        # the window's own keys, as its callbacks name them
        window = {'F11': 'key == GLUT_KEY_F11', 'Esc': 'key == 27',
                  'Right/PgDn': 'key == GLUT_KEY_RIGHT || key == GLUT_KEY_PAGE_DOWN',
                  'Left/PgUp': 'key == GLUT_KEY_LEFT || key == GLUT_KEY_PAGE_UP'}
        with open(os.path.join(os.environ['STARLUME_SOURCE'],
                               'src/platform/window/stage.cpp')) as f:
            callbacks = f.read()
        self.assertLessEqual(set(window), {k for k, _ in keys})
        for k, test in window.items():
            self.assertIn(test, callbacks, k)
        table = section('src/core/input/commands.cpp', 'Outcome keycommand(', '\n}')
        self.assertEqual(set(re.findall(r"case '(.)'", table)),
                         {c for k, _ in keys if k not in window
                          for c in ('0123456789' if k == '0-9' else k)})


if __name__ == '__main__':
    unittest.main()
