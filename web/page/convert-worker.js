// Runs lentok for the page, off its main thread. lentok keeps its state in
// static records for the life of a process, so every conversion gets a fresh
// instance of the module: the image goes into its in-memory file system, the
// run is lentok's own main with the same arguments as on a command line, and
// the page gets back the exit status, what lentok printed, and the recording.
'use strict';

importScripts('lentok.js', 'worker-jobs.js');

// Compiled once; instantiating it again for each run is cheap.
let compiledLentok = null;

function lentokCode() {
  if (!compiledLentok) {
    compiledLentok = fetch('lentok.wasm')
      .then((response) => {
        if (!response.ok) throw new Error(`lentok.wasm: ${response.status}`);
        return response.arrayBuffer();
      })
      .then((bytes) => WebAssembly.compile(bytes));
  }
  return compiledLentok;
}

async function freshLentok(printed, errors) {
  const code = await lentokCode();
  const lentok = await createLentok({
    noInitialRun: true,
    print: (line) => printed.push(line),
    printErr: (line) => errors.push(line),
    instantiateWasm(imports, receive) {
      WebAssembly.instantiate(code, imports).then((instance) => receive(instance, code));
      return {};
    },
  });
  // The in-memory file system grows a file by an eighth once it is past a
  // megabyte, copying it whole each time: a full-size recording would be
  // copied some thirty times over while lentok writes it. Grown by
  // doubling, it is copied about once.
  const memfs = lentok.FS.filesystems.MEMFS;
  const expand = memfs.expandFileStorage;
  memfs.expandFileStorage = (node, capacity) => {
    const held = node.contents ? node.contents.length : 0;
    expand(node, capacity > held ? Math.max(capacity, 2 * held) : capacity);
  };
  return lentok;
}

// The image keeps its own name in a folder of its own: the name on tape is
// the last component of the input path, as it is for lentok on a command
// line. The recording goes into another folder, so the two never meet.
async function convert({ job, name, bytes, options }) {
  const printed = [];
  const errors = [];
  const lentok = await freshLentok(printed, errors);
  const input = `/image/${name}`;
  const output = '/recording/out.wav';
  lentok.FS.mkdir('/image');
  lentok.FS.mkdir('/recording');
  lentok.FS.writeFile(input, new Uint8Array(bytes));
  const status = lentok.callMain([...options, input, output]);
  let wav = null;
  if (status === 0) wav = lentok.FS.readFile(output).buffer;
  return {
    job, options, status, wav,
    stdout: printed.join('\n'), stderr: errors.join('\n'),
  };
}

// Jobs run one after another, in the order they came.
serveJobsInTurn(convert, (result) => [result.wav]);
