"""What each make command installs and runs, from a fresh machine: the
Makefile is run on a copy of itself with apt-get, dpkg-query, npm, cmake and
the other tools it calls replaced by stubs that log their arguments, so
nothing is installed or built, and every package looks missing."""

import os
import shutil
import subprocess
import tempfile
import unittest

# Packages only the tests, the page or the release need: none of them may
# come with `make run`.
TEST_ONLY = {
    'xvfb', 'xauth', 'xfonts-base', 'xdotool', 'x11-utils', 'imagemagick',
    'ffmpeg', 'pulseaudio', 'pulseaudio-utils', 'chromium', 'emscripten',
    'nodejs', 'npm', 'lintian', 'mandoc', 'desktop-file-utils', 'appstream',
    'libgtest-dev', 'libbenchmark-dev', 'clang', 'libclang-rt-14-dev', 'llvm',
    'dpkg-dev', 'python3',
}

STUB = '#!/bin/sh\necho "$(basename "$0") $*" >> "$STUB_LOG"\n'
STUBS = {
    'apt-get': STUB,
    'npm': STUB,
    'cmake': STUB,
    'emcmake': STUB,
    'ctest': STUB,
    'cpack': STUB,
    'node': STUB,
    # nothing is installed
    'dpkg-query': STUB + 'exit 1\n',
    'sudo': STUB + 'exec "$@"\n',
}


class MakefileTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        root = cls.tmp.name
        source = os.environ['STARLUME_SOURCE']
        cls.src = os.path.join(root, 'src')
        os.makedirs(os.path.join(cls.src, 'tools'))
        for name in ('Makefile', 'package.json', 'package-lock.json',
                     'tools/run-demo.sh'):
            shutil.copy2(os.path.join(source, name),
                         os.path.join(cls.src, name))
        cls.bin = os.path.join(root, 'bin')
        os.makedirs(cls.bin)
        for name, text in STUBS.items():
            cls.script(os.path.join(cls.bin, name), text)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @staticmethod
    def script(path, text):
        with open(path, 'w') as f:
            f.write(text)
        os.chmod(path, 0o755)

    def make(self, goal):
        """The tools' calls as (tool, arguments) and the packages installed."""
        work = tempfile.mkdtemp(dir=self.tmp.name)
        trees = {v: os.path.join(work, v.lower()) for v in ('BUILD', 'ASAN', 'WEB')}
        for tree in trees.values():
            os.makedirs(tree)
        # What `make run` starts, as the build would have left it.
        self.script(os.path.join(trees['BUILD'], 'starlume'), STUB)
        open(os.path.join(trees['BUILD'], 'demo.wav'), 'w').close()
        log = os.path.join(work, 'log')
        env = dict(os.environ, STUB_LOG=log,
                   PATH=self.bin + os.pathsep + os.environ['PATH'])
        run = subprocess.run(
            ['make', '-C', self.src, goal, 'JOBS=2'] +
            ['%s=%s' % kv for kv in trees.items()],
            env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
            timeout=120)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(log) as f:
            calls = [line.split() for line in f]
        installed = set()
        for call in calls:
            if call[0] == 'apt-get' and 'install' in call:
                installed |= {a for a in call[call.index('install') + 1:]
                              if not a.startswith('-')}
        return calls, installed

    @staticmethod
    def configured(calls):
        """The STARLUME_TESTS given to each cmake configure run."""
        return [a for c in calls if c[0] in ('cmake', 'emcmake') and '-S' in c
                for a in c if a.startswith('-DSTARLUME_TESTS=')]

    def test_run_installs_and_builds_only_what_it_runs(self):
        calls, installed = self.make('run')
        self.assertIn('libsdl2-mixer-dev', installed)
        self.assertIn('g++', installed)
        self.assertEqual(installed & TEST_ONLY, set())
        self.assertEqual([c for c in calls if c[0] == 'npm'], [])
        self.assertEqual(self.configured(calls), ['-DSTARLUME_TESTS=OFF'])
        self.assertIn(['starlume'], calls)

    def test_each_command_installs_what_it_needs(self):
        _, run = self.make('run')
        for goal, needs, not_needed, npm, tests in (
                ('test', TEST_ONLY - {'npm', 'libbenchmark-dev'}, set(), True,
                 ['-DSTARLUME_TESTS=ON'] * 2),
                ('web', {'emscripten', 'nodejs'},
                 {'chromium', 'libgtest-dev', 'xvfb', 'g++'}, True,
                 ['-DSTARLUME_TESTS=OFF']),
                ('package', {'dpkg-dev', 'file'} | run,
                 TEST_ONLY - {'dpkg-dev'}, False, ['-DSTARLUME_TESTS=OFF'])):
            with self.subTest(goal):
                calls, installed = self.make(goal)
                self.assertEqual(needs - installed, set())
                self.assertEqual(installed & not_needed, set())
                self.assertEqual(['npm', 'ci'] in [c[:2] for c in calls], npm)
                self.assertEqual(self.configured(calls), tests)


if __name__ == '__main__':
    unittest.main()
