// Drives the lentok page in the system's headless Chromium as a person
// would: picks files, ticks options, plays, downloads, records from a fake
// capture device, switches language. Every downloaded file is compared with
// what the native tools make of the same input. Prints one line per check and
// a closing "N passed, N failed"; exits non-zero when any check failed.
//
//   node page_test.mjs --url URL --lentok PATH --lentok-read PATH
//                      --lentok-side PATH --samples DIR --work DIR --shots DIR
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launchChromium } from './browser.mjs';

const settings = parseArguments(process.argv.slice(2));
const results = { passed: 0, failed: 0 };
const pageProblems = [];

function parseArguments(words) {
  const found = {};
  for (let i = 0; i < words.length; i += 2) found[words[i].replace(/^--/, '')] = words[i + 1];
  for (const key of ['url', 'lentok', 'lentok-read', 'lentok-side', 'work', 'shots', 'samples']) {
    if (!found[key]) throw new Error(`missing --${key}`);
  }
  return found;
}

async function check(name, body) {
  try {
    await body();
    results.passed += 1;
    console.log(`ok   ${name}`);
  } catch (error) {
    results.failed += 1;
    console.log(`FAIL ${name}\n     ${String(error && error.stack || error).split('\n').join('\n     ')}`);
  }
}

function expect(condition, message) {
  if (!condition) throw new Error(message);
}

function sameBytes(actual, expected, what) {
  expect(actual.length === expected.length,
    `${what}: ${actual.length} bytes, expected ${expected.length}`);
  const at = actual.findIndex((byte, index) => byte !== expected[index]);
  expect(at === -1, `${what}: first difference at byte ${at}`);
}

// ----------------------------------------------------------------- inputs

const work = settings.work;
const inputs = path.join(work, 'inputs');
const native = path.join(work, 'native');
fs.mkdirSync(inputs, { recursive: true });
fs.mkdirSync(native, { recursive: true });

function littleEndian16(value) {
  return [value & 0xff, (value >> 8) & 0xff];
}

function tapeChecksum(data) {
  // The monitor's sum, as lentok -k computes it: over every byte but the
  // last, a 16-bit sum of the byte and of itself shifted into the high
  // byte; the last byte adds only to the low byte.
  let sum = 0;
  for (let i = 0; i < data.length; ++i) {
    const low = (sum & 0xff) + data[i];
    let high = (sum >> 8) & 0xff;
    if (i !== data.length - 1) high = (high + data[i] + (low >> 8)) & 0xff;
    sum = (high << 8) | (low & 0xff);
  }
  return sum;
}

// A full-size image: the largest lentok takes, filled with a pattern that
// uses every byte value.
function fullSizeImage() {
  const bytes = new Uint8Array(65552);
  bytes.set([...littleEndian16(0x0000), ...littleEndian16(0xffff)]);
  for (let i = 4; i < bytes.length; ++i) bytes[i] = (i * 7 + (i >> 8)) & 0xff;
  return bytes;
}

// An image whose addresses agree with its length, for reading back.
function roundTripImage() {
  const start = 0x0100;
  const data = new Uint8Array(3000).map((_, i) => (i * 13 + 5) & 0xff);
  const end = start + data.length - 1;
  return Uint8Array.from([...littleEndian16(start), ...littleEndian16(end), ...data,
    ...littleEndian16(tapeChecksum(data))]);
}

function writeInput(name, bytes) {
  const file = path.join(inputs, name);
  fs.writeFileSync(file, bytes);
  return file;
}

// lentok's own output and report for the same input name and options.
function nativeConversion(imagePath, options) {
  const tag = options.join('').replace(/-/g, '') || 'plain';
  const output = path.join(native, `${path.basename(imagePath)}.${tag}.wav`);
  const report = execFileSync(settings.lentok, [...options, imagePath, output], { encoding: 'utf8' });
  return { wav: fs.readFileSync(output), report, output };
}

// What lentok says on standard error when it refuses the image.
function nativeFailure(imagePath) {
  const run = spawnSync(settings.lentok, [imagePath, path.join(native, 'refused.wav')], { encoding: 'utf8' });
  expect(run.status === 1, `lentok exited with ${run.status} for ${imagePath}`);
  return run.stderr;
}

// lentok-read run over copies of `recordings` in a folder of its own, as
// one command line, where it also writes its images: so the image names in
// its lines are bare names, as the page gives them.
function nativeRead(recordings, locale, options = []) {
  const folder = fs.mkdtempSync(path.join(work, 'read-'));
  const names = recordings.map((file) => {
    fs.copyFileSync(file, path.join(folder, path.basename(file)));
    return path.basename(file);
  });
  const run = spawnSync(path.resolve(settings['lentok-read']), [...options, ...names], {
    cwd: folder, encoding: 'utf8', env: { ...process.env, LANG: locale, LC_ALL: '', LANGUAGE: '' },
  });
  expect([0, 2, 3].includes(run.status), `lentok-read exited with ${run.status}: ${run.stderr}`);
  return run.stdout;
}

// lentok-read's lines for each of `recordings` read on one command line,
// without the recording's name it puts in front of each when there are
// several (the page gives it as the entry's title).
function nativeLines(recordings, locale) {
  const lines = new Map(recordings.map((file) => [path.basename(file), []]));
  for (const line of nativeRead(recordings, locale).split('\n').filter(Boolean)) {
    const name = recordings.length === 1 ? path.basename(recordings[0])
      : [...lines.keys()].find((candidate) => line.startsWith(`${candidate}: `));
    expect(name !== undefined, `a line of no recording: ${line}`);
    lines.get(name).push(recordings.length === 1 ? line : line.slice(name.length + 2));
  }
  return lines;
}

// lentok-read's line for the one record of a recording read alone.
function nativeRecordLine(recording, locale) {
  const lines = nativeLines([recording], locale).get(path.basename(recording));
  expect(lines.length === 1, `lentok-read printed ${lines.length} lines`);
  return lines[0];
}

