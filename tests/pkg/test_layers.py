"""Arrows run down: the core includes nothing of a platform (no platform
room, no GL, GLUT, SDL, EGL, FFmpeg, PulseAudio, libsndfile or libsoxr
header), and one stage never includes another's internals."""

import os
import re
import unittest

SRC = os.path.join(os.environ['STARLUME_SOURCE'], 'src')
# What each room may include of the project, besides itself.
ALLOWED = {
    'core': {'core'},
    'platform/files': {'core'},
    'platform/sound': {'core'},
    'platform/gl': {'core'},
    'platform/window': {'core', 'platform/files', 'platform/sound',
                        'platform/gl'},
    'platform/video': {'core', 'platform/files', 'platform/gl'},
    'platform/web': {'core'},
}
# Headers of the platform's libraries, which the core never includes.
PLATFORM = re.compile(r'^(GL|EGL|SDL2|X11|pulse|libav\w*|libsw\w*|emscripten)/'
                      r'|^(sndfile|soxr|libopenmpt/\w+|emscripten)\.h$')


def includes(path):
    with open(path) as f:
        return re.findall(r'^#include ([<"])([^>"]+)[>"]', f.read(), re.M)


def room(rel):
    for name in sorted(ALLOWED, key=len, reverse=True):
        if rel.startswith(name + '/'):
            return name
    return None


class LayersTest(unittest.TestCase):
    def test_arrows_run_down(self):
        seen = set()
        for folder, _, files in os.walk(SRC):
            for name in files:
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, SRC)
                own = room(rel)
                if own is None:
                    continue
                seen.add(own)
                for kind, header in includes(path):
                    if kind == '"':
                        target = room(header)
                        self.assertIn(target, ALLOWED[own] | {own},
                                      '%s includes %s' % (rel, header))
                    elif own == 'core':
                        self.assertIsNone(PLATFORM.search(header),
                                          '%s includes <%s>' % (rel, header))
        self.assertLessEqual({'core', 'platform/window', 'platform/video'}, seen)


if __name__ == '__main__':
    unittest.main()
