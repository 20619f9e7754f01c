// The page's Make video: the tone's video read back by ffprobe and ffmpeg
// (H.264 and AAC of the song's length, its strips dancing over the cover,
// the title), Cancel, a tab left while it renders, WebM where the AAC
// encoder cannot load, and the bad input that must offer no video. The tests' video is a small square the
// page does not list; any page error or console error fails a test.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, open, panel, waitFor, count, decodepng, tonewav, scratch, RATE } from './lib.mjs';

const dir = scratch();
const tone = path.join(dir, 'tone.wav');
fs.writeFileSync(tone, tonewav(8, true, 40));
const seconds = (fs.statSync(tone).size - 44) / 4 / RATE;
fs.writeFileSync(path.join(dir, 'garbage.bin'), crypto.randomBytes(50000));
fs.writeFileSync(path.join(dir, 'notes.png'), 'not a picture at all\n');
execFileSync('ffmpeg', ['-v', 'error', '-f', 'lavfi', '-i', 'color=c=red:s=64x48', '-frames:v', '1',
                        path.join(dir, 'red.png')]);
const SIDE = 400;
let server, browser, base;

before(async () => {
  server = await serve(dir);
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await launch();
});
after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

// The tone playing on the page, white stars (0), and the test's size chosen.
async function ready(init = null) {
  const opened = await open(browser, base + '?music=files/tone.wav&stars=40&keys=0', init);
  const { page } = opened;
  const loaded = [];
  page.on('request', (r) => loaded.push(new URL(r.url()).pathname));
  await waitFor(page, 'Closing file..\n');
  await page.waitForFunction(() => !document.getElementById('makevideo').disabled, null, { timeout: 20000 });
  await page.evaluate((side) => {
    const shape = document.getElementById('videosize');
    shape.add(new Option('test', `${side}x${side}`));
    shape.value = `${side}x${side}`;
  }, SIDE);
  return { ...opened, loaded };
}

// Five frames of a video from at seconds on, a fifth of a second apart.
function framesat(file, at) {
  const pngs = execFileSync('ffmpeg', ['-v', 'error', '-ss', String(at), '-i', file, '-vf', 'fps=5',
                                       '-frames:v', '5', '-f', 'image2pipe', '-c:v', 'png', '-'],
                            { maxBuffer: 1 << 26 });
  const magic = Buffer.from([137, 80, 78, 71]), shots = [];
  for (let at = pngs.indexOf(magic); at >= 0;) {
    const next = pngs.indexOf(magic, at + 4);
    shots.push(decodepng(pngs.subarray(at, next < 0 ? undefined : next)));
    at = next;
  }
  return shots;
}

const probe = (file) => JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-of', 'json', '-show_entries',
  'stream=codec_name,codec_type,width,height:format=duration', file]));

