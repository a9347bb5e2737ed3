// The history of a master-file setup, or of one deleted from it: its versions newest first, each
// with when, what, who and the values its action changed; the version picked beside the setup now
// (or, for a deleted setup, beside its values when deleted), with Restore.
import * as server from './server.js';
import { DiffTable, readable } from './diff-table.js';
import { longTime, shortTime } from './format.js';
import { T } from './texts.js';

const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

const ACTIONS = {
  'save': T.actionSave,
  'save --force': T.actionForcedSave,
  'save at close': T.actionSaveAtClose,
  'update from library': T.actionUpdateFromLibrary,
  'rename': T.actionRename,
  'delete': T.actionDelete,
  'undelete': T.actionUndelete,
  'reset': T.actionReset,
  'import': T.actionImport,
  'host write': T.actionHostWrite,
  'audit fix': T.actionAuditFix,
  'audit lock fix': T.actionAuditLockFix,
  'audit deploy': T.actionAuditDeploy,
  'audit undo': T.actionAuditUndo,
};

/** A version's action in the page's language; one the host's caller named shows as named. */
export function actionText(action) {
  return Object.hasOwn(ACTIONS, action) ? ACTIONS[action] : action;
}

/** What one version's action changed, in a line. */
function changesText(version, labels, outputs) {
  if (version.action === 'delete') return T.changedDeleted;
  const parts = [];
  if (version.action === 'undelete') parts.push(T.changedBroughtBack);
  if (version.nameAfter && version.nameAfter !== version.name) parts.push(T.changedName(version.name, version.nameAfter));
  for (const [property, before, after] of version.changes) {
    parts.push(`${property} ${readable(labels, property, before, outputs)} \u2192 ${readable(labels, property, after, outputs)}`);
  }
  return parts.length ? parts.reduce((line, part) => T.joined(line, part)) : '\u2014';
}

export class HistoryView {
  /** onRestore(name, number) restores a version; onUndelete(name) brings a deleted setup back. */
  constructor(root, { onRestore, onUndelete }) {
    this.root = root;
    this.onRestore = onRestore;
    this.onUndelete = onUndelete;
    this.name = null;
    this.deleted = false;
    this.data = null;
    this.picked = null;
    this.asking = 0;
    // The newest answers drawn: an answer is drawn unless a newer one already was, so that asks
    // coming faster than answers (a busy workbench, steps in a row) still show something.
    this.drawn = 0;
    this.compared = 0;
    this.table = new DiffTable();
    this.labels = {};
    this.outputs = [];
  }

  placeholder(text) {
    this.name = null;
    this.root.replaceChildren(el('p', { className: 'placeholder', textContent: text }));
  }

  /**
   * Shows the history of the master file's setup name (modified: it holds unsaved changes), or
   * of the deleted one (deletedRow: its entry in the list); labels and outputs name the values.
   */
  async show(name, deletedRow, { labels, outputs }, modified = false) {
    this.modified = modified;
    const another = name !== this.name || Boolean(deletedRow) !== this.deleted;
    this.name = name;
    this.deleted = Boolean(deletedRow);
    this.deletedRow = deletedRow;
    this.labels = labels;
    this.outputs = outputs;
    if (another) {
      this.picked = null;
      this.data = null;
      this.root.replaceChildren(el('p', { className: 'placeholder', textContent: T.loadingHistory }));
    }
    await this.refresh();
  }

  /** Asks again for the versions, and for the comparison of the one picked. */
  async refresh() {
    if (this.name === null) return;
    const ask = ++this.asking;
    const name = this.name;
    let data;
    try {
      data = await server.history(name);
    } catch (error) {
      data = { error: error.message };
    }
    if (ask < this.drawn || name !== this.name) return;
    this.drawn = ask;
    this.data = data;
    const numbers = (data.versions ?? []).map((v) => v.number);
    if (!numbers.includes(this.picked)) this.picked = numbers[0] ?? null;
    await this.render(ask);
  }

