// What Save would store for a master-file setup, value by value, and the table that shows it:
// the saved value beside the new one, both as the editors show them. The Changes view and the
// Reset question show it.
import { SECTIONS, displayText, propertyInfo, sendableText } from './catalogue.js';
import { T } from './texts.js';

const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};
const ORDER = new Map(SECTIONS.flatMap(([, rows]) => rows.map((r) => r[0])).map((n, i) => [n, i]));

/**
 * The changes of a master-file setup's values as the workbench sent them ({ values, saved,
 * exact }): [{ property, saved, now }] in section order, texts as they are sent; saved is
 * undefined for every value of a setup never saved.
 */
export function changesOf(data) {
  const exact = new Map(data.exact ?? []);
  const now = (name, text) => exact.get(name) ?? sendableText(propertyInfo(name).type, text);
  const rows = data.saved === null
    ? data.values.map(([name, text]) => ({ property: name, saved: undefined, now: now(name, text) }))
    : data.saved.map(([name, text]) => ({ property: name, saved: text,
      now: now(name, data.values.find(([n]) => n === name)?.[1] ?? '') }));
  return rows.sort((a, b) => (ORDER.get(a.property) ?? 999) - (ORDER.get(b.property) ?? 999));
}

/** A table of changes: setting, saved value, new value. */
export function changesTable(changes, labels, outputs, caption) {
  const words = (name, text) => (text === undefined ? T.notSavedYet : displayText(name, text, labels, outputs));
  const table = el('table', { className: 'compare changes' });
  table.append(el('caption', { className: 'visually-hidden', textContent: caption }));
  table.append(el('thead', {}, el('tr', {},
      el('th', { scope: 'col', textContent: T.setting }),
      el('th', { scope: 'col', textContent: T.savedColumn }),
      el('th', { scope: 'col', className: 'arrow' }, el('span', { className: 'visually-hidden', textContent: T.becomes })),
      el('th', { scope: 'col', textContent: T.newColumn }))));
  const body = el('tbody');
  for (const change of changes) {
    const info = propertyInfo(change.property);
    const tr = el('tr', { className: 'differs' });
    tr.dataset.property = change.property;
    const arrow = el('td', { className: 'arrow', textContent: '\u2192' });
    arrow.setAttribute('aria-hidden', 'true');
    tr.append(el('th', { scope: 'row' }, el('span', { className: 'label', textContent: info.label }),
        el('code', { className: 'prop', textContent: change.property })),
    el('td', { className: 'old', textContent: words(change.property, change.saved) }),
    arrow,
    el('td', { className: 'new', textContent: words(change.property, change.now) }));
    body.append(tr);
  }
  table.append(body);
  return table;
}
