// The Render Setup Manager page: wires the views to what the workbench streams and turns
// buttons and shortcuts into the panel's commands. The list and marks come with the events; the
// values of the setup shown are asked for when it is shown and when they change, as are a setup's
// history and two setups side by side.
import * as server from './server.js';
import * as dialogs from './dialogs.js';
import { ListView } from './list-view.js';
import { ValuesView } from './values-view.js';
import { CompareView } from './compare-view.js';
import { DiffView } from './diff-view.js';
import { HistoryView } from './history-view.js';
import { SessionState, keyOf, keyId, sameKey } from './state.js';
import { T } from './texts.js';
import { localizeDocument, text as text_ } from './messages.js';

localizeDocument();

const $ = (selector) => document.querySelector(selector);
const baseName = (path) => (path ?? '').split(/[\\/]/).pop();
// What the page knows of the session.
const picture = new SessionState();
let view = 'values';
let status = 'loading';
let dialogBusy = false;
let questionShown = null;
let lastEvent = 0;
// A setup picked here that the workbench has not yet named as current.
let picked = null;
// The values on show ({ key, data }), and those of the library setup compared with.
let shown = null;
let shownLibrary = null;
let asking = 0;
// The setup the one selected is compared with, in the view 'diff'.
let pinned = null;
let diffAsking = 0;
// A setup to select once a step lists it (one just brought back).
let awaited = null;

const list = new ListView($('#setups'), (key) => choose(key), (key) => compareWith(key));
const values = new ValuesView($('#values'), (property, text) => {
  const current = picture.current;
  if (current?.group === 'master') run(server.command('edit', current.name, property, text));
});
const compare = new CompareView($('#compare'), (pairs) => {
  const name = picture.current?.name;
  for (const [property, text] of pairs) run(server.command('edit', name, property, text));
}, (choices) => {
  const name = picture.current?.name;
  run(server.command('merge-from-library', name, ...choices.map(([property, side]) => `${property}=${side}`)));
}, () => show('values'));
const diffView = new DiffView($('#diff'));
const historyView = new HistoryView($('#history'), {
  onRestore: (name, number) => run(server.command('restore', name, String(number))),
  onUndelete: (name) => undelete(name),
});
const VIEWS = ['values', 'compare', 'history', 'diff'];

function run(promise) {
  promise.catch((error) => toast(error.message, 'error'));
}

function toast(text, kind) {
  const region = kind === 'error' ? $('#alerts') : $('#status-text');
  if (kind === 'error') {
    const item = document.createElement('div');
    item.className = 'toast error';
    item.textContent = text;
    region.append(item);
    setTimeout(() => item.remove(), 8000);
  } else {
    region.textContent = text;
  }
}

function choose(key) {
  picture.current = key;
  // A deleted setup is the page's own pick: the panel does not show it.
  if (key.group === 'deleted') {
    picked = null;
    toolbar();
    detail();
    return;
  }
  picked = { key, at: Date.now() };
  toolbar();
  fetchShown();
  run(server.select(key));
}

function show(which) {
  view = which;
  if (which !== 'diff') pinned = null;
  for (const name of VIEWS) $(`#${name}`).hidden = which !== name;
  $('#cmd-compare').setAttribute('aria-pressed', String(which === 'compare'));
  $('#cmd-history').setAttribute('aria-pressed', String(which === 'history'));
  $('#cmd-compare-two').setAttribute('aria-pressed', String(which === 'diff'));
  toolbar();
  fetchShown();
}

// Compares the setup selected with the one picked next in the list (or Ctrl+clicked).
function compareWith(key) {
  if (view !== 'diff' || !pinned) {
    if (!picture.current || picture.current.group === 'deleted') return;
    pinned = picture.current;
    show('diff');
    toast(T.comparePick(pinned.name));
  }
  if (key) choose(key);
}

const sideOf = (key) => ({ group: key.group, library: key.library, name: key.name, version: 0 });

