// Recording from the machine through the microphone or line-in: the
// signal's frames go, as they come, to a reading worker of the capture's
// own (so that a long file being read does not hold it up), as one group
// per capture, so that copies saved one after another are combined. The
// meter shows the peak level the worker reports.
import { bothLanguages, prefixed, setBilingual } from './dom.js';
import {
  addRecordingEntry, beginFrames, endFrames, finishGroup, openGroup, sendFrames, startReadWorker,
} from './reading.js';

const capture = { stream: null, context: null, node: null, group: null, entry: null };
let captureWorker = null;

function showLevel(peak) {
  const percent = Math.round(Math.min(1, Math.max(0, peak)) * 100);
  const meter = document.querySelector('.level');
  meter.setAttribute('aria-valuenow', String(percent));
  meter.querySelector('.level-bar').style.width = `${percent}%`;
  meter.classList.toggle('clipping', peak >= 0.99);
}

function setCaptureButtons(recording) {
  document.querySelector('[data-action="record"]').disabled = recording;
  document.querySelector('[data-action="stop"]').disabled = !recording;
}

// The raw signal is wanted: the browser's voice processing would wreck it.
const RAW_AUDIO = {
  echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: 1,
};

export async function startCapture() {
  const status = document.querySelector('.capture-status');
  setCaptureButtons(true);
  if (!navigator.mediaDevices || !window.isSecureContext) {
    setCaptureButtons(false);
    const failed = bothLanguages('captureFailed');
    const why = bothLanguages('captureInsecure');
    setBilingual(status, { ru: failed.ru + why.ru, en: failed.en + why.en });
    return;
  }
  try {
    capture.stream = await navigator.mediaDevices.getUserMedia({ audio: RAW_AUDIO });
    capture.context = new AudioContext();
    // Made after waiting for the permission, it may start suspended.
    await capture.context.resume();
    const source = capture.context.createMediaStreamSource(capture.stream);
    capture.entry = addRecordingEntry(bothLanguages('captureName'));
    capture.entry.progress.removeAttribute('value');
    // The worker stays after the capture, for the map's pointer.
    if (!captureWorker) captureWorker = startReadWorker();
    capture.group = openGroup(captureWorker, { level: showLevel });
    beginFrames(capture.group, capture.entry, 'capture.wav', capture.context.sampleRate, 1);
    const { group, entry } = capture;
    capture.node = await captureNode(capture.context, (samples) => {
      // A block still on its way from the audio thread when the capture
      // stops has nowhere to go.
      if (capture.group !== group) return;
      sendFrames(group, entry, samples, samples.length);
    });
    source.connect(capture.node);
    // Connected to the output (silent) so that the browser keeps pulling it.
    capture.node.connect(capture.context.destination);
    setBilingual(status, bothLanguages('capturing'));
  } catch (error) {
    stopCapture();
    setBilingual(status, prefixed('captureFailed', error.message));
  }
}

// An AudioWorklet where there is one; the older ScriptProcessor otherwise.
async function captureNode(context, deliver) {
  if (context.audioWorklet) {
    await context.audioWorklet.addModule('capture-worklet.js');
    const node = new AudioWorkletNode(context, 'tape-capture', {
      numberOfInputs: 1, numberOfOutputs: 1, outputChannelCount: [1],
      channelCount: 1, channelCountMode: 'explicit', channelInterpretation: 'speakers',
    });
    node.port.onmessage = (event) => deliver(event.data);
    return node;
  }
  const node = context.createScriptProcessor(4096, 1, 1);
  node.onaudioprocess = (event) => deliver(new Float32Array(event.inputBuffer.getChannelData(0)));
  return node;
}

export function stopCapture() {
  if (capture.stream) for (const track of capture.stream.getTracks()) track.stop();
  if (capture.node) capture.node.disconnect();
  if (capture.context) capture.context.close();
  if (capture.group && capture.entry) {
    endFrames(capture.group, capture.entry);
    finishGroup(capture.group);
    setBilingual(document.querySelector('.capture-status'), bothLanguages('captureStopped'));
  }
  Object.assign(capture, { stream: null, context: null, node: null, group: null, entry: null });
  showLevel(0);
  setCaptureButtons(false);
}
