// The page's main thread: takes files from the chooser and from drops, tells
// images from recordings by their first bytes, hands the work to the workers
// (convert-worker.js runs lentok, read-worker.js runs the reader), captures
// the microphone or line-in, and shows what comes back. Nothing heavy runs
// here, so the page stays responsive.
'use strict';

// ---------------------------------------------------------------- language

const page = {
  language: 'en',
  imageEntries: [],      // one per tape image: see addImage
  usedImageNames: new Set(),
  maps: [],              // one per recording read: see addMap
};

function preferredLanguage() {
  const wanted = (navigator.languages && navigator.languages[0]) || navigator.language || 'en';
  return wanted.toLowerCase().startsWith('ru') ? 'ru' : 'en';
}

function text(key) {
  return PAGE_TEXTS[page.language][key];
}

function applyLanguage(language) {
  page.language = language;
  document.documentElement.lang = language;
  for (const element of document.querySelectorAll('[data-text]')) {
    element.textContent = text(element.dataset.text);
  }
  for (const button of document.querySelectorAll('[data-lang]')) {
    button.setAttribute('aria-pressed', String(button.dataset.lang === language));
  }
  // Entries keep their texts in both languages.
  for (const element of document.querySelectorAll('[data-ru]')) {
    element.textContent = element.dataset[language];
  }
  for (const map of page.maps) showMap(map);
}

// Sets a text that follows the page's language.
function setBilingual(element, texts) {
  element.dataset.ru = texts.ru;
  element.dataset.en = texts.en;
  element.textContent = texts[page.language];
}

function bothLanguages(key) {
  return { ru: PAGE_TEXTS.ru[key], en: PAGE_TEXTS.en[key] };
}

// ------------------------------------------------------------------ helpers

function make(tag, className, content) {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (content !== undefined) element.textContent = content;
  return element;
}

function updateEmptyNotes() {
  document.getElementById('no-images').hidden =
    document.getElementById('images').children.length > 0;
  document.getElementById('no-recordings').hidden =
    document.getElementById('recordings').children.length > 0;
}

function withExtension(name, extension) {
  const dot = name.lastIndexOf('.');
  const stem = dot > 0 ? name.slice(0, dot) : name;
  return stem + extension;
}

// Repeated image names get -2, -3 and so on before their extension, so
// that downloads into one folder do not replace each other.
function uniqueImageName(name) {
  const dot = name.lastIndexOf('.');
  const stem = dot > 0 ? name.slice(0, dot) : name;
  const extension = dot > 0 ? name.slice(dot) : '';
  let candidate = name;
  for (let number = 2; page.usedImageNames.has(candidate.toLowerCase()); ++number) {
    candidate = `${stem}-${number}${extension}`;
  }
  page.usedImageNames.add(candidate.toLowerCase());
  return candidate;
}

function downloadLink(bytes, name, type, label) {
  const link = make('a', 'download');
  link.href = URL.createObjectURL(new Blob([bytes], { type }));
  link.download = name;
  setBilingual(link, prefixed(label, name));
  return link;
}

// ---------------------------------------------------------- telling apart

// Names of recordings in formats the page knows, for a file whose content
// is not recognised: it is told so rather than taken for a tape image.
const RECORDING_NAME = /\.(wav|w64|flac|oga|ogg|opus|mp3|aif|aiff|aifc)$/i;

// lentok refuses any image larger than this by its size alone; one byte
// more than the largest is enough for it to say so, and a huge file chosen
// by mistake is not loaded whole.
const kLargestImage = 65552;

// Recordings are told by their content (audio-formats.js); a file named
// .wav that is not one still goes to the WAV reader, which says what is
// wrong. The WAV recordings taken in at once form a group: copies of a
// program on any of them are combined once the last is read, as on one
// command line. A recording the browser decodes is a group of its own.
async function takeFiles(files) {
  const recordings = [];
  for (const file of files) {
    const format = await recordingFormat(file);
    if (format && format.kind === 'decode') {
      readDecodedFile(file, format, reading.nextGroup++);
    } else if (format || /\.wav$/i.test(file.name)) {
      recordings.push(file);
    } else if (RECORDING_NAME.test(file.name)) {
      failRecording(addRecordingEntry(file.name), bothLanguages('unknownFormat'));
    } else {
      addImage(file.name, await file.slice(0, kLargestImage + 1).arrayBuffer());
    }
  }
  const group = reading.nextGroup++;
  recordings.forEach((file, index) => readRecordingFile(file, group, index === recordings.length - 1));
}