const hello = writeInput('hello.rks', fs.readFileSync(path.join(settings.samples, 'hello.rks')));
const full = writeInput('full.rks', fullSizeImage());
const roundTrip = writeInput('roundtrip.rks', roundTripImage());

// ------------------------------------------------------------------ browser

function launch(extraFlags = []) {
  return launchChromium(work, extraFlags);
}

async function openPage(context, locale) {
  const page = await context.newPage();
  if (locale) {
    await page.addInitScript((language) => {
      Object.defineProperty(navigator, 'languages', { get: () => [language] });
      Object.defineProperty(navigator, 'language', { get: () => language });
    }, locale);
  }
  page.on('console', (message) => {
    if (message.type() === 'error') pageProblems.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => pageProblems.push(`pageerror: ${error.message}`));
  page.on('response', (response) => {
    if (response.status() >= 400) pageProblems.push(`response ${response.status()}: ${response.url()}`);
  });
  page.on('request', (request) => {
    const url = request.url();
    if (!url.startsWith(settings.url) && !/^(blob|data):/.test(url)) {
      pageProblems.push(`request outside the page's folder: ${url}`);
    }
  });
  await page.goto(settings.url);
  await page.waitForSelector('[data-action="record"]');
  return page;
}

async function chooseFiles(page, files) {
  await page.setInputFiles('input[type=file]', files);
}

function imageEntry(page, name) {
  return page.locator('li.image', { has: page.locator('h3', { hasText: new RegExp(`^${name}$`) }) });
}

function recordingEntry(page, name) {
  return page.locator('li.recording', { has: page.locator('h3', { hasText: new RegExp(`^${name}$`) }) });
}

async function download(page, link) {
  const [file] = await Promise.all([page.waitForEvent('download'), link.click()]);
  const saved = path.join(work, 'downloads', `${Date.now()}-${file.suggestedFilename()}`);
  await file.saveAs(saved);
  return { name: file.suggestedFilename(), bytes: fs.readFileSync(saved) };
}

async function setOptions(page, options) {
  for (const option of ['-k', '-x']) {
    const box = page.locator(`input[data-option="${option}"]`);
    if ((await box.isChecked()) !== options.includes(option)) await box.click();
  }
}

async function waitConverted(entry, options) {
  await entry.and(entry.page().locator(`[data-state="done"][data-options="${options.join(' ')}"]`))
    .waitFor({ timeout: 120000 });
}

// ------------------------------------------------------------------- checks

async function conversionChecks(context) {
  const page = await openPage(context);
  await chooseFiles(page, [hello, full]);
  const optionSets = [[], ['-k'], ['-x'], ['-k', '-x']];
  for (const options of optionSets) {
    await check(`converts hello.rks and a full-size image with [${options.join(' ')}] as lentok does`, async () => {
      await setOptions(page, options);
      for (const image of [hello, full]) {
        const name = path.basename(image);
        const entry = imageEntry(page, name);
        await waitConverted(entry, options);
        const expected = nativeConversion(image, options);
        const got = await download(page, entry.locator('a[download]'));
        expect(got.name === name.replace(/\.rks$/, '.wav'), `download named ${got.name}`);
        sameBytes(got.bytes, expected.wav, `${name} [${options.join(' ')}]`);
        const shown = (await entry.locator('.report').innerText()).trim();
        expect(shown === expected.report.trim(), `report shown:\n${shown}\nlentok printed:\n${expected.report}`);
      }
    });
  }
  await check('the report of hello.rks gives its addresses and checksum', async () => {
    await setOptions(page, []);
    const entry = imageEntry(page, 'hello.rks');
    await waitConverted(entry, []);
    const shown = await entry.locator('.report').innerText();
    for (const value of ['3000h', '3012h', 'C6CCh']) expect(shown.includes(value), `no ${value} in ${shown}`);
    expect((await entry.locator('.tape-name code').innerText()) === 'HELLO.RKS', 'name on tape');
  });
  await check('a failure shows lentok\'s own message beside the file', async () => {
    const tiny = writeInput('tiny.rks', Uint8Array.from([1, 2, 3]));
    const oversized = writeInput('oversized.rks', new Uint8Array(65553));
    await chooseFiles(page, [tiny, oversized]);
    for (const image of [tiny, oversized]) {
      const entry = imageEntry(page, path.basename(image));
      await entry.and(page.locator('[data-state="failed"]')).waitFor({ timeout: 60000 });
      const shown = (await entry.locator('.failure').innerText()).trim();
      const expected = nativeFailure(image).trim();
      expect(expected !== '' && shown === expected, `shown: ${shown}\nlentok said: ${expected}`);
    }
  });
  await check('the player plays the recording', async () => {
    const audio = imageEntry(page, 'hello.rks').locator('audio');
    await audio.evaluate((element) => element.play());
    await page.waitForTimeout(1500);
    const time = await audio.evaluate((element) => element.currentTime);
    expect(time > 0.5, `currentTime ${time} after 1.5 s of playing`);
    await audio.evaluate((element) => { element.currentTime = 3; });
    await page.waitForTimeout(300);
    const sought = await audio.evaluate((element) => element.currentTime);
    expect(sought >= 3, `currentTime ${sought} after seeking to 3 s`);
  });
  await page.screenshot({ path: path.join(settings.shots, 'page.png'), fullPage: true });
  await page.close();
}

function degrade(wav, name) {
  const seconds = execFileSync('soxi', ['-D', wav], { encoding: 'utf8' }).trim();
  const noise = path.join(work, 'noise.wav');
  execFileSync('sox', ['-n', '-r', '44100', '-c', '1', '-b', '16', noise, 'synth', seconds,
    'whitenoise', 'vol', '0.12']);
  const output = path.join(inputs, name);
  // A negative volume inverts; then 22050 Hz, 8 bits.
  execFileSync('sox', ['-m', '-v', '-0.7', wav, '-v', '1', noise, '-r', '22050', '-b', '8', output]);
  return output;
}

// The same recording ending as the older layout did, at the last bit's own
// level: it reads back whole, but the machine would not load it.
function withoutClosingHalfCell(wav, name) {
  const bytes = Buffer.from(fs.readFileSync(wav));
  const cut = bytes.subarray(0, bytes.length - 32);  // 16 samples of 16 bits
  cut.writeUInt32LE(cut.length - 8, 4);
  cut.writeUInt32LE(cut.length - 46, 42);
  const output = path.join(inputs, name);
  fs.writeFileSync(output, cut);
  return output;
}

// The same data as the earlier monitors save it: no checksum word after the
// data, whose last bit a half-cell closes.
function earlierMonitorSave(wav, name) {
  const bytes = Buffer.from(fs.readFileSync(wav));
  const dataEnd = bytes.length - 32 - 2 * 512;  // the closing half-cell, and two bytes of 512
  const closing = Buffer.alloc(32);
  const last = bytes.readInt16LE(dataEnd - 2);
  for (let i = 0; i < 16; ++i) closing.writeInt16LE(-last, 2 * i);
  const save = Buffer.concat([bytes.subarray(0, dataEnd), closing]);
  save.writeUInt32LE(save.length - 8, 4);
  save.writeUInt32LE(save.length - 46, 42);
  const output = path.join(inputs, name);
  fs.writeFileSync(output, save);
  return output;
}

async function readingChecks(context) {
  const page = await openPage(context);
  // Named .dat: the page must know it for a recording by its content.
  const helloWav = path.join(inputs, 'hello-tape.dat');
  fs.copyFileSync(nativeConversion(hello, []).output, helloWav);
  const roundTripWav = path.join(inputs, 'roundtrip-tape.wav');
  fs.copyFileSync(nativeConversion(roundTrip, ['-x']).output, roundTripWav);
  const degraded = degrade(helloWav, 'hello-degraded.wav');
  const unclosed = withoutClosingHalfCell(helloWav, 'hello-unclosed.wav');
  const cases = [
    [helloWav, hello, 'HELLO.RKS'],
    [unclosed, hello, 'HELLO.RKS'],
    [roundTripWav, roundTrip, 'roundtrip-tape.rks'],
    [degraded, hello, 'HELLO'],
  ];
  await chooseFiles(page, cases.map(([wav]) => wav));
  for (const [wav, image, expectedName] of cases) {
    await check(`reads ${path.basename(wav)} back into ${path.basename(image)}`, async () => {
      const entry = recordingEntry(page, path.basename(wav));
      await entry.and(page.locator('[data-state="done"]')).waitFor({ timeout: 120000 });
      const records = entry.locator('li.record');
      expect(await records.count() === 1, `${await records.count()} records`);
      expect(await records.first().getAttribute('data-status') === 'sound', 'status not sound');
      const got = await download(page, records.first().locator('a[download]'));
      expect(got.name.toUpperCase().startsWith(expectedName.toUpperCase().replace(/\.RKS$/, '')),
        `image named ${got.name}`);
      expect(got.name.endsWith('.rks') || got.name.endsWith('.RKS'), `image named ${got.name}`);
      sameBytes(got.bytes, fs.readFileSync(image), got.name);
    });
  }
  await check('a record and the machine\'s verdict are told of in lentok-read\'s words, in both languages', async () => {
    // The four recordings were chosen together: lentok-read reads them on
    // one command line, and names their images as the page does.
    const native = {
      en: nativeLines(cases.map(([wav]) => wav), 'C.UTF-8'),
      ru: nativeLines(cases.map(([wav]) => wav), 'ru_RU.UTF-8'),
    };
    for (const [wav, loads] of [[helloWav, true], [unclosed, false]]) {
      const record = recordingEntry(page, path.basename(wav)).locator('li.record');
      const machine = record.locator('.machine');
      expect(await machine.getAttribute('data-loads') === String(loads), `${path.basename(wav)}: loads is not ${loads}`);
      for (const language of ['en', 'ru']) {
        await page.click(`[data-lang="${language}"]`);
        const shown = (await record.locator('.line').innerText()).trim();
        const expected = native[language].get(path.basename(wav))[0];
        expect(shown === expected, `shown:\n${shown}\nlentok-read:\n${expected}`);
        // The verdict beside the record is the one the line ends with,
        // before the image.
        const verdict = (await machine.innerText()).trim();
        const withoutImage = expected.replace(/; [^;]*$/, '');
        const told = withoutImage.slice(withoutImage.indexOf(`; ${verdict}`) + 2);
        expect(verdict !== '' && withoutImage.includes(`; ${verdict}`) && (loads ? told === verdict : told.startsWith(`${verdict}: `)),
          `verdict shown: ${verdict}\nlentok-read: ${expected}`);
      }
    }
    await page.click('[data-lang="en"]');
  });
  await check('an earlier monitor\'s save is told of in lentok-read\'s words, with the monitors that load it', async () => {
    const save = earlierMonitorSave(roundTripWav, 'earlier-save.wav');
    await chooseFiles(page, [save]);
    const entry = recordingEntry(page, 'earlier-save.wav');
    await entry.and(page.locator('[data-state="done"]')).waitFor({ timeout: 120000 });
    const record = entry.locator('li.record');
    expect(await record.count() === 1, `${await record.count()} records`);
    expect(await record.getAttribute('data-status') === 'no checksum', 'status not "no checksum"');
    // Every bit read clearly: the run does not count it damaged.
    expect(await record.getAttribute('data-damaged') === 'false', 'counted as damaged');
    expect(await record.locator('.machine').getAttribute('data-loads') === 'true', 'loads on no monitor');
    for (const [language, locale] of [['en', 'C.UTF-8'], ['ru', 'ru_RU.UTF-8']]) {
      await page.click(`[data-lang="${language}"]`);
      const shown = (await record.locator('.line').innerText()).trim();
      const expected = nativeRecordLine(save, locale);
      expect(shown === expected, `shown:\n${shown}\nlentok-read:\n${expected}`);
      const verdict = (await record.locator('.machine').innerText()).trim();
      expect(expected.includes(`; ${verdict}; `), `verdict shown: ${verdict}\nlentok-read: ${expected}`);
    }
    await page.click('[data-lang="en"]');
    const got = await download(page, record.locator('a[download]'));
    sameBytes(got.bytes, fs.readFileSync(roundTrip), got.name);
  });
  await check('repeated image names are numbered', async () => {
    const names = await page.locator('li.record a[download]').evaluateAll(
      (links) => links.map((link) => link.download));
    expect(new Set(names.map((name) => name.toLowerCase())).size === names.length,
      `names repeat: ${names.join(', ')}`);
    expect(names.some((name) => /-2\.rks$/i.test(name)), `no -2 among ${names.join(', ')}`);
  });
  await check('an image dropped onto the page is converted', async () => {
    const bytes = [...fs.readFileSync(hello)];
    await page.evaluate((content) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([Uint8Array.from(content)], 'dropped.rks'));
      for (const type of ['dragenter', 'dragover', 'drop']) {
        document.body.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
      }
    }, bytes);
    const entry = imageEntry(page, 'dropped.rks');
    await waitConverted(entry, []);
    const got = await download(page, entry.locator('a[download]'));
    sameBytes(got.bytes, nativeConversion(writeInput('dropped.rks', Uint8Array.from(bytes)), []).wav, got.name);
  });
  await mapChecks(page, helloWav, roundTripWav);
  await combiningChecks(page, roundTripWav);
  await check('a file that is not WAVE is refused with a message', async () => {
    const bogus = writeInput('bogus.wav', Uint8Array.from('RIFX1234WAVEfmt '.split('').map((c) => c.charCodeAt(0))));
    await chooseFiles(page, [bogus]);
    const entry = recordingEntry(page, 'bogus.wav');
    await entry.and(page.locator('[data-state="failed"]')).waitFor({ timeout: 60000 });
    expect((await entry.locator('.note').innerText()).trim() !== '', 'no message');
  });
  await page.screenshot({ path: path.join(settings.shots, 'page-recordings.png'), fullPage: true });
  await page.close();
}

