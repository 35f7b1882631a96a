// Reads tape recordings for the page, off its main thread, through the
// reading module's C interface (web/reader_api.cpp): one reading context
// per group of recordings. A WAV file is fed as its bytes, in blocks the
// page reads from the disk while this decodes the ones before (memory
// stays flat however long the file); live capture and the recordings the
// browser decoded as float frames at their own rate. Whenever entries of the report become final, the report goes
// to the page in both languages with the images it names that the page has
// not had yet; when the group is finished, each recording's map follows.
// The page's questions (what a file is, the name lentok puts on tape for
// an image, what lies under the map's pointer) are answered at once,
// between the blocks of a long read.
'use strict';

importScripts('lentok-reader.js');

const kRussian = 1;
const kEnglish = 0;

const moduleReady = createLentokReader();
let reader = null;

// Groups by the page's id: { read, entries, sent: image names sent }.
const groups = new Map();

// `text` as a C string for the length of `use`.
function withCString(text, use) {
  const size = reader.lengthBytesUTF8(text) + 1;
  const at = reader._malloc(size);
  reader.stringToUTF8(text, at, size);
  try {
    return use(at);
  } finally {
    reader._free(at);
  }
}

function both(call) {
  return {
    en: JSON.parse(reader.UTF8ToString(call(kEnglish))),
    ru: JSON.parse(reader.UTF8ToString(call(kRussian))),
  };
}

function text(pointer) {
  return reader.UTF8ToString(pointer);
}

// The report, when entries became final since it was last sent (or
// `always`), with the bytes of the images it names for the first time.
function sendReport(id, group, always) {
  const entries = reader._web_entries(group.read);
  if (!always && entries === group.entries) return;
  group.entries = entries;
  const report = both((russian) => reader._web_report_json(group.read, russian));
  const named = [...report.en.recordings.flatMap((recording) => recording.records), ...(report.en.combined || [])]
    .map((entry) => entry.image).filter((name) => name && !group.sent.has(name));
  const images = named.map((name) => {
    group.sent.add(name);
    const at = withCString(name, (cName) => reader._web_image(group.read, cName));
    return { name, bytes: reader.HEAPU8.slice(at, at + reader._web_image_size(group.read)).buffer };
  });
  self.postMessage({ type: 'report', group: id, report, images }, images.map((image) => image.bytes));
}

function endRecording(id, group, recording, failed) {
  const failure = JSON.parse(text(reader._web_end_recording(group.read, failed ? 1 : 0)));
  sendReport(id, group, true);
  self.postMessage({ type: 'ended', group: id, recording, failure });
}

const handlers = {
  open({ group }) {
    groups.set(group, { read: reader._web_open(0), entries: -1, sent: new Set(), refused: false });
  },

  // A WAV file, its bytes in blocks as the page reads them from the disk.
  // Each block is answered, so that the page reads ahead of the decoding
  // by a few blocks only; after the WAV reader refused the file, the page
  // is told to stop.
  'bytes-begin'({ group: id, name }) {
    const group = groups.get(id);
    withCString(name, (cName) => reader._web_begin_recording(group.read, cName));
    group.refused = false;
  },

  bytes({ group: id, recording, bytes, fraction }) {
    const group = groups.get(id);
    if (!group.refused) {
      const block = new Uint8Array(bytes);
      reader.HEAPU8.set(block, reader._web_input_bytes(group.read, block.length));
      group.refused = reader._web_feed_bytes(group.read, block.length) !== 0;
      sendReport(id, group, false);
    }
    self.postMessage({ type: 'fed', group: id, recording, fraction, stop: group.refused });
  },

  'bytes-end'({ group: id, recording, failed }) {
    endRecording(id, groups.get(id), recording, failed);
  },

  'frames-begin'({ group: id, recording, name, sampleRate, channels }) {
    const group = groups.get(id);
    withCString(name, (cName) => reader._web_begin_recording(group.read, cName));
    group.refused = reader._web_begin_frames(group.read, sampleRate, channels) === 0;
    if (group.refused) endRecording(id, group, recording, false);
  },

  // `samples` holds whole frames, interleaved.
  frames({ group: id, recording, samples, frames, fraction }) {
    const group = groups.get(id);
    if (group.refused) return;
    reader.HEAPF32.set(samples, reader._web_input_frames(group.read, frames) >> 2);
    reader._web_feed_frames(group.read, frames);
    sendReport(id, group, false);
    if (fraction === undefined) {
      self.postMessage({ type: 'level', group: id, peak: reader._web_recent_peak(group.read) });
    } else {
      self.postMessage({ type: 'progress', group: id, recording, fraction });
    }
  },

  'frames-end'({ group: id, recording }) {
    const group = groups.get(id);
    if (!group.refused) endRecording(id, group, recording, false);
  },

  // Copies are combined and records repaired; the final report and every
  // recording's map go to the page, in the language it shows first, the
  // other after. The read stays open for the pointer.
  finish({ group: id, recordings, language }) {
    const group = groups.get(id);
    reader._web_finish(group.read);
    sendReport(id, group, true);
    const maps = (russian) => [...Array(recordings).keys()]
      .map((recording) => text(reader._web_map_svg(group.read, recording, russian)) || null);
    const first = language === 'ru' ? 'ru' : 'en';
    const second = first === 'ru' ? 'en' : 'ru';
    self.postMessage({ type: 'finished', group: id, language: first, maps: maps(first === 'ru' ? kRussian : kEnglish) });
    self.postMessage({ type: 'maps', group: id, language: second, maps: maps(second === 'ru' ? kRussian : kEnglish) });
  },
};

// Questions answered out of turn: they touch no recording being read.
const questions = {
  // What the file is, from its head (and past an ID3v2 tag, the bytes
  // after it): see web_probe.
  async probe({ file }) {
    const headBytes = reader._web_head_bytes();
    for (let from = 0; ;) {
      const head = new Uint8Array(await file.slice(from, from + headBytes).arrayBuffer());
      const at = reader._malloc(Math.max(1, head.length));
      reader.HEAPU8.set(head, at);
      const answer = withCString(file.name, (cName) => {
        const json = reader._web_probe(at, head.length, from, cName);
        try {
          return JSON.parse(text(json));
        } finally {
          reader._free(json);
        }
      });
      reader._free(at);
      if (answer.readFrom === undefined) return answer;
      from = answer.readFrom;
    }
  },

  'tape-name'({ name }) {
    const copy = withCString(name, (cName) => reader._web_tape_name(cName));
    try {
      return text(copy);
    } finally {
      reader._free(copy);
    }
  },

  point({ group: id, recording, seconds }) {
    const group = groups.get(id);
    const point = both((russian) => reader._web_point_json(group.read, recording, seconds, russian));
    return { en: point.en.line, ru: point.ru.line };
  },
};

// Messages for the reads are handled one after another, in the order they
// came, so that a recording's input is fed in order and after it began.
let queue = moduleReady.then((module) => { reader = module; });

self.onmessage = (event) => {
  const message = event.data;
  if (questions[message.type]) {
    moduleReady.then(() => questions[message.type](message))
      .then((answer) => self.postMessage({ type: 'answer', request: message.request, answer }));
    return;
  }
  queue = queue.then(() => handlers[message.type](message)).catch((error) => {
    const words = `${error && error.message ? error.message : error}`;
    self.postMessage({
      type: 'ended', group: message.group, recording: message.recording, failure: { ru: words, en: words },
    });
  });
};
