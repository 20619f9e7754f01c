"""Videos made with --render: no display and no sound driver, the streams and
lengths in the file, the stars in step with the music, the same frames for
the same seed, Ctrl-C and SIGTERM, and the input a video cannot be made of."""

import array
import base64
import math
import os
import pty
import re
import resource
import signal
import struct
import subprocess
import time
import unittest
import zlib

from harness import (BIN, BLOCK, RATE, E2ETest, bursts, headless_env, lifted,
                     ppm_shot, probe, render, silence, tone, video_frames,
                     wav_bytes)

W, H, FPS = 320, 180, 30
# the stars stretched over the frame, so that its strips are theirs
SMALL = ['--size', '%dx%d' % (W, H), '--fps', str(FPS), '--fit', 'stretch']
FLOOR = H // 7  # rows of the floor: stars resting there and the lowest hops


def hashes(path):
    """The decoded frames' checksums, without the container's timestamps."""
    out = subprocess.run(['ffmpeg', '-v', 'error', '-i', path, '-map', '0:v',
                          '-f', 'framemd5', '-'], capture_output=True,
                         text=True, timeout=300, check=True).stdout
    return [line.split(',')[-1] for line in out.splitlines()
            if not line.startswith('#')]


def ssim(path, reference):
    """The SSIM of one still against another, by ffmpeg's filter."""
    out = subprocess.run(['ffmpeg', '-v', 'info', '-nostats', '-i', path, '-i', reference,
                          '-lavfi', 'ssim', '-f', 'null', '-'], capture_output=True,
                         text=True, timeout=60, check=True).stderr
    return float(re.search(r' All:([0-9.]+)', out)[1])


def picture(path, colour, size='64x48'):
    """A PNG or JPEG of one colour, by path's extension."""
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                    'color=%s:s=%s' % (colour, size), '-frames:v', '1', path],
                   check=True, timeout=60)
    return path


def band(shot, top, bottom):
    """The pixels of rows top to bottom (top first) as (r, g, b)."""
    rgb = shot.rgb[top * shot.w * 3:bottom * shot.w * 3]
    return list(zip(rgb[0::3], rgb[1::3], rgb[2::3]))


