// The page's module player: a worker that renders a tracker module whole,
// through libopenmpt's wasm build, to 16-bit stereo frames at 44100 Hz, as
// the native program renders it, so the page stays responsive meanwhile.
// It is loaded only when a module is opened.
import libopenmpt from './libopenmpt.worklet.js';

const RATE = 44100;
// Frames per render call, always the same: libopenmpt's output may differ in
// its last bit with the size of its reads.
const CHUNK = 1024;
// Mastergain, stereo separation, interpolation filter and volume ramping,
// as the native decoder sets them.
const PARAMS = [[1, 0], [2, 100], [3, 8], [4, -1]];

// libopenmpt's complaints about a file that is no module go to its standard
// error; the page says what failed in its own words.
const ready = libopenmpt({ print: () => {}, printErr: () => {} });

// An ASCII string in libopenmpt's memory, to be freed.
function text(lib, s) {
  const p = lib._malloc(s.length + 1);
  for (let i = 0; i < s.length; i++) lib.HEAPU8[p + i] = s.charCodeAt(i);
  lib.HEAPU8[p + s.length] = 0;
  return p;
}

// The module in bytes as one Int16Array of interleaved frames, or null when
// libopenmpt reads no module in them.
function render(lib, bytes) {
  const file = lib._malloc(Math.max(1, bytes.byteLength));
  lib.HEAPU8.set(new Uint8Array(bytes), file);
  const m = lib._openmpt_module_create_from_memory2(file, bytes.byteLength, 0, 0, 0, 0, 0, 0, 0);
  lib._free(file);
  if (!m) return null;
  // Played once: the song ends where it would start again.
  lib._openmpt_module_set_repeat_count(m, 0);
  const key = text(lib, 'dither'), value = text(lib, '0'); // else no two renders are the same
  lib._openmpt_module_ctl_set_text(m, key, value);
  lib._free(key);
  lib._free(value);
  for (const [param, v] of PARAMS) lib._openmpt_module_set_render_param(m, param, v);
  const buffer = lib._malloc(4 * CHUNK), parts = [];
  let frames = 0;
  for (;;) {
    const n = lib._openmpt_module_read_interleaved_stereo(m, RATE, CHUNK, buffer);
    if (n === 0) break;
    parts.push(lib.HEAP16.slice(buffer >> 1, (buffer >> 1) + 2 * n));
    frames += n;
  }
  lib._free(buffer);
  lib._openmpt_module_destroy(m);
  const all = new Int16Array(2 * frames);
  let at = 0;
  for (const part of parts) {
    all.set(part, at);
    at += part.length;
  }
  return all;
}

self.onmessage = async (e) => {
  const lib = await ready;
  const pcm = render(lib, e.data.bytes);
  self.postMessage({ asked: e.data.asked, pcm }, pcm ? [pcm.buffer] : []);
};
