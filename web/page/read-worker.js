// Reads tape records for the page, off its main thread, with the reader's
// own code: a WAV file is fed to the recording reader in blocks as it is
// read from disk (memory stays flat however long the file); live capture and
// the recordings the browser decoded (FLAC, Ogg, MP3 and the like) are fed to
// the tape decoder as float frames at their own sample rate. Records go to the
// page as soon as they are complete, with their report line and status in
// both languages and their image bytes.
'use strict';

importScripts('lentok-reader.js');

const kBlockBytes = 1 << 20;
const kRussian = 1;
const kEnglish = 0;

const readerReady = createLentokReader();

// What the page needs of each record taken from the session.
function takeRecords(reader, session) {
  const count = reader._web_take_records(session);
  const records = [];
  for (let index = 0; index < count; ++index) {
    const texts = (call) => ({
      ru: reader.UTF8ToString(call(kRussian)),
      en: reader.UTF8ToString(call(kEnglish)),
    });
    const imagePointer = reader._web_record_image(session, index);
    const imageSize = reader._web_record_image_size(session);
    records.push({
      status: reader._web_record_status(session, index),
      statusText: texts((russian) => reader._web_record_status_text(session, index, russian)),
      line: texts((russian) => reader._web_record_line(session, index, russian)),
      machineLoads: reader._web_record_machine_loads(session, index) === 1,
      machineVerdict: texts((russian) => reader._web_record_machine_verdict(session, index, russian)),
      imageName: reader.UTF8ToString(reader._web_record_image_name(session, index)),
      image: reader.HEAPU8.slice(imagePointer, imagePointer + imageSize).buffer,
    });
  }
  return records;
}

function postRecords(id, records) {
  if (records.length === 0) return;
  self.postMessage({ type: 'records', id, records }, records.map((record) => record.image));
}

// The recording's name, for records without a header to be named after.
function setRecordingName(reader, session, name) {
  const size = reader.lengthBytesUTF8(name) + 1;
  reader.stringToUTF8(name, reader._web_input_text(session, size), size);
}

async function readFile({ id, file, name }) {
  const reader = await readerReady;
  const session = reader._web_open_file_reader();
  setRecordingName(reader, session, name);
  let readError = 0;
  try {
    for (let offset = 0; offset < file.size && readError === 0; offset += kBlockBytes) {
      const block = new Uint8Array(await file.slice(offset, offset + kBlockBytes).arrayBuffer());
      reader.HEAPU8.set(block, reader._web_input_bytes(session, block.length));
      readError = reader._web_feed_bytes(session, block.length);
      postRecords(id, takeRecords(reader, session));
      self.postMessage({ type: 'progress', id, fraction: (offset + block.length) / file.size });
    }
    if (readError === 0) readError = reader._web_finish(session);
    postRecords(id, takeRecords(reader, session));
    // Any error here is the WAV reader's: the page reads every channel.
    const failure = readError === 0 ? null : {
      ru: reader.UTF8ToString(reader._web_wav_error_text(session, kRussian)),
      en: reader.UTF8ToString(reader._web_wav_error_text(session, kEnglish)),
    };
    self.postMessage({ type: 'done', id, failure });
  } finally {
    reader._web_close(session);
  }
}

// Sample sessions, by id: live capture, and the recordings the page has
// had the browser decode, fed as float frames at their own rate.
const sampleSessions = new Map();   // id -> { session, live }

async function startSamples({ id, sampleRate, channels, name, live }) {
  const reader = await readerReady;
  const session = reader._web_open_sample_decoder(sampleRate, channels);
  if (!session) throw new Error(`${channels} channels`);
  sampleSessions.set(id, { session, live: Boolean(live) });
  setRecordingName(reader, session, name);
}

// `samples` holds whole frames, `channels` floats each, interleaved.
async function feedSamples({ id, samples, frames, fraction }) {
  const reader = await readerReady;
  const entry = sampleSessions.get(id);
  if (!entry) return;
  const room = reader._web_input_samples(entry.session, frames);
  reader.HEAPF32.set(samples, room >> 2);
  reader._web_feed_samples(entry.session, frames);
  postRecords(id, takeRecords(reader, entry.session));
  if (entry.live) {
    self.postMessage({ type: 'level', id, peak: reader._web_recent_peak(entry.session) });
  } else {
    self.postMessage({ type: 'progress', id, fraction });
  }
}

async function finishSamples({ id }) {
  const reader = await readerReady;
  const entry = sampleSessions.get(id);
  if (!entry) return;
  sampleSessions.delete(id);
  try {
    reader._web_finish(entry.session);
    postRecords(id, takeRecords(reader, entry.session));
    self.postMessage({ type: 'done', id, failure: null });
  } finally {
    reader._web_close(entry.session);
  }
  // Live capture has a worker of its own, which ends with it.
  if (entry.live) self.close();
}

const handlers = {
  file: readFile, 'samples-start': startSamples, samples: feedSamples, 'samples-end': finishSamples,
};

// Messages are handled one after another, in the order they came, so that
// samples are fed in order and after the session exists.
let queue = Promise.resolve();

self.onmessage = (event) => {
  const message = event.data;
  queue = queue.then(() => handlers[message.type](message)).catch((error) => {
    const text = `${error && error.message ? error.message : error}`;
    self.postMessage({ type: 'done', id: message.id, failure: { ru: text, en: text } });
  });
};