// ------------------------------------------------------------- conversion

const converter = {
  worker: null,
  nextJob: 1,
  waiting: new Map(),   // job id -> entry
};

function converterWorker() {
  if (!converter.worker) {
    converter.worker = new Worker('convert-worker.js');
    converter.worker.onmessage = (event) => conversionDone(event.data);
    converter.worker.onerror = (event) => {
      event.preventDefault();
      for (const entry of converter.waiting.values()) {
        entry.state = { failure: prefixed('loadError', event.message || 'worker') };
        showImageState(entry);
      }
      converter.waiting.clear();
    };
  }
  return converter.worker;
}

function chosenOptions() {
  return [...document.querySelectorAll('input[data-option]')]
    .filter((box) => box.checked)
    .map((box) => box.dataset.option);
}

function addImage(name, bytes) {
  const element = make('li', 'entry image');
  element.dataset.kind = 'image';
  element.append(make('h3', 'file-name', name));
  const entry = { name, bytes, element, job: 0, state: null, url: null };
  page.imageEntries.push(entry);
  document.getElementById('images').append(element);
  updateEmptyNotes();
  convertImage(entry);
}

// A name that cannot stand as a file in a folder cannot be given to lentok.
function placeableName(name) {
  return name !== '' && name !== '.' && name !== '..' && !name.includes('/');
}

function convertImage(entry) {
  if (!placeableName(entry.name)) {
    entry.state = { failure: bothLanguages('cannotPlace') };
    showImageState(entry);
    return;
  }
  const job = converter.nextJob++;
  entry.job = job;
  entry.state = { busy: true, options: chosenOptions() };
  showImageState(entry);
  converter.waiting.set(job, entry);
  // A copy goes, so that the image can be converted again with other options.
  converterWorker().postMessage({
    job, name: entry.name, bytes: entry.bytes.slice(0), options: entry.state.options,
  });
}

function conversionDone(result) {
  const entry = converter.waiting.get(result.job);
  converter.waiting.delete(result.job);
  // A later conversion of the same image replaces this one.
  if (!entry || entry.job !== result.job) return;
  // The recording of the previous conversion is no longer shown.
  if (entry.url) URL.revokeObjectURL(entry.url);
  entry.url = result.wav ? URL.createObjectURL(new Blob([result.wav], { type: 'audio/wav' })) : null;
  entry.state = { ...result, url: entry.url };
  showImageState(entry);
}

// lentok's report starts and ends with line breaks; the page shows the lines.
function trimBlankLines(output) {
  return output.replace(/^\s*\n/, '').replace(/\s+$/, '');
}

// What lentok puts on tape as the name: the file name with a to z
// upper-cased; none with -x.
function tapeName(entry) {
  if (entry.state.options.includes('-x')) return bothLanguages('noHeader');
  const name = entry.name.replace(/[a-z]/g, (letter) => letter.toUpperCase());
  return { ru: name, en: name };
}

function bilingualElement(tag, className, texts) {
  const element = make(tag, className);
  setBilingual(element, texts);
  return element;
}

function prefixed(key, tail) {
  return { ru: PAGE_TEXTS.ru[key] + tail, en: PAGE_TEXTS.en[key] + tail };
}

// Draws the entry for its state anew. Its texts follow the language by
// themselves, so a change of language does not redraw (and stop) the player.
function showImageState(entry) {
  const { element, state } = entry;
  const old = element.querySelector('.body');
  if (old) old.remove();
  // Hooks for scripts and tests: where the entry stands, with which options.
  element.dataset.state = state.busy ? 'busy' : (state.failure || state.status !== 0 ? 'failed' : 'done');
  element.dataset.options = (state.options || []).join(' ');
  const body = make('div', 'body');
  element.append(body);
  if (state.busy) {
    body.append(bilingualElement('p', 'progress-note', bothLanguages('converting')),
      make('progress', 'busy'));
  } else if (state.failure) {
    body.append(bilingualElement('p', 'failure', state.failure));
  } else if (state.status !== 0) {
    const message = trimBlankLines(state.stderr);
    body.append(message ? make('pre', 'failure', message) : bilingualElement('pre', 'failure', {
      ru: PAGE_TEXTS.ru.failed.replace('{status}', state.status),
      en: PAGE_TEXTS.en.failed.replace('{status}', state.status),
    }));
  } else {
    showConversion(entry, body);
  }
}

