// The page's Make video in headless Chromium with software WebGL: how fast
// it renders 720p and vertical at 30 fps, as a multiple of real time, and
// the file's size and bitrate. A benchmark, not a test:
//
//   node tests/web/videobench.mjs [music.wav] [stars]
//
// with the page built in build-web (or $STARLUME_WEB); without a file, 20 s
// of the tests' tone.
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, open, waitFor, panel, scratch, tonewav } from './lib.mjs';

const dir = scratch();
if (process.argv[2]) fs.copyFileSync(process.argv[2], path.join(dir, 'music.wav'));
else fs.writeFileSync(path.join(dir, 'music.wav'), tonewav(20, true, 40));
const stars = process.argv[3] ? `&stars=${process.argv[3]}` : '';
const server = await serve(dir);
const browser = await launch();
console.log('shape       size       x real time  size (MB)  Mb/s');
for (const [shape, size] of [['720p', '1280x720'], ['vertical', '1080x1920']]) {
  const { page } = await open(browser, `http://127.0.0.1:${server.address().port}/?music=files/music.wav${stars}`);
  await waitFor(page, 'Closing file..');
  await page.waitForFunction(() => !document.getElementById('makevideo').disabled, null, { timeout: 60000 });
  await page.selectOption('#videosize', size);
  await page.selectOption('#videofps', '30');
  const download = page.waitForEvent('download', { timeout: 0 });
  await page.locator('#makevideo').click();
  const file = path.join(dir, 'video.mp4');
  await (await download).saveAs(file);
  const made = (await panel(page)).match(/made '.*': .* ([\d.]+)x real time, ([\d.]+) Mb\/s/);
  console.log(`${shape.padEnd(10)}  ${size.padEnd(9)}  ${made[1].padStart(11)}  ` +
              `${(fs.statSync(file).size / 1e6).toFixed(2).padStart(9)}  ${made[2].padStart(4)}`);
  await page.close();
}
await browser.close();
server.close();
fs.rmSync(dir, { recursive: true, force: true });
