// Live sound for the page: every render quantum (128 frames) of the input,
// each channel's samples, posted to the main thread.
class Capture extends AudioWorkletProcessor {
  process(inputs) {
    const input = inputs[0];
    if (input && input.length) {
      // The engine reuses its buffers: copies go, handed over whole.
      const planes = input.map((c) => c.slice(0));
      this.port.postMessage(planes, planes.map((c) => c.buffer));
    }
    return true;
  }
}
registerProcessor('capture', Capture);