async function renderDiff() {
  const key = picture.current;
  if (!pinned || !picture.row(pinned)) {
    show('values');
    return;
  }
  if (!key || sameKey(key, pinned)) {
    diffView.placeholder(T.comparePick(pinned.name));
    return;
  }
  if (key.group === 'deleted') {
    diffView.placeholder(T.compareNeedsValues);
    return;
  }
  const ask = ++diffAsking;
  const a = pinned;
  let result;
  try {
    result = await server.diff(sideOf(a), sideOf(key));
  } catch (error) {
    result = { error: error.message };
  }
  if (ask !== diffAsking) return;
  if (result.error) {
    diffView.placeholder(result.error);
    return;
  }
  const title = (k) => (k.group === 'library' ? `${k.name} (${baseName(k.library)})` : k.name);
  diffView.show({ aTitle: title(a), bTitle: title(key), rows: result.rows, labels: picture.labels });
}

// Selects key as soon as the list has it.
function selectWhenListed(key) {
  awaited = key;
  if (picture.row(key)) {
    awaited = null;
    choose(key);
  }
}

// Brings back the deleted setup of that name, under a new one when the name is in use again.
function undelete(name) {
  if (!picture.row(keyOf('master', '', name))) {
    server.command('undelete', name).then((outcome) => {
      if (!outcome.errors?.length) selectWhenListed(keyOf('master', '', name));
    }).catch((error) => toast(error.message, 'error'));
    return;
  }
  modal(async () => {
    await dialogs.prompt(T.restoreDeletedAs, T.restoreAsPrompt(name),
        T.nameLabel, T.restoredName(name), (text) => (text.trim() === '' ? T.nameNeeded : null),
        async (newName) => {
          try {
            const outcome = await server.command('undelete', name, newName);
            if (outcome.errors?.length) return outcome.errors.join('\n');
            selectWhenListed(keyOf('master', '', newName));
            return null;
          } catch (error) {
            return error.message;
          }
        });
  });
}

// Asks for the values of the current setup (and in compare, of its library setup) unless those
// on show are as new; anything asked for before and answered late is dropped.
async function fetchShown(force = false) {
  const key = picture.current;
  const row = picture.row(key);
  if (!key || !row || key.group === 'deleted' || view === 'history' || view === 'diff') {
    shown = null;
    detail();
    return;
  }
  const library = view === 'compare' && key.group === 'master' ? picture.libraryPick(key.name) : null;
  const fresh = (have, wanted) => (!wanted && !have) || (have && wanted && sameKey(have.key, wanted)
    && have.data.rev === picture.row(wanted)?.rev);
  if (!force && fresh(shown, key) && fresh(shownLibrary, library)) {
    detail();
    return;
  }
  const ask = ++asking;
  if (!shown || !sameKey(shown.key, key)) detail(true);
  try {
    const [data, libraryData] = await Promise.all([server.values(key), library ? server.values(library) : null]);
    if (ask !== asking) return;
    shown = data ? { key, data } : null;
    shownLibrary = libraryData ? { key: library, data: libraryData } : null;
    detail();
  } catch (error) {
    if (ask === asking) toast(error.message, 'error');
  }
}

// Which library's setup of a name the module takes, when more than one offers it.
function pickNote(key) {
  const offering = picture.groups.filter((g) => g.group === 'library'
    && picture.row(keyOf('library', g.file, key.name)));
  if (offering.length < 2) return '';
  const pick = picture.libraryPick(key.name);
  if (key.group === 'library' && key.library !== pick.library) return T.otherPickNote(key.name, baseName(pick.library));
  return T.pickNote(key.name, baseName(pick.library));
}

