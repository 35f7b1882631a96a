// How fast the page is with the largest input, in the system's headless
// Chromium: the time from choosing the full-size image (65552 bytes, 65536
// of them data) to its recording being shown, and from choosing that
// recording (34 MB of WAV) to its record, image and map being shown, each
// measured in the page from the chooser's change to the entry's state.
// One round of each first, not counted (the modules compile), then the
// medians of the rounds. It reports and never judges.
//
//   node page_bench.mjs --url URL --lentok PATH --work DIR [--rounds N]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launchChromium } from './browser.mjs';

const settings = {};
const words = process.argv.slice(2);
for (let i = 0; i < words.length; i += 2) settings[words[i].replace(/^--/, '')] = words[i + 1];
for (const key of ['url', 'lentok', 'work']) {
  if (!settings[key]) throw new Error(`missing --${key}`);
}
const rounds = Number(settings.rounds || 7);

// A full-size image whose bytes vary; lentok -k gives its recording the
// checksum of the data, so that the record reads back sound.
function fullSizeRecording() {
  const image = new Uint8Array(65552);
  image.set([0x00, 0x00, 0xff, 0xff]);
  for (let i = 4; i < image.length; ++i) image[i] = (i * 7 + (i >> 8) + (i >> 13)) & 0xff;
  const imagePath = path.join(settings.work, 'full.rks');
  fs.writeFileSync(imagePath, image);
  const recording = path.join(settings.work, 'full-tape.wav');
  execFileSync(settings.lentok, ['-k', imagePath, recording]);
  return { imagePath, recording };
}

// Chooses `file` and resolves to the milliseconds from the chooser's
// change to the new entry of `list` being done; fails when it fails, or
// is not done within a minute.
async function timeChoice(page, file, list) {
  await page.evaluate((listId) => {
    const entries = document.getElementById(listId);
    const before = entries.children.length;
    window.benchDone = new Promise((resolve, reject) => {
      let start = 0;
      document.getElementById('files').addEventListener('change', () => { start = performance.now(); },
        { capture: true, once: true });
      const observer = new MutationObserver(() => {
        const entry = entries.children[before];
        if (entry && ['done', 'failed'].includes(entry.dataset.state)) {
          observer.disconnect();
          if (entry.dataset.state === 'done') resolve(performance.now() - start); else reject(new Error(entry.innerText));
        }
      });
      observer.observe(entries, { subtree: true, childList: true, attributes: true, attributeFilter: ['data-state'] });
      setTimeout(() => reject(new Error(`not done in a minute: ${entries.children[before]?.innerText}`)), 60000);
    });
  }, list);
  await page.setInputFiles('input[type=file]', file);
  return page.evaluate(() => window.benchDone);
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

async function main() {
  const { imagePath, recording } = fullSizeRecording();
  const context = await launchChromium(settings.work);
  try {
    const page = await context.newPage();
    await page.goto(settings.url);
    await page.waitForSelector('[data-action="record"]');
    const times = { convert: [], read: [] };
    for (let round = 0; round <= rounds; ++round) {
      const convert = await timeChoice(page, imagePath, 'images');
      const read = await timeChoice(page, recording, 'recordings');
      if (round === 0) continue;
      times.convert.push(convert);
      times.read.push(read);
    }
    const shown = (values) => `${(median(values) / 1000).toFixed(3)} s (${values.map((v) => v.toFixed(0)).join(', ')} ms)`;
    console.log(`page, ${rounds} rounds, medians:`);
    console.log(`  convert the full-size image (${fs.statSync(imagePath).size} bytes): ${shown(times.convert)}`);
    console.log(`  read back its recording (${fs.statSync(recording).size} bytes): ${shown(times.read)}`);
  } finally {
    await context.close();
  }
}

main().catch((error) => {
  console.log(`the benchmark stopped: ${error && error.stack || error}`);
  process.exit(1);
});