function showConversion(entry, body) {
  const { state } = entry;
  body.append(make('pre', 'report', trimBlankLines(state.stdout)));
  if (state.stderr.trim()) body.append(make('pre', 'failure', trimBlankLines(state.stderr)));
  const nameLine = make('p', 'tape-name');
  nameLine.append(bilingualElement('span', '', bothLanguages('tapeName')),
    bilingualElement('code', '', tapeName(entry)));
  body.append(nameLine);
  const audio = make('audio');
  audio.controls = true;
  audio.preload = 'auto';
  audio.src = state.url;
  body.append(audio);
  const wavName = withExtension(entry.name, '.wav');
  const link = bilingualElement('a', 'download', prefixed('downloadWav', wavName));
  link.href = state.url;
  link.download = wavName;
  body.append(link);
}

function convertAllAgain() {
  for (const entry of page.imageEntries) convertImage(entry);
}

// ---------------------------------------------------------------- reading

const reading = {
  worker: null,
  next: 1,
  sessions: new Map(),   // session id -> { list, progress, note, name, found }
  finished: new Map(),   // the same once read, for what recovery changes
  nextGroup: 1,
};

function readerWorker() {
  if (!reading.worker) {
    reading.worker = new Worker('read-worker.js');
    reading.worker.onmessage = (event) => readerMessage(event.data);
    reading.worker.onerror = (event) => {
      event.preventDefault();
      for (const session of reading.sessions.values()) {
        setBilingual(session.note, prefixed('loadError', event.message || 'worker'));
      }
    };
  }
  return reading.worker;
}

function addRecordingEntry(name) {
  const element = make('li', 'entry recording');
  element.dataset.kind = 'recording';
  element.dataset.state = 'reading';
  const title = make('h3', 'file-name');
  if (typeof name === 'string') title.textContent = name; else setBilingual(title, name);
  const note = make('p', 'note');
  const progress = make('progress');
  progress.value = 0;
  progress.max = 1;
  const list = make('ol', 'records');
  element.append(title, progress, note, list);
  document.getElementById('recordings').append(element);
  updateEmptyNotes();
  const id = reading.next++;
  const session = { id, element, list, progress, note, found: 0, records: [], items: [], map: null };
  reading.sessions.set(id, session);
  return session;
}

function readRecordingFile(file, group, last) {
  const session = addRecordingEntry(file.name);
  setBilingual(session.note, bothLanguages('reading'));
  readerWorker().postMessage({ type: 'file', id: session.id, file, name: file.name, group, last });
}

// Frames go to the reader in blocks of this many.
const kDecodedBlockFrames = 1 << 16;
// The most channels the reader takes.
const kMostChannels = 8;