function detail(loading = false) {
  const key = picture.current;
  const row = picture.row(key);
  const isMaster = key?.group === 'master' && row;
  const canCompare = isMaster && (picture.libraryPick(key.name) || row.origin);
  if ((view === 'compare' && !canCompare) || (view === 'history' && !isMaster && key?.group !== 'deleted')) {
    show('values');
    return;
  }
  // A deleted setup shows its history, with Restore, whatever the view.
  const showing = key?.group === 'deleted' && row ? 'history' : view;
  for (const name of VIEWS) $(`#${name}`).hidden = showing !== name;
  if (showing === 'history' && picture.loaded && row) {
    historyView.show(key.name, key.group === 'deleted' ? row : null, picture.labels, Boolean(row.modified));
    return;
  }
  if (showing === 'diff') {
    renderDiff();
    return;
  }
  if (!picture.loaded) {
    values.placeholder(T.loading);
    return;
  }
  if (!key || !row) {
    values.placeholder(T.selectASetup);
    return;
  }
  if (!shown || !sameKey(shown.key, key)) {
    if (loading) values.placeholder(T.loadingValues);
    return;
  }
  if (view === 'values') {
    values.show(key, row, shown.data, picture.labels, picture.outputs, pickNote(key));
    return;
  }
  const master = { name: key.name, values: shown.data.values, origin: shown.data.origin };
  const library = shownLibrary ? { values: shownLibrary.data.values, listedIn: shownLibrary.key.library } : null;
  compare.render(master, library, picture.labels);
}

function toolbar() {
  const live = status === 'live' && picture.loaded && !picture.ended;
  const current = picture.current;
  // A deleted setup is no setup to run commands on; it is restored from its history.
  const setup = current?.group === 'deleted' ? null : picture.row(current);
  const isMaster = Boolean(current?.group === 'master' && setup);
  const hasLibrary = Boolean(isMaster && picture.libraryPick(current.name));
  // A setup taken from a library compares with it under whatever name it has now.
  const hasOrigin = Boolean(isMaster && setup.origin);
  const enable = (id, on, why) => {
    const b = $(id);
    b.disabled = !on || !live;
    b.title = `${b.dataset.title}${!on && why ? ` \u2014 ${why}` : ''}`;
  };
  enable('#cmd-new', Boolean(setup), 'select a setup to start from');
  enable('#cmd-duplicate', Boolean(setup), 'select a setup');
  enable('#cmd-rename', isMaster, 'select a master-file setup');
  enable('#cmd-delete', isMaster, 'select a master-file setup');
  enable('#cmd-reset', isMaster, 'select a master-file setup');
  enable('#cmd-save', isMaster, 'select a master-file setup');
  enable('#cmd-copy', current?.group === 'library' && setup && !picture.row(keyOf('master', '', current.name)),
    current?.group === 'library' ? 'the master file has this name already' : 'select a library setup');
  enable('#cmd-update', isMaster && hasLibrary, 'select a master-file setup that a library also has');
  enable('#cmd-compare', isMaster && (hasLibrary || hasOrigin), 'select a master-file setup that a library also has');
  enable('#cmd-history', isMaster, 'select a master-file setup');
  enable('#cmd-compare-two', Boolean(setup) || view === 'diff', 'select a setup to compare');
  enable('#cmd-quit', true);
}

function header() {
  $('#master-file').textContent = picture.loaded ? picture.masterFile ?? T.noMasterFileOpen : '';
  const modified = picture.groups[0].setups.reduce((n, s) => n + (s.modified ? 1 : 0), 0);
  $('#unsaved').textContent = modified ? T.unsaved(modified) : '';
}

function onSnapshot(snapshot) {
  picture.load(snapshot);
  lastEvent = Math.max(lastEvent, ...picture.activity.map((e) => e.id));
  picked = null;
  list.setData(picture);
  list.setActive(picture.current);
  header();
  toolbar();
  fetchShown(true);
  session();
  // For whoever measures how long a page takes to show its list (User Timing).
  if (!performance.getEntriesByName('setups shown').length) {
    requestAnimationFrame(() => performance.mark('setups shown'));
  }
}

