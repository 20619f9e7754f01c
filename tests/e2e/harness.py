"""End-to-end harness: a private Xvfb, generated WAV files, the program on
pipes, xdotool input and screenshots parsed without any imaging library."""

import collections
import contextlib
import math
import os
import re
import shutil
import struct
import subprocess
import tempfile
import threading
import time
import unittest

BIN = os.environ.get('STARLUME_BIN', 'starlume')
WIN_X, WIN_Y, WIN = 100, 100, 700  # where and how big the window opens
RATE, BLOCK = 44100, 2048  # sample rate, frames per analysis block

PROMPT = 'Opening  file..\nEnter your filename(Absolute Filepath):\t'
# The banner and the start-up instructions, as the console shows them; the
# browser tests read the same file.
with open(os.path.join(os.path.dirname(__file__), '..', 'texts', 'banner.txt')) as f:
    BANNER = f.read()
INSTRUCTIONS = BANNER[BANNER.index('Instructions'):]


# WAV fixtures: by default 16-bit stereo PCM at 44100 Hz with the canonical
# header; chunks go between the format and the data chunk.

def wav_bytes(pcm, rate=RATE, channels=2, bits=16, fmt=1, chunks=b''):
    align = channels * bits // 8
    body = (b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, fmt, channels, rate,
                                      rate * align, align, bits)
            + chunks + b'data' + struct.pack('<I', len(pcm)) + pcm)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def encode(wav_path, out_path, fmt):
    """Re-encodes a WAV fixture with libsndfile: flac, flac24, ogg, opus, mp3,
    pcm16, pcm24."""
    subprocess.run([os.environ['STARLUME_ENCODE'], wav_path, out_path, fmt],
                   check=True, timeout=120)
    return out_path


