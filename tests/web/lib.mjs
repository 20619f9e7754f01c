// The browser tests' harness: a static server for the page and the tests'
// own files, Debian's Chromium driven headless by playwright-core, canvas
// screenshots decoded and judged as the window's are, generated WAVs.
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { chromium } from 'playwright-core';

export const WEB = process.env.STARLUME_WEB ?? 'build-web';
export const RATE = 44100, BLOCK = 2048;

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.wav': 'audio/wav', '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json' };

// Serves the page from WEB and the tests' files from dir under /files/.
export function serve(dir) {
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://localhost');
    const name = decodeURIComponent(url.pathname);
    const file = name.startsWith('/files/')
      ? path.join(dir, path.basename(name))
      : path.join(WEB, path.normalize(name === '/' ? '/index.html' : name).replace(/^(\.\.\/)+/, ''));
    fs.readFile(file, (err, data) => {
      if (err) {
        res.writeHead(404);
        res.end();
        return;
      }
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream' });
      res.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Without the background networking flags Chromium keeps knocking on closed
// doors; SwiftShader gives WebGL with no GPU; the fake devices stand in for
// a microphone (playing capture), answering the permission prompt
// themselves, or refusing it (deny).
export function launch(capture, deny = false) {
  return chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-quic', '--no-first-run', '--no-default-browser-check',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--disable-domain-reliability', '--disable-breakpad',
           '--autoplay-policy=no-user-gesture-required', '--use-fake-device-for-media-stream',
           deny ? '--deny-permission-prompts' : '--use-fake-ui-for-media-stream',
           ...(capture ? [`--use-file-for-fake-audio-capture=${capture}`] : [])],
  });
}

// A page at url, with every console error and page error kept; init runs
// in the page before any of its own scripts.
export async function open(browser, url, init = null) {
  const page = await browser.newPage({ viewport: { width: 760, height: 1100 } });
  if (init) await page.addInitScript(init);
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push('pageerror: ' + e.message));
  await page.goto(url);
  return { page, errors };
}

export const panel = (page) => page.locator('#console').textContent();

// Waits until the console panel holds text; returns the panel.
export async function waitFor(page, text, timeout = 20000) {
  await page.waitForFunction((t) => document.getElementById('console').textContent.includes(t),
                             text, { timeout });
  return panel(page);
}

// The canvas as pixels: RGBA rows, decoded from playwright's PNG.
export async function shot(page) {
  return decodepng(await page.locator('#canvas').screenshot());
}

export function decodepng(png) {
  let at = 8, width = 0, height = 0, channels = 4;
  const data = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at), type = png.toString('ascii', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = { 2: 3, 6: 4 }[body[9]];
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data)), stride = width * channels;
  const out = Buffer.alloc(width * height * 3), row = Buffer.alloc(stride), prev = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? row[x - channels] : 0, b = prev[x], c = x >= channels ? prev[x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predict = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      row[x] = (line[x] + predict) & 255;
    }
    for (let x = 0; x < width; x++) row.copy(out, (y * width + x) * 3, x * channels, x * channels + 3);
    row.copy(prev);
  }
  return judge({ width, height, rgb: out });
}

// The background (the commonest colour) and the lit pixels: some channel
// clearly off the background.
export function judge(s) {
  const counts = new Map();
  for (let i = 0; i < s.rgb.length; i += 39) {
    const key = s.rgb[i] << 16 | s.rgb[i + 1] << 8 | s.rgb[i + 2];
    counts.set(key, (counts.get(key) ?? 0) + 1);
  }
  const bg = [...counts.entries()].sort((a, b) => b[1] - a[1])[0][0];
  s.bg = [bg >> 16, bg >> 8 & 255, bg & 255];
  s.lit = new Uint8Array(s.width * s.height);
  for (let p = 0; p < s.lit.length; p++) {
    s.lit[p] = [0, 1, 2].some((c) => Math.abs(s.rgb[3 * p + c] - s.bg[c]) > 60) ? 1 : 0;
  }
  return s;
}

