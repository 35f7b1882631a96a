// Reads tape records for the page, off its main thread, with the reader's
// own code: a WAV file is fed to the recording reader in blocks as it is
// read from disk (memory stays flat however long the file); live capture and
// the recordings the browser decoded (FLAC, Ogg, MP3 and the like) are fed to
// the tape decoder as float frames at their own sample rate. Records go to the
// page as soon as they are complete, with their report line and status in
// both languages, their image bytes and where each data byte lies; when the
// input ends, the damage map of the whole recording follows in both
// languages. Recordings sent together (a group) are combined and repaired
// once the last of them is read, as lentok-read does with the recordings of
// one command line; what that changed goes to the page in one message.
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
    const secondsPointer = reader._web_record_byte_seconds(session, index);
    const secondsCount = reader._web_record_byte_seconds_count(session);
    records.push({
      byteSeconds: reader.HEAPF64.slice(secondsPointer >> 3, (secondsPointer >> 3) + secondsCount),
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
  self.postMessage({ type: 'records', id, records },
    records.flatMap((record) => [record.image, record.byteSeconds.buffer]));
}

function postMap(reader, session, id) {
  const svg = {
    ru: reader.UTF8ToString(reader._web_map_svg(session, kRussian)),
    en: reader.UTF8ToString(reader._web_map_svg(session, kEnglish)),
  };
  self.postMessage({ type: 'map', id, svg });
}

// The recording's name, for records without a header to be named after.
function setRecordingName(reader, session, name) {
  const size = reader.lengthBytesUTF8(name) + 1;
  reader.stringToUTF8(name, reader._web_input_text(session, size), size);
}

// Groups being read: page's group id -> { pointer, ids, drawn }.
const groups = new Map();

function joinGroup(reader, group, session, id, drawn) {
  if (!groups.has(group)) groups.set(group, { pointer: reader._web_open_group(), ids: [], drawn: [] });
  const joined = groups.get(group);
  reader._web_group_add(joined.pointer, session);
  joined.ids.push(id);
  joined.drawn.push(drawn);
}

// Combines and repairs the group's records and tells the page what became
// of them: combined images, records that went into one or were repaired on
// their own, and each recording's map redrawn.
function recoverGroup(reader, group) {
  const { pointer, ids, drawn } = groups.get(group);
  groups.delete(group);
  const texts = (call) => ({
    ru: reader.UTF8ToString(call(kRussian)),
    en: reader.UTF8ToString(call(kEnglish)),
  });
  const image = (at) => reader.HEAPU8.slice(at, at + reader._web_group_image_size(pointer)).buffer;
  const combined = [];
  const combinations = reader._web_group_recover(pointer);
  for (let index = 0; index < combinations; ++index) {
    combined.push({
      id: ids[reader._web_group_combination_member(pointer, index)],
      status: reader._web_group_combination_status(pointer, index),
      statusText: texts((russian) => reader._web_group_combination_status_text(pointer, index, russian)),
      line: texts((russian) => reader._web_group_combination_line(pointer, index, russian)),
      imageName: reader.UTF8ToString(reader._web_group_combination_image_name(pointer, index)),
      image: image(reader._web_group_combination_image(pointer, index)),
    });
  }
  const changed = [];
  const count = reader._web_group_record_count(pointer);
  for (let index = 0; index < count; ++index) {
    const into = reader._web_group_record_combined_into(pointer, index);
    const repaired = reader._web_group_record_changed(pointer, index) !== 0;
    if (into < 0 && !repaired) continue;
    const record = {
      id: ids[reader._web_group_record_member(pointer, index)],
      index: reader._web_group_record_index(pointer, index),
      into,
    };
    if (repaired) {
      Object.assign(record, {
        status: reader._web_group_record_status(pointer, index),
        statusText: texts((russian) => reader._web_group_record_status_text(pointer, index, russian)),
        line: texts((russian) => reader._web_group_record_line(pointer, index, russian)),
        image: image(reader._web_group_record_image(pointer, index)),
      });
    }
    changed.push(record);
  }
  const maps = [];
  ids.forEach((id, member) => {
    if (drawn[member]) maps.push({ id, svg: texts((russian) => reader._web_group_map_svg(pointer, member, russian)) });
  });
  reader._web_close_group(pointer);
  const transfer = [...combined.map((c) => c.image), ...changed.filter((c) => c.image).map((c) => c.image)];
  self.postMessage({ type: 'recovered', combined, changed, maps }, transfer);
}

async function readFile({ id, file, name, group, last }) {
  const reader = await readerReady;
  const session = reader._web_open_file_reader();
  setRecordingName(reader, session, name);
  let readError = 0;
  let found = 0;
  try {
    for (let offset = 0; offset < file.size && readError === 0; offset += kBlockBytes) {
      const block = new Uint8Array(await file.slice(offset, offset + kBlockBytes).arrayBuffer());
      reader.HEAPU8.set(block, reader._web_input_bytes(session, block.length));
      readError = reader._web_feed_bytes(session, block.length);
      const records = takeRecords(reader, session);
      found += records.length;
      postRecords(id, records);
      self.postMessage({ type: 'progress', id, fraction: (offset + block.length) / file.size });
    }
    if (readError === 0) readError = reader._web_finish(session);
    const records = takeRecords(reader, session);
    found += records.length;
    postRecords(id, records);
    // A file that could not be read at all has nothing to draw.
    const drawn = readError === 0 || found > 0;
    if (drawn) postMap(reader, session, id);
    joinGroup(reader, group, session, id, drawn);
    // Any error here is the WAV reader's: the page reads every channel.
    const failure = readError === 0 ? null : {
      ru: reader.UTF8ToString(reader._web_wav_error_text(session, kRussian)),
      en: reader.UTF8ToString(reader._web_wav_error_text(session, kEnglish)),
    };
    self.postMessage({ type: 'done', id, failure });
  } finally {
    reader._web_close(session);
    if (last && groups.has(group)) recoverGroup(reader, group);
  }
}

// Sample sessions, by id: live capture, and the recordings the page has
// had the browser decode, fed as float frames at their own rate.
const sampleSessions = new Map();   // id -> { session, live, group }

async function startSamples({ id, sampleRate, channels, name, live, group }) {
  const reader = await readerReady;
  const session = reader._web_open_sample_decoder(sampleRate, channels);
  if (!session) throw new Error(`${channels} channels`);
  sampleSessions.set(id, { session, live: Boolean(live), group: live ? 'live' : group });
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
    postMap(reader, entry.session, id);
    // The copies in one capture, or in one decoded recording, are combined
    // as copies on one recording are.
    joinGroup(reader, entry.group, entry.session, id, true);
    self.postMessage({ type: 'done', id, failure: null });
  } finally {
    reader._web_close(entry.session);
  }
  recoverGroup(reader, entry.group);
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