function onStep(step) {
  const was = picture.current;
  const changed = picture.apply(step);
  if (changed.snapshot) {
    onSnapshot(step.snapshot);
    return;
  }
  // Each pick is answered with the current setup: until the latest pick here is, the answers
  // to earlier ones (and what other pages pick meanwhile) do not move this page away from it.
  if (changed.current && picked) {
    if (sameKey(picture.current, picked.key) || Date.now() - picked.at > 3000) picked = null;
    else picture.current = picked.key;
  }
  // A setup on show that was renamed keeps its values under its new name.
  for (const [from, to] of changed.renamed) {
    if (sameKey(shown?.key, from)) shown.key = to;
    if (sameKey(shownLibrary?.key, from)) shownLibrary.key = to;
  }
  if (changed.list) list.setData(picture);
  else if (changed.rows.size) list.refresh();
  if (changed.current || changed.list || !sameKey(was, picture.current)) {
    list.setActive(picture.current, { scroll: !sameKey(was, picture.current) });
  }
  if (changed.list || changed.rows.size) header();
  toolbar();
  const current = picture.current ? keyId(picture.current) : null;
  const library = shownLibrary ? keyId(shownLibrary.key) : null;
  const stale = changed.values.has(current) || changed.values.has(library);
  const moved = !sameKey(was, picture.current);
  // The history and the comparison are drawn again from there too, as they follow a save, a
  // restore or a delete.
  if (stale || changed.list || moved) fetchShown(stale);
  else if ((view === 'history' && changed.rows.has(current))
      || (view === 'diff' && pinned && changed.values.has(keyId(pinned)))) detail();
  if (awaited && changed.list) selectWhenListed(awaited);
  for (const event of changed.activity) {
    if (event.id <= lastEvent) continue;
    lastEvent = event.id;
    if (event.kind === 'error') toast(event.text, 'error');
    else if (event.kind === 'command') toast(T.ran(event.text));
    else if (event.kind === 'question') toast(T.answered(event.text));
    else if (event.kind === 'result') toast(T.result(event.text));
  }
  if (changed.session) session();
}

function session() {
  if (picture.ended) {
    // Nothing more will come: no reconnecting to a workbench that is gone.
    connection.close();
    setStatus('ended');
  }
  nextDialog();
}

async function nextDialog() {
  if (!picture.loaded) return;
  if (!picture.question && questionShown !== null) {
    questionShown = null;
    dialogs.closeAll();
    return;
  }
  if (dialogBusy) return;
  if (picture.question && questionShown !== picture.question.id) {
    const { id, text } = picture.question;
    questionShown = id;
    dialogBusy = true;
    const yes = await dialogs.question(text_('Title_RenderSetup', 'Render Setup Manager'), text);
    dialogBusy = false;
    if (questionShown === id) run(server.answer(id, yes));
    nextDialog();
    return;
  }
  const message = picture.messages[0];
  if (message && !picture.question) {
    dialogBusy = true;
    await dialogs.message(text_('Title_RenderSetup', 'Render Setup Manager'), message.text);
    dialogBusy = false;
    picture.messages = picture.messages.filter((m) => m.id !== message.id);
    run(server.dismiss(message.id));
    nextDialog();
  }
}

async function modal(fn) {
  dialogBusy = true;
  try {
    return await fn();
  } finally {
    dialogBusy = false;
    nextDialog();
  }
}

