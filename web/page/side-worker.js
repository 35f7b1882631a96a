// Makes tape sides for the page, off its main thread, through the side
// library's C interface in the reading module (web/side_api.cpp): the
// images' bytes and file names and the options go in; the side's plan
// (lentok-side's table of contents, its JSON and label track, or its
// refusal) and its WAV and FLAC files come back.
'use strict';

importScripts('lentok-reader.js', 'worker-jobs.js');

const moduleReady = createLentokReader();

function makeSide(module, { job, images, options }) {
  const side = module._web_side_open(options.includes('-k') ? 1 : 0, options.includes('-x') ? 1 : 0);
  try {
    for (const image of images) {
      const bytes = new Uint8Array(image.bytes);
      const size = module.lengthBytesUTF8(image.name) + 1;
      const name = module._malloc(size);
      module.stringToUTF8(image.name, name, size);
      const room = module._web_side_image(side, name, bytes.length);
      module._free(name);
      module.HEAPU8.set(bytes, room);
    }
    const plan = JSON.parse(module.UTF8ToString(module._web_side_plan(side)));
    if (plan.refusal) return { job, options, plan, wav: null, flac: null };
    // One file at a time in the module's memory: each is copied out before
    // the next is made.
    const file = (flac) => {
      const at = module._web_side_file(side, flac);
      return at ? module.HEAPU8.slice(at, at + module._web_side_file_size(side)).buffer : null;
    };
    const wav = file(0);
    const flac = wav ? file(1) : null;
    return { job, options, plan, wav, flac };
  } finally {
    module._web_side_close(side);
  }
}

// Sides are made one after another, in the order asked for.
serveJobsInTurn(async (request) => makeSide(await moduleReady, request), (result) => [result.wav, result.flac]);
