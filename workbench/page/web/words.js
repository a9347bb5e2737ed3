// What a command did, in words: the page's status line says "Saved “Lobby”", not the command
// line that ran. Commands come as the workbench echoes them (from this page, another one or the
// prompt), each followed by what it printed.

import { propertyInfo, shownText } from './catalogue.js';

const q = (name) => `\u201C${name}\u201D`;

// A value as the editors show it: a choice by its label, a check box as on or off.
function valueWords(property, text, labels) {
  const info = propertyInfo(property);
  if (info.type === 'bool') return text === 'true' ? 'on' : text === 'false' ? 'off' : text;
  const label = labels?.[property]?.find(([value]) => String(value) === text);
  return label ? label[1] : shownText(info.type, text);
}

/** The words of a command line as the workbench echoes it: blanks apart, "…" with \" and \\ inside. */
export function splitCommand(line) {
  const words = [];
  let at = 0;
  while (at < line.length) {
    while (line[at] === ' ' || line[at] === '\t') at += 1;
    if (at >= line.length || line[at] === '#') break;
    let word = '';
    if (line[at] === '"') {
      at += 1;
      while (at < line.length && line[at] !== '"') {
        if (line[at] === '\\' && at + 1 < line.length) at += 1;
        word += line[at];
        at += 1;
      }
      at += 1;
    } else {
      while (at < line.length && line[at] !== ' ' && line[at] !== '\t') word += line[at++];
    }
    words.push(word);
  }
  return words;
}

// Each command the page or the prompt runs that changes something: what it did, and what did
// not happen when it failed. labels: each choice property's [value, label] pairs.
const SAID = {
  new: ([from]) => [`Added a setup with the values of ${q(from)}`, `No setup was added from ${q(from)}`],
  duplicate: ([name]) => [`Duplicated ${q(name)}`, `${q(name)} was not duplicated`],
  rename: ([from, to]) => [`Renamed ${q(from)} to ${q(to)}`, `${q(from)} was not renamed`],
  delete: ([name]) => [`Deleted ${q(name)}`, `${q(name)} was not deleted`],
  reset: ([name]) => [`Put ${q(name)} back to its saved values`, `${q(name)} was not reset`],
  save: ([name]) => [`Saved ${q(name)}`, `${q(name)} was not saved`],
  'copy-from-library': ([name]) => [`Copied ${q(name)} from the library into the master file`, `${q(name)} was not copied from the library`],
  'update-from-library': ([name]) => [`Updated ${q(name)} from the library and saved it`, `${q(name)} was not updated from the library`],
  'merge-from-library': ([name]) => [`Merged the library\u2019s newer values into ${q(name)} (not saved)`, `Nothing was merged into ${q(name)}`],
  edit: ([name, property, value], labels) => [`Set ${propertyInfo(property).label} of ${q(name)} to ${valueWords(property, value, labels)}`,
    `${propertyInfo(property).label} of ${q(name)} was not changed`],
  restore: ([name, version]) => [`Brought back the values of version ${version} of ${q(name)} (not saved)`,
    `Version ${version} of ${q(name)} was not brought back`],
  undelete: ([name, as]) => [as ? `Restored the deleted ${q(name)} as ${q(as)}` : `Restored the deleted ${q(name)}`,
    `The deleted ${q(name)} was not restored`],
  open: ([file]) => [`Opened ${file}`, `${file} was not opened`],
  library: ([file]) => [`Offered the library ${file}`, `The library ${file} was not offered`],
  import: ([file]) => [`Imported the setups of ${file}`, `Nothing was imported from ${file}`],
};

// Commands that answer 0 when they did nothing, without a word of why.
const ANSWERS_ZERO = new Set(['duplicate', 'delete']);

/**
 * What one command did: { text, failed }, or null for a command that changes nothing the page
 * shows (show, list, help…). events: what the command printed, as activity events (kind
 * 'error', 'message' or 'result', text).
 */
export function describe(words, events, labels) {
  const say = SAID[words[0]];
  if (!say) return null;
  const [done, notDone] = say(words.slice(1), labels);
  const reason = events.find((e) => e.kind === 'error' || e.kind === 'message');
  // The host's reasons name the setup already; the module's do not.
  if (reason) {
    const named = words.slice(1).some((w) => reason.text.includes(`"${w}"`));
    const text = named ? reason.text[0].toUpperCase() + reason.text.slice(1) : `${notDone}: ${reason.text}`;
    return { text, failed: true };
  }
  const zero = ANSWERS_ZERO.has(words[0]) && events.some((e) => e.kind === 'result' && e.text.trim() === '0');
  if (zero) return { text: notDone, failed: true };
  return { text: done, failed: false };
}

/** Names as a person lists them: “A”, “B” and “C”. */
export function nameList(names) {
  return new Intl.ListFormat('en', { type: 'conjunction' }).format(names.map(q));
}