test("the tone's video: H.264 and AAC of its length, strips 4, 5 and 8 over the cover, the title", async () => {
  const { page, errors, loaded } = await ready();
  assert.ok(!loaded.some((p) => /mediabunny/.test(p)), loaded.join(' '));
  await page.locator('#cover').setInputFiles(path.join(dir, 'red.png'));
  await page.locator('#title').fill('Tone');
  const download = page.waitForEvent('download', { timeout: 200000 });
  await page.locator('#makevideo').click();
  await page.waitForFunction(() => /^\d+%, \d+:\d\d left$/.test(document.getElementById('videoleft').textContent),
                             null, { timeout: 60000 });
  assert.ok(await page.locator('#rendering').isVisible());
  const file = path.join(dir, 'tone.mp4');
  const got = await download;
  assert.equal(got.suggestedFilename(), 'tone.mp4');
  await got.saveAs(file);
  const frames = Math.ceil(seconds * 30);
  assert.ok((await panel(page)).includes(`starlume: made 'tone.mp4': ${frames} frames, `), await panel(page));
  assert.ok(loaded.includes('/mediabunny.js') && loaded.includes('/mediabunny-aac-encoder.js'), loaded.join(' '));

  const { streams, format } = probe(file);
  assert.deepEqual(streams.map((s) => s.codec_name).sort(), ['aac', 'h264']);
  assert.deepEqual(streams.filter((s) => s.codec_type === 'video').map((s) => [s.width, s.height]), [[SIDE, SIDE]]);
  assert.ok(Math.abs(Number(format.duration) - seconds) < 0.1, `${format.duration} s of ${seconds}`);

  // The cover, darkened, is the background; the title sits in the bottom
  // left corner of a square frame; above the floor only the tone's strips
  // dance.
  const shots = framesat(file, 5);
  assert.equal(shots.length, 5);
  const strips = Array.from({ length: 16 }, (_, k) => shots.reduce((n, s) =>
    n + count(s, Math.floor(k * s.width / 16), Math.floor((k + 1) * s.width / 16), 0, s.height * 0.8), 0));
  const loud = [4, 5, 8], others = strips.filter((_, k) => !loud.includes(k));
  assert.ok(Math.min(...loud.map((k) => strips[k])) > 100, `strips ${strips}`);
  assert.ok(others.every((n) => n * 20 < strips[4]), `strips ${strips}`);
  for (const s of shots) {
    assert.ok(s.bg[0] > 90 && s.bg[0] < 135 && s.bg[1] < 20 && s.bg[2] < 20, `background ${s.bg}`);
    assert.ok(count(s, 0, SIDE / 4, SIDE * 0.86, SIDE * 0.97) > 150, 'no title');
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('Cancel: no download, and the page plays on and makes videos again', async () => {
  const { page, errors } = await ready();
  let downloads = 0;
  page.on('download', () => downloads++);
  await page.locator('#makevideo').click();
  await page.waitForFunction(() => document.getElementById('videodone').value > 0, null, { timeout: 60000 });
  await page.locator('#videocancel').click();
  await waitFor(page, 'starlume: the video was cancelled at frame ');
  await page.locator('#rendering').waitFor({ state: 'hidden' });
  const heard = await page.evaluate(() => Page.heard);
  await page.waitForFunction((t) => Page.heard > t + 500, heard, { timeout: 20000 });
  assert.ok(await page.locator('#makevideo').isEnabled());
  await page.waitForTimeout(1000);
  assert.equal(downloads, 0);
  assert.ok(await page.locator('#videolink').isHidden());
  assert.deepEqual(errors, []);
  await page.close();
});

test('a tab left while it renders: the panel says it goes on, and it does, frozen a while or not', async () => {
  const { page, errors } = await ready();
  const download = page.waitForEvent('download', { timeout: 200000 });
  await page.locator('#makevideo').click();
  await page.waitForFunction(() => document.getElementById('videodone').value > 0.1, null, { timeout: 60000 });
  // Headless Chromium hides no tab that another covers: the page is told
  // it is hidden, then frozen a second, as a browser may a tab in the back.
  await page.evaluate(() => {
    Object.defineProperty(document, 'hidden', { value: true, configurable: true });
    Object.defineProperty(document, 'visibilityState', { value: 'hidden', configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
  });
  await waitFor(page, 'starlume: the video goes on rendering while this tab is hidden\n');
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Page.setWebLifecycleState', { state: 'frozen' });
  await new Promise((resolve) => setTimeout(resolve, 1000));
  await cdp.send('Page.setWebLifecycleState', { state: 'active' });
  const file = path.join(dir, 'left.mp4');
  await (await download).saveAs(file);
  assert.ok((await panel(page)).includes(`starlume: made 'tone.mp4': ${Math.ceil(seconds * 30)} frames, `),
            await panel(page));
  assert.ok(Math.abs(Number(probe(file).format.duration) - seconds) < 0.1);
  assert.deepEqual(errors, []);
  await page.close();
});

test('no AAC encoder: it is said, and the WebM offered has VP8 and Opus', async () => {
  // As on a first visit offline: no service worker, and the encoder's file
  // is not to be had.
  const { page, errors } = await ready(() => {
    Object.defineProperty(Navigator.prototype, 'serviceWorker', { value: undefined });
  });
  await page.route('**/mediabunny-aac-encoder.js', (route) => route.abort());
  await page.locator('#makevideo').click();
  await waitFor(page, 'starlume: the AAC encoder did not load (');
  const download = page.waitForEvent('download', { timeout: 200000 });
  await page.locator('#webm').click();
  const file = path.join(dir, 'tone.webm');
  await (await download).saveAs(file);
  const { streams, format } = probe(file);
  assert.deepEqual(streams.map((s) => s.codec_name).sort(), ['opus', 'vp8']);
  assert.ok(Math.abs(Number(format.duration) - seconds) < 0.1, `${format.duration} s of ${seconds}`);
  // The browser's note of the file it was refused is the only error allowed.
  assert.deepEqual(errors.filter((e) => !/ERR_FAILED|Failed to fetch dynamically imported/.test(e)), []);
  await page.close();
});

test('bad input: no video of a song the browser cannot decode, a cover that is no picture', async () => {
  const { page, errors, loaded } = await ready();
  await page.locator('#cover').setInputFiles(path.join(dir, 'notes.png'));
  await waitFor(page, "starlume: the cover 'notes.png' is not a picture this browser reads");
  assert.equal(await page.locator('#covername').textContent(), 'Cover picture');
  await page.locator('#file').setInputFiles(path.join(dir, 'garbage.bin'));
  await waitFor(page, "starlume: cannot decode 'garbage.bin': the browser plays no such file");
  assert.ok(await page.locator('#makevideo').isDisabled());
  await page.locator('#file').setInputFiles(tone);
  await page.waitForFunction(() => !document.getElementById('makevideo').disabled, null, { timeout: 20000 });
  assert.ok(!loaded.some((p) => /mediabunny/.test(p)), loaded.join(' '));
  assert.deepEqual(errors, []);
  await page.close();
});
