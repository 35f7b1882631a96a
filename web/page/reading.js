// Recordings read back into images. The files chosen or dropped at once
// form a group, read by one reading context in read-worker.js, so that
// copies of a program on any of them are combined and repaired as on one
// command line; live capture is a group of its own (capture.js). The
// module tells what each file is; WAV goes to it as bytes, the other
// formats the browser decodes first, at the rate the module read from the
// file's header, and their frames go to it. What comes back is rendered
// as it is: the report's lines and statuses, the images under the names
// the report gives, each recording's map.
import {
  bilingualElement, bothLanguages, downloadLink, filled, make, prefixed, setBilingual, updateEmptyNotes, view,
} from './dom.js';
import { addImages } from './conversion.js';
import { addMap, addMapLanguage } from './map.js';

const groups = new Map();   // group id -> group: see openGroup
let nextGroup = 1;
let nextRequest = 1;
const requests = new Map(); // request id -> its promise's resolve

let fileReader = null;

function readerWorker() {
  if (!fileReader) fileReader = startReadWorker();
  return fileReader;
}

// A reading worker whose messages come back here.
export function startReadWorker() {
  const worker = new Worker('read-worker.js');
  worker.onmessage = (event) => workerMessage(event.data);
  worker.onerror = (event) => {
    event.preventDefault();
    for (const group of groups.values()) {
      if (group.worker !== worker) continue;
      for (const entry of group.recordings) setBilingual(entry.note, prefixed('loadError', event.message || 'worker'));
    }
  };
  return worker;
}

// Asks the worker and waits for its answer to this very request.
function ask(worker, message) {
  const request = nextRequest++;
  return new Promise((resolve) => {
    requests.set(request, resolve);
    worker.postMessage({ ...message, request });
  });
}

// ------------------------------------------------------------ the groups

// A group being read, or read: its recordings in the order they were
// begun in the context (the report's order), and its images' links.
export function openGroup(worker, handlers = {}) {
  const group = {
    id: nextGroup++, worker, recordings: [], images: new Map(), finished: false, handlers,
  };
  groups.set(group.id, group);
  worker.postMessage({ type: 'open', group: group.id });
  return group;
}

// The entry's recording joins the group; returns its place there.
export function beginRecording(group, entry) {
  entry.group = group;
  entry.recording = group.recordings.length;
  group.recordings.push(entry);
  return entry.recording;
}

export function beginFrames(group, entry, name, sampleRate, channels) {
  group.worker.postMessage({
    type: 'frames-begin', group: group.id, recording: beginRecording(group, entry), name, sampleRate, channels,
  });
}

// `samples` holds whole frames, the channels interleaved.
export function sendFrames(group, entry, samples, frames, fraction) {
  group.worker.postMessage({
    type: 'frames', group: group.id, recording: entry.recording, samples, frames, fraction,
  }, [samples.buffer]);
}

export function endFrames(group, entry) {
  group.worker.postMessage({ type: 'frames-end', group: group.id, recording: entry.recording });
}

// The group's maps come first in the language shown.
export function finishGroup(group) {
  group.worker.postMessage({
    type: 'finish', group: group.id, recordings: group.recordings.length, language: view.language,
  });
}

// Blocks of a WAV file on their way to the worker at once: the page reads
// the next from the disk while the worker decodes, as lentok-read reads on
// one thread and decodes on another, and memory stays flat.
const kFileBlockBytes = 4 << 20;
const kBlocksAhead = 2;

async function sendFile(group, entry, file) {
  const recording = beginRecording(group, entry);
  group.worker.postMessage({ type: 'bytes-begin', group: group.id, recording, name: file.name });
  entry.credit = kBlocksAhead;
  let failed = false;
  try {
    // At least one block, empty for an empty file, so that the WAV reader
    // has its word on it.
    let offset = 0;
    do {
      while (entry.credit === 0) await new Promise((resolve) => { entry.fed = resolve; });
      if (entry.stop) break;
      const bytes = await file.slice(offset, offset + kFileBlockBytes).arrayBuffer();
      offset += bytes.byteLength;
      entry.credit -= 1;
      group.worker.postMessage({
        type: 'bytes', group: group.id, recording, bytes, fraction: file.size ? offset / file.size : 1,
      }, [bytes]);
    } while (offset < file.size);
  } catch (error) {
    failed = true;
  }
  group.worker.postMessage({ type: 'bytes-end', group: group.id, recording, failed });
}

