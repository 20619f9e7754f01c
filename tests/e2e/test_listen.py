"""Live sound: --listen on SDL's disk driver (a raw file played into the
capture device at its real pace) and on a private PulseAudio server, where a
tone played into the null sink is caught on its monitor; --list-devices; the
errors."""

import os
import subprocess
import tempfile
import unittest

from harness import (BANNER, BIN, BLOCK, E2ETest, RATE, poll, pulseaudio,
                     stop, tone, wav_bytes)

DISK = {'SDL_AUDIODRIVER': 'disk'}


def steady(seconds):
    """The tone at bin 10 without a break: the blocks of live sound start
    anywhere, and one that holds an onset would stir every band."""
    return tone(BLOCK, 10 * RATE / BLOCK, 32000) * round(seconds * RATE / BLOCK)


def run(*args, env=None):
    return subprocess.run([BIN, *args], capture_output=True, text=True,
                          timeout=60, stdin=subprocess.DEVNULL,
                          env=dict(os.environ, **(env or {})))


class ListenTest(E2ETest):
    def test_disk_capture_dances_as_the_file_does(self):
        raw = self.fixture('tone.raw', steady(90))
        app = self.launch(argv=['--listen'],
                          env=dict(DISK, SDL_DISKAUDIOFILEIN=raw))
        self.assertEqual(app.text(), 'Listening to: default\n' + BANNER)
        self.assert_strips_4_and_5_dance(app)
        self.quit(app)

    def test_devices_that_cannot_be_had(self):
        missing = run('--listen', 'nosuchdevice', env=DISK)
        self.assertEqual((missing.returncode, missing.stdout), (1, ''))
        self.assertRegex(missing.stderr,
                         r"^starlume: cannot open capture device "
                         r"'nosuchdevice': \S.*\n$")
        # ALSA with a configuration that names no device
        empty = self.fixture('empty.conf', b'')
        none = run('--list-devices', env={'SDL_AUDIODRIVER': 'alsa',
                                          'ALSA_CONFIG_PATH': empty})
        self.assertEqual((none.returncode, none.stdout), (1, ''))
        self.assertIn('starlume: no capture devices\n', none.stderr)

    def test_pulseaudio_monitor(self):
        with pulseaudio() as (pulse, server):
            env = dict(pulse, SDL_AUDIODRIVER='pulseaudio')
            listed = run('--list-devices', env=env)
            self.assertEqual(listed.stdout, '0: Monitor of Null Output (default)\n')
            tone = self.fixture('tone.wav', wav_bytes(steady(120)))
            # played through the server, a file's clock is set from the
            # latency the server reports for the program's stream
            asked = tempfile.TemporaryFile(dir=self.tmp)
            self.addCleanup(asked.close)
            # the line comes when the first mix is found, which on a busy
            # machine can be after the window shows
            played = self.launch(argv=['--verbose', tone], env=env, stderr=asked)
            def latency():
                asked.seek(0)
                return asked.read().decode()
            poll(latency)
            self.quit(played)
            self.assertRegex(latency(), r"\Astarlume: output latency "
                             r"\d+\.\d ms \(the sound server's\), clock lead "
                             r"\d+\.\d ms\n\Z")
            player = subprocess.Popen(['paplay', tone], env=pulse,
                                      stderr=subprocess.DEVNULL)
            self.addCleanup(stop, player)
            errors = tempfile.TemporaryFile(dir=self.tmp)
            self.addCleanup(errors.close)
            app = self.launch(argv=['--listen', 'monitor'], env=env,
                              stderr=errors)
            self.assertTrue(app.text().startswith(
                'Listening to: Monitor of Null Output\n'))
            self.assert_strips_4_and_5_dance(app)

            subprocess.run(['pactl', 'load-module', 'module-null-sink',
                            'sink_name=second',
                            'sink_properties=device.description=Second'],
                           env=pulse, check=True, capture_output=True)
            both = run('--listen', 'monitor', env=env)
            self.assertEqual(both.returncode, 64)
            self.assertEqual(both.stderr.splitlines()[1:], [
                '0: Monitor of Null Output', '1: Monitor of Second'])

            # the server goes: one line, and the window stays until Q
            stop(server)
            def said():
                errors.seek(0)
                return errors.read().decode()
            self.assertEqual(poll(said).count('\n'), 1, said())
            self.assertIsNone(app.proc.poll())
            self.quit(app)


if __name__ == '__main__':
    unittest.main()
