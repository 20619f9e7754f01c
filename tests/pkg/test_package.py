"""The install tree, the Debian package down to a session of the binary
taken out of it (never installed on this machine), and the source tarball."""

import glob
import gzip
import os
import re
import subprocess
import tarfile
import time
import unittest

from harness import E2ETest, INSTRUCTIONS, PROMPT, Starlume, tone, wav_bytes

BUILD, ID = os.environ['STARLUME_BUILD'], 'io.github.starlume.Starlume'
SOURCE = os.environ['STARLUME_SOURCE']
FILES = sorted(['bin/starlume', 'share/man/man6/starlume.6.gz',
                'share/doc/starlume/changelog.gz',
                'share/doc/starlume/copyright',
                'share/applications/%s.desktop' % ID,
                'share/icons/hicolor/scalable/apps/%s.svg' % ID,
                'share/metainfo/%s.metainfo.xml' % ID])
# Soname prefix, a part of the name of the Debian package that ships it, and
# whether the binary must link it.
LIBS = [('libSDL2_mixer', 'libsdl2-mixer', True), ('libglut', 'glut', True),
        ('libkissfft', 'kissfft', True), ('libsndfile', 'libsndfile', True),
        ('libopenmpt', 'libopenmpt0', True),
        ('libsoxr', 'libsoxr', True), ('libEGL', 'libegl1', True),
        ('libOpenGL', 'libopengl0', True), ('libavformat', 'libavformat', True),
        ('libavcodec', 'libavcodec', True), ('libavutil', 'libavutil', True),
        ('libswscale', 'libswscale', True), ('libavfilter', 'libavfilter', True)]


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True,
                          **kw).stdout


def version():
    return run(os.environ['STARLUME_BIN'], '--version').split()[1]


def commit_time():
    return int(run('git', '-C', SOURCE, 'log', '-1', '--format=%ct'))


def gzip_is_reproducible(data):
    """No file name and no timestamp in the header (gzip -n)."""
    return data[:2] == b'\x1f\x8b' and not data[3] & 8 and data[4:8] == bytes(4)


class PackageTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # a umask that lets the group write must not reach the package
        umask = os.umask(0o002)
        try:
            run('cpack', '-G', 'DEB', '-B', cls.tmp + '/deb', cwd=BUILD)
        finally:
            os.umask(umask)
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
        for name, want in [('Package', 'starlume'), ('Version', version()),
                           ('Section', 'sound'),
                           ('Maintainer', r'\S.* <\S+@\S+>'),
                           ('Description', r'\S.*\n \S.*')]:
            self.assertRegex(field(name), '(?s)^(%s)$' % want)
        # root's files, folders and the binary 0755, the rest 0644
        listed = [line.split() for line in run('dpkg-deb', '-c', self.deb)
                  .splitlines()]
        for mode, owner, *_, name in listed:
            want = 'drwxr-xr-x' if name[-1] == '/' else (
                '-rwxr-xr-x' if '/bin/' in name else '-rw-r--r--')
            self.assertEqual((mode, owner), (want, 'root/root'), name)
        self.assertEqual([n for *_, n in listed if n[-1] != '/'],
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

    def test_lintian_finds_no_error_or_warning(self):
        out = subprocess.run(['lintian', '--fail-on', 'error,warning',
                              self.deb], capture_output=True, text=True)
        self.assertEqual((out.returncode, out.stdout), (0, ''))

    def test_one_version_in_manual_metainfo_and_changelog(self):
        doc = self.tmp + '/root/usr/share/'
        with open(doc + 'man/man6/starlume.6.gz', 'rb') as f:
            manual = f.read()
        self.assertTrue(gzip_is_reproducible(manual))
        manual = gzip.decompress(manual).decode()
        self.assertIn('\n.Os Starlume %s\n' % version(), manual)
        # dated by the last commit, or by SOURCE_DATE_EPOCH when it is set
        if 'SOURCE_DATE_EPOCH' in os.environ or os.path.exists(SOURCE + '/.git'):
            stamp = time.gmtime(int(os.environ.get('SOURCE_DATE_EPOCH', 0))
                                or commit_time())
            self.assertIn(time.strftime('.Dd %B {}, %Y\n', stamp)
                          .format(stamp.tm_mday), manual)
        with open(doc + 'metainfo/%s.metainfo.xml' % ID) as f:
            releases = re.findall(r'<release version="([^"]+)" date="\d{4}-\d\d-\d\d"/>',
                                  f.read())
        changelog = doc + 'doc/starlume/changelog.gz'
        with open(changelog, 'rb') as f:
            self.assertTrue(gzip_is_reproducible(f.read()))
        entries = re.findall(r'^Version: (.*)$', run(
            'dpkg-parsechangelog', '-l', changelog, '--all', '--format', 'rfc822'),
            re.M)
        with open(os.path.join(SOURCE, 'CHANGELOG.md')) as f:
            headings = re.findall(r'^## (\S+) ', f.read(), re.M)
        self.assertEqual((releases, entries), (headings, headings))
        self.assertEqual(entries[0], version())

    def test_copyright_holds_the_licence(self):
        with open(self.tmp + '/root/usr/share/doc/starlume/copyright') as f:
            copyright = f.read()
        with open(os.path.join(SOURCE, 'LICENSE')) as f:
            text = f.read().split('Starlume developers\n\n')[1].strip()
        self.assertTrue(copyright.endswith(
            '\n\nFiles: *\nCopyright: 2026 Starlume developers\nLicense: Expat'
            '\n\nLicense: Expat\n %s\n' % text.replace('\n\n', '\n.\n')
            .replace('\n', '\n ')), copyright)

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


@unittest.skipUnless(os.path.exists(SOURCE + '/.git'), 'needs the git checkout')
class DistTest(unittest.TestCase):
    def test_tarball_is_reproducible_and_builds_alone(self):
        def dist():
            run('cmake', '--build', BUILD, '--target', 'dist')
            with open(tarball, 'rb') as f:
                return f.read()
        top = 'starlume-' + version()
        tarball = os.path.join(BUILD, top + '.tar.gz')
        data = dist()
        self.assertEqual(dist(), data)
        self.assertTrue(gzip_is_reproducible(data))
        with tarfile.open(tarball) as tar:
            members = tar.getmembers()
        self.assertEqual({(m.mtime, m.uid, m.gid, m.uname, m.gname,
                           m.mode & 0o022) for m in members},
                         {(commit_time(), 0, 0, 'root', 'root', 0)})
        tracked = run('git', '-C', SOURCE, 'ls-tree', '-r', '--name-only',
                      'HEAD').split()
        self.assertEqual(sorted(m.name for m in members if not m.isdir()),
                         sorted(top + '/' + f for f in tracked))
        # unpacked in a temporary folder, built and unit-tested there
        run('cmake', '--build', BUILD, '--target', 'distcheck')


if __name__ == '__main__':
    unittest.main()
