// What the page knows of the session: every setup's row (name, marks, values' revision) by
// group, the setups recently deleted from the master file, the current setup, dialogs and
// activity. A snapshot replaces it; each step changes it. Values are not kept here: the views ask
// for those of the setup they show.
import { valueLabel } from './messages.js';

/** A setup's identity: its group, the library file it is listed under ('' in the master file), its name. */
export const keyOf = (group, library, name) => ({ group, library: group === 'library' ? library : '', name });
export const sameKey = (a, b) => Boolean(a && b) && a.group === b.group && a.library === b.library && a.name === b.name;
const id = (key) => `${key.group}\u0000${key.library}\u0000${key.name}`;

export class SessionState {
  constructor() {
    this.loaded = false;
    this.reset();
  }

  reset() {
    this.masterFile = null;
    /**
     * [{ group, file, setups: [row], byName: Map of name to row }]: the master file first, then
     * each library, then (when any) the setups deleted from the master file ({ group: 'deleted' },
     * rows { name, deletedAt, deletedBy, versions }).
     */
    this.groups = [{ group: 'master', file: null, setups: [], byName: new Map() }];
    this.current = null;
    this.question = null;
    this.messages = [];
    this.activity = [];
    this.ended = false;
    this.labels = this.labels ?? {};
    this.outputs = this.outputs ?? [];
    this.defaults = this.defaults ?? {};
  }

  /** Takes a snapshot whole. */
  load(snapshot) {
    this.reset();
    this.loaded = true;
    this.masterFile = snapshot.masterFile;
    this.groups[0].file = snapshot.masterFile;
    this.addAll('master', '', snapshot.master);
    for (const library of snapshot.libraries) this.addAll('library', library.file, library.setups);
    this.current = snapshot.current;
    this.question = snapshot.question;
    this.messages = snapshot.messages;
    this.activity = snapshot.activity;
    this.ended = snapshot.ended;
    this.setDeleted(snapshot.deleted ?? []);
    // The renderer's names for values, in the page's language.
    this.labels = Object.fromEntries(Object.entries(snapshot.labels).map(([property, named]) =>
      [property, named.map(([value, label]) => [value, valueLabel(property, value, label)])]));
    this.outputs = snapshot.outputs.map(([bit, label]) => [bit, valueLabel('Outputs', bit, label)]);
    this.defaults = snapshot.defaults ?? {};
  }

  /**
   * Takes one step. Returns what it changed: { list, rows: Set of ids, values: Set of ids,
   * renamed: [[old key, new key]], current, session, activity: [events], deleted, snapshot }.
   */
  apply(step) {
    const changed = { list: false, rows: new Set(), values: new Set(), renamed: [], current: false, session: false, activity: [], deleted: false, snapshot: false };
    if (step.snapshot) {
      this.load(step.snapshot);
      return { ...changed, list: true, current: true, session: true, deleted: true, snapshot: true };
    }
    for (const change of step.changes) {
      const key = change.group ? keyOf(change.group, change.library, change.name) : null;
      switch (change.type) {
        case 'added':
          this.add(key.group, key.library, change.setup);
          changed.list = true;
          break;
        case 'removed':
          this.remove(key);
          changed.list = true;
          break;
        case 'renamed':
          this.rename(key, change.to);
          changed.renamed.push([key, { ...key, name: change.to }]);
          changed.list = true;
          break;
        case 'values': {
          const row = this.row(key);
          if (row) row.rev = change.rev;
          changed.values.add(id(key));
          break;
        }
        case 'marks': {
          const row = this.row(key);
          if (!row) break;
          const { name, ...marks } = change.setup;
          for (const field of ['newBorn', 'origin']) delete row[field];
          Object.assign(row, marks);
          changed.rows.add(id(key));
          changed.values.add(id(key));
          break;
        }
        case 'current':
          this.current = change.current;
          changed.current = true;
          break;
        case 'masterFile':
          this.masterFile = change.file;
          this.groups[0].file = change.file;
          changed.list = true;
          break;
        case 'question':
          this.question = change.question;
          changed.session = true;
          break;
        case 'message':
          this.messages.push(change.message);
          changed.session = true;
          break;
        case 'dismissed':
          this.messages = this.messages.filter((m) => m.id !== change.id);
          changed.session = true;
          break;
        case 'activity':
          this.activity.push(change.event);
          if (this.activity.length > 40) this.activity.shift();
          changed.activity.push(change.event);
          break;
        case 'deleted':
          this.setDeleted(change.setups);
          changed.deleted = true;
          changed.list = true;
          break;
        case 'ended':
          this.ended = true;
          this.question = null;
          changed.session = true;
          break;
        default:
          break;
      }
    }
    return changed;
  }

  /** The deleted setups the master file keeps, as their group at the end of the list. */
  setDeleted(setups) {
    const at = this.groups.findIndex((g) => g.group === 'deleted');
    if (at >= 0) this.groups.splice(at, 1);
    this.addAll('deleted', '', setups);
    const current = this.current;
    if (current?.group === 'deleted' && !this.row(current)) this.current = null;
  }

  add(group, library, row) {
    this.addAll(group, library, [row]);
  }

  // Rows of one group. A snapshot brings thousands: its group is looked for once, and each row
  // is kept as it came, under its name.
  addAll(group, library, rows) {
    let home = this.groupOf(keyOf(group, library, ''));
    for (const row of rows) {
      if (home?.byName.has(row.name)) continue;
      home ??= this.home(group, library);
      home.setups.push(row);
      home.byName.set(row.name, row);
    }
  }

  /** The group a key's setup is listed in, or undefined. */
  groupOf(key) {
    return this.groups.find((g) => g.group === key.group && (key.group !== 'library' || g.file === key.library));
  }

  home(group, library) {
    let home = this.groupOf(keyOf(group, library, ''));
    if (!home) {
      home = { group, file: group === 'deleted' ? null : library, setups: [], byName: new Map() };
      // Libraries come before the deleted setups, which stay last.
      const deletedAt = this.groups.findIndex((g) => g.group === 'deleted');
      if (group === 'library' && deletedAt >= 0) this.groups.splice(deletedAt, 0, home);
      else this.groups.push(home);
    }
    return home;
  }

  remove(key) {
    const home = this.groupOf(key);
    const row = home?.byName.get(key.name);
    if (!row) return;
    home.byName.delete(key.name);
    const at = home.setups.indexOf(row);
    if (at >= 0) home.setups.splice(at, 1);
    if (sameKey(this.current, key)) this.current = null;
  }

  rename(key, to) {
    const home = this.groupOf(key);
    const row = home?.byName.get(key.name);
    if (!row) return;
    // Onto a name shown already: the renamed entry goes, as in the panel.
    if (home.byName.has(to)) {
      this.remove(key);
      return;
    }
    home.byName.delete(key.name);
    row.name = to;
    home.byName.set(to, row);
    if (sameKey(this.current, key)) this.current = { ...key, name: to };
  }

  row(key) {
    return key ? this.groupOf(key)?.byName.get(key.name) ?? null : null;
  }

  /**
   * The library setup the module takes for a master-file name (copy, update, compare): of
   * several libraries offering it, the one whose file name sorts first by UTF-16 code units.
   */
  libraryPick(name) {
    let pick = null;
    for (const group of this.groups) {
      if (group.group !== 'library' || !group.byName.has(name)) continue;
      if (pick === null || group.file < pick) pick = group.file;
    }
    return pick === null ? null : keyOf('library', pick, name);
  }
}

export { id as keyId };
