// Every value change made in this page goes through here: as edits of the panel, one after
// another, stopping at the first one refused, and onto one undo stack for the page. An entry
// goes stale, and is dropped, when its setup was saved, reset, renamed or deleted, or when one
// of its values was changed elsewhere (another page, the prompt).
import { propertyInfo, sameValue, sendableText } from './catalogue.js';

/** The texts Save would store for values as the workbench sent them: property -> text as it is sent. */
export function exactValues(data) {
  const exact = new Map(data.exact ?? []);
  return new Map(data.values.map(([p, t]) => [p, exact.get(p) ?? sendableText(propertyInfo(p).type, t)]));
}

export class Editing {
  /**
   * send(name, property, text) runs the edit, resolving to { errors, rev } (rev: the setup's
   * revision with the edit); onChange() is told when what can be undone or redone changed.
   */
  constructor(send, onChange) {
    this.send = send;
    this.onChange = onChange;
    this.undoStack = [];
    this.redoStack = [];
    // name -> property -> { text, rev }: what this page's last edit left there, and the first
    // revision of the setup's values that shows it (Infinity: not known yet).
    this.expected = new Map();
    // name -> the newest revision of the setup's values seen.
    this.seen = new Map();
    this.busy = Promise.resolve();
  }

  /**
   * Changes values of the master-file setup name: changes [{ property, before, after }], texts
   * as they are sent. Resolves to true when every edit ran, false when one was refused (those
   * before it stay, and can be undone).
   */
  apply(name, changes) {
    return this.queue(async () => {
      // Edits made faster than values come back start from what the last of them left.
      const mine = this.expected.get(name);
      const seen = this.seen.get(name) ?? 0;
      changes = changes.map((c) => {
        const left = mine?.get(c.property);
        return left && seen < left.rev ? { ...c, before: left.text } : c;
      });
      const done = await this.run(name, changes.map((c) => [c.property, c.after]));
      if (done.length) {
        this.undoStack.push({ name, changes: changes.slice(0, done.length) });
        this.redoStack = [];
      }
      this.onChange();
      return done.length === changes.length;
    });
  }

  undo() {
    return this.queue(() => this.step(this.undoStack, this.redoStack, 'before'));
  }

  redo() {
    return this.queue(() => this.step(this.redoStack, this.undoStack, 'after'));
  }

  get canUndo() { return this.undoStack.length > 0; }
  get canRedo() { return this.redoStack.length > 0; }
  /** The setup the next undo or redo acts on. */
  get undoName() { return this.undoStack.at(-1)?.name; }
  get redoName() { return this.redoStack.at(-1)?.name; }

  /**
   * The values of the master-file setup name (exact: property -> text) at revision rev, however
   * late they came: an entry whose value is no longer what this page left is stale.
   */
  noteValues(name, exact, rev) {
    this.seen.set(name, Math.max(this.seen.get(name) ?? 0, rev));
    const mine = this.expected.get(name);
    if (!mine) return;
    for (const [property, { text, rev: shown }] of mine) {
      // Values from before the edit came back say nothing about it.
      if (rev < shown || !exact.has(property)) continue;
      if (sameValue(propertyInfo(property).type, exact.get(property), text)) continue;
      mine.delete(property);
      this.drop((entry) => entry.name === name && entry.changes.some((c) => c.property === property));
    }
  }

  /** Drops every entry of the setup: it was saved, reset, renamed or deleted. */
  forget(name) {
    this.expected.delete(name);
    this.seen.delete(name);
    this.drop((entry) => entry.name === name);
  }

  /** Names of the setups that entries act on. */
  names() {
    return new Set([...this.undoStack, ...this.redoStack].map((e) => e.name));
  }

  drop(stale) {
    const before = this.undoStack.length + this.redoStack.length;
    this.undoStack = this.undoStack.filter((e) => !stale(e));
    this.redoStack = this.redoStack.filter((e) => !stale(e));
    if (this.undoStack.length + this.redoStack.length !== before) this.onChange();
  }

  async step(from, to, side) {
    const entry = from.at(-1);
    if (!entry) return false;
    const changes = side === 'before' ? [...entry.changes].reverse() : entry.changes;
    const done = await this.run(entry.name, changes.map((c) => [c.property, c[side]]));
    if (done.length === changes.length) {
      from.pop();
      to.push(entry);
    } else if (done.length) {
      // Part of it went back: what is left of the entry stays where it was, the rest moves.
      const moved = side === 'before' ? changes.slice(0, done.length).reverse() : changes.slice(0, done.length);
      const left = entry.changes.filter((c) => !moved.includes(c));
      from[from.length - 1] = { name: entry.name, changes: left };
      to.push({ name: entry.name, changes: moved });
    }
    this.onChange();
    return done.length === changes.length;
  }

  // Sends the edits in order; returns the pairs that ran.
  async run(name, pairs) {
    const done = [];
    if (!this.expected.has(name)) this.expected.set(name, new Map());
    const mine = this.expected.get(name);
    for (const [property, text] of pairs) {
      // While the edit is on its way, values fetched may show it or not: none is judged by them.
      const was = mine.get(property);
      mine.set(property, { text, rev: Infinity });
      let outcome;
      try {
        outcome = await this.send(name, property, text);
      } catch (error) {
        if (was) mine.set(property, was);
        else mine.delete(property);
        throw error;
      }
      if (outcome?.errors?.length) {
        if (was) mine.set(property, was);
        else mine.delete(property);
        break;
      }
      done.push([property, text]);
      mine.set(property, { text, rev: outcome?.rev ?? Infinity });
    }
    return done;
  }

  queue(fn) {
    const next = this.busy.then(fn, fn);
    this.busy = next.catch(() => false);
    return next;
  }
}
