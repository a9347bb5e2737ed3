// What the page holds, in one place: the session as the workbench streams it (one snapshot, then
// steps), the setup picked here until the workbench has answered every pick, the view and the
// values on show, what a close of the master file comes to, and the undo stack of the edits made
// here. Views read it; it changes only through the methods below, which return what they changed.
import { Editing } from './editing.js';
import { baseName } from './format.js';
import { SessionState, keyId, keyOf, sameKey } from './state.js';
import { T } from './texts.js';
import { nameList } from './words.js';

export class Store {
  #status = 'loading';
  #view = 'values';
  #pinned = null;
  #shown = null;
  #shownLibrary = null;
  // The setup picked here last, and those asked for whose answers have not come, oldest first.
  #picked = null;
  #asked = [];
  // The current setup as the workbench said it last, whatever this page shows.
  #said = null;
  #awaited = null;
  #closing = null;
  #closedNote = null;
  #frozen = false;
  #lastEvent = 0;

  /**
   * sendEdit(name, property, text) runs one edit, resolving to { errors }; onUndo() is told when
   * what can be undone or redone changed.
   */
  constructor({ sendEdit, onUndo }) {
    /** The session as the workbench streamed it (a SessionState), to read. */
    this.session = new SessionState();
    /** The edits made in this page, to undo and redo (an Editing). */
    this.undo = new Editing(sendEdit, onUndo);
  }

