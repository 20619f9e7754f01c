// The page in headless Chromium: a tone by URL and the header report, the
// instructions and its strips dancing; the heard time; keys; the star count
// field; the bad input that must not break the page; live sound from a fake
// microphone.
// Any page error or console error fails a test.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, open, panel, waitFor, shot, count, high, tonewav, tonemod, scratch, WEB } from './lib.mjs';

const dir = scratch();
const tone = path.join(dir, 'tone.wav'), steady = path.join(dir, 'steady.wav');
// Each with a tone on the left and another on the right (strip 8's).
fs.writeFileSync(tone, tonewav(40, true, 40));
fs.writeFileSync(steady, tonewav(20, false, 40));
fs.writeFileSync(path.join(dir, 'garbage.bin'), crypto.randomBytes(50000));
fs.writeFileSync(path.join(dir, 'empty.wav'), '');
fs.writeFileSync(path.join(dir, 'tone.mod'), tonemod());
fs.writeFileSync(path.join(dir, 'garbage.mod'), crypto.randomBytes(5000));
let server, browser, base;

before(async () => {
  server = await serve(dir);
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await launch(steady); // the fake microphone plays the steady tone
});
after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

const HEADER = `(1-4): RIFF 
36 0 110 0
(5-8) Overall size: bytes:7208996, Kb:7040 
(9-12) Wave marker: WAVE
(13-16) Fmt marker: fmt 
16 0 0 0
(17-20) Length of Fmt header: 16 
1 0 
(21-22) Format type: 1 PCM 
2 0 
(23-24) Channels: 2 
68 172 0 0
(25-28) Sample rate: 44100
16 177 2 0
(29-32) Byte Rate: 176400 , Bit Rate:1411200
4 0 
(33-34) Block Alignment: 4 
16 0 
(35-36) Bits per sample: 16 
(37-40) Data Marker: data 
0 0 110 0
(41-44) Size of data chunk: 7208960 
Number of samples:1802240 
Size of each sample:4 bytes
Approx.Duration in seconds=40.867325
Approx.Duration in h:m:s=0:0:40.867
Closing file..
`;

// The banner and the instructions, as the console shows them.
const INSTRUCTIONS = fs.readFileSync(new URL('../texts/banner.txt', import.meta.url), 'utf8').trimStart();

const TOGGLES = `TOGGLES: 
Black Hole:OFF
Gravity: ON
Damping:ON
Distance: ON
Borders: OFF
Reverse: OFF
Radial Bars: OFF
Color: 0

`;

// The left channel's tone throws up the stars of strips 4 and 5 again and
// again, the right one's those of strip 8, and the others stay on the
// floor, as in the window.
const LOUD = [4, 5, 8];
async function assertTheirStripsDance(page) {
  await page.locator('#canvas').press('0'); // white on black
  const still = (s) => [0, 1, 2, 11, 12, 13, 14, 15].reduce((n, k) => n + high(s, k), 0);
  let s;
  for (const deadline = Date.now() + 30000; Date.now() < deadline;) {
    s = await shot(page);
    if (s.bg.join() === '0,0,0' && still(s) === 0 && count(s, 0, s.width, s.height - 100) > 500) break;
    await page.waitForTimeout(200);
  }
  assert.equal(still(s), 0, 'the stars did not settle');
  const shots = [s];
  for (let i = 0; i < 5; i++) {
    await page.waitForTimeout(300);
    shots.push(await shot(page));
  }
  const strips = Array.from({ length: 16 }, (_, k) => shots.reduce((n, t) => n + high(t, k), 0));
  const loud = LOUD.reduce((n, k) => n + strips[k], 0);
  assert.ok(loud > 450, `strips ${strips}`);
  assert.ok(shots.reduce((n, t) => n + still(t), 0) * 20 < loud, `strips ${strips}`);
  const others = strips.filter((_, k) => !LOUD.includes(k));
  assert.ok(Math.min(...LOUD.map((k) => strips[k])) > Math.max(...others), `strips ${strips}`);
}

test('a tone by URL: its header report, the instructions, its strips, the toggles', async () => {
  const { page, errors } = await open(browser, base + '?music=files/tone.wav');
  const text = await waitFor(page, 'Closing file..\n');
  assert.ok(text.includes(INSTRUCTIONS), text);
  assert.ok(text.includes(HEADER), text);
  await assertTheirStripsDance(page);
  await page.locator('#canvas').press('p');
  assert.ok((await waitFor(page, 'Color: 0\n')).endsWith(TOGGLES));
  await page.locator('#canvas').press('7'); // Fire, for the README's picture of the page
  await page.waitForTimeout(1000);
  await page.screenshot({ path: path.join(WEB, 'page.png') });
  assert.deepEqual(errors, []);
  await page.close();
});