// A recording the browser decodes: at the rate its header gives, then fed
// to the reader as float frames, the channels interleaved as in a file.
async function readDecodedFile(file, format, group) {
  const session = addRecordingEntry(file.name);
  setBilingual(session.note, bothLanguages('decoding'));
  const cannotDecode = (key) => failRecording(session, {
    ru: PAGE_TEXTS.ru[key].replace('{format}', format.format),
    en: PAGE_TEXTS.en[key].replace('{format}', format.format),
  });
  if (!format.sampleRate) {
    cannotDecode('noSampleRate');
    return;
  }
  let decoded;
  try {
    decoded = await decodeRecording(file, format.sampleRate);
  } catch (error) {
    cannotDecode('cannotDecode');
    return;
  }
  if (decoded.numberOfChannels > kMostChannels) {
    cannotDecode('tooManyChannels');
    return;
  }
  setBilingual(session.note, bothLanguages('reading'));
  // For scripts and tests: the rate the samples reach the reader at.
  session.element.dataset.sampleRate = String(decoded.sampleRate);
  const worker = readerWorker();
  const channels = decoded.numberOfChannels;
  worker.postMessage({
    type: 'samples-start', id: session.id, sampleRate: decoded.sampleRate, channels, name: file.name,
    group,
  });
  const planes = [...Array(channels).keys()].map((channel) => decoded.getChannelData(channel));
  for (let start = 0; start < decoded.length; start += kDecodedBlockFrames) {
    const frames = Math.min(kDecodedBlockFrames, decoded.length - start);
    const samples = new Float32Array(frames * channels);
    for (let channel = 0; channel < channels; ++channel) {
      const plane = planes[channel];
      for (let frame = 0; frame < frames; ++frame) samples[frame * channels + channel] = plane[start + frame];
    }
    worker.postMessage({
      type: 'samples', id: session.id, samples, frames, fraction: (start + frames) / decoded.length,
    }, [samples.buffer]);
  }
  worker.postMessage({ type: 'samples-end', id: session.id });
}

function failRecording(session, failure) {
  finishReading(session, { failure });
}

function readerMessage(message) {
  if (message.type === 'recovered') {
    applyRecovery(message);
    return;
  }
  const session = reading.sessions.get(message.id);
  if (!session) return;
  if (message.type === 'records') {
    for (const record of message.records) addRecord(session, record);
  } else if (message.type === 'progress') {
    session.progress.value = message.fraction;
  } else if (message.type === 'level') {
    showLevel(message.peak);
  } else if (message.type === 'map') {
    addMap(session, message.svg);
  } else if (message.type === 'done') {
    finishReading(session, message);
  }
}

function addRecord(session, record) {
  session.found += 1;
  session.records.push(record);
  session.items.push(recordItem(session, record));
}

// A record's entry, appended to the session's list: its status, the
// machine's verdict, its line and its image.
function recordItem(session, record) {
  const item = make('li', 'record');
  item.dataset.status = String(record.status);
  const status = make('span', 'status');
  setBilingual(status, record.statusText);
  item.append(status, ' ');
  // Whether the machine itself would load it, as played: the reasons are at
  // the end of the line. An image combined from copies was never played as
  // such, so it has no verdict.
  if (record.machineVerdict) {
    const machine = make('span', 'machine');
    machine.dataset.loads = String(record.machineLoads);
    setBilingual(machine, record.machineVerdict);
    item.append(machine, ' ');
  }
  const line = make('code', 'line');
  setBilingual(line, record.line);
  item.append(line, ' ');
  const name = uniqueImageName(record.imageName);
  item.append(downloadLink(record.image, name, 'application/octet-stream', 'downloadImage'));
  session.list.append(item);
  return item;
}

// What combining and repair made of a group's records: each combined image
// is offered under its first copy's recording, each copy says where it
// went, a record repaired on its own takes its new status, line and image,
// and the maps show each record by what became of it.
function applyRecovery(message) {
  const find = (id) => reading.finished.get(id) || reading.sessions.get(id);
  const names = message.combined.map((combination) => {
    const session = find(combination.id);
    if (!session) return '';
    const item = recordItem(session, combination);
    item.classList.add('combined');
    return item.querySelector('a[download]').download;
  });
  for (const change of message.changed) {
    const session = find(change.id);
    const item = session && session.items[change.index];
    if (!item) continue;
    if (change.into >= 0) {
      const note = make('span', 'went-into');
      const words = (language) => PAGE_TEXTS[language].wentInto.replace('{name}', names[change.into]);
      setBilingual(note, { ru: words('ru'), en: words('en') });
      item.append(' ', note);
    }
    if (change.status !== undefined) {
      item.dataset.status = String(change.status);
      setBilingual(item.querySelector('.status'), change.statusText);
      setBilingual(item.querySelector('.line'), change.line);
      const link = item.querySelector('a[download]');
      URL.revokeObjectURL(link.href);
      link.href = URL.createObjectURL(new Blob([change.image], { type: 'application/octet-stream' }));
    }
  }
  for (const { id, svg } of message.maps) {
    const session = find(id);
    if (!session || !session.map) continue;
    session.map.svg = svg;
    showMap(session.map);
  }
}