def tone(frames, freq, amp=16000):
    both = [int(amp * math.sin(2 * math.pi * freq * (i // 2) / RATE))
            for i in range(2 * frames)]
    return struct.pack('<%dh' % len(both), *both)


def silence(frames):
    return bytes(4 * frames)


def bursts(seconds, on=11, off=11):
    """Bursts of a near full-scale sine at bin 10 (10 periods per block),
    aligned to the analysis blocks."""
    cycle = tone(BLOCK, 10 * RATE / BLOCK, 32000) * on + silence(BLOCK * off)
    return cycle * math.ceil(seconds * RATE / BLOCK / (on + off))


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(5)


def poll(cond, timeout=30):
    """The first true value of cond(), or its last value after timeout."""
    deadline = time.monotonic() + timeout
    while not (value := cond()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return value


def xvfb():
    """Starts a private X server; returns it and its display name."""
    rfd, wfd = os.pipe()
    proc = subprocess.Popen(
        ['Xvfb', '-displayfd', str(wfd), '-screen', '0', '1024x1024x24',
         '-nolisten', 'tcp'], pass_fds=(wfd,), stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)
    os.close(wfd)
    with os.fdopen(rfd) as ready:  # the display number, once it is up
        number = ready.readline().strip()
    if not number.isdigit():
        stop(proc)
        raise RuntimeError('Xvfb did not start')
    return proc, ':' + number


@contextlib.contextmanager
def pulseaudio():
    """A private PulseAudio server with one null sink ("Null Output", whose
    monitor is the default source), run in the foreground and stopped by its
    PID; yields the environment its clients need. Works as root."""
    home = tempfile.mkdtemp(prefix='starlume-pulse-')
    runtime = os.path.join(home, 'runtime')
    os.mkdir(runtime, 0o700)
    socket = os.path.join(runtime, 'native')
    env = {k: v for k, v in os.environ.items()
           if k not in ('DISPLAY', 'DBUS_SESSION_BUS_ADDRESS')}
    env.update(HOME=home, XDG_RUNTIME_DIR=runtime, PULSE_RUNTIME_PATH=runtime,
               PULSE_STATE_PATH=os.path.join(home, 'state'),
               PULSE_SERVER='unix:' + socket)
    # Without norewinds the monitor loses the start of every new stream;
    # without a sink SDL crashes at start-up against the server; with shared
    # memory a process that plays and captures at once gets no capture.
    script = os.path.join(home, 'default.pa')
    with open(script, 'w') as f:
        f.write('load-module module-null-sink norewinds=1\n'
                'load-module module-native-protocol-unix auth-anonymous=1 '
                'socket=%s\n' % socket)
    log = open(os.path.join(home, 'log'), 'w')
    proc = subprocess.Popen(
        ['pulseaudio', '-n', '--file=' + script, '--daemonize=no',
         '--disable-shm=yes', '--exit-idle-time=-1', '--use-pid-file=no',
         '--log-target=stderr'], env=env, stdout=subprocess.DEVNULL,
        stderr=log)
    try:
        if not poll(lambda: proc.poll() is not None or subprocess.run(
                ['pactl', 'info'], env=env, capture_output=True).returncode
                == 0) or proc.poll() is not None:
            with open(log.name) as f:
                raise RuntimeError('PulseAudio did not start:\n' + f.read())
        yield env, proc
    finally:
        stop(proc)
        log.close()
        shutil.rmtree(home, True)


def grab(display, area=(WIN, WIN, WIN_X, WIN_Y)):
    """The window's pixels as a binary PPM, taken from the root window where
    it opens (no window manager moves it); area: width, height, x, y."""
    return subprocess.run(
        ['import', '-display', display, '-window', 'root', '-depth', '8',
         '-crop', '%dx%d+%d+%d' % area, 'ppm:-'],
        capture_output=True, timeout=60, check=True).stdout


class Starlume:
    """The program with its console on pipes; stdout collects in buf."""

    def __init__(self, display, env=None, argv=None, cwd=None, stderr=None):
        self.display, self.wid = display, None
        self.env = dict(os.environ, DISPLAY=display)
        self.env.setdefault('SDL_AUDIODRIVER', 'dummy')
        self.env.update(env or {})
        self.proc = subprocess.Popen(argv or [BIN], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=self.env,
                                     cwd=cwd, stderr=stderr)
        self.buf, self.eof = bytearray(), False
        self.cond = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        for chunk in iter(lambda: os.read(fd, 65536), b''):
            with self.cond:
                self.buf += chunk
                self.cond.notify_all()
        with self.cond:
            self.eof = True
            self.cond.notify_all()

    def mark(self):
        return len(self.buf)

    def text(self, start=0, end=None):
        with self.cond:
            return self.buf[start:end].decode('latin-1')

    def wait_for(self, needle, start=0, timeout=60):
        """Index just past the first needle at or after start."""
        raw, deadline = needle.encode('latin-1'), time.monotonic() + timeout
        with self.cond:
            while (at := self.buf.find(raw, start)) < 0:
                left = deadline - time.monotonic()
                if self.eof or left <= 0:
                    raise AssertionError('no %r in output:\n%s' % (
                        needle, self.buf[start:][-3000:].decode('latin-1')))
                self.cond.wait(min(left, 1))
            return at + len(raw)

    def send(self, line):
        self.proc.stdin.write(line.encode() + b'\n')
        self.proc.stdin.flush()

    def wait_exit(self, timeout=30):
        status = self.proc.wait(timeout)
        self.reader.join(10)
        return status

    def close(self):
        stop(self.proc)
        self.reader.join(10)
        self.proc.stdout.close()
        self.proc.stdin.close()

    def xdo(self, *args):
        return subprocess.run(['xdotool', *args], env=self.env, timeout=60,
                              capture_output=True, text=True).stdout

    def find_window(self):
        found = self.xdo('search', '--sync', '--name', '^Starlume$')
        self.wid = found.split()[0]

    def key(self, *keys):
        self.xdo('key', '--window', self.wid, *keys)

    def mouse(self, action, x=WIN // 2, y=WIN // 2):
        """Moves to window pixel (x, y), then 'down', 'up' or 'move'."""
        # one connection keeps the move and the button in order; no --sync,
        # which would wait for ever when the pointer is already there
        button = [] if action == 'move' else ['mouse' + action, '1']
        self.xdo('mousemove', str(WIN_X + x), str(WIN_Y + y), *button)

    def report(self, key, last):
        """Presses key; returns its output to the end of the line with last."""
        start = self.mark()
        self.key(key)
        return self.text(start, self.wait_for(
            '\n', self.wait_for(last, start) - 1))

    def timing(self):
        """Frames, steps and milliseconds since the last 'F' report, from a
        new one (which restarts the count)."""
        line = self.report('F', 'Drawn')  # may follow other output
        return tuple(int(g) for g in re.search(
            r'Drawn (\d+) frames and simulated (\d+) RK2 steps in (-?\d+)',
            line).groups())

    def wait_frames(self, n=2):
        """Returns once n frames have been drawn after this call."""
        self.timing()  # restarts the count
        drawn, deadline = 0, time.monotonic() + 60
        while drawn < n and time.monotonic() < deadline:
            time.sleep(0.1)
            drawn += self.timing()[0]

    def velocities(self):
        """The 'V' dump as (vx, vy) pairs, as printed (nan and inf parse)."""
        dump = self.report('V', 'Speedx 99:')
        return [(float(vx), float(vy)) for vx, vy in re.findall(
            r'Speedx \d+: (\S+) \t Speedy \d+: (\S+)\n', dump)]

    def rss_kb(self):
        with open('/proc/%d/status' % self.proc.pid) as f:
            return int(re.search(r'VmRSS:\s+(\d+)', f.read())[1])

    def screenshot(self, area=(WIN, WIN, WIN_X, WIN_Y)):
        return ppm_shot(grab(self.display, area))

    def shot_when(self, cond, timeout=30, area=(WIN, WIN, WIN_X, WIN_Y)):
        """The first screenshot that satisfies cond, else the last one."""
        shots = []
        poll(lambda: cond(shots.append(self.screenshot(area)) or shots[-1]),
             timeout)
        return shots[-1]

    def geometry(self):
        """The window's x, y, width and height on the screen."""
        info = subprocess.run(['xwininfo', '-id', self.wid], env=self.env,
                              capture_output=True, text=True,
                              timeout=60).stdout
        return tuple(int(re.search(name + r':\s+(-?\d+)', info)[1]) for name in
                     ('Absolute upper-left X', 'Absolute upper-left Y',
                      'Width', 'Height'))


HIGH = WIN - 100  # rows above this are well clear of the floor


def high(shot, first, last, top=HIGH):
    """Lit pixels well above the floor (in rows 0..top) in strips
    first..last."""
    return shot.count(first * WIN // 16, (last + 1) * WIN // 16, 0, top)


def quiet(shot, top=HIGH):
    """Strips whose bands get too little of a bin 10 tone to throw stars
    that high."""
    return high(shot, 0, 2, top) + high(shot, 8, 15, top)


def ppm_shot(ppm):
    """A binary PPM's picture as a Shot."""
    m = re.match(rb'P6\s+(\d+)\s+(\d+)\s+255\s', ppm)
    return Shot(int(m[1]), int(m[2]), ppm[m.end():])


class Shot:
    """A screenshot of the window: background colour and lit pixels."""

    def __init__(self, w, h, rgb):
        self.w, self.h, self.rgb = w, h, rgb
        sample = list(zip(rgb[0::39], rgb[1::39], rgb[2::39]))
        self.bg, n = collections.Counter(sample).most_common(1)[0]
        self.bg_share = n / len(sample)
        # lit: some channel clearly off the background (bytes ops for speed)
        lit = 0
        for c in range(3):
            table = bytes(abs(v - self.bg[c]) > 60 for v in range(256))
            lit |= int.from_bytes(rgb[c::3].translate(table), 'big')
        self.lit = lit.to_bytes(w * h, 'big')

    def lit_pixels(self):
        rgb = self.rgb
        return [p for p, on in zip(zip(rgb[0::3], rgb[1::3], rgb[2::3]),
                                   self.lit) if on]

    def count(self, x0=0, x1=None, y0=0, y1=None):
        x1, y1 = x1 or self.w, y1 or self.h
        return sum(sum(self.lit[y * self.w + x0:y * self.w + x1])
                   for y in range(y0, y1))

    def runs(self, axis):
        """Centres of the bands of lit columns (axis 'x') or rows ('y');
        a gap of up to two dim lines inside one glyph does not split it."""
        w = self.w
        if axis == 'x':
            lines = [any(self.lit[x::w]) for x in range(w)]
        else:
            lines = [any(self.lit[y * w:(y + 1) * w]) for y in range(self.h)]
        bands = []
        for i, on in enumerate(lines):
            if on and bands and i - bands[-1][1] <= 3:
                bands[-1][1] = i
            elif on:
                bands.append([i, i])
        return [(a + b) / 2 for a, b in bands]


# Videos: the program with no display and no sound driver, and what
# ffprobe and ffmpeg find in its output.

def headless_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'SDL_AUDIODRIVER')}
    env.update(extra)
    return env


def render(*args, env=None, **kw):
    """Runs starlume --render args with neither a display nor a sound driver."""
    return subprocess.run([BIN, '--render', *args], capture_output=True,
                          text=True, timeout=600, env=env or headless_env(),
                          stdin=subprocess.DEVNULL, **kw)


def probe(path):
    """The streams of a media file, as ffprobe reports them: a list of dicts
    of strings, each with its codec_type."""
    out = subprocess.run(
        ['ffprobe', '-v', 'error', '-count_frames', '-show_streams', path],
        capture_output=True, text=True, timeout=120, check=True).stdout
    return [dict(line.split('=', 1) for line in block.splitlines()
                 if '=' in line) for block in out.split('[STREAM]')[1:]]


def video_frames(path, w, h):
    """Every frame of a video decoded to a Shot."""
    raw = subprocess.run(
        ['ffmpeg', '-v', 'error', '-i', path, '-f', 'rawvideo', '-pix_fmt',
         'rgb24', '-'], capture_output=True, timeout=300, check=True).stdout
    size = w * h * 3
    return [Shot(w, h, raw[i:i + size]) for i in range(0, len(raw), size)]


def lifted(shot, strip, rows):
    """Lit pixels of a frame of width/16-pixel strips, above the bottom rows."""
    w = shot.w
    return shot.count(strip * w // 16, (strip + 1) * w // 16, 0, shot.h - rows)


class E2ETest(unittest.TestCase):
    """One Xvfb (unless display_needed is false) and one scratch directory
    per test file."""

    display_needed = True

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix='starlume-e2e-')
        cls.addClassCleanup(shutil.rmtree, cls.tmp, True)
        if cls.display_needed:
            server, cls.display = xvfb()
            cls.addClassCleanup(stop, server)

    def fixture(self, name, data):
        path = os.path.join(self.tmp, name)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    def launch(self, path=None, env=None, window=True, argv=None, cwd=None,
               stderr=None):
        """Starts the program; types path at its prompt, or passes argv."""
        app = Starlume(self.display, env,
                       None if argv is None else [BIN, *argv], cwd, stderr)
        self.addCleanup(app.close)
        if path is not None:
            app.send(path)
        if window:
            app.wait_for(INSTRUCTIONS)
            app.find_window()
        return app

    def still_grid(self, app):
        """Stops the stars where the grid lays them: no gravity, fresh grid."""
        start = app.mark()
        app.key('g', 'R', 'p')
        app.wait_for('Gravity: OFF\n', start)
        app.wait_frames()

    def assert_strips_4_and_5_dance(self, app, only=True, top=HIGH):
        """A tone at bin 10 in bursts throws up the stars of strips 4 and 5
        again and again and leaves the others on the floor, or, where a
        lossy codec's noise floor stirs the bands around the tone (only
        False), throws strips 4 and 5 the highest and leaves the treble
        strips on the floor. Stars count as thrown up above row top; a
        lower top lets noise well below the tone stir the other strips."""
        app.key('0')  # white on black
        app.wait_frames()  # a window not drawn yet has no stars in the air
        still = ((lambda s: quiet(s, top)) if only
                 else (lambda s: high(s, 10, 15, top)))
        # all stars start in the air: wait until the still strips have landed
        shot = app.shot_when(lambda s: s.bg == (0, 0, 0) and still(s) == 0
                             and s.count(0, WIN, HIGH, WIN) > 500, timeout=60)
        self.assertEqual(still(shot), 0, 'stars did not settle')
        shots = [shot]
        for _ in range(5):
            time.sleep(0.3)
            shots.append(app.screenshot())
        strips = [sum(high(s, k, k, top) for s in shots) for k in range(16)]
        loud = strips[4] + strips[5]
        self.assertGreater(loud, 300, strips)
        self.assertLess(sum(still(s) for s in shots) * 20, loud, strips)
        self.assertGreater(min(strips[4:6]), max(strips[:4] + strips[6:]),
                           strips)

    def assert_finite_velocities(self, app):
        pairs = app.velocities()
        self.assertEqual(len(pairs), 100)
        self.assertTrue(all(map(math.isfinite, sum(pairs, ()))), pairs)

    def quit(self, app):
        app.key('Q')
        self.assertEqual(app.wait_exit(), 0)
