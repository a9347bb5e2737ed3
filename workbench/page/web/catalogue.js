// The renderer's settings as the panel shows them: sections, labels, one-line descriptions and
// the type of each value, in the session's language. The build makes settings-catalogue.js from
// the settings catalogue; its English texts stand in for what the session's catalogue lacks.
import { CATALOGUE } from './settings-catalogue.js';
import { text } from './messages.js';
import { T } from './texts.js';

/** [title, [[name, type, label, description]...]] for each section, in the order shown. */
export const SECTIONS = CATALOGUE.map(([id, title, rows]) => [
  text(`Section_${id}`, title),
  rows.map(([name, type, label, description]) =>
    [name, type, text(`Property_${name}`, label), text(`Property_${name}_Description`, description)]),
]);

const BY_NAME = new Map();
for (const [section, rows] of SECTIONS) {
  for (const [name, type, label, description] of rows) {
    BY_NAME.set(name, { name, type, label, description, section });
  }
}

/** What the panel knows of a property; a name it does not know is shown as text. */
export function propertyInfo(name) {
  return BY_NAME.get(name) ??
      { name, type: 'text', label: name, description: T.notKnown, section: T.otherSection };
}

/** Values the renderer cannot take through the panel: the registry writes no signed 32-bit value. */
export const READ_ONLY = new Set([...BY_NAME.values()].filter((p) => p.type === 'i32').map((p) => p.name));

const U32_MAX = 4294967295n;

/**
 * The text to send for what the user typed, or an error message. Nothing is sent for a text
 * that is not a value of the type.
 */
export function checkText(type, text) {
  const t = text.trim();
  if (type === 'u32') {
    if (!/^\d+$/.test(t)) return { error: T.wholeNumber };
    if (BigInt(t) > U32_MAX) return { error: T.atMost };
    return { text: BigInt(t).toString() };
  }
  if (type === 'f64') {
    if (!/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(t)) return { error: T.enterNumber };
    const v = Number(t);
    if (!Number.isFinite(v)) return { error: T.tooLarge };
    return { text: t };
  }
  if (type === 'bool') {
    if (t !== 'true' && t !== 'false') return { error: T.trueOrFalse };
    return { text: t };
  }
  return { text };
}

/** A value as a person reads it: numbers without trailing zeros. */
export function shownText(type, text) {
  if (type === 'f64' && /^[+-]?\d+\.\d+$/.test(text)) {
    return text.replace(/(\.\d*?)0+$/, '$1').replace(/\.$/, '');
  }
  return text;
}

const asInteger = (text) => (/^[+-]?\d+$/.test(text.trim()) ? BigInt(text.trim()) : null);
const WIDTH = { u32: 32, u64: 64 };

/**
 * The text to send for a value as the panel or the host wrote it: the panel writes unsigned
 * values as signed decimals ("-1"), the editors send them unsigned.
 */
export function sendableText(type, text) {
  const width = WIDTH[type];
  const n = width ? asInteger(text) : null;
  return n === null ? text : BigInt.asUintN(width, n).toString();
}

/** Whether two texts of a value of that type are the same value ("0.500000" and "0.5" are). */
export function sameValue(type, a, b) {
  if (a === b) return true;
  if (a === undefined || b === undefined || a === null || b === null) return false;
  if (type === 'f64') return Number(a) === Number(b) && a.trim() !== '' && b.trim() !== '';
  if (WIDTH[type] || type === 'i32') {
    const x = asInteger(a);
    const y = asInteger(b);
    if (x === null || y === null) return false;
    return WIDTH[type] ? BigInt.asUintN(WIDTH[type], x) === BigInt.asUintN(WIDTH[type], y) : x === y;
  }
  return false;
}

/**
 * A value as its editor shows it, in words: Yes/No for a check box, the renderer's name of an
 * enumerated value, the output channels by name.
 */
export function displayText(name, text, labels, outputs) {
  const info = propertyInfo(name);
  if (text === undefined || text === null) return '';
  if (info.type === 'bool') return text === 'true' ? T.boolYes : text === 'false' ? T.boolNo : text;
  if (name === 'Outputs') {
    const n = asInteger(text);
    if (n === null) return text;
    const bits = BigInt.asUintN(64, n);
    const names = (outputs ?? []).filter(([bit]) => ((bits >> BigInt(bit)) & 1n) === 1n).map(([, label]) => label);
    return names.length ? names.reduce((line, label) => T.joined(line, label)) : T.noChannels;
  }
  const named = labels?.[name];
  if (named && (info.type === 'u32' || info.type === 'i32')) {
    const n = asInteger(text);
    const value = n === null ? text : (info.type === 'u32' ? BigInt.asUintN(32, n) : n).toString();
    const found = named.find(([v]) => String(v) === value);
    if (found) return found[1];
  }
  if (info.type === 'u32' || info.type === 'u64') return sendableText(info.type, text);
  return shownText(info.type, text);
}