  /** The stream: 'loading', 'live', 'lost' or 'ended'. */
  get status() { return this.#status; }
  /** What the pane beside the list shows: 'values', 'compare', 'history', 'diff' or 'changes'. */
  get view() { return this.#view; }
  /** The setup the current one is compared with in the view 'diff', or null. */
  get pinned() { return this.#pinned; }
  /** The values on show ({ key, data }), or null. */
  get shown() { return this.#shown; }
  /** Those of the library setup compared with ({ key, data }), or null. */
  get shownLibrary() { return this.#shownLibrary; }
  /** A close that asks first: { file, unsaved: names, groups: the list as it was, yes, problems }, or null. */
  get closing() { return this.#closing; }
  /** Whether the list shows the setups as they were while the close question is open. */
  get frozen() { return this.#frozen; }
  /** The line above the list, or null. */
  get listNote() { return this.#frozen ? T.frozenList : this.#closedNote; }

  /** Takes a snapshot whole. Returns { wasFile, missed: the activity this page has not seen }. */
  takeSnapshot(snapshot) {
    const session = this.session;
    const wasFile = session.loaded ? session.masterFile : null;
    session.load(snapshot);
    // A page that starts tells of nothing before it; one that starts again, of what it missed.
    const missed = this.#lastEvent ? session.activity.filter((e) => e.id > this.#lastEvent) : [];
    this.#lastEvent = Math.max(this.#lastEvent, ...session.activity.map((e) => e.id));
    // A fresh snapshot does not undo a pick made here that it does not answer yet.
    this.#answered();
    this.#heard(missed);
    return { wasFile, missed };
  }

  /**
   * Takes one step. Returns { snapshot: true } when it brought a snapshot, to take whole; else
   * { changed (as SessionState.apply says), was: the current setup before, wasFile, moved: the
   * current setup is another, news: the activity not seen before, carried: [[key, values]] }.
   */
  takeStep(step) {
    const session = this.session;
    const was = session.current;
    const wasFile = session.masterFile;
    this.#keepListIfAsked(step);
    const changed = session.apply(step);
    if (changed.snapshot) return { snapshot: true };
    if (changed.current) this.#answered();
    // A setup on show that was renamed keeps its values under its new name.
    for (const [from, to] of changed.renamed) {
      if (sameKey(this.#shown?.key, from)) this.#shown = { ...this.#shown, key: to };
      if (sameKey(this.#shownLibrary?.key, from)) this.#shownLibrary = { ...this.#shownLibrary, key: to };
    }
    this.#forgetStale(changed);
    const news = changed.activity.filter((e) => e.id > this.#lastEvent);
    for (const event of news) this.#lastEvent = Math.max(this.#lastEvent, event.id);
    this.#heard(news);
    const carried = step.changes.filter((c) => c.type === 'values' && c.data)
      .map((c) => [keyOf(c.group, c.library, c.name), c.data]);
    return { changed, was, wasFile, moved: !sameKey(was, session.current), news, carried };
  }

  /** Makes key current as picked here; the workbench is asked to select it, unless it is deleted. */
  pick(key) {
    this.session.current = key;
    this.#picked = key;
    // What the user picks after bringing a setup back wins over selecting it once it is listed.
    if (!sameKey(key, this.#awaited)) this.#awaited = null;
    if (key.group !== 'deleted') this.#asked.push(key);
  }

  /** Shows which beside the list; any view but 'diff' lets go of the setup pinned. */
  setView(which) {
    this.#view = which;
    if (which !== 'diff') this.#pinned = null;
  }

  /** The setup the next ones picked are compared with. */
  pin(key) {
    this.#pinned = key;
  }

  /** Returns false once the session has ended: nothing follows that. */
  setStatus(next) {
    if (this.#status === 'ended') return false;
    this.#status = next;
    return true;
  }

  /** The values on show now, each { key, data } or null. */
  setShown(shown, shownLibrary) {
    this.#shown = shown;
    this.#shownLibrary = shownLibrary;
  }

  /** A setup to select once a step lists it (one just brought back). */
  awaitSetup(key) {
    this.#awaited = key;
  }

  /** The setup awaited, once it is listed (and then awaited no more), else null. */
  arrived() {
    const key = this.#awaited;
    if (!key || !this.session.row(key)) return null;
    this.#awaited = null;
    return key;
  }

  /** A message box of the module was closed here. */
  dismissed(id) {
    this.session.messages = this.session.messages.filter((m) => m.id !== id);
  }

  /** The question that closes the master file was answered here. */
  answered(yes) {
    if (this.#closing) this.#closing.yes = yes;
  }

  /** What the list shows: the setups as they were while the close question is open. */
  listed() {
    this.#frozen = Boolean(this.#closing && this.session.question);
    return this.#frozen ? { loaded: true, groups: this.#closing.groups } : this.session;
  }

  /**
   * Once the master file has closed (or the session ended), what came of it: { note: the line
   * to say, or null; relist: the list was held as it was }. Null while a question is open.
   */
  closeOutcome(wasFile) {
    const relist = this.#frozen;
    const session = this.session;
    if (session.question) return null;
    const name = (file) => baseName(file) || T.noMasterFile;
    const closing = this.#closing;
    let note = null;
    if (closing && closing.yes !== null && (session.masterFile !== closing.file || session.ended)) {
      const file = name(closing.file);
      const names = nameList(closing.unsaved);
      if (closing.yes && closing.problems.length) note = T.closedSaveFailed(file, closing.problems[0]);
      else if (!closing.unsaved.length) note = T.closed(file);
      else note = closing.yes ? T.closedSaved(file, names) : T.closedNotSaved(file, names);
      this.#closing = null;
    } else if (!closing && wasFile && session.masterFile !== wasFile) {
      note = T.closed(name(wasFile));
    }
    if (note !== null) this.#closedNote = note;
    return { note, relist };
  }

  /** The session ended: returns the line above the list that says so, or null when it did already. */
  sessionEnded() {
    if (this.#closedNote?.startsWith(T.sessionEnded(''))) return null;
    this.#closedNote = T.sessionEnded(this.#closedNote);
    return this.#closedNote;
  }

  // The workbench answers each pick, in the order asked, with its current setup. Until the latest
  // pick here is answered, the answers to earlier ones (and what other pages pick meanwhile) do
  // not move this page away from it. A deleted setup is never answered for: it is held until
  // the picks before it are, and then until the workbench's current setup moves; a snapshot or a
  // step that says again what the workbench had does not take it away. However late the answers
  // come, they are told apart by their order, not by how long they took.
  #answered() {
    const session = this.session;
    const current = session.current;
    const moved = !sameKey(current, this.#said);
    this.#said = current;
    // A setup that went before it was selected is answered for with another one.
    this.#asked = this.#asked.filter((key) => session.row(key));
    const at = this.#asked.findIndex((key) => sameKey(key, current));
    if (at >= 0) this.#asked.splice(0, at + 1);
    const picked = this.#picked;
    if (!picked) return;
    if (sameKey(current, picked)) {
      if (!this.#asked.length) this.#picked = null;
      return;
    }
    const waiting = at >= 0 || this.#asked.length > 0;
    const held = picked.group === 'deleted' && !moved;
    if ((waiting || held) && session.row(picked)) session.current = picked;
    else this.#picked = null;
  }

  // The module empties the list before it asks whether to save: the page keeps it as it was, to
  // show until the question is answered and to say what Yes saves.
  #keepListIfAsked(step) {
    const session = this.session;
    const asks = step.snapshot ? Boolean(step.snapshot.question)
      : step.changes.some((c) => c.type === 'question' && c.question);
    if (!asks || !session.loaded || (this.#closing && session.question)) return;
    this.#closing = {
      file: session.masterFile,
      unsaved: session.groups[0].setups.filter((s) => s.modified).map((s) => s.name),
      groups: session.groups.map((g) => ({ ...g, setups: g.setups.map((r) => ({ ...r })) })),
      yes: null,
      problems: [],
    };
  }

  // What a close asked and what went wrong saving at it.
  #heard(events) {
    const closing = this.#closing;
    if (!closing) return;
    for (const event of events) {
      if (event.kind === 'question') closing.yes = /->\s*yes$/.test(event.text);
      if (closing.yes !== null && (event.kind === 'error' || event.kind === 'message')) closing.problems.push(event.text);
    }
  }

  // Undo entries of setups saved, reset, renamed or deleted go: they would undo into another state.
  #forgetStale(changed) {
    for (const name of this.undo.names()) {
      const key = keyOf('master', '', name);
      const row = this.session.row(key);
      if (!row || changed.snapshot || (changed.rows.has(keyId(key)) && !row.modified)) this.undo.forget(name);
    }
  }
}
