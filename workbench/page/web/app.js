// The Render Setup Manager page: makes the store, the views and what drives them, and hands
// what the workbench streams to them. What the page holds is in store.js; what the user asks
// of it, in actions.js. The list and marks come with the events; the values of the setup shown
// are asked for when it is shown and when they change, as are a setup's history and two setups
// side by side.
import * as server from './server.js';
import { Actions } from './actions.js';
import { ChangesView } from './changes-view.js';
import { CompareView } from './compare-view.js';
import { Detail } from './detail.js';
import { DiffView } from './diff-view.js';
import { HistoryView } from './history-view.js';
import { ListView } from './list-view.js';
import { localizeDocument } from './messages.js';
import { Notices } from './notices.js';
import { Questions } from './questions.js';
import { Store } from './store.js';
import { T } from './texts.js';
import { Toolbar } from './toolbar.js';
import { ValuesView } from './values-view.js';

localizeDocument();

const $ = (selector) => document.querySelector(selector);
const store = new Store({
  sendEdit: (name, property, text) => server.command('edit', name, property, text),
  onUndo: () => toolbar.update(),
});
const notices = new Notices(store);
const toast = (text, kind) => notices.toast(text, kind);
const questions = new Questions(store, (message) => toast(message, 'error'));
const list = new ListView($('#setups'), (key, next) => actions.choose(key, next), (key) => actions.compareWith(key));
const values = new ValuesView($('#values'), (property, text) => actions.changeValues([[property, text]]),
  () => detail.show('changes'), {
    onOverride: (property, text, reason) => actions.override(property, text, reason),
    onWhy: (property) => server.why(store.session.current.name, property),
  });
const detail = new Detail(store, {
  values,
  compare: new CompareView($('#compare'), (pairs) => actions.changeValues(pairs), (choices) => actions.merge(choices),
    () => detail.show('values')),
  diff: new DiffView($('#diff')),
  history: new HistoryView($('#history'), {
    onRestore: (name, number) => actions.restore(name, number),
    onUndelete: (name) => actions.undelete(name),
  }),
  changes: new ChangesView($('#changes'), () => detail.show('values')),
}, { toast, onView: () => toolbar.update() });
const actions = new Actions(store, { detail, notices, questions, onPick: () => toolbar.update() });
const toolbar = new Toolbar(store, actions.commands);

// The list, and the line above it, as the store has them.
function relist() {
  const shows = store.listed();
  $('.list-pane').classList.toggle('frozen', store.frozen);
  notices.listNote(store.listNote, false);
  list.setData(shows);
}

function header() {
  const session = store.session;
  $('#master-file').textContent = session.loaded ? session.masterFile ?? T.noMasterFileOpen : '';
  const modified = session.groups[0].setups.reduce((n, s) => n + (s.modified ? 1 : 0), 0);
  $('#unsaved').textContent = modified ? T.unsaved(modified) : '';
}

function setStatus(next) {
  if (!store.setStatus(next)) return;
  notices.connection(next);
  toolbar.update();
}

// Once the master file has closed (or the session ended), says what came of it.
function closeOutcome(wasFile) {
  const outcome = store.closeOutcome(wasFile);
  if (!outcome) return;
  if (outcome.note !== null) notices.listNote(outcome.note);
  if (outcome.relist) relist();
}

// The session's end, its question and its messages.
function followSession() {
  if (store.session.ended) {
    // Nothing more will come: no reconnecting to a workbench that is gone.
    connection.close();
    setStatus('ended');
    const note = store.sessionEnded();
    if (note) notices.listNote(note);
  }
  questions.next();
}

function onSnapshot(snapshot) {
  const { wasFile, missed } = store.takeSnapshot(snapshot);
  notices.tell(missed);
  closeOutcome(wasFile);
  relist();
  list.setActive(store.session.current);
  header();
  toolbar.update();
  detail.fetch(true);
  followSession();
  // For whoever measures how long a page takes to show its list (User Timing).
  if (!performance.getEntriesByName('setups shown').length) {
    requestAnimationFrame(() => performance.mark('setups shown'));
  }
}

function onStep(step) {
  const taken = store.takeStep(step);
  if (taken.snapshot) {
    onSnapshot(step.snapshot);
    return;
  }
  const { changed, moved } = taken;
  if (changed.list) relist();
  else if (changed.rows.size) list.refresh();
  if (changed.current || changed.list || moved) list.setActive(store.session.current, { scroll: moved });
  if (changed.list || changed.rows.size) header();
  toolbar.update();
  for (const [key, data] of taken.carried) server.keepValues(key, data);
  detail.afterStep(taken);
  const arrived = changed.list ? store.arrived() : null;
  if (arrived) actions.choose(arrived);
  notices.tell(taken.news);
  closeOutcome(taken.wasFile);
  if (changed.session) followSession();
}

// Filtering the values by what the settings are called.
const search = $('#search');
search.addEventListener('input', (e) => values.setFilter(e.target.value));
search.addEventListener('keydown', (e) => {
  if (e.key === 'Escape') {
    e.target.value = '';
    values.setFilter('');
  }
});
values.onClearFilter = () => {
  search.value = '';
  values.setFilter('');
  search.focus();
};

// Finding setups by name: the list shows those found; Enter or Down goes to the first of them,
// Escape shows all again.
const field = $('#setup-search');
const findSetups = () => {
  const text = field.value.trim();
  const found = list.setFilter(text);
  $('#setup-found').textContent = text ? T.found(found) : '';
};
field.addEventListener('input', findSetups);
field.addEventListener('keydown', (e) => {
  if (e.key === 'Escape' && field.value) {
    e.preventDefault();
    field.value = '';
    findSetups();
  } else if ((e.key === 'Enter' || e.key === 'ArrowDown') && list.options.length) {
    e.preventDefault();
    $('#setups').focus();
    if (list.indexOf(store.session.current) < 0) list.pick(0);
  }
});

relist();
detail.draw();
const connection = new server.Connection({ onSnapshot, onStep, onStatus: setStatus });