def render_on_terminal(*args):
    """Runs starlume --render args with a terminal as stderr; returns the
    status and what the terminal got."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([BIN, '--render', *args], env=headless_env(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=slave)
    os.close(slave)
    got = b''
    try:
        while chunk := os.read(master, 65536):
            got += chunk
    except OSError:  # the terminal hangs up once the program has gone
        pass
    os.close(master)
    return proc.wait(60), got.decode()


class RenderTest(E2ETest):
    display_needed = False

    def test_tone_video_streams_length_dance_and_seed(self):
        # bin 10 in bursts, exactly 5 s
        wav = self.fixture('tone.wav', wav_bytes(bursts(5)[:5 * RATE * 4]))
        # a colon in a file name names no protocol
        out = os.path.join(self.tmp, 'tone:1.mp4')
        run = render('tone:1.mp4', *SMALL, '--seed', '5', '--keys', '0',
                     '--at', '1:F', '--at', '0:09:b', wav, cwd=self.tmp)
        self.assertEqual(run.returncode, 0, run.stderr)
        # stdout carries only what keys print; F counts in music time
        self.assertEqual(run.stdout, 'Drawn 30 frames and simulated 2000 RK2 '
                                     'steps in 1000 milliseconds\n')
        # keys timed where nothing presses them are said
        self.assertRegex(run.stderr,
                         r"^starlume: warning: --at 9:b is after the end of the music \(0:05\)\n"
                         r"starlume: wrote 'tone:1\.mp4': 150 "
                         r"frames, \d+ kB, 5\.00 s of video in .*\n$")
        video, sound = probe(out)
        self.assertEqual(
            [video[k] for k in ('codec_name', 'pix_fmt', 'width', 'height',
                                'color_space', 'color_primaries',
                                'color_transfer', 'nb_read_frames')],
            ['h264', 'yuv420p', str(W), str(H), 'bt709', 'bt709', 'bt709',
             '150'])
        self.assertEqual([sound[k] for k in ('codec_name', 'sample_rate',
                                             'channels')], ['aac', '44100', '2'])
        for stream in (video, sound):
            self.assertAlmostEqual(float(stream['duration']), 5, delta=1 / FPS)
        # at 4 s the tone's strips are in the air and the others rest
        shot = video_frames(out, W, H)[4 * FPS]
        strips = [lifted(shot, k, FLOOR) for k in range(16)]
        self.assertGreater(min(strips[4:6]), 20, strips)
        self.assertEqual(strips[:4] + strips[6:], [0] * 14, strips)
        # the same seed gives the same frames, in another container too;
        # on a terminal the progress shows on one line
        again = os.path.join(self.tmp, 'again.mkv')
        status, err = render_on_terminal(again, *SMALL, '--seed', '5',
                                         '--keys', '0', wav)
        self.assertEqual(status, 0)
        self.assertEqual(hashes(again), hashes(out))
        self.assertRegex(err, r'^(\r *\d+%  frame \d+ of 150  \d+\.\d\dx real '
                              r'time  \d+:\d\d left\x1b\[K)+\r\x1b\[Kstarlume: '
                              r"wrote '.*again.mkv': 150 frames, .*\r\n$")

    def test_sound_keeps_its_sides_and_its_end_and_edges_are_smooth(self):
        # a second of a tone on the left, silence on the right
        pcm = struct.pack('<%dh' % (2 * RATE), *(
            v for i in range(RATE)
            for v in (round(16000 * math.sin(2 * math.pi * 440 * i / RATE)), 0)))
        wav = self.fixture('left.wav', wav_bytes(pcm))
        out = os.path.join(self.tmp, 'left.mkv')
        self.assertEqual(render(out, *SMALL, wav).returncode, 0)
        raw = subprocess.run(['ffmpeg', '-v', 'error', '-i', out, '-map', '0:a',
                              '-f', 's16le', '-ac', '2', '-'],
                             capture_output=True, timeout=120, check=True).stdout
        samples = array.array('h', raw)
        left, right = samples[0::2], samples[1::2]
        self.assertGreaterEqual(len(left), RATE)  # the short last frame too
        self.assertGreater(max(map(abs, left)), 10000)
        self.assertLess(max(map(abs, right)), 50)
        # the frames are drawn multisampled: white outlines on black have
        # edges of in-between greys (the video's own compression would blur
        # any picture, so a frame is taken before it)
        still = os.path.join(self.tmp, 'still.ppm')
        subprocess.run([os.environ['STARLUME_STILLS'], *SMALL[:2], '--fit', 'stretch',
                        '--keys', '0', '--shot', '0.5:' + still, wav],
                       env=headless_env(), check=True, timeout=120)
        with open(still, 'rb') as f:
            pixels = ppm_shot(f.read()).rgb
        lit = [max(pixels[i:i + 3]) for i in range(0, len(pixels), 3)
               if max(pixels[i:i + 3]) > 20]
        self.assertGreater(len(lit), 1000)
        self.assertGreater(sum(30 < v < 225 for v in lit), len(lit) // 4)

    def test_one_batch_draws_the_glyphs_pixels_and_the_square_lies_in_place(self):
        # a video draws its frame in one batch, multisampling only the stars'
        # square: the same bytes as glyph by glyph, and beside the square
        # the clear colour of the frame, as the schemes change it
        wav = self.fixture('bursts.wav', wav_bytes(bursts(3)))
        w, h = 240, 160
        for stars, keys in ((75, '0'), (75, '2'), (100, '7'), (40, '5')):
            with self.subTest(stars=stars, keys=keys):
                got = {}
                for way in ([], ['--immediate']):
                    shots = [os.path.join(self.tmp, '%s%d.ppm' % (way, i)) for i in range(3)]
                    subprocess.run([os.environ['STARLUME_STILLS'], '--size', '%dx%d' % (w, h),
                                    '--stars', str(stars), '--keys', keys, '--seed', '3',
                                    *(a for i, t in enumerate((0.5, 1.5, 2.5))
                                      for a in ('--shot', '%g:%s' % (t, shots[i]))), wav],
                                   env=headless_env(), check=True, timeout=120)
                    got[bool(way)] = []
                    for path in shots:
                        with open(path, 'rb') as f:
                            got[bool(way)].append(ppm_shot(f.read()))
                self.assertEqual([s.rgb for s in got[True]], [s.rgb for s in got[False]])
                for shot in got[False]:
                    rows = [band(shot, y, y + 1) for y in range(h)]
                    inside = [p for row in rows for p in row[(w - h) // 2:(w + h) // 2]]
                    background = max(set(inside), key=inside.count)
                    beside = {p for row in rows for p in row[:(w - h) // 2] + row[(w + h) // 2:]}
                    self.assertEqual(beside, {background})
        # under a cover, the stars lie where they lie without one: only
        # their square is composed each frame, the rest laid once
        tw, th = 180, 320
        red = picture(os.path.join(self.tmp, 'red.png'), 'red')
        frames = {}
        for name, cover in (('red', red), ('none', 'none')):
            out = os.path.join(self.tmp, name + '.mkv')
            run = render(out, '--size', '%dx%d' % (tw, th), '--fps', '10', '--seed', '3',
                         '--keys', '0', '--quality', '0', '--cover', cover, '--title', 'Ωμέγα',
                         wav)
            self.assertEqual(run.returncode, 0, run.stderr)
            frames[name] = video_frames(out, tw, th)[25]
        top = (th - tw) // 2
        square = {n: band(f, top, top + tw) for n, f in frames.items()}
        stars = [i for i, p in enumerate(square['none']) if min(p) > 200]
        self.assertGreater(len(stars), 200)
        self.assertGreater(sum(min(square['red'][i]) > 170 for i in stars), 0.9 * len(stars))
        below = band(frames['red'], top + tw + 2, th)
        self.assertTrue(all(r > 70 and g < 40 and b < 40 for r, g, b in below), below[:3])
        self.assertGreater(sum(min(p) > 200 for p in band(frames['red'], 0, top)), 20)

    def test_sprites_look_as_the_glyphs_lines_at_rest_moving_and_piled(self):
        # a video draws each star as one sprite of its outline, where the
        # window draws the outline's lines: the pictures stay alike (SSIM,
        # and few pixels off by more than rounding) for every outline, on
        # the grid at rest, dancing, and gathered under the held button,
        # where the stars overlap
        wav = self.fixture('bursts.wav', wav_bytes(bursts(4)))
        # (8 stars a side at 600 pixels: outlines so large that fewer
        # sub-pixel offsets are drawn)
        for stars, keys, size, fit in ((75, '0', '300x300', []), (40, '2', '300x300', []),
                                       (20, '5', '300x300', []), (8, '7', '300x300', []),
                                       (75, '0', '320x180', ['--fit', 'stretch']),
                                       (8, '3', '600x600', [])):
            with self.subTest(stars=stars, size=size):
                got = {}
                for way in ([], ['--immediate']):
                    shots = [os.path.join(self.tmp, '%s%d-%s.ppm' % (way, stars, t))
                             for t in ('rest', 'moving', 'held')]
                    subprocess.run([os.environ['STARLUME_STILLS'], '--size', size, *fit,
                                    '--stars', str(stars), '--keys', keys, '--seed', '3', *way,
                                    '--hold', '2.5', '--shot', '0:' + shots[0],
                                    '--shot', '2:' + shots[1], '--shot', '3.5:' + shots[2], wav],
                                   env=headless_env(), check=True, timeout=120)
                    got[bool(way)] = shots
                drawn = []
                for sprites, lines in zip(got[False], got[True]):
                    # at rest, rows of glyphs have sample points on their
                    # lines' very edges, which rounding puts either side
                    self.assertGreater(ssim(sprites, lines), 0.95)
                    with open(sprites, 'rb') as f:
                        a = ppm_shot(f.read())
                    with open(lines, 'rb') as f:
                        b = ppm_shot(f.read())
                    off = sum(abs(x - y) > 2 for x, y in zip(a.rgb, b.rgb))
                    self.assertLess(off, 0.1 * len(a.rgb))
                    pixels = list(zip(b.rgb[0::3], b.rgb[1::3], b.rgb[2::3]))
                    drawn.append(sum(p != b.bg for p in pixels))
                # held, the stars pile up on a fraction of the pixels they
                # take on the grid
                self.assertLess(drawn[2], 0.5 * drawn[0])

    def test_bass_lifts_its_strips_first_in_step_with_the_music(self):
        # a low tone (bin 3, bands 1 to 3) from 3 s on, silence before it
        wav = self.fixture('bass.wav', wav_bytes(
            silence(3 * RATE) + tone(RATE, 3 * RATE / BLOCK, 32000)))
        out = os.path.join(self.tmp, 'bass.mp4')
        self.assertEqual(render(out, *SMALL, '--keys', '0', wav).returncode, 0)
        frames = video_frames(out, W, H)
        # the grid has landed well before the first second is out
        first = next(k for k in range(FPS, len(frames))
                     if any(lifted(frames[k], s, FLOOR) for s in range(16)))
        self.assertTrue(3 - 0.05 <= first / FPS <= 3 + 0.1, first)
        strips = [lifted(frames[first], s, FLOOR) for s in range(16)]
        self.assertGreater(sum(strips[:4]), 3 * sum(strips[6:]), strips)

    def test_signals_stop_at_a_frame_and_leave_a_playable_file(self):
        # a minute of white noise: every strip dances, and the sound needs
        # every bit the encoder is given
        wav = self.fixture('noise.wav', wav_bytes(os.urandom(60 * RATE * 4)))
        for sig, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(sig.name):
                out = os.path.join(self.tmp, sig.name + '.mp4')
                proc = subprocess.Popen(
                    [BIN, '--render', out, *SMALL, '--keys', '7', wav],
                    env=headless_env(),
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                self.addCleanup(proc.kill)
                # frames are being written once the file passes its header
                deadline = time.monotonic() + 120
                while (not os.path.exists(out) or os.path.getsize(out) < 40000
                       ) and time.monotonic() < deadline:
                    time.sleep(0.05)
                proc.send_signal(sig)
                stdout, stderr = proc.communicate(timeout=120)
                self.assertEqual(proc.returncode, status, stderr)
                self.assertEqual(stdout, '')
                stop, wrote = stderr.splitlines()
                n = int(re.match(r'starlume: stopped by %s at frame (\d+) of '
                                 r'1800 \(' % sig.name, stop)[1])
                self.assertTrue(0 < n < 1800, n)
                self.assertRegex(wrote, r"^starlume: wrote '.*': %d frames" % n)
                video, sound = probe(out)
                self.assertEqual(int(video['nb_read_frames']), n)
                self.assertAlmostEqual(float(sound['duration']), n / FPS,
                                       delta=1 / FPS)
                self.assertGreaterEqual(int(sound['bit_rate']), 160000)
                # Fire on black: full red stars at rest, turning yellow and
                # white as they fly, never more green than red or more blue
                # than green, give or take what 4:2:0 chroma does to thin
                # outlines
                shot = video_frames(out, W, H)[-1]
                self.assertEqual(shot.bg, (0, 0, 0))
                pixels = shot.lit_pixels()
                self.assertGreater(len(pixels), 500)
                fire = [r + 16 >= g >= b - 16 for r, g, b in pixels]
                red = [r > g + 60 for r, g, b in pixels]
                self.assertGreater(sum(fire), 0.95 * len(pixels))
                self.assertGreater(sum(red), 0.1 * len(pixels))
                self.assertGreater(sorted(p[0] for p in pixels)[
                    len(pixels) * 99 // 100], 240)

    def test_quality_and_preset_reach_the_encoder(self):
        wav = self.fixture('second.wav', wav_bytes(bursts(1)[:RATE * 4]))
        # the options, the settings x264 writes into the stream: the default
        # superfast without B-frames at 30, or the preset given as x264 has it
        cases = [([], {'crf': '30.0', 'me': 'dia', 'subme': '1', 'ref': '1',
                       'bframes': '0', 'analyse': '0x3:0'}),
                 (['--quality', '18'], {'crf': '18.0', 'subme': '1',
                                        'bframes': '0'}),
                 (['--preset', 'medium', '--quality=40'],
                  {'crf': '40.0', 'me': 'hex', 'subme': '7', 'ref': '3',
                   'bframes': '3'}),
                 (['--preset=veryslow'], {'crf': '30.0', 'me': 'umh',
                                          'subme': '10', 'ref': '16'})]
        for options, settings in cases:
            with self.subTest(' '.join(options)):
                out = os.path.join(self.tmp, 'settings.mkv')
                run = render(out, *SMALL, *options, wav)
                self.assertEqual(run.returncode, 0, run.stderr)
                with open(out, 'rb') as f:
                    written = re.search(rb'x264 - core .*? options: ([ -~]*)',
                                        f.read())
                self.assertIsNotNone(written)
                found = dict(o.split('=', 1) for o in
                             written[1].decode().split() if '=' in o)
                self.assertEqual({k: found.get(k) for k in settings},
                                 settings)

    def test_shapes_and_a_round_spiral(self):
        # a spiral at rest in each shape: round and centred in its square,
        # nothing beside it, and the background the scheme's clear colour
        wav = self.fixture('quiet.wav', wav_bytes(silence(RATE // 2)))
        for size, fit, keys, (w, h), ratio in (
                ('vertical', 'square', '0gS', (1080, 1920), 1),
                ('square', 'square', '0gS', (1080, 1080), 1),
                ('wide', 'square', '1gS', (1920, 1080), 1),
                ('wide', 'stretch', '0gS', (1920, 1080), 16 / 9),
                ('720p', 'square', '0gS', (1280, 720), 1)):
            with self.subTest(size + ' ' + fit):
                out = os.path.join(self.tmp, 'spiral.mp4')
                run = render(out, '--size', size, '--fps', '4', '--fit', fit, '--keys', keys, wav)
                self.assertEqual(run.returncode, 0, run.stderr)
                video, _ = probe(out)
                self.assertEqual((int(video['width']), int(video['height'])), (w, h))
                shot = video_frames(out, w, h)[1]
                self.assertEqual(shot.bg, (0, 0, 0) if keys[0] == '0' else (255, 255, 255))
                cols = [x for x in range(w) if any(shot.lit[x::w])]
                rows = [y for y in range(h) if any(shot.lit[y * w:(y + 1) * w])]
                wide, high = cols[-1] - cols[0] + 1, rows[-1] - rows[0] + 1
                # the outermost stars near 0.75 of the half side; a spiral's
                # own extents differ by a hundredth
                side = min(w, h)
                self.assertTrue(0.7 * side < high < 0.76 * side, high)
                self.assertAlmostEqual(wide / high, ratio, delta=0.02 * ratio)
                if fit == 'square':
                    x, y = (w - side) // 2, (h - side) // 2
                    self.assertEqual(shot.count(x, x + side, y, y + side), sum(shot.lit))

    def test_a_part_has_the_whole_videos_frames_and_fades(self):
        wav = self.fixture('tone.wav', wav_bytes(tone(3 * RATE, 440)))
        lossless = ['--size', '160x90', '--fps', '10', '--quality', '0', '--seed', '3']
        full = os.path.join(self.tmp, 'whole.mp4')
        self.assertEqual(render(full, *lossless, wav).returncode, 0)
        whole = hashes(full)
        for cut, first, count in ((['--from', '1.05', '--to', '0:02'], 11, 9),
                                  (['--from', '0:00:02.5'], 25, 5),
                                  (['--to', '0.8'], 0, 8)):
            with self.subTest(' '.join(cut)):
                out = os.path.join(self.tmp, 'part.mp4')
                run = render(out, *lossless, *cut, wav)
                self.assertEqual(run.returncode, 0, run.stderr)
                # the same frames as the whole video's at the same music
                self.assertEqual(hashes(out), whole[first:first + count])
                _, sound = probe(out)
                self.assertAlmostEqual(float(sound['duration']), count / 10, delta=0.02)
                raw = subprocess.run(['ffmpeg', '-v', 'error', '-i', out, '-map', '0:a',
                                      '-f', 's16le', '-ac', '2', '-'], capture_output=True,
                                     timeout=120, check=True).stdout
                samples = array.array('h', raw)
                # no click: silent at a cut (the first and last 2 ms), loud
                # from the start without one, and the tone whole in between
                start, end = max(map(abs, samples[:88])), max(map(abs, samples[-88:]))
                self.assertEqual(start < 1000, cut[0] == '--from', start)
                if cut[-2] == '--to':
                    self.assertLess(end, 1000)
                self.assertGreater(max(map(abs, samples[len(samples) // 2:][:2000])), 15000)

    def test_transparent_background_and_opaque_stars(self):
        wav = self.fixture('quiet.wav', wav_bytes(silence(RATE)))
        for name, codec, pixels, decoder in (('a.webm', 'vp9', 'yuv420p', ['-c:v', 'libvpx-vp9']),
                                             ('a.mov', 'prores', 'yuva444p12le', [])):
            with self.subTest(name):
                out = os.path.join(self.tmp, name)
                run = render(out, *SMALL[:4], '--transparent', '--keys', '1gS', wav)
                self.assertEqual(run.returncode, 0, run.stderr)
                video, _ = probe(out)
                self.assertEqual((video['codec_name'], video['pix_fmt']), (codec, pixels))
                raw = subprocess.run(['ffmpeg', '-v', 'error', *decoder, '-i', out,
                                      '-f', 'rawvideo', '-pix_fmt', 'rgba', '-'],
                                     capture_output=True, timeout=120, check=True).stdout
                frame = raw[-W * H * 4:]
                alpha = frame[3::4]
                # the bands beside the square are see-through
                self.assertEqual(max(max(alpha[y * W:y * W + 70] + alpha[y * W + 250:(y + 1) * W])
                                     for y in range(H)), 0)
                # the stars (black on the white of scheme 1) are opaque, and
                # their antialiased edges as see-through as they are light
                red = frame[0::4]
                stars = [a for r, a in zip(red, alpha) if r < 32]
                self.assertGreater(len(stars), 500)
                self.assertEqual(max(alpha), 255)
                self.assertGreater(sum(a >= 224 for a in stars), 0.9 * len(stars))
                seen = [(r, a) for r, a in zip(red, alpha) if a > 0]
                off = sum(abs(255 - r - a) for r, a in seen) / len(seen)
                self.assertLess(off, 20)

    def test_cover_and_title(self):
        w, h = 180, 320  # a tall frame: the square in its middle, room above and below
        size = ['--size', '%dx%d' % (w, h), '--fps', '10', '--seed', '7']
        red = picture(os.path.join(self.tmp, 'red.png'), 'red')
        wav = self.fixture('tone.wav', wav_bytes(tone(RATE, 440)))
        plain, song = (os.path.join(self.tmp, n) for n in ('plain.flac', 'song.flac'))
        subprocess.run(['ffmpeg', '-v', 'error', '-i', wav, plain], check=True, timeout=60)
        subprocess.run(['ffmpeg', '-v', 'error', '-i', wav, '-i', red, '-map', '0:a', '-map',
                        '1:v', '-c:v', 'png', '-disposition:v', 'attached_pic', '-metadata',
                        'title=Ελληνικά Кириллица Ünï', '-metadata', 'artist=Zoë', song],
                       check=True, timeout=60)

        def last(name, *options, path=song):
            out = os.path.join(self.tmp, name)
            run = render(out, *size, *options, path)
            self.assertEqual(run.returncode, 0, run.stderr)
            return out, video_frames(out, w, h)[-1]

        def lit(shot):  # the text's white, above the stars' square
            return sum(min(p) > 200 for p in band(shot, 0, (h - w) // 2))

        _, shot = last('cover.mp4')
        below = band(shot, (h + w) // 2 + 4, h)
        # the picture's red, darkened, under the stars
        self.assertTrue(all(70 < r < 160 and g < 40 and b < 40 for r, g, b in below), below[:3])
        self.assertGreater(lit(shot), 40)
        _, shot = last('nocover.mp4', '--cover', 'none')
        # the scheme's own grey again, no red
        self.assertTrue(all(abs(r - g) < 10 for r, g, b in band(shot, (h + w) // 2 + 4, h)))
        self.assertGreater(lit(shot), 40)
        _, shot = last('notitle.mp4', '--title', '', '--artist', ' \n\t')
        self.assertEqual(lit(shot), 0)
        # a given picture instead of the song's: blue, and a JPEG
        blue = picture(os.path.join(self.tmp, 'blue.jpg'), 'blue', '640x480')
        _, shot = last('blue.mp4', '--cover', blue)
        r, g, b = band(shot, h - 2, h - 1)[w // 2]
        self.assertTrue(b > 70 and r < 40 and g < 40, (r, g, b))
        # bad bytes, the graph's own syntax and a long title are all only text
        _, shot = last('odd.mp4', '--title', "\udcff':,[x];%{pts}\\" + 'Ω' * 5000)
        self.assertGreater(lit(shot), 40)
        # an MP3's ID3 picture and an Ogg Vorbis comment's, with their tags
        with open(red, 'rb') as f:
            png = f.read()
        block = (struct.pack('>II', 3, 9) + b'image/png' + struct.pack('>I', 0) +
                 struct.pack('>5I', 64, 48, 24, 0, len(png)) + png)
        for name, options in (('song.mp3', ['-map', '0', '-c:v', 'copy', '-id3v2_version', '3']),
                              ('song.ogg', ['-map', '0:a', '-c:a', 'libvorbis', '-metadata',
                                            'METADATA_BLOCK_PICTURE=' +
                                            base64.b64encode(block).decode()])):
            tagged = os.path.join(self.tmp, name)
            subprocess.run(['ffmpeg', '-v', 'error', '-i', song, *options, tagged], check=True,
                           timeout=60)
            _, shot = last(name + '.mp4', path=tagged)
            r, g, b = band(shot, h - 2, h - 1)[w // 2]
            self.assertTrue(r > 70 and g < 40 and b < 40, (name, r, g, b))
            self.assertGreater(lit(shot), 40, name)
        # a wide frame has no room above the square: the corner instead
        out = os.path.join(self.tmp, 'wide.mp4')
        self.assertEqual(render(out, '--size', '%dx%d' % (h, w), '--fps', '10', '--cover',
                                'none', song).returncode, 0)
        shot = video_frames(out, h, w)[-1]
        corner = [p for row in range(w * 3 // 4, w) for p in band(shot, row, row + 1)[:h // 4]]
        self.assertGreater(sum(min(p) > 200 for p in corner), 40)
        # a transparent video stays so: the song's picture is not laid
        out = os.path.join(self.tmp, 'clear.mov')
        self.assertEqual(render(out, *size, '--transparent', song).returncode, 0)
        raw = subprocess.run(['ffmpeg', '-v', 'error', '-i', out, '-f', 'rawvideo', '-pix_fmt',
                              'rgba', '-'], capture_output=True, timeout=60, check=True).stdout
        self.assertEqual(max(raw[-w * 20 * 4 + 3::4]), 0)
        # with nothing to lay or write, the frames are today's
        bare, _ = last('bare.mp4', '--cover', 'none', '--title', '', '--artist', '')
        untagged, _ = last('untagged.mp4', path=plain)
        self.assertEqual(hashes(bare), hashes(untagged))

    def test_bad_input(self):
        tmp = self.tmp
        wav = self.fixture('short.wav', wav_bytes(tone(RATE, 440)))
        long = self.fixture('five.wav', wav_bytes(bursts(5)))
        text = self.fixture('notes.txt', b'not music at all\n' * 100)
        os.symlink(wav, os.path.join(tmp, 'link.mp4'))
        os.symlink('/dev/full', os.path.join(tmp, 'full.mp4'))
        self.fixture('empty.png', b'')
        # a PNG whose header says 20000x20000: refused before it is decoded
        small = picture(os.path.join(tmp, 'small.png'), 'red')
        with open(small, 'rb') as f:
            png = f.read()
        ihdr = png[12:16] + struct.pack('>II', 20000, 20000) + png[24:29]
        self.fixture('huge.png', png[:12] + ihdr + struct.pack('>I', zlib.crc32(ihdr)) + png[33:])

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (16384, 16384))

        # name, OUT, FILE, extra options, environment, preexec, status, message
        cases = [
            ('missing file', 'a.mp4', 'missing.wav', [], {}, None, 1,
             "cannot open '.*missing.wav': No such file"),
            ('text file', 'a.mp4', text, [], {}, None, 1,
             'a video needs decodable audio'),
            ('missing folder', 'none/a.mp4', wav, [], {}, None, 73,
             'cannot create'),
            ('under a file', wav + '/a.mp4', wav, [], {}, None, 73,
             'cannot create'),
            ('unknown extension', 'a.xyz', wav, [], {}, None, 64,
             "no container is known by the name of '.*a.xyz'"),
            ('webm', 'a.webm', wav, [], {}, None, 64,
             'webm container cannot hold H.264 video and AAC sound'),
            ('mxf', 'a.mxf', wav, [], {}, None, 64, 'mxf container refused'),
            ('ogg', 'a.ogg', wav, [], {}, None, 64, 'ogg container refused'),
            ('mpg', 'a.mpg', wav, [], {}, None, 64, 'mpeg container refused'),
            ('same file', 'link.mp4', wav, [], {}, None, 64,
             'is the music file itself'),
            ('odd size', 'a.mp4', wav, ['--size', '17x10'], {}, None, 64,
             "option '--size' needs"),
            ('past the end', 'a.mp4', wav, ['--from', '1:00'], {}, None, 64,
             r'--from 60 is past the end of the music \(0:01\)'),
            ('to before from', 'a.mp4', wav, ['--from', '5', '--to', '0:04'], {}, None,
             64, '--to 4 is not after --from 5'),
            ('no frame', 'a.mp4', wav, ['--fps', '10', '--from', '0.91', '--to', '0.95'], {},
             None, 64, '--from 0.91 to --to 0.95 keeps no frame at 10 fps'),
            ('transparent mp4', 'a.mp4', wav, ['--transparent'], {}, None, 64,
             '--transparent needs .webm or .mov: the H.264 video of an mp4 file has '
             'no transparency'),
            ('ProRes quality', 'a.mov', wav, ['--transparent', '--quality', '9'], {},
             None, 64, "--quality is x264's and VP9's; ProRes 4444 has none"),
            ('cover not a picture', 'a.mp4', wav, ['--cover', text], {}, None, 1,
             "the cover '.*notes.txt' is not a PNG or JPEG picture"),
            ('empty cover', 'a.mp4', wav, ['--cover', tmp + '/empty.png'], {}, None, 1,
             "the cover '.*empty.png' is empty"),
            ('huge cover', 'a.mp4', wav, ['--cover', tmp + '/huge.png'], {}, None, 1,
             "the cover '.*huge.png' is 20000x20000 pixels, larger than 8192x8192"),
            ('no EGL', 'a.mp4', wav, [],
             {'__EGL_VENDOR_LIBRARY_FILENAMES': '/nonexistent'}, None, 69,
             r'cannot draw offscreen: no EGL display.*\(EGL_\w+\)'),
            ('disk full', 'full.mp4', wav, [], {}, None, 74,
             "writing '.*full.mp4' failed: No space left on device"),
            ('size limit', 'big.mp4', long, [], {}, limit, 74,
             "writing '.*big.mp4' failed: File too large; removed it"),
        ]
        with open(wav, 'rb') as f:
            music = f.read()
        for name, out, path, extra, env, preexec, status, message in cases:
            with self.subTest(name):
                out = os.path.join(tmp, out)
                run = render(out, *extra, os.path.join(tmp, path),
                             env=headless_env(**env), preexec_fn=preexec)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertEqual(run.stdout, '')
                self.assertRegex(run.stderr, '^starlume: .*%s.*\n$' % message)
                if name == 'disk full':  # a device is never removed
                    self.assertTrue(os.path.exists('/dev/full'))
                    self.assertTrue(os.path.islink(out))  # nor the link to it
                    continue
                if name == 'same file':
                    with open(out, 'rb') as f:
                        self.assertEqual(f.read(), music)
                else:
                    self.assertFalse(os.path.exists(out))


if __name__ == '__main__':
    unittest.main()