// The recording in another format, made by the standard encoder.
function encode(wav, name) {
  const output = path.join(inputs, name);
  const tools = {
    flac: ['flac', ['--silent', '--force', '--best', '-o', output, wav]],
    mp3: ['lame', ['--quiet', '-b', '128', '--tt', 'tape', '--add-id3v2', wav, output]],
    ogg: ['oggenc', ['--quiet', '-q', '2', '-o', output, wav]],
    opus: ['opusenc', ['--quiet', '--bitrate', '96', wav, output]],
    w64: ['sox', [wav, output]],
  };
  const [tool, args] = tools[path.extname(name).slice(1)];
  execFileSync(tool, args);
  return output;
}

// A record, then signal at twice the speed that no record explains: the
// page shows it where lentok-read tells of it, in its words.
async function unreadChecks(context) {
  const page = await openPage(context);
  const helloWav = nativeConversion(hello, []).output;
  const fast = path.join(native, 'full-twice.wav');
  execFileSync('sox', [nativeConversion(full, []).output, fast, 'trim', '10', '6', 'speed', '2']);
  const tape = path.join(inputs, 'hello-then-unread.wav');
  execFileSync('sox', [helloWav, fast, tape]);
  await chooseFiles(page, [tape]);
  await check('signal no record explains is shown after the record, in lentok-read\'s words', async () => {
    const entry = recordingEntry(page, path.basename(tape));
    await entry.and(page.locator('[data-state="done"]')).waitFor({ timeout: 120000 });
    const items = entry.locator('li.record');
    expect(await items.count() === 2, `${await items.count()} items`);
    expect(await items.nth(1).getAttribute('data-status') === 'unread', 'the second item is not the unread signal');
    for (const language of ['en', 'ru']) {
      await page.click(`[data-lang="${language}"]`);
      const expected = nativeLines([tape], language === 'en' ? 'C.UTF-8' : 'ru_RU.UTF-8').get(path.basename(tape))[1];
      const shown = (await items.nth(1).locator('.line').innerText()).trim();
      expect(shown === expected, `shown:\n${shown}\nlentok-read:\n${expected}`);
    }
    await page.click('[data-lang="en"]');
    expect(await entry.locator('figure.map svg g.unread').count() === 1, 'no band of unread signal on the map');
  });
  await page.close();
}

