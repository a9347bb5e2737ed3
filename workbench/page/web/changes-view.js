// What Save would store for the current setup, value by value: the saved value beside the new
// one, both as the editors show them.
import { changesOf, changesTable } from './changes-table.js';
import { T } from './texts.js';

const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export class ChangesView {
  /** onClose() goes back to the values. */
  constructor(root, onClose) {
    this.root = root;
    this.onClose = onClose;
  }

  render(name, data, labels, outputs) {
    const changes = changesOf(data);
    const back = el('button', { type: 'button', textContent: T.backToValues });
    back.addEventListener('click', () => this.onClose());
    const summary = data.saved === null ? T.neverSavedChanges(changes.length)
      : changes.length ? T.saveWouldStore(changes.length) : T.nothingToSave;
    this.root.replaceChildren(el('header', { className: 'values-head compare-head' },
        el('h2', { className: 'setup-title', id: 'changes-title', textContent: T.changesOf(name) }),
        el('p', { className: 'note', textContent: summary }),
        el('div', { className: 'compare-actions' }, back)));
    if (!changes.length) return;
    const box = el('div', { className: 'compare-scroll', tabIndex: 0 });
    box.setAttribute('role', 'region');
    box.setAttribute('aria-labelledby', 'changes-title');
    box.append(changesTable(changes, labels, outputs, T.changesOf(name)));
    this.root.append(box);
  }
}
