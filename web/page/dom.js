// The page's language and the small helpers every part uses to build its
// elements. Texts are kept on the elements in both languages, so that a
// change of language sets them again without redrawing anything (a player
// keeps playing).
import { PAGE_TEXTS } from './texts.js';

export const view = { language: 'en' };

const languageListeners = [];

// `listener` runs after each change of language, for what must be drawn
// again in the other one (the maps).
export function onLanguage(listener) {
  languageListeners.push(listener);
}

export function preferredLanguage() {
  const wanted = (navigator.languages && navigator.languages[0]) || navigator.language || 'en';
  return wanted.toLowerCase().startsWith('ru') ? 'ru' : 'en';
}

export function text(key) {
  return PAGE_TEXTS[view.language][key];
}

export function applyLanguage(language) {
  view.language = language;
  document.documentElement.lang = language;
  for (const element of document.querySelectorAll('[data-text]')) {
    element.textContent = text(element.dataset.text);
  }
  for (const button of document.querySelectorAll('[data-lang]')) {
    button.setAttribute('aria-pressed', String(button.dataset.lang === language));
  }
  for (const element of document.querySelectorAll('[data-ru]')) {
    element.textContent = element.dataset[language];
  }
  for (const listener of languageListeners) listener(language);
}

export function make(tag, className, content) {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (content !== undefined) element.textContent = content;
  return element;
}

// Sets a text that follows the page's language.
export function setBilingual(element, texts) {
  element.dataset.ru = texts.ru;
  element.dataset.en = texts.en;
  element.textContent = texts[view.language];
}

export function bilingualElement(tag, className, texts) {
  const element = make(tag, className);
  setBilingual(element, texts);
  return element;
}

export function bothLanguages(key) {
  return { ru: PAGE_TEXTS.ru[key], en: PAGE_TEXTS.en[key] };
}

export function prefixed(key, tail) {
  return { ru: PAGE_TEXTS.ru[key] + tail, en: PAGE_TEXTS.en[key] + tail };
}

// The page's words for `key` with each {name} replaced by values[name].
export function filled(key, values) {
  const fill = (pattern) => pattern.replace(/\{(\w+)\}/g, (whole, name) => (name in values ? values[name] : whole));
  return { ru: fill(PAGE_TEXTS.ru[key]), en: fill(PAGE_TEXTS.en[key]) };
}

export function updateEmptyNotes() {
  document.getElementById('no-images').hidden =
    document.getElementById('images').children.length > 0;
  document.getElementById('no-recordings').hidden =
    document.getElementById('recordings').children.length > 0;
}

// A link that saves what `url` holds under `name`.
export function downloadLink(url, name, label) {
  const link = make('a', 'download');
  link.href = url;
  link.download = name;
  setBilingual(link, prefixed(label, name));
  return link;
}