const commands = {
  new: () => run(server.command('new', picture.current.name)),
  duplicate: () => run(server.command('duplicate', picture.current.name)),
  rename: () => modal(async () => {
    const old = picture.current.name;
    // The dialog stays open until the workbench has renamed the setup, or says why it did not.
    await dialogs.prompt(T.renameTitle, T.renamePrompt(old), T.nameLabel, old,
        (text) => (text.trim() === '' ? 'A setup needs a name' : null),
        async (name) => {
          if (name === old) return null;
          try {
            const outcome = await server.command('rename', old, name);
            return outcome.errors?.length ? outcome.errors.join('\n') : null;
          } catch (error) {
            return error.message;
          }
        });
  }),
  delete: () => modal(async () => {
    const name = picture.current.name;
    if (await dialogs.confirm(T.deleteTitle, T.deleteQuestion(name), T.deleteAction)) {
      run(server.command('delete', name));
    }
  }),
  reset: () => modal(async () => {
    const name = picture.current.name;
    if (await dialogs.confirm(T.resetTitle, T.resetQuestion(name), T.resetAction)) {
      run(server.command('reset', name));
    }
  }),
  save: () => run(server.command('save', picture.current.name)),
  copy: () => run(server.command('copy-from-library', picture.current.name)),
  update: () => modal(async () => {
    const name = picture.current.name;
    if (await dialogs.confirm(T.updateTitle, T.updateQuestion(name), T.updateAction)) {
      run(server.command('update-from-library', name));
    }
  }),
  compare: () => show(view === 'compare' ? 'values' : 'compare'),
  history: () => show(view === 'history' ? 'values' : 'history'),
  compareTwo: () => (view === 'diff' ? show('values') : compareWith(null)),
  quit: () => modal(async () => {
    if (await dialogs.confirm(T.quitTitle, T.quitQuestion, T.quitAction)) {
      run(server.command('quit'));
    }
  }),
};

for (const button of document.querySelectorAll('[data-command]')) {
  button.dataset.title = button.title;
  button.addEventListener('click', () => {
    if (!button.disabled) commands[button.dataset.command]();
  });
}

// Shortcuts: those with a modifier work anywhere; Delete and F2 act on the list.
const SHORTCUTS = [
  [(e) => e.altKey && e.key.toLowerCase() === 'n', '#cmd-new'],
  [(e) => (e.ctrlKey || e.metaKey) && e.key.toLowerCase() === 'd', '#cmd-duplicate'],
  [(e) => e.key === 'F2', '#cmd-rename'],
  [(e) => e.key === 'Delete' && document.activeElement === $('#setups'), '#cmd-delete'],
  [(e) => e.altKey && e.key.toLowerCase() === 'r', '#cmd-reset'],
  [(e) => (e.ctrlKey || e.metaKey) && e.key.toLowerCase() === 's', '#cmd-save'],
  [(e) => e.altKey && e.key.toLowerCase() === 'c', '#cmd-copy'],
  [(e) => e.altKey && e.key.toLowerCase() === 'u', '#cmd-update'],
  [(e) => e.altKey && e.key.toLowerCase() === 'm', '#cmd-compare'],
  [(e) => e.altKey && e.key.toLowerCase() === 'h', '#cmd-history'],
];
document.addEventListener('keydown', (e) => {
  if (document.querySelector('dialog[open]')) return;
  if (e.key === 'Escape' && view === 'diff') {
    show('values');
    return;
  }
  if (e.key === '/' && !e.target.matches('input, select, textarea')) {
    e.preventDefault();
    $('#search').focus();
    return;
  }
  for (const [matches, id] of SHORTCUTS) {
    if (!matches(e)) continue;
    e.preventDefault();
    const button = $(id);
    if (!button.disabled) button.click();
    return;
  }
});

$('#search').addEventListener('input', (e) => values.setFilter(e.target.value));
$('#search').addEventListener('keydown', (e) => {
  if (e.key === 'Escape') {
    e.target.value = '';
    values.setFilter('');
  }
});

function setStatus(next) {
  if (status === 'ended') return;
  status = next;
  const pill = $('#connection');
  pill.dataset.status = next;
  pill.textContent = { loading: T.loading, live: T.live, lost: T.lost, ended: T.ended }[next];
  if (next === 'ended') document.body.classList.add('ended');
  document.body.classList.toggle('loading', next === 'loading');
  toolbar();
}

list.setData(picture);
detail();
const connection = new server.Connection({ onSnapshot, onStep, onStatus: setStatus });
