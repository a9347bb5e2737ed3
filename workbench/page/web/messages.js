// The session's message catalogue. The workbench sends the texts of its culture (the module's
// tables, which hold the page's texts too); every text the page shows is looked up here, and
// its English one stands in for whatever the catalogue lacks.
let catalogue = { lang: 'en', texts: {} };
try {
  const response = await fetch('texts.json');
  if (response.ok) catalogue = await response.json();
} catch {
  // No workbench to ask (the page's modules loaded on their own): English.
}

/** The language the texts are in, for <html lang>. */
export const lang = catalogue.lang || 'en';

/** The text of key, else neutral; "{0}", "{1}"... in it take args, in order. */
export function text(key, neutral, ...args) {
  const found = Object.hasOwn(catalogue.texts, key) ? catalogue.texts[key] : neutral;
  return args.length ? fill(found, args) : found;
}

/** Whether the catalogue has key: false means the page shows its English text. */
export function has(key) {
  return Object.hasOwn(catalogue.texts, key);
}

function fill(template, args) {
  return template.replace(/\{(\d+)\}/g, (whole, n) => (Number(n) < args.length ? String(args[n]) : whole));
}

/**
 * Puts the catalogue's texts into table in place: a text entry becomes the catalogue's text of
 * prefix + name, and a function entry, whose arguments the catalogue's template takes as {0},
 * {1}..., formats that template; its variants KEY_zero and KEY_one, where a language has them,
 * are taken when the first argument is 0 or 1. Entries the catalogue lacks stay as they are.
 */
export function localize(table, prefix) {
  for (const [name, neutral] of Object.entries(table)) {
    const key = prefix + name;
    if (!has(key)) continue;
    if (typeof neutral === 'function') {
      const forms = { 0: catalogue.texts[`${key}_zero`], 1: catalogue.texts[`${key}_one`] };
      table[name] = (...args) => fill(forms[args[0]] ?? catalogue.texts[key], args);
    } else if (typeof neutral === 'string') {
      table[name] = catalogue.texts[key];
    }
  }
  return table;
}

/** The key of a section's title: "Camera and output" is "Section_CameraAndOutput". */
export function sectionKey(title) {
  const words = title.split(/[^A-Za-z0-9]+/).filter(Boolean);
  return `Section_${words.map((w) => w[0].toUpperCase() + w.slice(1)).join('')}`;
}

/** The renderer's name for value of property, in the catalogue's language. */
export function valueLabel(property, value, neutral) {
  return text(`Value_${property}_${value}`, neutral);
}

/**
 * Puts the catalogue's texts into the page's markup: an element's data-t names the key of its
 * text, data-t-title, data-t-placeholder and data-t-label those of its title, placeholder and
 * aria-label; what the markup holds is the English text. Also sets <html lang>.
 */
export function localizeDocument(root = document) {
  document.documentElement.lang = lang;
  for (const node of root.querySelectorAll('[data-t]')) node.textContent = text(node.dataset.t, node.textContent);
  for (const [attribute, data] of [['title', 'tTitle'], ['placeholder', 'tPlaceholder'], ['aria-label', 'tLabel']]) {
    for (const node of root.querySelectorAll(`[data-${data.replace(/[A-Z]/g, (c) => `-${c.toLowerCase()}`)}]`)) {
      node.setAttribute(attribute, text(node.dataset[data], node.getAttribute(attribute) ?? ''));
    }
  }
}
