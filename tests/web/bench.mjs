// The page's speed in headless Chromium with software WebGL: frames per
// second at 75 and 100 stars per side on the demo tune, and what one pass
// and one analysis block cost in wasm. A benchmark, not a test:
//
//   node tests/web/bench.mjs [demo.wav] [seconds]
//
// with the page built in build-web (or $STARLUME_WEB) and the demo tune from
// build/demotune.
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, open, waitFor, scratch } from './lib.mjs';

const tune = process.argv[2] ?? 'build/demo.wav';
const seconds = Number(process.argv[3] ?? 10);
const dir = scratch();
fs.copyFileSync(tune, path.join(dir, 'demo.wav'));
const server = await serve(dir);
const browser = await launch();
console.log('stars  frames/s  pass (us)  block (ms)  passes/s');
for (const stars of [75, 100]) {
  const { page } = await open(browser, `http://127.0.0.1:${server.address().port}/?music=files/demo.wav&stars=${stars}`);
  await waitFor(page, 'Closing file..');
  await page.waitForTimeout(2000); // the music starts and the stars land
  const samples = [];
  for (let t = 0; t < seconds; t++) {
    await page.waitForTimeout(1000);
    samples.push(await page.evaluate(() => window.starlume));
  }
  const median = (key) => samples.map((s) => s[key]).sort((a, b) => a - b)[samples.length >> 1];
  console.log(`${String(stars).padStart(5)}  ${median('fps').toFixed(1).padStart(8)}  ` +
              `${median('passus').toFixed(1).padStart(9)}  ${median('blockms').toFixed(3).padStart(10)}  ` +
              `${median('passes').toFixed(0).padStart(8)}`);
  await page.close();
}
await browser.close();
server.close();
fs.rmSync(dir, { recursive: true, force: true });
