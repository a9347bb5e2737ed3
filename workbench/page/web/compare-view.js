// Compare with library, value by value: the master-file setup beside the library setup of the
// same name, differing values first, with a check box per row to take the library's value. A
// setup taken from a library shows the values it was taken with too, and merges: what changed
// only in the library is taken, what changed only here is kept, each conflict is chosen per row.
import { SECTIONS, READ_ONLY, displayText, propertyInfo } from './catalogue.js';
import { T, driftSummary } from './texts.js';

const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};
// The table scrolls on its own, so it takes focus (for the arrow keys) and says what it is.
function scrollable(table) {
  const box = el('div', { className: 'compare-scroll', tabIndex: 0 });
  box.setAttribute('role', 'region');
  box.setAttribute('aria-labelledby', 'compare-title');
  box.append(table);
  return box;
}
const ORDER = new Map(SECTIONS.flatMap(([, rows]) => rows.map((r) => r[0])).map((n, i) => [n, i]));

export class CompareView {
  /**
   * onTake(pairs) takes [property, text] pairs into the master-file setup; onMerge(choices) merges
   * from the library with [property, 'library'|'local'] per conflict; onClose ends the view.
   */
  constructor(root, onTake, onMerge, onClose) {
    this.root = root;
    this.onTake = onTake;
    this.onMerge = onMerge;
    this.onClose = onClose;
    this.chosen = new Set();
    this.choices = new Map();
    this.key = null;
    this.onlyDifferences = true;
  }

  render(master, library, labels, outputs) {
    const key = master ? master.name : null;
    if (key !== this.key) {
      this.chosen.clear();
      this.choices.clear();
    }
    this.key = key;
    this.root.replaceChildren();
    if (master?.origin && !master.origin.gone && master.origin.rows.length) {
      this.renderDrift(master, labels, outputs);
      return;
    }
    if (!master || !library) {
      this.root.append(el('p', { className: 'placeholder',
        textContent: master?.origin?.gone
          ? T.libraryGone(master.origin.librarySetup, master.origin.goneReason)
          : T.compareNone }));
      return;
    }
    const mine = new Map(master.values);
    const theirs = new Map(library.values);
    const names = [...new Set([...mine.keys(), ...theirs.keys()])];
    const rows = names.map((name) => ({ name, info: propertyInfo(name), a: mine.get(name) ?? '', b: theirs.get(name) ?? '' }))
        .map((r) => ({ ...r, differs: r.a !== r.b }));
    rows.sort((x, y) => (y.differs - x.differs) || ((ORDER.get(x.name) ?? 999) - (ORDER.get(y.name) ?? 999)));
    const differing = rows.filter((r) => r.differs).length;
    for (const name of [...this.chosen]) {
      if (!rows.some((r) => r.name === name && r.differs)) this.chosen.delete(name);
    }

    const takeButton = el('button', { type: 'button', className: 'primary' });
    const update = () => {
      takeButton.textContent = T.takeValues(this.chosen.size);
      takeButton.disabled = this.chosen.size === 0;
    };
    takeButton.addEventListener('click', () => {
      const pairs = rows.filter((r) => this.chosen.has(r.name)).map((r) => [r.name, r.b]);
      this.chosen.clear();
      this.onTake(pairs);
    });
    const closeButton = el('button', { type: 'button', textContent: T.backToValues });
    closeButton.addEventListener('click', () => this.onClose());
    // Every library value that differs and can be written, one edit after another.
    const takeable = rows.filter((r) => r.differs && !READ_ONLY.has(r.name));
    const takeAll = el('button', { type: 'button', className: 'take-all', textContent: T.takeAll,
      disabled: takeable.length === 0 });
    takeAll.addEventListener('click', () => {
      this.chosen.clear();
      this.onTake(takeable.map((r) => [r.name, r.b]));
    });
    const only = el('input', { type: 'checkbox', checked: this.onlyDifferences });
    only.addEventListener('change', () => {
      this.onlyDifferences = only.checked;
      this.render(master, library, labels, outputs);
    });
    const onlyLabel = el('label', { className: 'only-differences' }, only, T.onlyDifferences);

    const summary = differing === 0 ? T.allSame : T.differFromLibrary(differing, rows.length);
    this.root.append(el('header', { className: 'values-head compare-head' },
        el('h2', { className: 'setup-title', id: 'compare-title', textContent: T.compareHeading(master.name) }),
        el('p', { className: 'note', textContent: T.withLibraryFile(summary, library.listedIn.split(/[\\/]/).pop()) }),
        el('div', { className: 'compare-actions' }, onlyLabel, takeButton, takeAll, closeButton)));

    const table = el('table', { className: 'compare' });
    table.setAttribute('aria-labelledby', 'compare-title');
    table.append(el('thead', {}, el('tr', {},
        el('th', { scope: 'col', className: 'take', textContent: T.take }),
        el('th', { scope: 'col', textContent: T.setting }),
        el('th', { scope: 'col', textContent: T.masterFile }),
        el('th', { scope: 'col', textContent: T.library }))));
    const body = el('tbody');
    for (const row of rows) {
      if (this.onlyDifferences && !row.differs) continue;
      const tr = el('tr', { className: row.differs ? 'differs' : 'same' });
      tr.dataset.property = row.name;
      // The master file's text as the workbench sent it, for whoever compares it with its own.
      tr.dataset.value = row.a;
      const cell = el('td', { className: 'take' });
      if (row.differs) {
        const box = el('input', { type: 'checkbox', checked: this.chosen.has(row.name),
          disabled: READ_ONLY.has(row.name) });
        box.setAttribute('aria-label', T.takeValueOf(row.info.label));
        if (READ_ONLY.has(row.name)) box.title = T.notFromPanel;
        box.addEventListener('change', () => {
          if (box.checked) this.chosen.add(row.name);
          else this.chosen.delete(row.name);
          update();
        });
        cell.append(box);
      }
      const show = (text) => displayText(row.name, text, labels, outputs);
      tr.append(cell,
          el('th', { scope: 'row' }, el('span', { className: 'label', textContent: row.info.label }),
              el('code', { className: 'prop', textContent: row.name })),
          el('td', { className: 'mine', textContent: show(row.a) }),
          el('td', { className: 'theirs', textContent: show(row.b) }));
      body.append(tr);
    }
    table.append(body);
    this.root.append(scrollable(table));
    update();
  }

