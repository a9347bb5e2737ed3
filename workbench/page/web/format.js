// How the page writes what it shows in more than one place: a file's name, a time of the host,
// a name as a search compares it.
import { lang } from './messages.js';

/** The last part of a path, either slash; '' for none. */
export const baseName = (path) => (path ?? '').split(/[\\/]/).pop();

/** text as a search compares it: lower case, accents and other combining marks taken off. */
export function fold(text) {
  return text.normalize('NFD').replace(/\p{M}/gu, '').toLowerCase();
}

/** A UTC time of the host ("2026-12-06T14:18:17Z") as a person reads it here, to the minute. */
export function shortTime(iso) {
  const when = new Date(iso);
  if (Number.isNaN(when.getTime())) return iso;
  const two = (n) => String(n).padStart(2, '0');
  return `${when.getFullYear()}-${two(when.getMonth() + 1)}-${two(when.getDate())} ${two(when.getHours())}:${two(when.getMinutes())}`;
}

/** The same to the second, with the UTC time the file holds. */
export function longTime(iso) {
  const when = new Date(iso);
  if (Number.isNaN(when.getTime())) return iso;
  return `${when.toLocaleString(lang)} (${iso.replace('T', ' ').replace('Z', ' UTC')})`;
}