async function compressedChecks(context) {
  const page = await openPage(context);
  const helloWav = nativeConversion(hello, []).output;
  const roundTripWav = nativeConversion(roundTrip, ['-x']).output;
  // At 22050 Hz, which no audio device runs at: the page must decode at the
  // file's own rate.
  const hello22050 = path.join(native, 'hello-22050.wav');
  execFileSync('sox', [helloWav, '-r', '22050', hello22050]);
  const cases = [
    // file, image, sample rate the page decodes at
    [encode(hello22050, 'hello-22050.flac'), hello, 22050],
    [encode(roundTripWav, 'roundtrip.flac'), roundTrip, 44100],
    [encode(helloWav, 'hello.mp3'), hello, 44100],
    [encode(roundTripWav, 'roundtrip.mp3'), roundTrip, 44100],
    [encode(roundTripWav, 'roundtrip.ogg'), roundTrip, 44100],
    [encode(roundTripWav, 'roundtrip.opus'), roundTrip, 48000],
  ];
  await chooseFiles(page, cases.map(([file]) => file));
  for (const [file, image, rate] of cases) {
    await check(`reads ${path.basename(file)} back into ${path.basename(image)}, decoded at ${rate} Hz`, async () => {
      const entry = recordingEntry(page, path.basename(file));
      await entry.and(page.locator('[data-state="done"]')).waitFor({ timeout: 120000 });
      expect(await entry.getAttribute('data-sample-rate') === String(rate),
        `decoded at ${await entry.getAttribute('data-sample-rate')} Hz`);
      const records = entry.locator('li.record');
      expect(await records.count() === 1, `${await records.count()} records`);
      expect(await records.first().getAttribute('data-status') === 'sound', 'status not sound');
      const got = await download(page, records.first().locator('a[download]'));
      sameBytes(got.bytes, fs.readFileSync(image), got.name);
    });
  }
  await check('a lossless recording at its own rate is told of as lentok-read tells of the WAV', async () => {
    const line = recordingEntry(page, 'hello-22050.flac').locator('li.record .line');
    const shown = (await line.innerText()).trim();
    const expected = nativeRecordLine(hello22050, 'C.UTF-8');
    expect(shown === expected, `shown:\n${shown}\nlentok-read on the WAV:\n${expected}`);
  });
  await check('a format the browser cannot decode, and an unknown one, are named in the failure', async () => {
    const w64 = encode(helloWav, 'hello.w64');
    const bogus = writeInput('bogus.mp3', new Uint8Array(4000).map((_, i) => (i * 31) & 0x7f));
    await chooseFiles(page, [w64, bogus]);
    const expected = [[w64, /cannot decode W64/], [bogus, /format is not recognised/]];
    for (const [file, words] of expected) {
      const entry = recordingEntry(page, path.basename(file));
      await entry.and(page.locator('[data-state="failed"]')).waitFor({ timeout: 60000 });
      const shown = (await entry.locator('.note').innerText()).trim();
      expect(words.test(shown), `shown: ${shown}`);
    }
    await page.click('[data-lang="ru"]');
    const russian = (await recordingEntry(page, 'hello.w64').locator('.note').innerText()).trim();
    expect(/не умеет декодировать записи W64/.test(russian), `shown in Russian: ${russian}`);
    await page.click('[data-lang="en"]');
  });
  await page.close();
}

