// Tape images into recordings: each conversion is lentok itself, run in
// convert-worker.js with the options ticked, and the entry shows lentok's
// report or message, a player and the recording's download. Images chosen
// together can also become one side, made by the side library in
// side-worker.js: its table of contents, a player started at any program,
// and the downloads of the side (WAV and FLAC) and its labels.
import {
  bilingualElement, bothLanguages, downloadLink, make, prefixed, updateEmptyNotes,
} from './dom.js';
import { tapeNameOf } from './reading.js';
import { PAGE_TEXTS } from './texts.js';

const converter = {
  worker: null,
  nextJob: 1,
  waiting: new Map(),   // job id -> entry
  entries: [],          // one per tape image
};

const sides = {
  worker: null,
  nextJob: 1,
  waiting: new Map(),   // job id -> side entry
  entries: [],          // one per group of images chosen together
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

export function addImages(images) {
  for (const { name, bytes } of images) addImage(name, bytes);
  if (images.length >= 2) addSideOffer(images);
}

function addImage(name, bytes) {
  const element = make('li', 'entry image');
  element.dataset.kind = 'image';
  element.append(make('h3', 'file-name', name));
  const entry = { name, bytes, element, job: 0, state: null, url: null };
  converter.entries.push(entry);
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

async function conversionDone(result) {
  const entry = converter.waiting.get(result.job);
  converter.waiting.delete(result.job);
  // A later conversion of the same image replaces this one.
  if (!entry || entry.job !== result.job) return;
  const tapeName = await tapeNameOf(entry.name);
  if (entry.job !== result.job) return;
  // The recording of the previous conversion is no longer shown.
  if (entry.url) URL.revokeObjectURL(entry.url);
  entry.url = result.wav ? URL.createObjectURL(new Blob([result.wav], { type: 'audio/wav' })) : null;
  entry.state = { ...result, url: entry.url, tapeName };
  showImageState(entry);
}

// lentok's report starts and ends with line breaks; the page shows the lines.
function trimBlankLines(output) {
  return output.replace(/^\s*\n/, '').replace(/\s+$/, '');
}

// What lentok puts on tape as the name: none with -x.
function tapeName(entry) {
  if (entry.state.options.includes('-x')) return bothLanguages('noHeader');
  return { ru: entry.state.tapeName, en: entry.state.tapeName };
}

function withExtension(name, extension) {
  const dot = name.lastIndexOf('.');
  const stem = dot > 0 ? name.slice(0, dot) : name;
  return stem + extension;
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

export function convertAllAgain() {
  for (const entry of converter.entries) convertImage(entry);
  // A side already made follows the options, as each image does.
  for (const entry of sides.entries) if (entry.state) makeSide(entry);
}

// ------------------------------------------------------------------ sides

function sideWorker() {
  if (!sides.worker) {
    sides.worker = new Worker('side-worker.js');
    sides.worker.onmessage = (event) => sideDone(event.data);
    sides.worker.onerror = (event) => {
      event.preventDefault();
      for (const entry of sides.waiting.values()) {
        entry.state = { failure: prefixed('loadError', event.message || 'worker') };
        showSideState(entry);
      }
      sides.waiting.clear();
    };
  }
  return sides.worker;
}

function addSideOffer(images) {
  const element = make('li', 'entry side');
  element.dataset.kind = 'side';
  element.append(bilingualElement('h3', 'side-title', bothLanguages('sideTitle')),
    make('p', 'side-images', images.map((image) => image.name).join(', ')));
  const button = bilingualElement('button', 'make-side', bothLanguages('makeSide'));
  button.dataset.action = 'side';
  element.append(button);
  const entry = { images, element, button, job: 0, state: null, urls: [] };
  button.addEventListener('click', () => makeSide(entry));
  sides.entries.push(entry);
  document.getElementById('images').append(element);
  updateEmptyNotes();
}

function makeSide(entry) {
  const job = sides.nextJob++;
  entry.job = job;
  entry.state = { busy: true, options: chosenOptions() };
  showSideState(entry);
  sides.waiting.set(job, entry);
  sideWorker().postMessage({
    job,
    images: entry.images.map(({ name, bytes }) => ({ name, bytes: bytes.slice(0) })),
    options: entry.state.options,
  });
}

function sideDone(result) {
  const entry = sides.waiting.get(result.job);
  sides.waiting.delete(result.job);
  // A later side of the same images replaces this one.
  if (!entry || entry.job !== result.job) return;
  for (const url of entry.urls) URL.revokeObjectURL(url);
  entry.urls = [];
  entry.state = result;
  showSideState(entry);
}

function showSideState(entry) {
  const { element, state } = entry;
  const old = element.querySelector('.body');
  if (old) old.remove();
  const plan = state.plan;
  element.dataset.state = state.busy ? 'busy'
    : (state.failure || plan.refusal || !state.wav || !state.flac ? 'failed' : 'done');
  element.dataset.options = (state.options || []).join(' ');
  const body = make('div', 'body');
  element.append(body);
  if (state.busy) {
    body.append(bilingualElement('p', 'progress-note', bothLanguages('makingSide')), make('progress', 'busy'));
  } else if (state.failure || plan.refusal) {
    body.append(bilingualElement('pre', 'failure', state.failure || plan.refusal));
  } else if (!state.wav || !state.flac) {
    body.append(bilingualElement('p', 'failure', bothLanguages('sideFailed')));
  } else {
    showSide(entry, body);
  }
}

function showSide(entry, body) {
  const { plan, wav, flac } = entry.state;
  body.append(bilingualElement('pre', 'report', { en: plan.table.en.trimEnd(), ru: plan.table.ru.trimEnd() }));
  plan.warnings.en.forEach((warning, index) => {
    body.append(bilingualElement('p', 'failure', { en: warning, ru: plan.warnings.ru[index] }));
  });
  const wavUrl = URL.createObjectURL(new Blob([wav], { type: 'audio/wav' }));
  const flacUrl = URL.createObjectURL(new Blob([flac], { type: 'audio/flac' }));
  const labelsUrl = URL.createObjectURL(new Blob([plan.labels], { type: 'text/plain' }));
  entry.urls = [wavUrl, flacUrl, labelsUrl];
  const audio = make('audio');
  audio.controls = true;
  audio.preload = 'auto';
  audio.src = wavUrl;
  const programs = make('ol', 'side-programs');
  plan.programs.forEach((program, index) => {
    const item = make('li', 'side-program');
    const play = bilingualElement('button', 'play', bothLanguages('playProgram'));
    play.dataset.action = 'play';
    play.addEventListener('click', () => {
      audio.currentTime = plan.contents.side.programs[index].from;
      audio.play();
    });
    const name = program.name === null ? bilingualElement('span', 'name', bothLanguages('noHeader'))
      : make('code', 'name', program.name);
    item.append(play, make('span', 'start', program.start), make('span', 'length', program.length), name);
    programs.append(item);
  });
  body.append(programs, audio,
    downloadLink(wavUrl, 'side.wav', 'downloadWav'), make('br'),
    downloadLink(flacUrl, 'side.flac', 'downloadFlac'), make('br'),
    downloadLink(labelsUrl, 'side-labels.txt', 'downloadLabels'));
}