  async render(ask) {
    const data = this.data;
    const title = el('h2', { className: 'setup-title', id: 'history-title',
      textContent: this.deleted ? T.deletedTitle(this.name) : T.historyOf(this.name) });
    const head = el('header', { className: 'values-head compare-head history-head' }, title);
    if (this.deleted) {
      const restore = el('button', { type: 'button', className: 'primary restore-deleted', textContent: T.restoreDeleted });
      restore.addEventListener('click', () => this.onUndelete(this.name));
      head.append(el('div', { className: 'compare-actions' }, restore));
      head.append(el('p', { className: 'note', textContent: T.deletedNote(this.deletedRow.deletedBy, longTime(this.deletedRow.deletedAt)) }));
    }
    if (data.error) {
      this.root.replaceChildren(head, el('p', { className: 'placeholder', textContent: data.error }));
      return;
    }
    const versions = data.versions;
    if (!this.deleted) head.append(el('p', { className: 'note', textContent: versions.length ? T.versionsNote(versions.length) : T.noVersions }));
    if (!versions.length) {
      this.root.replaceChildren(head);
      return;
    }

    const list = el('div', { className: 'versions', tabIndex: 0 });
    list.setAttribute('role', 'listbox');
    list.setAttribute('aria-label', T.versionsLabel(this.name));
    versions.forEach((version, i) => {
      const option = el('div', { className: 'version', id: `version-${version.number}` });
      option.setAttribute('role', 'option');
      option.setAttribute('aria-selected', String(version.number === this.picked));
      option.setAttribute('aria-posinset', String(i + 1));
      option.setAttribute('aria-setsize', String(versions.length));
      option.dataset.number = String(version.number);
      option.dataset.action = version.action;
      const changes = changesText(version, this.labels, this.outputs);
      option.title = T.versionTooltip(longTime(version.madeAt), actionText(version.action), version.madeBy, changes);
      option.append(
          el('span', { className: 'version-number', textContent: String(version.number) }),
          el('span', { className: 'version-when', textContent: shortTime(version.madeAt) }),
          el('span', { className: `version-action ${version.action.replace(/[^a-z]+/g, '-')}`, textContent: actionText(version.action) }),
          el('span', { className: 'version-user', textContent: version.madeBy }),
          el('span', { className: 'version-changes', textContent: changes }));
      option.addEventListener('click', () => this.pick(version.number, list));
      list.append(option);
    });
    if (this.picked !== null) list.setAttribute('aria-activedescendant', `version-${this.picked}`);
    list.addEventListener('keydown', (e) => {
      const at = versions.findIndex((v) => v.number === this.picked);
      const next = { ArrowDown: at + 1, ArrowUp: at - 1, Home: 0, End: versions.length - 1 }[e.key];
      if (next === undefined) return;
      e.preventDefault();
      const version = versions[Math.max(0, Math.min(versions.length - 1, next))];
      this.pick(version.number, list);
    });
    const compare = el('section', { className: 'version-compare' });
    compare.setAttribute('aria-live', 'polite');
    const hadFocus = this.root.contains(document.activeElement) && document.activeElement.matches('.versions');
    this.root.replaceChildren(head, list, compare);
    if (hadFocus) list.focus();
    await this.compare(compare, ask);
  }

  pick(number, list) {
    if (number === this.picked) return;
    this.picked = number;
    for (const option of list.querySelectorAll('[role="option"]')) {
      option.setAttribute('aria-selected', String(Number(option.dataset.number) === number));
    }
    list.setAttribute('aria-activedescendant', `version-${number}`);
    list.querySelector(`#version-${number}`)?.scrollIntoView({ block: 'nearest' });
    this.compare(this.root.querySelector('.version-compare'), ++this.asking);
  }

  // The version picked beside the setup now, or beside the deleted setup's last values.
  async compare(section, ask) {
    const version = this.data.versions.find((v) => v.number === this.picked);
    if (!version || !section) return;
    if (version.action === 'undelete') {
      section.replaceChildren(el('p', { className: 'note', textContent: T.undeleteMarker }));
      return;
    }
    const newest = this.data.versions[0];
    const side = (number) => ({ group: 'master', library: '', name: this.name, version: number });
    const against = this.deleted ? side(newest.number) : side(0);
    // A deleted setup's last version is the state it was deleted in: shown on its own.
    const single = this.deleted && version.number === newest.number;
    let result;
    try {
      result = await server.diff(side(version.number), against);
    } catch (error) {
      result = { error: error.message };
    }
    if (ask < this.compared || !section.isConnected) return;
    this.compared = ask;
    if (result.error) {
      section.replaceChildren(el('p', { className: 'note', textContent: result.error }));
      return;
    }
    const aHeading = single ? T.whenDeleted : T.versionHeading(version.number);
    const bHeading = this.deleted ? T.whenDeleted : T.now;
    const differs = result.rows.some(([, a, b]) => a !== b);
    const bar = el('div', { className: 'version-bar' },
        el('h3', { className: 'version-title', textContent: T.versionTitle(aHeading, actionText(version.action), shortTime(version.madeAt)) }));
    if (!this.deleted) {
      const restore = el('button', { type: 'button', className: 'primary restore-version',
        textContent: T.restoreVersion(version.number), disabled: !differs });
      restore.addEventListener('click', () => this.onRestore(this.name, version.number));
      const note = differs ? T.restoreNote : this.modified ? T.restoredUnsaved : T.restoredNote;
      bar.append(restore, el('p', { className: 'note', textContent: note }));
    }
    // A version an rsm-audit run wrote names the run, which --undo takes back whole.
    if (version.changeSet) {
      bar.append(el('p', { className: 'note change-set', textContent: T.versionChangeSet(version.changeSet, version.changeSetCommand || '') }));
    }
    const parts = this.table.render({ rows: result.rows, aHeading, bHeading, labels: this.labels, outputs: this.outputs,
      caption: single ? aHeading : `${aHeading} / ${bHeading}`, single });
    section.replaceChildren(bar, ...parts);
  }
}