function workerMessage(message) {
  if (message.type === 'answer') {
    const resolve = requests.get(message.request);
    requests.delete(message.request);
    if (resolve) resolve(message.answer);
    return;
  }
  const group = groups.get(message.group);
  if (!group) return;
  const entry = group.recordings[message.recording];
  if (message.type === 'report') {
    for (const { name, bytes } of message.images) {
      group.images.set(name, URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' })));
    }
    showReport(group, message.report);
  } else if (message.type === 'fed') {
    entry.progress.value = message.fraction;
    entry.credit += 1;
    entry.stop = message.stop;
    if (entry.fed) entry.fed();
  } else if (message.type === 'progress') {
    entry.progress.value = message.fraction;
  } else if (message.type === 'level') {
    if (group.handlers.level) group.handlers.level(message.peak);
  } else if (message.type === 'ended') {
    if (entry) endReading(entry, message.failure);
  } else if (message.type === 'finished') {
    finished(group, message.language, message.maps);
  } else if (message.type === 'maps') {
    group.recordings.forEach((recording, index) => {
      if (recording.map) addMapLanguage(recording.map, message.language, message.maps[index]);
    });
  }
}

// ----------------------------------------------------------- the entries

export function addRecordingEntry(name) {
  const element = make('li', 'entry recording');
  element.dataset.kind = 'recording';
  element.dataset.state = 'reading';
  const title = make('h3', 'file-name');
  if (typeof name === 'string') title.textContent = name; else setBilingual(title, name);
  const note = make('p', 'note');
  const progress = make('progress');
  progress.value = 0;
  progress.max = 1;
  const waiting = make('p', 'waiting');
  waiting.hidden = true;
  const list = make('ol', 'records');
  element.append(title, progress, note, waiting, list);
  document.getElementById('recordings').append(element);
  updateEmptyNotes();
  return {
    element, progress, note, waiting, list, failed: false, ended: false, group: null, recording: -1, found: 0,
  };
}

export function failRecording(entry, failure) {
  entry.failed = true;
  endReading(entry, failure);
  entry.element.dataset.state = 'failed';
}

// The recording's input has ended; the group may still be reading others,
// and what waits for copies is final only when it finishes.
function endReading(entry, failure) {
  entry.ended = true;
  entry.progress.remove();
  if (!failure) return;
  entry.failed = true;
  entry.element.dataset.state = 'failed';
  setBilingual(entry.note, failure);
  entry.note.classList.add('failure');
}

function finished(group, language, maps) {
  group.finished = true;
  group.recordings.forEach((entry, recording) => {
    if (maps[recording]) {
      entry.map = addMap(entry, { [language]: maps[recording] }, (seconds) => ask(group.worker, {
        type: 'point', group: group.id, recording, seconds,
      }));
    }
    if (entry.failed) return;
    entry.element.dataset.state = 'done';
    if (entry.found === 0) setBilingual(entry.note, bothLanguages('noRecords')); else entry.note.remove();
  });
}

// Every entry of the report, in both languages, under its recording; a
// combination under the recording it is shown with.
function showReport(group, report) {
  const items = group.recordings.map(() => []);
  report.en.recordings.forEach((recording, index) => {
    const russian = report.ru.recordings[index];
    // Records and the signal no record explains, in the order they lie.
    const placed = [];
    for (let r = 0; r < recording.records.length; ++r) {
      placed.push({ from: recording.records[r].from, item: recordItem(group, recording.records[r], russian.records[r]) });
    }
    (recording.unread || []).forEach((stretch, u) => {
      placed.push({ from: stretch.from, item: unreadItem(stretch, russian.unread[u]) });
    });
    placed.sort((a, b) => a.from - b.from);
    for (const { item } of placed) items[index].push(item);
    if (group.recordings[index]) group.recordings[index].unread = (recording.unread || []).length;
    const entry = group.recordings[index];
    if (entry) {
      entry.waiting.hidden = recording.waiting === 0;
      setBilingual(entry.waiting, filled('waiting', { count: recording.waiting }));
    }
  });
  (report.en.combined || []).forEach((combination, index) => {
    const item = recordItem(group, combination, report.ru.combined[index]);
    item.classList.add('combined');
    items[combination.shownWith].push(item);
  });
  group.recordings.forEach((entry, index) => {
    entry.found = items[index].length - (entry.unread || 0);
    entry.list.replaceChildren(...items[index]);
  });
}

// A record's item: its status, the machine's verdict, its line and its
// image, each as the report gives it.
function recordItem(group, english, russian) {
  const item = make('li', 'record');
  item.dataset.status = english.status;
  item.dataset.damaged = String(english.damaged);
  item.append(bilingualElement('span', 'status', { en: english.statusText, ru: russian.statusText }), ' ');
  // Whether the machine itself would load it, as played; a combined image
  // was never played as such, so it has no verdict.
  if (english.machineText !== null) {
    const machine = bilingualElement('span', 'machine', { en: english.machineText, ru: russian.machineText });
    machine.dataset.loads = String(english.machine.loads);
    item.append(machine, ' ');
  }
  item.append(bilingualElement('code', 'line', { en: english.line, ru: russian.line }), ' ');
  if (english.combinedInto) item.dataset.combinedInto = english.combinedInto;
  const url = english.image && group.images.get(english.image);
  if (url) item.append(downloadLink(url, english.image, 'downloadImage'));
  return item;
}

// Signal no record explains: its line as the report gives it. The page
// shows it but does not keep its samples.
function unreadItem(english, russian) {
  const item = make('li', 'record unread');
  item.dataset.status = 'unread';
  item.append(bilingualElement('span', 'status', { en: english.statusText, ru: russian.statusText }), ' ');
  item.append(bilingualElement('code', 'line', { en: english.line, ru: russian.line }));
  return item;
}

// -------------------------------------------------------------- the files

// What the reading module makes of the file: see web_probe.
function probe(file) {
  return ask(readerWorker(), { type: 'probe', file });
}

// The name lentok puts on tape for an image of this file name.
export function tapeNameOf(fileName) {
  return ask(readerWorker(), { type: 'tape-name', name: fileName });
}

// Images go to lentok, in the order given, and those chosen together may
// become one side; the recordings form one group.
export async function takeFiles(files) {
  const recordings = [];
  const images = [];
  for (const file of files) {
    const found = await probe(file);
    if (found.kind === 'image') {
      images.push({ name: file.name, bytes: await file.slice(0, found.bytes).arrayBuffer() });
    } else if (found.kind === 'unknown') {
      failRecording(addRecordingEntry(file.name), bothLanguages('unknownFormat'));
    } else {
      recordings.push({ file, found, entry: addRecordingEntry(file.name) });
    }
  }
  addImages(images);
  if (recordings.length === 0) return;
  const group = openGroup(readerWorker());
  for (const { file, found, entry } of recordings) {
    if (found.kind === 'wav') {
      setBilingual(entry.note, bothLanguages('reading'));
      await sendFile(group, entry, file);
    } else {
      await readDecoded(group, entry, file, found);
    }
  }
  finishGroup(group);
}

// Frames go to the reader in blocks of this many.
const kDecodedBlockFrames = 1 << 16;

// The file's samples as the browser decodes them, at the given rate; fails
// where the browser has no decoder for the format.
async function decodeRecording(file, sampleRate) {
  const context = new OfflineAudioContext(1, 1, sampleRate);
  return context.decodeAudioData(await file.arrayBuffer());
}

// A recording the browser decodes, at the rate its header gives, then fed
// to the reader as float frames, the channels interleaved as in a file. A
// file the browser cannot decode is told so in the page's words and stays
// out of the group.
async function readDecoded(group, entry, file, found) {
  setBilingual(entry.note, bothLanguages('decoding'));
  const cannotDecode = (key) => failRecording(entry, filled(key, { format: found.container }));
  if (!found.sampleRate) {
    cannotDecode('noSampleRate');
    return;
  }
  let decoded;
  try {
    decoded = await decodeRecording(file, found.sampleRate);
  } catch (error) {
    cannotDecode('cannotDecode');
    return;
  }
  setBilingual(entry.note, bothLanguages('reading'));
  // For scripts and tests: the rate the samples reach the reader at.
  entry.element.dataset.sampleRate = String(decoded.sampleRate);
  const channels = decoded.numberOfChannels;
  beginFrames(group, entry, file.name, decoded.sampleRate, channels);
  const planes = [...Array(channels).keys()].map((channel) => decoded.getChannelData(channel));
  for (let start = 0; start < decoded.length; start += kDecodedBlockFrames) {
    const frames = Math.min(kDecodedBlockFrames, decoded.length - start);
    const samples = new Float32Array(frames * channels);
    for (let channel = 0; channel < channels; ++channel) {
      const plane = planes[channel];
      for (let frame = 0; frame < frames; ++frame) samples[frame * channels + channel] = plane[start + frame];
    }
    sendFrames(group, entry, samples, frames, (start + frames) / decoded.length);
  }
  endFrames(group, entry);
}
