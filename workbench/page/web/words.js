// What a command did, in words: the page's status line says "Saved “Lobby”", not the command
// line that ran. Commands come as the workbench echoes them (from this page, another one or the
// prompt), each followed by what it printed.

import { propertyInfo, shownText } from './catalogue.js';
import { lang } from './messages.js';
import { T } from './texts.js';

// A value as the editors show it: a choice by its label, a check box as on or off.
function valueWords(property, text, labels) {
  const info = propertyInfo(property);
  if (info.type === 'bool') return text === 'true' ? T.on : text === 'false' ? T.off : text;
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
  new: ([from]) => [T.didNew(from), T.notNew(from)],
  duplicate: ([name]) => [T.didDuplicate(name), T.notDuplicate(name)],
  rename: ([from, to]) => [T.didRename(from, to), T.notRename(from)],
  delete: ([name]) => [T.didDelete(name), T.notDelete(name)],
  reset: ([name]) => [T.didReset(name), T.notReset(name)],
  save: ([name]) => [T.didSave(name), T.notSave(name)],
  'copy-from-library': ([name]) => [T.didCopy(name), T.notCopy(name)],
  'update-from-library': ([name]) => [T.didUpdate(name), T.notUpdate(name)],
  'merge-from-library': ([name]) => [T.didMerge(name), T.notMerge(name)],
  edit: ([name, property, value], labels) => [T.didEdit(propertyInfo(property).label, name, valueWords(property, value, labels)),
    T.notEdit(propertyInfo(property).label, name)],
  restore: ([name, version]) => [T.didRestore(name, version), T.notRestore(name, version)],
  undelete: ([name, as]) => [as ? T.didUndeleteAs(name, as) : T.didUndelete(name), T.notUndelete(name)],
  open: ([file]) => [T.didOpen(file), T.notOpen(file)],
  library: ([file]) => [T.didOfferLibrary(file), T.notOfferLibrary(file)],
  import: ([file]) => [T.didImport(file), T.notImport(file)],
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
    const text = named ? reason.text[0].toUpperCase() + reason.text.slice(1) : T.notDoneBecause(notDone, reason.text);
    return { text, failed: true };
  }
  const zero = ANSWERS_ZERO.has(words[0]) && events.some((e) => e.kind === 'result' && e.text.trim() === '0');
  if (zero) return { text: notDone, failed: true };
  return { text: done, failed: false };
}

/** Names as a person lists them: “A”, “B” and “C”. */
export function nameList(names) {
  return new Intl.ListFormat(lang, { type: 'conjunction' }).format(names.map((name) => T.quoted(name)));
}
