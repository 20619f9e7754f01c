// The page's Make video in headless Chromium with software WebGL: how fast
// it renders 720p and vertical at 30 fps, as a multiple of real time, and
// the file's size and bitrate. A benchmark, not a test:
//
//   node tests/web/videobench.mjs [music.wav] [stars]
//
// with the page built in build-web (or $STARLUME_WEB); without a file, 20 s
// of the tests' tone. $SHAPES picks the shapes (720p,vertical by default; square and wide too), and
// $COVER=1 gives the video a cover picture and a title. Also, a frame's
// milliseconds in each stage of the page's loop (the dance drawn and laid, the
// frame handed to the encoders, waiting for them, the event loop's turn)
// and the CPU time a frame costs the browser's GPU process (software WebGL
// and the compositor) and all of its processes: wall-clock figures on a
// shared machine say less than CPU time.
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, open, waitFor, panel, scratch, tonewav } from './lib.mjs';

// CPU seconds of this process's descendants (the browser's), by their type.
function cputime() {
  const parent = new Map(), types = {};
  const pids = fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d));
  const stat = (p) => fs.readFileSync(`/proc/${p}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');
  for (const p of pids) {
    try {
      parent.set(p, stat(p)[1]);
    } catch {} // gone
  }
  const ours = (p) => {
    for (let q = parent.get(p); q && q !== '1'; q = parent.get(q)) if (q === String(process.pid)) return true;
    return false;
  };
  for (const p of pids.filter(ours)) {
    try {
      const type = fs.readFileSync(`/proc/${p}/cmdline`, 'utf8').match(/--type=([a-z-]+)/)?.[1] ?? 'browser';
      const f = stat(p);
      types[type] = (types[type] ?? 0) + (Number(f[11]) + Number(f[12])) / 100; // utime, stime in ticks
    } catch {}
  }
  return types;
}

const dir = scratch();
if (process.argv[2]) fs.copyFileSync(process.argv[2], path.join(dir, 'music.wav'));
else fs.writeFileSync(path.join(dir, 'music.wav'), tonewav(20, true, 40));
const stars = process.argv[3] ? `&stars=${process.argv[3]}` : '';
const server = await serve(dir);
const browser = await launch();
const shapes = [['720p', '1280x720'], ['vertical', '1080x1920'], ['square', '1080x1080'], ['wide', '1920x1080']]
  .filter(([shape]) => (process.env.SHAPES ?? '720p,vertical').split(',').includes(shape));
console.log('shape     x real time  size (MB)  Mb/s | ms a frame: dance  encode  wait  turn | ' +
            'CPU ms a frame: GPU process  all');
for (const [shape, size] of shapes) {
  const { page } = await open(browser, `http://127.0.0.1:${server.address().port}/?music=files/music.wav${stars}`);
  await waitFor(page, 'Closing file..');
  await page.waitForFunction(() => !document.getElementById('makevideo').disabled, null, { timeout: 60000 });
  await page.selectOption('#videosize', size);
  await page.selectOption('#videofps', '30');
  if (process.env.COVER) {
    await page.fill('#title', 'A title for the bench');
    await page.locator('#cover').setInputFiles(path.join(import.meta.dirname, '../../docs/page.png'));
  }
  const download = page.waitForEvent('download', { timeout: 0 });
  const before = cputime();
  await page.locator('#makevideo').click();
  const file = path.join(dir, 'video.mp4');
  await (await download).saveAs(file);
  const after = cputime();
  const text = await panel(page);
  const made = text.match(/made '.*': (\d+) frames, .* ([\d.]+)x real time, ([\d.]+) Mb\/s/);
  const frames = Number(made[1]);
  const spent = await page.evaluate(() => window.starlumevideo);
  const each = ['dance', 'encode', 'wait', 'turn'].map((s) => (spent[s] / frames).toFixed(1).padStart(7));
  const cpu = (types) => types.reduce((n, t) => n + (after[t] ?? 0) - (before[t] ?? 0), 0) * 1000 / frames;
  console.log(`${shape.padEnd(8)}  ${made[2].padStart(11)}  ${(fs.statSync(file).size / 1e6).toFixed(2).padStart(9)}  ` +
              `${made[3].padStart(4)} |            ${each.join('')} |` +
              `                ${cpu(['gpu-process']).toFixed(1).padStart(5)}  ${cpu(Object.keys(after)).toFixed(1).padStart(5)}`);
  await page.close();
}
await browser.close();
server.close();
fs.rmSync(dir, { recursive: true, force: true });