function finishReading(session, message) {
  session.progress.remove();
  session.element.dataset.state = message.failure ? 'failed' : 'done';
  if (message.failure) {
    setBilingual(session.note, message.failure);
    session.note.classList.add('failure');
  } else if (session.found === 0) {
    setBilingual(session.note, bothLanguages('noRecords'));
  } else {
    session.note.remove();
  }
  reading.sessions.delete(session.id);
  reading.finished.set(session.id, session);
}

// ------------------------------------------------------------ damage map

// The picture comes from the reader's own code, the same as lentok-read
// --map draws; here it is put into the entry, and pointing at it (a mouse
// or a finger) tells the time, the address and the byte there.
function addMap(session, svg) {
  const container = make('figure', 'map');
  const readout = make('figcaption', 'map-readout');
  readout.setAttribute('aria-live', 'polite');
  container.append(readout);
  session.element.insertBefore(container, session.list);
  const map = { container, readout, svg, records: session.records, picture: null, pointed: null };
  session.map = map;
  page.maps.push(map);
  showMap(map);
  // The last reading stays when the pointer leaves, so that it can be
  // copied or read at leisure.
  for (const type of ['pointermove', 'pointerdown']) {
    container.addEventListener(type, (event) => pointAt(map, event));
  }
}

// Parsed as XML rather than set as HTML, so that nothing in it can run.
function showMap(map) {
  const parsed = new DOMParser().parseFromString(map.svg[page.language], 'image/svg+xml');
  const root = parsed.documentElement;
  if (root.nodeName !== 'svg') return;
  const picture = document.importNode(root, true);
  picture.setAttribute('role', 'img');
  picture.removeAttribute('width');
  picture.removeAttribute('height');
  if (map.picture) map.picture.replaceWith(picture); else map.container.prepend(picture);
  map.picture = picture;
  if (map.pointed !== null) showPoint(map, map.pointed); else clearPoint(map);
}

function formatTime(seconds) {
  const millis = Math.round(seconds * 1000);
  const minutes = Math.floor(millis / 60000);
  const rest = millis - minutes * 60000;
  const whole = String(Math.floor(rest / 1000)).padStart(2, '0');
  return `${minutes}:${whole}.${String(rest % 1000).padStart(3, '0')}`;
}

function hex(value, digits) {
  return value.toString(16).toUpperCase().padStart(digits, '0');
}

function pointAt(map, event) {
  const panel = map.picture && map.picture.querySelector('g.panel');
  if (!panel) return;
  const point = new DOMPoint(event.clientX, event.clientY).matrixTransform(map.picture.getScreenCTM().inverse());
  const seconds = (point.x - Number(panel.dataset.left)) * Number(panel.dataset.secondsPerUnit);
  if (seconds < 0 || seconds > Number(panel.dataset.seconds)) {
    clearPoint(map);
    return;
  }
  showPoint(map, seconds);
}

// The byte under `seconds`: the last data byte that began before it, in
// the record whose band holds it.
function byteAt(map, seconds) {
  for (const band of map.picture.querySelectorAll('g.record')) {
    if (seconds < Number(band.dataset.from) || seconds > Number(band.dataset.to)) continue;
    const record = map.records[Number(band.dataset.record)];
    if (!record || record.byteSeconds.length === 0 || seconds < record.byteSeconds[0]) return null;
    let low = 0;
    let high = record.byteSeconds.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (record.byteSeconds[middle] <= seconds) low = middle; else high = middle - 1;
    }
    const image = new Uint8Array(record.image);
    const start = image[0] | (image[1] << 8);
    return { address: (start + low) & 0xffff, value: image[4 + low] };
  }
  return null;
}