// Lit pixels in columns x0..x1 and rows y0..y1.
export function count(s, x0 = 0, x1 = s.width, y0 = 0, y1 = s.height) {
  let n = 0;
  for (let y = y0; y < y1; y++) for (let x = x0; x < x1; x++) n += s.lit[y * s.width + x];
  return n;
}

// Lit pixels of strip k well above the floor: the stars thrown up.
export const high = (s, k) =>
  count(s, Math.floor(k * s.width / 16), Math.floor((k + 1) * s.width / 16), 0, s.height - 100);

// A canonical 16-bit stereo WAV of a tone at bin 10 of the analysis (about
// 215 Hz) in bursts, 11 blocks on and 11 off; or steady, for live sound,
// whose blocks start anywhere (one that holds an onset stirs every band).
// The right channel has the tone at bin right instead (bin 40 is strip 8's
// alone), so that a page that takes one channel for both loses a tone.
export function tonewav(seconds, bursts = true, right = 10) {
  const frames = Math.ceil(seconds * RATE / (22 * BLOCK)) * 22 * BLOCK;
  const pcm = Buffer.alloc(frames * 4);
  const tone = (bin, i) => Math.trunc(32000 * Math.sin(2 * Math.PI * bin * i / BLOCK));
  for (let i = 0; i < frames; i++) {
    const on = !bursts || Math.floor(i / BLOCK) % 22 < 11;
    pcm.writeInt16LE(on ? tone(10, i) : 0, 4 * i);
    pcm.writeInt16LE(on ? tone(right, i) : 0, 4 * i + 2);
  }
  const head = Buffer.alloc(44);
  head.write('RIFF', 0);
  head.writeUInt32LE(36 + pcm.length, 4);
  head.write('WAVEfmt ', 8);
  head.writeUInt32LE(16, 16);
  head.writeUInt16LE(1, 20);
  head.writeUInt16LE(2, 22);
  head.writeUInt32LE(RATE, 24);
  head.writeUInt32LE(RATE * 4, 28);
  head.writeUInt16LE(4, 32);
  head.writeUInt16LE(16, 34);
  head.write('data', 36);
  head.writeUInt32LE(pcm.length, 40);
  return Buffer.concat([head, pcm]);
}

export function scratch() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'starlume-web-'));
}

// A 4-channel ProTracker module of a steady tone, as the fake microphone's:
// a looped 8-bit sine of 29 samples a cycle, struck once at period 568 on
// the first channel, panned hard left (the Amiga's clock of 3546895 Hz
// makes that 215.33 Hz: bin 10), and at period 142 on the second, hard
// right (bin 40), then held through an empty pattern three times, 31 s in
// all. (Bursts as the WAV's cannot start on the analysis' blocks: a
// module's rows are no whole number of them.)
export function tonemod() {
  const head = Buffer.alloc(1084), cycle = 29, cycles = 2; // a sample's bytes are even
  head.write('starlume tone', 0, 'latin1');
  head.write('sine', 20, 'latin1');
  head.writeUInt16BE(cycle * cycles / 2, 42); // length in words
  head[45] = 64;                              // volume
  head.writeUInt16BE(0, 46);                  // loop start
  head.writeUInt16BE(cycle * cycles / 2, 48); // loop length
  head[950] = 4;                              // positions
  head[951] = 127;
  head.set([0, 1, 1, 1], 952);
  head.write('M.K.', 1080, 'latin1');
  const patterns = Buffer.alloc(2 * 64 * 4 * 4);
  [[568, 0x00], [142, 0xff]].forEach(([period, pan], ch) => {
    patterns.writeUInt16BE(period, 4 * ch);
    patterns[4 * ch + 2] = 0x18; // sample 1, effect 8: panning
    patterns[4 * ch + 3] = pan;
  });
  const sample = Buffer.from(Array.from({ length: cycle * cycles },
    (_, i) => Math.round(127 * Math.sin(2 * Math.PI * i / cycle)) & 255));
  return Buffer.concat([head, patterns, sample]);
}
