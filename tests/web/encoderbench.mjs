// Chromium's H.264 encoder alone, in headless Chromium as the page's tests
// run it: how fast it encodes frames like the video's (thin lines moving on
// black) at 720p and vertical at 30 fps, with each setting of WebCodecs'
// that could matter, so that the ceiling of Make video is known; and the
// same frames handed over as a canvas rather than as pixels in memory (with
// software WebGL a canvas's frame is a texture, which costs more to convert
// than to encode). A benchmark, not a test:
//
//   node tests/web/encoderbench.mjs [seconds]
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, scratch } from './lib.mjs';

const seconds = Number(process.argv[2] ?? 5);
const dir = scratch();
fs.writeFileSync(path.join(dir, 'probe.html'), '<!doctype html><title>probe</title>');
const server = await serve(dir);
const browser = await launch();
const page = await browser.newPage();
await page.goto(`http://127.0.0.1:${server.address().port}/files/probe.html`);

// Encodes seconds of frames with config; at most queue frames wait in the
// encoder. Returns the wall time, the bytes, and the time spent drawing.
async function encode(setting) {
  return page.evaluate(async ({ w, h, fps, seconds, queue, config, canvased }) => {
    const canvas = new OffscreenCanvas(w, h);
    const g = canvas.getContext('2d', { alpha: false, willReadFrequently: !canvased });
    let bytes = 0, failed = null;
    const encoder = new VideoEncoder({
      output: (chunk) => { bytes += chunk.byteLength; },
      error: (e) => { failed = e.message; },
    });
    const full = { codec: 'avc1.640028', width: w, height: h, framerate: fps, avc: { format: 'avc' },
                   bitrate: Math.min(10e6, Math.round(w * h * fps * 0.1)), ...config };
    const support = await VideoEncoder.isConfigSupported(full);
    if (!support.supported) return { unsupported: true };
    encoder.configure(full);
    const frames = Math.round(seconds * fps), start = performance.now();
    let drawing = 0;
    for (let k = 0; k < frames; k++) {
      const t0 = performance.now();
      g.fillStyle = 'black';
      g.fillRect(0, 0, w, h);
      g.strokeStyle = 'rgb(255, 140, 30)';
      g.beginPath();
      for (let i = 0; i < 400; i++) {
        const x = (i * 97 + k * 7) % w, y = (i * 53 + k * (i % 9)) % h;
        g.moveTo(x, y);
        g.lineTo(x + 6, y + 6);
      }
      g.stroke();
      const timestamp = Math.round(k * 1e6 / fps);
      const frame = canvased ? new VideoFrame(canvas, { timestamp })
        : new VideoFrame(g.getImageData(0, 0, w, h).data, { format: 'RGBX', codedWidth: w, codedHeight: h, timestamp });
      drawing += performance.now() - t0;
      encoder.encode(frame, { keyFrame: k % (2 * fps) === 0 });
      frame.close();
      while (encoder.encodeQueueSize > queue) {
        await new Promise((resolve) => encoder.addEventListener('dequeue', resolve, { once: true }));
      }
    }
    await encoder.flush();
    const wall = (performance.now() - start) / 1000;
    encoder.close();
    return { wall, bytes, drawing: drawing / 1000, failed };
  }, setting);
}

console.log('shape     setting                       x real time  Mb/s  drawing (s)');
const settings = [
  ['default, queue 4', 4, {}],
  ['default, queue 1', 1, {}],
  ['realtime', 4, { latencyMode: 'realtime' }],
  ['constant bitrate', 4, { bitrateMode: 'constant' }],
  ['prefer-software', 4, { hardwareAcceleration: 'prefer-software' }],
  ['baseline profile', 4, { codec: 'avc1.42002a' }],
  ['default, from a canvas', 4, {}, true],
];
for (const [shape, w, h] of [['720p', 1280, 720], ['vertical', 1080, 1920]]) {
  for (const [name, queue, config, canvased = false] of settings) {
    const r = await encode({ w, h, fps: 30, seconds, queue, config, canvased });
    if (r.unsupported) {
      console.log(`${shape.padEnd(8)}  ${name.padEnd(28)}  unsupported`);
      continue;
    }
    console.log(`${shape.padEnd(8)}  ${name.padEnd(28)}  ${(seconds / r.wall).toFixed(2).padStart(11)}  ` +
                `${(8 * r.bytes / seconds / 1e6).toFixed(2).padStart(4)}  ${r.drawing.toFixed(2).padStart(11)}` +
                (r.failed ? `  (${r.failed})` : ''));
  }
}
await browser.close();
server.close();
fs.rmSync(dir, { recursive: true, force: true });
