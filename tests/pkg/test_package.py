"""The install tree, and the Debian package down to a session of the binary
taken out of it (never installed on this machine)."""

import glob
import os
import subprocess
import unittest

from harness import E2ETest, INSTRUCTIONS, PROMPT, Starlume, tone, wav_bytes

BUILD, ID = os.environ['STARLUME_BUILD'], 'io.github.starlume.Starlume'
FILES = sorted(['bin/starlume', 'share/man/man6/starlume.6',
                'share/applications/%s.desktop' % ID,
                'share/icons/hicolor/scalable/apps/%s.svg' % ID,
                'share/metainfo/%s.metainfo.xml' % ID])
# Soname prefix, a part of the name of the Debian package that ships it, and
# whether the binary must link it.
LIBS = [('libSDL2_mixer', 'libsdl2-mixer', True), ('libglut', 'glut', True),
        ('libkissfft', 'kissfft', True), ('libsndfile', 'libsndfile', True),
        ('libsoxr', 'libsoxr', True), ('libEGL', 'libegl1', True),
        ('libOpenGL', 'libopengl0', True), ('libavformat', 'libavformat', True),
        ('libavcodec', 'libavcodec', True), ('libavutil', 'libavutil', True),
        ('libswscale', 'libswscale', True)]


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True,
                          **kw).stdout


class PackageTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        run('cpack', '-G', 'DEB', '-B', cls.tmp + '/deb', cwd=BUILD)
        [cls.deb] = glob.glob(cls.tmp + '/deb/*.deb')
        run('dpkg-deb', '-x', cls.deb, cls.tmp + '/root')
        cls.bin = cls.tmp + '/root/usr/bin/starlume'

    def test_install_holds_the_files_and_nothing_else(self):
        for prefix in ['/usr', '/opt/starlume']:
            with self.subTest(prefix):
                dest = self.tmp + '/dest' + prefix
                run('cmake', '--install', BUILD, '--prefix', prefix,
                    env=dict(os.environ, DESTDIR=dest))
                found = [os.path.relpath(os.path.join(d, f), dest)
                         for d, _, names in os.walk(dest) for f in names]
                self.assertEqual(sorted(found),
                                 [prefix[1:] + '/' + f for f in FILES])
                # the metainfo together with the desktop entry it launches
                run('appstreamcli', 'validate-tree', '--no-net', '--strict',
                    dest + prefix)

    def test_package_fields_files_and_depends(self):
        def field(name):
            return run('dpkg-deb', '-f', self.deb, name).strip()
        version = run(os.environ['STARLUME_BIN'], '--version').split()[1]
        for name, want in [('Package', 'starlume'), ('Version', version),
                           ('Section', 'games'),
                           ('Maintainer', r'\S.* <\S+@\S+>'),
                           ('Description', r'\S.*\n \S.*')]:
            self.assertRegex(field(name), '(?s)^(%s)$' % want)
        listed = run('dpkg-deb', '-c', self.deb).split()[5::6]
        self.assertEqual([f for f in listed if f[-1] != '/'],
                         ['./usr/' + f for f in FILES])
        needed = run('readelf', '-d', self.bin)
        depends = field('Depends').split(', ')
        self.assertIn('libc6 (>= ', ' '.join(depends))  # from dpkg-shlibdeps
        for soname, package, always in LIBS:
            with self.subTest(soname):
                linked = 'Shared library: [%s' % soname in needed
                self.assertEqual(linked, any(package in d for d in depends),
                                 depends)
                self.assertTrue(linked or not always)

    def test_packaged_binary_plays_a_file_named_or_typed(self):
        path = self.fixture('tone.wav', wav_bytes(tone(44100, 440)))
        for how, argv, typed in [('argument', [self.bin, path], None),
                                 ('prompt', [self.bin], path)]:
            with self.subTest(how):
                app = Starlume(self.display, argv=argv)
                self.addCleanup(app.close)
                if typed:
                    app.send(typed)
                app.wait_for(INSTRUCTIONS)
                app.find_window()
                self.quit(app)
                self.assertTrue(app.text().startswith(
                    PROMPT + 'Successfully opened file\n'))


if __name__ == '__main__':
    unittest.main()