  renderDrift(master, labels, outputs) {
    const origin = master.origin;
    const shown = new Map(master.values);
    const rank = { conflict: 0, 'changed in library': 1, 'changed here': 2, 'changed alike': 3, unchanged: 4 };
    const rows = origin.rows.map(([name, state, here, base, lib]) => ({ name, state, here, base, lib, info: propertyInfo(name) }));
    rows.sort((x, y) => (rank[x.state] - rank[y.state]) || ((ORDER.get(x.name) ?? 999) - (ORDER.get(y.name) ?? 999)));
    const conflicts = rows.filter((r) => r.state === 'conflict').map((r) => r.name);
    for (const name of [...this.choices.keys()]) if (!conflicts.includes(name)) this.choices.delete(name);
    const toTake = rows.filter((r) => r.state === 'changed in library').length;
    const show = (row, text) => displayText(row.name, text, labels, outputs);

    const mergeButton = el('button', { type: 'button', className: 'primary merge' });
    const update = () => {
      const open = conflicts.filter((name) => !this.choices.has(name)).length;
      mergeButton.disabled = open > 0 || (toTake === 0 && conflicts.length === 0);
      mergeButton.textContent = open > 0 ? T.chooseConflicts(open) : T.mergeFromLibrary;
    };
    mergeButton.addEventListener('click', () => this.onMerge(conflicts.map((name) => [name, this.choices.get(name)])));
    const closeButton = el('button', { type: 'button', textContent: T.backToValues });
    closeButton.addEventListener('click', () => this.onClose());

    const when = origin.takenAt.replace('T', ' ').replace('Z', ' UTC');
    const summary = driftSummary(origin);
    const pending = origin.pending ? T.mergedPending : '';
    this.root.append(el('header', { className: 'values-head compare-head' },
        el('h2', { className: 'setup-title', id: 'compare-title', textContent: T.compareHeading(master.name) }),
        el('p', { className: 'note drift-summary',
          textContent: T.driftNote(summary[0].toUpperCase() + summary.slice(1), origin.librarySetup,
              origin.libraryFile.split(/[\\/]/).pop(), when) + pending }),
        el('div', { className: 'compare-actions' }, mergeButton, closeButton)));

    const table = el('table', { className: 'compare drift' });
    table.setAttribute('aria-labelledby', 'compare-title');
    table.append(el('thead', {}, el('tr', {},
        el('th', { scope: 'col', textContent: T.setting }),
        el('th', { scope: 'col', textContent: T.masterFile }),
        el('th', { scope: 'col', textContent: T.whenTaken }),
        el('th', { scope: 'col', textContent: T.library }),
        el('th', { scope: 'col', className: 'merge-col', textContent: T.merge }))));
    const body = el('tbody');
    for (const row of rows) {
      const tr = el('tr', { className: `drift-row ${row.state.replace(/ /g, '-')}` });
      tr.dataset.property = row.name;
      tr.dataset.state = row.state;
      tr.dataset.value = shown.get(row.name) ?? '';
      const action = el('td', { className: 'merge-col' });
      if (row.state === 'conflict') {
        const group = el('fieldset', { className: 'choice' });
        group.append(el('legend', { className: 'visually-hidden', textContent: T.keepOrTake(row.info.label) }));
        for (const [value, text] of [['local', T.keepMine], ['library', T.takeLibrary]]) {
          const radio = el('input', { type: 'radio', name: `choice-${row.name}`, value, checked: this.choices.get(row.name) === value });
          radio.addEventListener('change', () => {
            this.choices.set(row.name, value);
            update();
          });
          group.append(el('label', {}, radio, text));
        }
        action.append(group);
      } else {
        const says = { 'changed in library': T.takesLibrary, 'changed here': T.keepsMine, 'changed alike': T.sameChange, unchanged: '' }[row.state];
        action.append(el('span', { className: 'state', textContent: says }));
        if (row.state === 'changed in library' && READ_ONLY.has(row.name)) {
          action.append(el('span', { className: 'via-host', textContent: T.setByHost }));
        }
      }
      tr.append(
          el('th', { scope: 'row' }, el('span', { className: 'label', textContent: row.info.label }),
              el('code', { className: 'prop', textContent: row.name })),
          el('td', { className: 'mine', textContent: show(row, shown.get(row.name) ?? row.here) }),
          el('td', { className: 'base', textContent: show(row, row.base) }),
          el('td', { className: 'theirs', textContent: show(row, row.lib) }),
          action);
      body.append(tr);
    }
    table.append(body);
    this.root.append(scrollable(table));
    update();
  }
}