// A module's 8-bit sample carries its quantisation and the resampler's
// images into the upper strips, faintly but never still: there the tone's
// strips need only lead every other by far.
async function assertTheyLead(page) {
  await page.locator('#canvas').press('0');
  // The module is rendered whole before it plays.
  await page.waitForFunction(() => Page.source && Page.heard > 2000, null, { timeout: 30000 });
  const shots = [];
  for (let i = 0; i < 6; i++) {
    shots.push(await shot(page));
    await page.waitForTimeout(300);
  }
  const strips = Array.from({ length: 16 }, (_, k) => shots.reduce((n, t) => n + high(t, k), 0));
  const others = strips.filter((_, k) => !LOUD.includes(k));
  assert.ok(Math.min(...LOUD.map((k) => strips[k])) > 2 * Math.max(...others), `strips ${strips}`);
  assert.ok([0, 1, 2, 3, 6].every((k) => strips[k] * 20 < strips[4]), `strips ${strips}`);
}

test('a module chosen in the field dances, its player loaded only then', async () => {
  const { page, errors } = await open(browser, base);
  const loaded = [];
  page.on('request', (r) => loaded.push(new URL(r.url()).pathname));
  await waitFor(page, 'Instructions');
  assert.ok(!loaded.some((p) => /tracker|openmpt/.test(p)), loaded.join(' '));
  await page.locator('#file').setInputFiles(path.join(dir, 'tone.mod'));
  await waitFor(page, 'Closing file..\n');
  await assertTheyLead(page);
  assert.ok(loaded.includes('/libopenmpt.worklet.js'), loaded.join(' '));
  // Played once, whole: four patterns of 64 rows of 120 ms, and the last
  // mix's tail.
  const seconds = await page.evaluate(() => Page.buffer.duration);
  assert.ok(seconds >= 30.72 && seconds < 31, `${seconds} s`);
  // Once used, the player is kept for offline use.
  await page.context().setOffline(true);
  await page.reload();
  await waitFor(page, 'Instructions');
  await page.locator('#file').setInputFiles(path.join(dir, 'tone.mod'));
  await waitFor(page, 'Closing file..\n');
  await assertTheyLead(page);
  assert.ok(!(await panel(page)).includes('cannot'));
  assert.deepEqual(errors, []);
  await page.close();
});

test('after one visit the page opens offline and plays a chosen file', async () => {
  const { page, errors } = await open(browser, base);
  await waitFor(page, 'Instructions');
  await page.evaluate(() => Promise.race([navigator.serviceWorker.ready, new Promise((_, no) =>
    setTimeout(() => no(new Error('no service worker became active')), 20000))]));
  // Installable, but for the tests' private window; the manifest and its
  // icon are kept too.
  const cdp = await page.context().newCDPSession(page);
  const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
  assert.deepEqual(installabilityErrors.map((e) => e.errorId), ['in-incognito']);
  assert.deepEqual((await cdp.send('Page.getAppManifest')).errors, []);
  await page.context().setOffline(true);
  await page.reload();
  await waitFor(page, 'Instructions');
  assert.ok(await page.evaluate(async () => (await fetch('icon.svg')).ok));
  // The module player is kept only once used: not yet.
  await page.locator('#file').setInputFiles(path.join(dir, 'tone.mod'));
  await waitFor(page, "starlume: cannot decode 'tone.mod': the module player did not load");
  await page.locator('#file').setInputFiles(tone);
  await waitFor(page, 'Closing file..\n');
  await assertTheirStripsDance(page);
  assert.deepEqual(errors.filter((e) => !/ERR_INTERNET_DISCONNECTED/.test(e)), []);
  await page.close();
});

// The browser's output timestamps jitter; here every other one is 40 ms
// behind, so an estimate of what is heard that follows them would run
// back. The heard time is sampled at every frame.
function jitterAndSample() {
  const stamp = AudioContext.prototype.getOutputTimestamp;
  window.stamps = 0;
  AudioContext.prototype.getOutputTimestamp = function () {
    const t = stamp.call(this);
    return window.stamps++ % 2 ? t : { contextTime: t.contextTime - 0.04, performanceTime: t.performanceTime };
  };
  window.heard = [];
  const sample = () => {
    if (typeof Page !== 'undefined') window.heard.push(Page.heard);
    requestAnimationFrame(sample);
  };
  requestAnimationFrame(sample);
}