// lentok-read --map of a recording, run where the recording lies so that
// its panel has the same title as the page's: the record bands' tooltips and
// the level's outline, as the page must show them too.
function nativeMap(recording) {
  const folder = fs.mkdtempSync(path.join(work, 'map-'));
  const svg = path.join(folder, 'map.svg');
  const run = spawnSync(path.resolve(settings['lentok-read']),
    ['-q', '-o', folder, '--map', svg, path.basename(recording)], {
      cwd: path.dirname(recording), encoding: 'utf8',
      env: { ...process.env, LANG: 'C.UTF-8', LC_ALL: '', LANGUAGE: '' },
    });
  expect(run.status === 0 || run.status === 2, `lentok-read --map exited with ${run.status}: ${run.stderr}`);
  const text = fs.readFileSync(svg, 'utf8');
  const unescape = (value) => value.replace(/&quot;/g, '"').replace(/&lt;/g, '<').replace(/&gt;/g, '>')
    .replace(/&apos;/g, "'").replace(/&amp;/g, '&');
  return {
    titles: [...text.matchAll(/<g class="record [^>]*>\n<title>([^<]*)<\/title>/g)].map((m) => unescape(m[1])),
    level: (text.match(/<path class="level" d="([^"]*)"/) || [])[1],
  };
}

// What the page's picture of a recording shows, in the same terms.
function pageMap(entry) {
  return entry.locator('figure.map svg').evaluate((svg) => ({
    titles: [...svg.querySelectorAll('g.record > title')].map((title) => title.textContent),
    classes: [...svg.querySelectorAll('g.record')].map((band) => band.getAttribute('class')),
    level: svg.querySelector('path.level') && svg.querySelector('path.level').getAttribute('d'),
    heading: svg.querySelector('text.heading').textContent,
  }));
}

async function mapChecks(page, helloWav, roundTripWav) {
  await check('each recording read gets the damage map lentok-read --map draws', async () => {
    for (const wav of [helloWav, roundTripWav]) {
      const shown = await pageMap(recordingEntry(page, path.basename(wav)));
      const expected = nativeMap(wav);
      expect(shown.titles.length === 1 && shown.classes[0] === 'record sound', `bands ${shown.classes}`);
      expect(JSON.stringify(shown.titles) === JSON.stringify(expected.titles),
        `records ${shown.titles} against ${expected.titles}`);
      expect(shown.level && shown.level === expected.level, 'the level differs from lentok-read\'s');
    }
  });
  await check('a damaged recording shows its record cut short on the map', async () => {
    // The -x recording of 3000 bytes cut off two thirds of the way through
    // its data.
    const whole = fs.readFileSync(roundTripWav);
    const cut = writeInput('cut-tape.wav', whole.subarray(0, whole.length - 1000 * 512));
    await chooseFiles(page, [cut]);
    const entry = recordingEntry(page, 'cut-tape.wav');
    await entry.and(page.locator('[data-state="done"]')).waitFor({ timeout: 60000 });
    const shown = await pageMap(entry);
    const expected = nativeMap(cut);
    expect(shown.classes.length === 1 && shown.classes[0] === 'record cut-short', `bands ${shown.classes}`);
    expect(JSON.stringify(shown.titles) === JSON.stringify(expected.titles),
      `records ${shown.titles} against ${expected.titles}`);
  });
  await check('pointing at the map gives the time, address and byte there, in both languages', async () => {
    const entry = recordingEntry(page, path.basename(helloWav));
    // hello.rks on tape: 255 leader bytes, E6, D9 three times, the 9
    // letters of HELLO.RKS, 756 zero bytes, E6 and the two addresses come
    // before the data; a byte is 256 samples.
    const data = fs.readFileSync(hello).subarray(4, -2);
    const readout = entry.locator('.map-readout');
    const english = await pointAtByte(page, entry, 6, data, (at) => page.mouse.move(at.x, at.y));
    await page.click('[data-lang="ru"]');
    const russian = (await readout.innerText()).trim();
    expect(russian === `${english.time} — адрес ${english.address}h, байт ${english.value}h`,
      `readout "${russian}"`);
    const heading = (await pageMap(entry)).heading;
    expect(heading === 'lentok-read: где повреждения', `heading "${heading}"`);
    await page.click('[data-lang="en"]');
    // A tap (a click here) moves the reading too.
    await pointAtByte(page, entry, 13, data, (at) => page.mouse.click(at.x, at.y));
  });
}

// Points at data byte `index` of hello.rks on the map of its recording and
// checks what the readout says. Of the screen pixels near the byte's middle,
// the one farthest from a byte's edge is taken, and the byte expected is the
// one that holds its time.
async function pointAtByte(page, entry, index, data, point) {
  const byteSeconds = 256 / 44100;
  const target = (1029 + index + 0.5) * byteSeconds;
  const candidates = await entry.locator('figure.map svg').evaluate((svg, when) => {
    svg.scrollIntoView({ block: 'center' });
    const panel = svg.querySelector('g.panel');
    const band = svg.querySelector('g.record rect.band');
    const left = Number(panel.dataset.left);
    const perUnit = Number(panel.dataset.secondsPerUnit);
    const y = band.y.baseVal.value + band.height.baseVal.value / 2;
    const toScreen = svg.getScreenCTM();
    const fromScreen = toScreen.inverse();
    const centre = new DOMPoint(left + when / perUnit, y).matrixTransform(toScreen);
    const found = [];
    for (let dx = -4; dx <= 4; ++dx) {
      const x = Math.round(centre.x) + dx + 0.5;
      const back = new DOMPoint(x, centre.y).matrixTransform(fromScreen);
      found.push({ x, y: centre.y, seconds: (back.x - left) * perUnit });
    }
    return found;
  }, target);
  const place = (candidate) => candidate.seconds / byteSeconds - 1029;
  const margin = (candidate) => Math.abs(place(candidate) - Math.floor(place(candidate)) - 0.5);
  const at = candidates.filter((c) => place(c) >= 0 && place(c) < data.length)
    .sort((a, b) => margin(a) - margin(b))[0];
  const found = Math.floor(place(at));
  const address = (0x3000 + found).toString(16).toUpperCase();
  const value = data[found].toString(16).toUpperCase().padStart(2, '0');
  await point(at);
  // The reading comes from the reading module, a moment later.
  await entry.locator('.map-readout:not([data-pending])').waitFor({ timeout: 10000 });
  const shown = (await entry.locator('.map-readout').innerText()).trim();
  const match = shown.match(/^(\d+):(\d\d\.\d{3}): address ([0-9A-F]{4})h, byte ([0-9A-F]{2})h$/);
  expect(match && match[3] === address && match[4] === value,
    `readout "${shown}", expected address ${address}h, byte ${value}h`);
  const shownSeconds = Number(match[1]) * 60 + Number(match[2]);
  expect(Math.abs(shownSeconds - at.seconds) < 0.002, `time ${shownSeconds}, pointed at ${at.seconds}`);
  return { time: `${match[1]}:${match[2]}`, address, value };
}

// The recording with a burst of full-scale noise `samples` long, `dataByte`
// bytes into the data of a -x recording (255 leader bytes, the sync byte and
// the addresses before it; 256 samples a byte after a 46-byte header).
function withBurst(wav, dataByte, samples, seed) {
  const out = Buffer.from(wav);
  const first = (255 + 1 + 4 + dataByte) * 256;
  let state = seed;
  for (let i = 0; i < samples; ++i) {
    state = (state * 1103515245 + 12345) >>> 0;
    out.writeInt16LE(state & 0x10000 ? 32767 : -32767, 46 + 2 * (first + i));
  }
  return out;
}

async function combiningChecks(page, roundTripWav) {
  const whole = fs.readFileSync(roundTripWav);
  const copies = [writeInput('copy-a.wav', withBurst(whole, 500, 400, 1)),
    writeInput('copy-b.wav', withBurst(whole, 2000, 400, 2))];
  let got = null;
  await check('recordings dropped together are combined as on one command line', async () => {
    await chooseFiles(page, copies);
    const first = recordingEntry(page, 'copy-a.wav');
    const combined = first.locator('li.record.combined');
    await combined.waitFor({ timeout: 120000 });
    await first.and(page.locator('[data-state="done"]')).waitFor({ timeout: 60000 });
    expect(await combined.getAttribute('data-status') === 'combined', 'the combination is not "combined"');
    got = await download(page, combined.locator('a[download]'));
    sameBytes(got.bytes, fs.readFileSync(roundTrip), got.name);
    // Every line, the combination's with its copies and each copy's with
    // the image it went into, as lentok-read prints them, in both languages.
    for (const [language, locale] of [['en', 'C.UTF-8'], ['ru', 'ru_RU.UTF-8']]) {
      await page.click(`[data-lang="${language}"]`);
      const native = nativeLines(copies, locale);
      for (const name of ['copy-a.wav', 'copy-b.wav']) {
        const shown = (await recordingEntry(page, name).locator('li.record .line').allInnerTexts()).map((line) => line.trim());
        const expected = native.get(name);
        expect(JSON.stringify([...shown].sort()) === JSON.stringify([...expected].sort()),
          `${name} shown:\n${shown.join('\n')}\nlentok-read:\n${expected.join('\n')}`);
      }
    }
    await page.click('[data-lang="en"]');
    for (const name of ['copy-a.wav', 'copy-b.wav']) {
      const entry = recordingEntry(page, name);
      const copy = entry.locator('li.record:not(.combined)');
      expect(await copy.getAttribute('data-combined-into') === got.name, `${name}: went into ${await copy.getAttribute('data-combined-into')}`);
      const bands = (await pageMap(entry)).classes;
      expect(bands.length === 1 && bands[0] === 'record combined', `${name}: bands ${bands}`);
    }
  });
  await check('a combined image without a header is named as lentok-read names it', async () => {
    expect(got !== null, 'nothing was combined');
    const report = JSON.parse(nativeRead(copies, 'C.UTF-8', ['--json']));
    const names = report.combined.map((combination) => combination.image);
    expect(names.length === 1 && names[0] === got.name, `the page named it ${got.name}, lentok-read ${names}`);
  });
}

async function captureChecks() {
  const recording = nativeConversion(hello, []).output;
  const context = await launch([
    '--use-fake-ui-for-media-stream', '--use-fake-device-for-media-stream',
    `--use-file-for-fake-audio-capture=${recording}%noloop`,
  ]);
  try {
    const page = await openPage(context);
    await check('records hello.rks from the (fake) microphone', async () => {
      await page.click('[data-action="record"]');
      // The meter shows the signal while it plays.
      await page.waitForFunction(
        () => Number(document.querySelector('.level').getAttribute('aria-valuenow')) >= 20,
        null, { timeout: 30000 });
      const record = page.locator('li.recording li.record');
      await record.first().waitFor({ timeout: 60000 });
      await page.click('[data-action="stop"]');
      expect(await page.locator('li.recording').count() === 1, 'one capture entry');
      expect(await record.first().getAttribute('data-status') === 'sound',
        `status not sound: ${await record.first().innerText()}`);
      const got = await download(page, record.first().locator('a[download]'));
      sameBytes(got.bytes, fs.readFileSync(hello), got.name);
    });
    await page.close();
  } finally {
    await context.close();
  }
}

// What the reading worker tells of a file by its head, asked as the page
// asks it: a worker of the page's own, and a File.
async function probeChecks(context) {
  const page = await openPage(context);
  const probe = (bytes, name) => page.evaluate(async ([content, fileName]) => {
    const worker = new Worker('read-worker.js');
    const answer = await new Promise((resolve) => {
      worker.onmessage = (event) => resolve(event.data.answer);
      worker.postMessage({ type: 'probe', request: 1, file: new File([Uint8Array.from(content)], fileName) });
    });
    worker.terminate();
    return answer;
  }, [[...bytes], name]);
  const ascii = (text) => [...text].map((c) => c.charCodeAt(0));
  await check('the sample rate is read from an AIFF header', async () => {
    // COMM: 1 channel, 0 frames, 16 bits, 22050 as an 80-bit float.
    const comm = [...ascii('COMM'), 0, 0, 0, 18, 0, 1, 0, 0, 0, 0, 0, 16, 0x40, 0x0d, 0xac, 0x44, 0, 0, 0, 0, 0, 0];
    const found = await probe([...ascii('FORM'), 0, 0, 0, 30, ...ascii('AIFF'), ...comm], 'tape.aiff');
    expect(found.kind === 'decode' && found.container === 'AIFF' && found.sampleRate === 22050, JSON.stringify(found));
  });
  await check('FLAC after an ID3v2 tag is found past the tag, with its rate', async () => {
    const tag = [...ascii('ID3'), 4, 0, 0, 0, 0, 2, 0, ...new Array(256).fill(0)];
    // STREAMINFO: block and frame sizes, then 22050 in 20 bits.
    const streamInfo = [0, 16, 0, 16, 0, 0, 0, 0, 0, 0, 0x05, 0x62, 0x20, 0xf0, 0, 0, 0, 0, ...new Array(16).fill(0)];
    const found = await probe([...tag, ...ascii('fLaC'), 0x80, 0, 0, 34, ...streamInfo], 'tape.bin');
    expect(found.kind === 'decode' && found.container === 'FLAC' && found.sampleRate === 22050, JSON.stringify(found));
  });
  await check('an MPEG frame header counts only with the next frame after it', async () => {
    // MPEG-1 layer III, 128 kbit/s at 44100 Hz: frames of 417 bytes.
    const frame = [0xff, 0xfb, 0x90, 0x00, ...new Array(413).fill(0)];
    const two = await probe([...frame, ...frame], 'tune.bin');
    expect(two.kind === 'decode' && two.container === 'MP3' && two.sampleRate === 44100, JSON.stringify(two));
    // A tape image may well begin so: start address FBFF.
    const lone = await probe([...frame.slice(0, 4), ...new Array(600).fill(7)], 'prog.rks');
    expect(lone.kind === 'image' && lone.bytes === 65553, JSON.stringify(lone));
  });
  await check('a file whose content tells nothing goes by its name', async () => {
    const empty = await Promise.all([probe([], 'blank.rks'), probe([], 'blank.wav'), probe([1, 2, 3, 4, 5], 'noise.ogg')]);
    expect(empty.map((found) => found.kind).join() === 'image,wav,unknown', JSON.stringify(empty));
  });
  await page.close();
}

// lentok-side's side, labels, table (in `locale`) and refusal for images
// named as on the page: run in their folder, on their bare names.
function nativeSide(images, options, locale = 'C.UTF-8') {
  const folder = fs.mkdtempSync(path.join(native, 'side-'));
  const output = path.join(folder, 'side.wav');
  const labels = path.join(folder, 'side-labels.txt');
  const run = spawnSync(path.resolve(settings['lentok-side']),
    [...options, '--labels', labels, '-o', output, ...images.map((image) => path.basename(image))], {
      cwd: path.dirname(images[0]), encoding: 'utf8',
      env: { ...process.env, LANG: locale, LC_ALL: '', LANGUAGE: '' },
    });
  if (run.status !== 0) return { status: run.status, stderr: run.stderr };
  const json = spawnSync(path.resolve(settings['lentok-side']),
    [...options, '--json', '-o', path.join(folder, 'again.wav'), ...images.map((image) => path.basename(image))],
    { cwd: path.dirname(images[0]), encoding: 'utf8' });
  const flac = path.join(folder, 'side.flac');
  const flacRun = spawnSync(path.resolve(settings['lentok-side']),
    [...options, '-o', flac, ...images.map((image) => path.basename(image))],
    { cwd: path.dirname(images[0]), encoding: 'utf8' });
  if (flacRun.status !== 0) throw new Error(`lentok-side -o side.flac failed: ${flacRun.stderr}`);
  return {
    status: 0, stdout: run.stdout, stderr: run.stderr, wav: fs.readFileSync(output), flac: fs.readFileSync(flac),
    labels: fs.readFileSync(labels), contents: JSON.parse(json.stdout),
  };
}

function sideEntry(page) {
  return page.locator('li.side');
}

async function waitSide(entry, options, state = 'done') {
  await entry.and(entry.page().locator(`[data-state="${state}"][data-options="${options.join(' ')}"]`))
    .waitFor({ timeout: 120000 });
}

async function sideChecks(context) {
  const page = await openPage(context);
  const images = [hello, roundTrip, full];
  await chooseFiles(page, images);
  const entry = sideEntry(page);
  await check('images chosen together are offered as one recording for all, in both languages', async () => {
    const button = entry.locator('[data-action="side"]');
    await page.click('[data-lang="ru"]');
    expect((await button.innerText()).includes('одну запись для всех'), 'the offer in Russian');
    await page.click('[data-lang="en"]');
    expect((await button.innerText()).includes('one recording for all'), 'the offer in English');
  });
  await entry.locator('[data-action="side"]').click();
  for (const options of [[], ['-k'], ['-x'], ['-k', '-x']]) {
    await check(`the side of three images with [${options.join(' ')}] is lentok-side's, byte for byte, as WAV and FLAC`, async () => {
      await setOptions(page, options);
      await waitSide(entry, options);
      const expected = nativeSide(images, options);
      const wav = await download(page, entry.locator('a[download="side.wav"]'));
      sameBytes(wav.bytes, expected.wav, `side [${options.join(' ')}]`);
      const flac = await download(page, entry.locator('a[download="side.flac"]'));
      sameBytes(flac.bytes, expected.flac, `FLAC side [${options.join(' ')}]`);
    });
  }
  await check('the side\'s table of contents and labels are lentok-side\'s, in both languages', async () => {
    await setOptions(page, []);
    await waitSide(entry, []);
    for (const [language, locale] of [['en', 'C.UTF-8'], ['ru', 'ru_RU.UTF-8']]) {
      await page.click(`[data-lang="${language}"]`);
      const shown = (await entry.locator('.report').innerText()).trim();
      const expected = nativeSide(images, [], locale).stdout.trim();
      expect(shown === expected, `shown:\n${shown}\nlentok-side printed:\n${expected}`);
    }
    await page.click('[data-lang="en"]');
    const labels = await download(page, entry.locator('a[download="side-labels.txt"]'));
    sameBytes(labels.bytes, nativeSide(images, []).labels, 'labels');
  });
  await check('a program\'s play button starts the side at that program', async () => {
    const program = nativeSide(images, []).contents.side.programs[1];
    await entry.locator('li.side-program').nth(1).locator('[data-action="play"]').click();
    const audio = entry.locator('audio');
    await page.waitForFunction((element) => !element.paused && element.currentTime > 0, await audio.elementHandle());
    const time = await audio.evaluate((element) => element.currentTime);
    await audio.evaluate((element) => element.pause());
    expect(time >= program.from && time < program.to,
      `currentTime ${time}, program from ${program.from} to ${program.to}`);
  });
  await check('a side lentok-side refuses is refused in its words', async () => {
    const lower = writeInput('twin.rks', fs.readFileSync(hello));
    const upper = writeInput('TWIN.rks', fs.readFileSync(hello));
    await chooseFiles(page, [lower, upper]);
    const refused = page.locator('li.side', { hasText: 'twin.rks, TWIN.rks' });
    await refused.locator('[data-action="side"]').click();
    await waitSide(refused, [], 'failed');
    const native = nativeSide([lower, upper], []);
    expect(native.status === 1, `lentok-side exited with ${native.status}`);
    const shown = (await refused.locator('.failure').innerText()).trim();
    expect(shown === native.stderr.trim(), `shown: ${shown}\nlentok-side said: ${native.stderr}`);
  });
  await page.screenshot({ path: path.join(settings.shots, 'page-side.png'), fullPage: true });
  await page.close();
}

async function languageChecks(context) {
  await check('the page follows the browser\'s language and switches', async () => {
    const russian = await openPage(context, 'ru-RU');
    expect(await russian.getAttribute('html', 'lang') === 'ru', 'lang is not ru');
    expect((await russian.locator('[data-action="record"]').innerText()) === 'Записать', 'record button in Russian');
    await russian.click('[data-lang="en"]');
    expect(await russian.getAttribute('html', 'lang') === 'en', 'lang is not en after switching');
    expect((await russian.locator('[data-action="record"]').innerText()) === 'Record', 'record button in English');
    await russian.close();
    const english = await openPage(context, 'en-GB');
    expect(await english.getAttribute('html', 'lang') === 'en', 'lang is not en');
    await english.click('[data-lang="ru"]');
    expect(await english.getAttribute('html', 'lang') === 'ru', 'lang is not ru after switching');
    await english.setViewportSize({ width: 390, height: 844 });
    await chooseFiles(english, [hello]);
    await waitConverted(imageEntry(english, 'hello.rks'), []);
    const overflow = await english.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    expect(overflow <= 0, `page wider than a phone screen by ${overflow}px`);
    await english.screenshot({ path: path.join(settings.shots, 'page-phone-ru.png'), fullPage: true });
    await english.close();
  });
}

async function main() {
  fs.mkdirSync(path.join(work, 'downloads'), { recursive: true });
  const context = await launch();
  try {
    await conversionChecks(context);
    await readingChecks(context);
    await unreadChecks(context);
    await compressedChecks(context);
    await probeChecks(context);
    await languageChecks(context);
    await sideChecks(context);
  } finally {
    await context.close();
  }
  await captureChecks();
  await check('the page raised no errors', async () => {
    expect(pageProblems.length === 0, pageProblems.join('\n'));
  });
  console.log(`${results.passed} passed, ${results.failed} failed`);
  process.exit(results.failed === 0 ? 0 : 1);
}

main().catch((error) => {
  console.log(`FAIL the test driver stopped: ${error && error.stack || error}`);
  console.log(`${results.passed} passed, ${results.failed + 1} failed`);
  process.exit(1);
});
