// Two setups side by side, value by value, as the list picks them.
import { DiffTable } from './diff-table.js';
import { T } from './texts.js';

const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export class DiffView {
  constructor(root) {
    this.root = root;
    this.table = new DiffTable();
  }

  /** Shows a line of text instead of a comparison. */
  placeholder(text) {
    this.root.replaceChildren(el('p', { className: 'placeholder', textContent: text }));
  }

  /** Shows a and b (their titles) value by value; actions: buttons beside the title. */
  show({ aTitle, bTitle, rows, labels, outputs, actions = [] }) {
    const title = el('h2', { className: 'setup-title', id: 'diff-title', textContent: T.compareTitle(aTitle, bTitle) });
    const head = el('header', { className: 'values-head compare-head' }, title);
    if (actions.length) head.append(el('div', { className: 'compare-actions' }, ...actions));
    const [summary, ...rest] = this.table.render({ rows, aHeading: aTitle, bHeading: bTitle, labels, outputs,
      caption: T.compareTitle(aTitle, bTitle) });
    head.append(summary);
    this.root.replaceChildren(head, ...rest);
  }
}
