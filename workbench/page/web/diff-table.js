// A table of two setups, or two states of one, value by value: the values that differ first and
// marked, those that are the same behind a toggle. The texts are the host's, exact to the last
// digit. The comparison of two setups and the history draw it.
import { SECTIONS, displayText, propertyInfo } from './catalogue.js';
import { T } from './texts.js';

const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};
const ORDER = new Map(SECTIONS.flatMap(([, rows]) => rows.map((r) => r[0])).map((n, i) => [n, i]));
let uid = 0;

/** A value in the editors' words: Yes or No, the renderer's name for an enumerated value, the
 * output channels by name; else its text. */
export function readable(labels, property, text, outputs) {
  return displayText(property, text, labels, outputs);
}

export class DiffTable {
  constructor() {
    this.showEqual = false;
    this.id = `diff-${++uid}`;
  }

  /**
   * A table of rows ([[property, a, b]]) under the headings a and b, with a line that sums it up
   * and the toggle for the equal values. single: one state, every value under aHeading.
   */
  render({ rows, aHeading, bHeading, labels, outputs, caption, single = false }) {
    const table = el('table', { className: `compare diff${single ? ' single' : ''}` });
    table.append(el('caption', { className: 'visually-hidden', textContent: caption }));
    const heads = [el('th', { scope: 'col', textContent: T.setting }), el('th', { scope: 'col', textContent: aHeading })];
    if (!single) heads.push(el('th', { scope: 'col', textContent: bHeading }));
    table.append(el('thead', {}, el('tr', {}, ...heads)));
    const all = rows.map(([name, a, b]) => ({ name, a, b, info: propertyInfo(name), differs: !single && a !== b }));
    all.sort((x, y) => (y.differs - x.differs) || ((ORDER.get(x.name) ?? 999) - (ORDER.get(y.name) ?? 999)));
    const differing = all.filter((r) => r.differs).length;
    const showEqual = this.showEqual || single;
    const body = el('tbody', { id: this.id });
    for (const row of all) {
      if (!row.differs && !showEqual) continue;
      const tr = el('tr', { className: single ? 'value' : row.differs ? 'differs' : 'same' });
      tr.dataset.property = row.name;
      tr.append(
          el('th', { scope: 'row' }, el('span', { className: 'label', textContent: row.info.label }),
              el('code', { className: 'prop', textContent: row.name })),
          el('td', { className: 'mine', textContent: readable(labels, row.name, row.a, outputs) }));
      if (!single) tr.append(el('td', { className: 'theirs', textContent: readable(labels, row.name, row.b, outputs) }));
      body.append(tr);
    }
    table.append(body);

    const summary = el('p', { className: 'note diff-summary',
      textContent: single ? T.allValues(all.length) : T.differing(differing, all.length) });
    const parts = [summary];
    if (!single && differing < all.length) {
      const toggle = el('button', { type: 'button', className: 'link-button',
        textContent: this.showEqual ? T.hideEqual : T.showEqual(all.length - differing) });
      toggle.setAttribute('aria-expanded', String(this.showEqual));
      toggle.setAttribute('aria-controls', this.id);
      toggle.addEventListener('click', () => {
        this.showEqual = !this.showEqual;
        const again = this.render({ rows, aHeading, bHeading, labels, outputs, caption, single });
        for (let i = 0; i < parts.length; i += 1) parts[i].replaceWith(again[i]);
        again[1].focus();
      });
      parts.push(toggle);
    }
    // Scrolled by the keyboard too: a region that takes focus, named as its table.
    const scroll = el('div', { className: 'compare-scroll', tabIndex: 0 }, table);
    scroll.setAttribute('role', 'region');
    scroll.setAttribute('aria-label', caption);
    parts.push(scroll);
    return parts;
  }
}
