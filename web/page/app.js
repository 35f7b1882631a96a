// The page's main thread: wires the chooser, the drops, the options and
// the capture buttons to the parts that do the work (conversion.js runs
// lentok, reading.js and capture.js the reading module, each in workers),
// and starts in the browser's language. Nothing heavy runs here, so the
// page stays responsive.
import { convertAllAgain } from './conversion.js';
import { startCapture, stopCapture } from './capture.js';
import { applyLanguage, preferredLanguage, updateEmptyNotes } from './dom.js';
import { takeFiles } from './reading.js';

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
