// A recording's damage map: the picture the reading module draws (the same
// as lentok-read --map), put into the recording's entry. Pointing at it
// (a mouse or a finger) asks the module what lies at that time; the
// readout shows its answer. Here is only the picture's geometry: which
// time lies under the pointer.
import { bothLanguages, make, onLanguage, setBilingual, view } from './dom.js';

const maps = [];

onLanguage(() => {
  for (const map of maps) showMap(map);
});

// `svg` holds the picture by language, one of them at least (the other
// follows through addMapLanguage); `ask(seconds)` resolves to the reading
// at that time in both languages.
export function addMap(entry, svg, ask) {
  const container = make('figure', 'map');
  const readout = make('figcaption', 'map-readout');
  readout.setAttribute('aria-live', 'polite');
  container.append(readout);
  entry.element.insertBefore(container, entry.list);
  const map = { container, readout, svg, ask, picture: null, pointed: null, asked: 0 };
  maps.push(map);
  showMap(map);
  // The last reading stays when the pointer leaves, so that it can be
  // copied or read at leisure.
  for (const type of ['pointermove', 'pointerdown']) {
    container.addEventListener(type, (event) => pointAt(map, event));
  }
  return map;
}

// The picture in another language, drawn at once if the page shows it.
export function addMapLanguage(map, language, svg) {
  map.svg[language] = svg;
  if (language === view.language) showMap(map);
}

// Parsed as XML rather than set as HTML, so that nothing in it can run.
function showMap(map) {
  // Until the picture in this language comes, the other stays.
  if (!map.svg[view.language]) return;
  const parsed = new DOMParser().parseFromString(map.svg[view.language], 'image/svg+xml');
  const root = parsed.documentElement;
  if (root.nodeName !== 'svg') return;
  const picture = document.importNode(root, true);
  picture.setAttribute('role', 'img');
  picture.removeAttribute('width');
  picture.removeAttribute('height');
  if (map.picture) map.picture.replaceWith(picture); else map.container.prepend(picture);
  map.picture = picture;
  if (map.pointed !== null) drawCursor(map, map.pointed); else clearPoint(map);
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

async function showPoint(map, seconds) {
  map.pointed = seconds;
  drawCursor(map, seconds);
  // Hook for scripts and tests: a reading is on its way.
  const asked = ++map.asked;
  map.readout.dataset.pending = 'true';
  const reading = await map.ask(seconds);
  if (asked !== map.asked) return;
  delete map.readout.dataset.pending;
  if (reading) setBilingual(map.readout, reading);
}

function drawCursor(map, seconds) {
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
  map.asked += 1;
  delete map.readout.dataset.pending;
  setBilingual(map.readout, bothLanguages('mapHint'));
  const cursor = map.picture && map.picture.querySelector('line.map-cursor');
  if (cursor) cursor.remove();
}
