// The pane beside the list: which of its views shows, and what it shows. The values of the setup
// shown are asked for when it is shown and when they change; the history and two setups side by
// side, by their views.
import * as server from './server.js';
import { exactValues } from './editing.js';
import { baseName } from './format.js';
import { keyId, keyOf, sameKey } from './state.js';
import { T } from './texts.js';

const $ = (selector) => document.querySelector(selector);
const VIEWS = ['values', 'compare', 'history', 'diff', 'changes'];
const sideOf = (key) => ({ group: key.group, library: key.library, name: key.name, version: 0 });

export class Detail {
  /**
   * store: the page's Store; views: { values, compare, diff, history, changes }, each drawn here;
   * toast(text, kind) says what went wrong; onView() is told when another view shows.
   */
  constructor(store, views, { toast, onView }) {
    this.store = store;
    this.views = views;
    this.toast = toast;
    this.onView = onView;
    // Answers to asks made before the last one are dropped.
    this.asking = 0;
    this.diffAsking = 0;
  }

  /** Shows one view: 'values', 'compare', 'history', 'diff' or 'changes'. */
  show(which) {
    this.store.setView(which);
    // Its table would be taken for the comparison's.
    if (which !== 'changes') $('#changes').replaceChildren();
    for (const name of VIEWS) $(`#${name}`).hidden = which !== name;
    this.onView();
    this.fetch();
  }

  /**
   * Asks for the values of the current setup (and in compare, of its library setup) unless those
   * on show are as new (force: ask anyway); anything asked for before and answered late is dropped.
   */
  async fetch(force = false) {
    const store = this.store;
    const session = store.session;
    const key = session.current;
    const row = session.row(key);
    if (!key || !row || key.group === 'deleted' || store.view === 'history' || store.view === 'diff') {
      store.setShown(null, store.shownLibrary);
      this.draw();
      return;
    }
    const library = store.view === 'compare' && key.group === 'master' ? session.libraryPick(key.name) : null;
    const fresh = (have, wanted) => (!wanted && !have) || (have && wanted && sameKey(have.key, wanted)
      && have.data.rev === session.row(wanted)?.rev);
    if (!force && fresh(store.shown, key) && fresh(store.shownLibrary, library)) {
      this.draw();
      return;
    }
    const ask = ++this.asking;
    if (!store.shown || !sameKey(store.shown.key, key)) this.draw(true);
    try {
      const [data, libraryData] = await Promise.all([server.values(key, row.rev, { fresh: force }),
        library ? server.values(library, session.row(library)?.rev, { fresh: force }) : null]);
      if (data && key.group === 'master') store.undo.noteValues(key.name, exactValues(data), data.rev);
      if (ask !== this.asking) return;
      store.setShown(data ? { key, data } : null, libraryData ? { key: library, data: libraryData } : null);
      this.draw();
    } catch (error) {
      if (ask === this.asking) this.toast(error.message, 'error');
    }
  }

  /** Follows a step (as Store.takeStep tells it): asks again for what went stale, or draws again. */
  afterStep({ changed, moved, carried }) {
    const store = this.store;
    const current = store.session.current ? keyId(store.session.current) : null;
    const library = store.shownLibrary ? keyId(store.shownLibrary.key) : null;
    // Values that came with the step are as fresh as any asked for now.
    const came = new Set(carried.map(([key]) => keyId(key)));
    const staleOne = (at) => changed.values.has(at) && !came.has(at);
    const stale = staleOne(current) || staleOne(library);
    // The history and the comparison are drawn again from there too, as they follow a save, a
    // restore or a delete.
    if (stale || changed.list || moved || came.has(current)) this.fetch(stale);
    else if ((store.view === 'history' && changed.rows.has(current))
        || (store.view === 'diff' && store.pinned && changed.values.has(keyId(store.pinned)))) this.draw();
  }

  /** Draws the view on show from what the store holds (loading: the values are on their way). */
  draw(loading = false) {
    const { store, views } = this;
    const session = store.session;
    const view = store.view;
    const key = session.current;
    const row = session.row(key);
    const isMaster = key?.group === 'master' && row;
    const canCompare = isMaster && (session.libraryPick(key.name) || row.origin);
    if ((view === 'compare' && !canCompare) || (view === 'changes' && !isMaster)
        || (view === 'history' && !isMaster && key?.group !== 'deleted')) {
      this.show('values');
      return;
    }
    // A deleted setup shows its history, with Restore, whatever the view.
    const showing = key?.group === 'deleted' && row ? 'history' : view;
    for (const name of VIEWS) $(`#${name}`).hidden = showing !== name;
    if (showing === 'history' && session.loaded && row) {
      views.history.show(key.name, key.group === 'deleted' ? row : null, session, Boolean(row.modified));
      return;
    }
    if (showing === 'diff') {
      this.drawDiff();
      return;
    }
    if (!session.loaded) {
      views.values.placeholder(T.loading);
      return;
    }
    if (!key || !row) {
      views.values.placeholder(T.selectASetup);
      return;
    }
    const shown = store.shown;
    if (!shown || !sameKey(shown.key, key)) {
      if (loading) views.values.placeholder(T.loadingValues);
      return;
    }
    if (view === 'values') {
      views.values.show(key, row, shown.data, session.labels, session.outputs, this.pickNote(key), session.defaults);
      return;
    }
    if (view === 'changes') {
      views.changes.render(key.name, shown.data, session.labels, session.outputs);
      return;
    }
    const master = { name: key.name, values: shown.data.values, origin: shown.data.origin };
    const library = store.shownLibrary ? { values: store.shownLibrary.data.values, listedIn: store.shownLibrary.key.library } : null;
    views.compare.render(master, library, session.labels, session.outputs);
  }

  // The setup pinned beside the current one.
  async drawDiff() {
    const session = this.store.session;
    const key = session.current;
    const pinned = this.store.pinned;
    if (!pinned || !session.row(pinned)) {
      this.show('values');
      return;
    }
    if (!key || sameKey(key, pinned)) {
      this.views.diff.placeholder(T.comparePick(pinned.name));
      return;
    }
    if (key.group === 'deleted') {
      this.views.diff.placeholder(T.compareNeedsValues);
      return;
    }
    const ask = ++this.diffAsking;
    let result;
    try {
      result = await server.diff(sideOf(pinned), sideOf(key));
    } catch (error) {
      result = { error: error.message };
    }
    if (ask !== this.diffAsking) return;
    if (result.error) {
      this.views.diff.placeholder(result.error);
      return;
    }
    const title = (k) => (k.group === 'library' ? `${k.name} (${baseName(k.library)})` : k.name);
    this.views.diff.show({ aTitle: title(pinned), bTitle: title(key), rows: result.rows, labels: session.labels,
      outputs: session.outputs });
  }

  // Which library's setup of a name the module takes, when more than one offers it.
  pickNote(key) {
    const session = this.store.session;
    const offering = session.groups.filter((g) => g.group === 'library'
      && session.row(keyOf('library', g.file, key.name)));
    if (offering.length < 2) return '';
    const pick = session.libraryPick(key.name);
    if (key.group === 'library' && key.library !== pick.library) return T.otherPickNote(key.name, baseName(pick.library));
    return T.pickNote(key.name, baseName(pick.library));
  }
}
