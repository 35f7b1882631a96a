// The capture's audio-thread side: collects the input's samples (one
// channel) into blocks of a few thousand frames and posts each block to the
// page, which hands it to the reading worker. The output stays silent.
'use strict';

const kBlockFrames = 4096;

class TapeCapture extends AudioWorkletProcessor {
  constructor() {
    super();
    this.block = new Float32Array(kBlockFrames);
    this.filled = 0;
  }

  process(inputs) {
    const channel = inputs[0] && inputs[0][0];
    if (channel) this.collect(channel);
    return true;
  }

  collect(samples) {
    let from = 0;
    while (from < samples.length) {
      const count = Math.min(samples.length - from, kBlockFrames - this.filled);
      this.block.set(samples.subarray(from, from + count), this.filled);
      this.filled += count;
      from += count;
      if (this.filled === kBlockFrames) {
        this.port.postMessage(this.block, [this.block.buffer]);
        this.block = new Float32Array(kBlockFrames);
        this.filled = 0;
      }
    }
  }
}

registerProcessor('tape-capture', TapeCapture);