test('the heard time never runs back, and stands still while paused', async () => {
  const { page, errors } = await open(browser, base + '?music=files/tone.wav', jitterAndSample);
  await waitFor(page, 'Closing file..\n');
  const heard = () => page.evaluate(() => Page.heard);
  await page.waitForFunction(() => Page.heard > 1000, null, { timeout: 20000 });
  await page.locator('#canvas').press('P');
  await page.waitForTimeout(500);
  const paused = await heard();
  await page.waitForTimeout(1000);
  assert.equal(await heard(), paused, 'the heard time moved while paused');
  await page.locator('#canvas').press('P');
  await page.waitForFunction((t) => Page.heard > t + 1000, paused, { timeout: 20000 });
  const { samples, stamps } = await page.evaluate(() => ({ samples: window.heard, stamps: window.stamps }));
  assert.ok(stamps > 10, 'the output timestamps were not asked for');
  const back = samples.findIndex((t, i) => i > 0 && t < samples[i - 1]);
  assert.equal(back, -1, `ran back from ${samples[back - 1]} to ${samples[back]} ms`);
  assert.deepEqual(errors, []);
  await page.close();
});

test('keys: a colour scheme and the black hole change the picture', async () => {
  const { page, errors } = await open(browser, base + '?stars=20');
  await waitFor(page, 'Instructions');
  const canvas = page.locator('#canvas');
  await canvas.press('b'); // every velocity turned a quarter each pass: nothing falls
  // The grid again, at rest: on a busy machine the stars may have reached
  // the floor before the key came.
  await canvas.press('R');
  await page.waitForTimeout(2500);
  const upper = (s) => count(s, 0, s.width, 0, s.height / 2);
  assert.ok(upper(await shot(page)) > 1000, 'the black hole let the stars fall');
  await canvas.press('b');
  await canvas.press('1'); // black stars on white
  await page.waitForTimeout(3000);
  const s = await shot(page);
  assert.deepEqual(s.bg, [255, 255, 255]);
  assert.equal(upper(s), 0, 'the stars did not fall once the black hole went');
  assert.deepEqual(errors, []);
  await page.close();
});

test('the star count is asked for in the panel and answered in its field', async () => {
  const { page, errors } = await open(browser, base);
  await waitFor(page, 'Instructions');
  await page.locator('#canvas').press('n');
  const field = page.locator('#line');
  await field.waitFor({ state: 'visible' });
  await field.fill('0');
  await field.press('Enter');
  await field.fill('30');
  await field.press('Enter');
  await field.waitFor({ state: 'hidden' });
  await waitFor(page, 'Enter the number between 1-100: 0\nInvalid input: Enter the number between 1-100: 30\n');
  assert.deepEqual(errors, []);
  await page.close();
});

test('bad input gets a clear line and leaves the page working', async () => {
  const rows = [
    ['?music=files/garbage.bin', "starlume: cannot decode 'files/garbage.bin': the browser plays no such file"],
    ['?music=files/empty.wav', "starlume: 'files/empty.wav' holds no sound"],
    ['?music=files/garbage.mod', "starlume: cannot decode 'files/garbage.mod': libopenmpt reads no module in it"],
    ['?music=files/missing.wav', "starlume: cannot load 'files/missing.wav': 404 Not Found"],
    ['?stars=500', "starlume: option '--stars' needs a number from 1 to 100, not '500' (see starlume --help)"],
  ];
  for (const [query, line] of rows) {
    const { page, errors } = await open(browser, base + query);
    await waitFor(page, line);
    await page.locator('#canvas').press('p');
    await waitFor(page, 'Radial Bars: OFF');
    // The browser's own note of the 404 is the only error allowed.
    assert.deepEqual(errors.filter((e) => !/status of 404/.test(e)), [], query);
    await page.close();
  }
});

test('a refused microphone gets a line and leaves the page working', async () => {
  const refusing = await launch(null, true);
  try {
    const { page, errors } = await open(refusing, base + '?listen');
    await waitFor(page, 'starlume: cannot listen: NotAllowedError');
    await page.locator('#canvas').press('p');
    await waitFor(page, 'Radial Bars: OFF');
    assert.deepEqual(errors, []);
  } finally {
    await refusing.close();
  }
});

test('the microphone: the fake device plays a tone, and its strips dance', async () => {
  const { page, errors } = await open(browser, base + '?listen');
  await waitFor(page, 'Listening to: ');
  await assertTheirStripsDance(page);
  assert.deepEqual(errors, []);
  await page.close();
});