function showPoint(map, seconds) {
  map.pointed = seconds;
  const found = byteAt(map, seconds);
  const time = formatTime(seconds);
  const words = (language) => {
    if (!found) return time;
    return PAGE_TEXTS[language].mapByte.replace('{time}', time)
      .replace('{address}', hex(found.address, 4)).replace('{byte}', hex(found.value, 2));
  };
  setBilingual(map.readout, { ru: words('ru'), en: words('en') });
  const panel = map.picture.querySelector('g.panel');
  let cursor = map.picture.querySelector('line.map-cursor');
  if (!cursor) {
    cursor = document.createElementNS('http://www.w3.org/2000/svg', 'line');
    cursor.setAttribute('class', 'map-cursor');
    cursor.setAttribute('y1', '0');
    cursor.setAttribute('y2', map.picture.viewBox.baseVal.height);
    map.picture.append(cursor);
  }
  const x = Number(panel.dataset.left) + seconds / Number(panel.dataset.secondsPerUnit);
  cursor.setAttribute('x1', x);
  cursor.setAttribute('x2', x);
}

function clearPoint(map) {
  map.pointed = null;
  setBilingual(map.readout, bothLanguages('mapHint'));
  const cursor = map.picture && map.picture.querySelector('line.map-cursor');
  if (cursor) cursor.remove();
}

// ---------------------------------------------------------------- capture

const capture = { stream: null, context: null, node: null, session: null, worker: null };

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

async function startCapture() {
  const status = document.querySelector('.capture-status');
  setCaptureButtons(true);
  if (!navigator.mediaDevices || !window.isSecureContext) {
    setCaptureButtons(false);
    setBilingual(status, {
      ru: PAGE_TEXTS.ru.captureFailed + PAGE_TEXTS.ru.captureInsecure,
      en: PAGE_TEXTS.en.captureFailed + PAGE_TEXTS.en.captureInsecure,
    });
    return;
  }
  try {
    capture.stream = await navigator.mediaDevices.getUserMedia({ audio: RAW_AUDIO });
    capture.context = new AudioContext();
    // Made after waiting for the permission, it may start suspended.
    await capture.context.resume();
    const source = capture.context.createMediaStreamSource(capture.stream);
    capture.session = addRecordingEntry(bothLanguages('captureName'));
    capture.session.progress.removeAttribute('value');
    // Live capture gets a worker of its own, so a long file being read does
    // not hold it up.
    capture.worker = new Worker('read-worker.js');
    capture.worker.onmessage = (event) => readerMessage(event.data);
    capture.worker.postMessage({
      type: 'samples-start', id: capture.session.id, sampleRate: capture.context.sampleRate,
      channels: 1, name: 'capture.wav', live: true,
    });
    capture.node = await captureNode(capture.context, (samples) => {
      // A block still on its way from the audio thread when the capture
      // stops has nowhere to go.
      if (!capture.worker) return;
      capture.worker.postMessage({ type: 'samples', id: capture.session.id, samples, frames: samples.length },
        [samples.buffer]);
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

function stopCapture() {
  if (capture.stream) for (const track of capture.stream.getTracks()) track.stop();
  if (capture.node) capture.node.disconnect();
  if (capture.context) capture.context.close();
  if (capture.worker && capture.session) {
    // The worker ends itself once the last records are out.
    capture.worker.postMessage({ type: 'samples-end', id: capture.session.id });
    setBilingual(document.querySelector('.capture-status'), bothLanguages('captureStopped'));
  }
  Object.assign(capture, { stream: null, context: null, node: null, session: null, worker: null });
  showLevel(0);
  setCaptureButtons(false);
}

// ------------------------------------------------------------------ start

function wirePage() {
  for (const button of document.querySelectorAll('[data-lang]')) {
    button.addEventListener('click', () => applyLanguage(button.dataset.lang));
  }
  const chooser = document.getElementById('files');
  chooser.addEventListener('change', () => {
    const files = [...chooser.files];
    chooser.value = '';
    takeFiles(files);
  });
  for (const box of document.querySelectorAll('input[data-option]')) {
    box.addEventListener('change', convertAllAgain);
  }
  document.querySelector('[data-action="record"]').addEventListener('click', startCapture);
  document.querySelector('[data-action="stop"]').addEventListener('click', stopCapture);

  let dragDepth = 0;
  document.addEventListener('dragenter', (event) => {
    event.preventDefault();
    dragDepth += 1;
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', () => {
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0) document.body.classList.remove('dragging');
  });
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    dragDepth = 0;
    document.body.classList.remove('dragging');
    takeFiles([...event.dataTransfer.files]);
  });
}

wirePage();
applyLanguage(preferredLanguage());
updateEmptyNotes();
