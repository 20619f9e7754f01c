// Takes on the page: one recorded with a key and the mouse, saved in the
// native format and rendered by the native program; takes opened, played
// on their song, or refused with their line in the console panel.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, open, waitFor, shot, judge, tonewav, scratch } from './lib.mjs';

const dir = scratch();
fs.writeFileSync(path.join(dir, 'tone.wav'), tonewav(8, true, 40));
const NATIVE = process.env.STARLUME_NATIVE ?? 'build/starlume';
let server, browser, base;

before(async () => {
  server = await serve(dir);
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await launch(null);
});
after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

// How red the stars are: red less blue over the lit pixels (the colours
// start grey; Fire is red to yellow).
function fire(s) {
  let n = 0, sum = 0;
  for (let p = 0; p < s.lit.length; p++) {
    if (s.lit[p]) sum += s.rgb[3 * p] - s.rgb[3 * p + 2], n++;
  }
  return sum / Math.max(1, n);
}

// A square video of side pixels at fps: the Fire colours come in within a
// fifth of a second of the key at keyms (they fade in over a few frames),
// and not before.
function firefrom(video, side, fps, keyms) {
  const raw = spawnSync('ffmpeg', ['-v', 'error', '-i', video, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                        { maxBuffer: 1 << 28 }).stdout;
  const frames = [], bytes = side * side * 3;
  for (let at = 0; at + bytes <= raw.length; at += bytes) {
    frames.push(fire(judge({ width: side, height: side, rgb: raw.subarray(at, at + bytes) })));
  }
  const first = frames.findIndex((f) => f > 20), due = keyms * fps / 1000, near = fps / 5;
  assert.ok(Math.abs(first - due) <= near, `${video}: Fire at frame ${first}, the key at ${due}: ${frames}`);
  assert.ok(Math.max(...frames.slice(0, Math.floor(due - near))) < 20, `${video}: ${frames}`);
}

async function tonepage(query = '') {
  const opened = await open(browser, base + '?music=files/tone.wav' + query);
  await waitFor(opened.page, 'Closing file..\n');
  return opened;
}

const opentake = (page, name, text) =>
  page.locator('#opentake').setInputFiles({ name, mimeType: 'text/plain', buffer: Buffer.from(text) });

test('a take recorded on the page is saved as a take file that renders natively', async (t) => {
  const { page, errors } = await tonepage('&stars=20');
  const box = await page.locator('#canvas').boundingBox();
  await page.locator('#record').click();
  assert.equal(await page.locator('#record').textContent(), 'Stop');
  const started = Date.now();
  await page.waitForTimeout(1000);
  // A drag on the canvas, from a quarter across to a third, halfway down.
  await page.mouse.move(box.x + box.width / 4, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width / 3, box.y + box.height / 2, { steps: 4 });
  await page.mouse.up();
  await page.waitForTimeout(3000 - (Date.now() - started));
  await page.locator('#canvas').press('7');
  await page.waitForTimeout(1000);
  await page.locator('#record').click();
  assert.equal(await page.locator('#record').textContent(), 'Record');
  const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#savetake').click()]);
  assert.equal(download.suggestedFilename(), 'tone.take');
  const take = path.join(dir, 'page.take');
  await download.saveAs(take);
  const text = fs.readFileSync(take, 'utf8');
  assert.match(text, /^# Starlume take.*\nstarlume take 1\nseed \d+\nstars 20\nkeys\nsong 8\.173 tone\.wav\n/, text);
  const events = [...text.matchAll(/^(\d+\.\d) (\w+) ?(.*)$/gm)].map((m) => [+m[1], m[2], m[3]]);
  // The click on Stop is no release: the button was not pressed on the canvas.
  assert.deepEqual(events.map((e) => e[1]).filter((k) => k !== 'move'), ['press', 'release', 'key'], text);
  const [press, release, key] = events.filter((e) => e[1] !== 'move');
  assert.deepEqual(key.slice(1), ['key', '7']);
  assert.ok(key[0] > 2000 && key[0] < 4500, text);
  assert.ok(press[0] > 500 && press[0] < key[0], text);
  const [px, py] = press[2].split(' ').map(Number), [rx, ry] = release[2].split(' ').map(Number);
  assert.ok(Math.abs(px - 0.25) < 0.01 && Math.abs(py - 0.5) < 0.01, text);
  assert.ok(Math.abs(rx - 1 / 3) < 0.01 && Math.abs(ry - 0.5) < 0.01, text);
  assert.ok((await page.locator('#console').textContent()).includes('Take recorded: '));

  // Make video renders the take just recorded: Fire from the key on.
  const side = 96;
  await page.evaluate((side) => {
    const shape = document.getElementById('videosize');
    shape.add(new Option('test', `${side}x${side}`));
    shape.value = `${side}x${side}`;
  }, side);
  const made = page.waitForEvent('download', { timeout: 200000 });
  await page.locator('#makevideo').click();
  const pagevideo = path.join(dir, 'pagetake.mp4');
  await (await made).saveAs(pagevideo);
  firefrom(pagevideo, side, 30, key[0]);
  assert.deepEqual(errors, []);
  await page.close();

  // The native program renders the same take on the same music: Fire from
  // the key on, not before.
  if (!fs.existsSync(NATIVE)) return t.skip(`no native starlume at ${NATIVE}`);
  const fps = 10, size = 96, video = path.join(dir, 'take.mp4');
  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const run = spawnSync(NATIVE, ['--render', video, '--take', take, '--size', `${size}x${size}`, '--fps', `${fps}`,
                                 path.join(dir, 'tone.wav')], { env, encoding: 'utf8', timeout: 300000 });
  assert.equal(run.status, 0, run.stderr);
  firefrom(video, size, fps, key[0]);
});

test('a native take plays on its song; a garbage take or another song\'s is refused with its line', async () => {
  const { page, errors } = await open(browser, base);
  await waitFor(page, 'Instructions');
  const head = 'starlume take 1\nseed 5\nstars 30\nkeys\n';
  // Opened before its music, it waits for it; then the colours of its key
  // come at its time in the music, not before.
  await opentake(page, 'native.take', head + 'song 8.173 tone.wav\n3000.0 key 7\n');
  await waitFor(page, "Take: 'native.take' waits for its music\n");
  await page.locator('#file').setInputFiles(path.join(dir, 'tone.wav'));
  await waitFor(page, "Take: 1 event on 'tone.wav'\n");
  assert.ok(fire(await shot(page)) < 20);
  await page.waitForFunction(() => false, null, { timeout: 3500 }).catch(() => {});
  assert.ok(fire(await shot(page)) > 40);

  const refused = [
    ['stars.take', 'starlume take 1\nseed 5\nstars 0\n',
     "stars.take:3: expected 'stars N', N from 1 to 100, not 'stars 0'"],
    ['binary.take', 'starlume take 1\n\0\0\0', 'binary.take:2: binary data, not text (a byte 0x00)'],
    ['late.take', head + 'song 8.000 tone.wav\n9000.0 key 7\n',
     'late.take:6: 9000.0 ms is past the end of the song (8.000 s)'],
    ['other.take', head + '# played on another song\nsong 8.000 other.wav\n100.0 key 7\n',
     "other.take:6: a section for 'other.wav', which is not among the songs given"],
  ];
  for (const [name, text, line] of refused) {
    await opentake(page, name, text);
    assert.ok((await waitFor(page, line + '\n')).endsWith(line + '\n'), name);
  }
  const played = (await page.locator('#console').textContent()).match(/^Take: /gm);
  assert.equal(played.length, 2, 'a refused take was played');
  assert.deepEqual(errors, []);
  await page.close();
});
