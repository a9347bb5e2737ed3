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
import { ChangesView, changesOf, changesTable } from './changes-view.js';
import { Editing } from './editing.js';
import { propertyInfo, sendableText } from './catalogue.js';
import { SessionState, keyOf, keyId, sameKey } from './state.js';
import { T } from './texts.js';
import { localizeDocument, text as text_ } from './messages.js';
import { splitCommand, describe, nameList } from './words.js';

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
const PICK_HOLD_MS = 3000;
// The values on show ({ key, data }), and those of the library setup compared with.
let shown = null;
let shownLibrary = null;
let asking = 0;
// The setup the one selected is compared with, in the view 'diff'.
let pinned = null;
let diffAsking = 0;
// A setup to select once a step lists it (one just brought back).
let awaited = null;
// The command the status line waits to tell of: its words and what it printed.
let telling = null;
// A close that asks first: the list as it was, what Yes saves, the answer and what went wrong.
let closing = null;
// What the last close came to, shown above the list.
let closedNote = null;
// Those waiting for a master-file setup that is not in their set of names.

const list = new ListView($('#setups'), (key, next) => choose(key, next), (key) => compareWith(key));
const editing = new Editing((name, property, text) => server.command('edit', name, property, text), () => toolbar());
const values = new ValuesView($('#values'), (property, text) => changeValues([[property, text]]), () => show('changes'));
values.onClearFilter = () => {
  $('#search').value = '';
  values.setFilter('');
  $('#search').focus();
};
const compare = new CompareView($('#compare'), (pairs) => changeValues(pairs), (choices) => {
  const name = picture.current?.name;
  run(server.command('merge-from-library', name, ...choices.map(([property, side]) => `${property}=${side}`)));
}, () => show('values'));
const diffView = new DiffView($('#diff'));
const historyView = new HistoryView($('#history'), {
  onRestore: (name, number) => run(server.command('restore', name, String(number))),
  onUndelete: (name) => undelete(name),
});
const changesView = new ChangesView($('#changes'), () => show('values'));
const VIEWS = ['values', 'compare', 'history', 'diff', 'changes'];

function run(promise) {
  promise.catch((error) => toast(error.message, 'error'));
}

// What the workbench refused of a dialog's own request, which that dialog says: not said again
// as an alert, whether the step that tells every page comes before the answer or soon after it.
const saidInDialog = new Map();
function refusedInDialog(errors) {
  for (const text of errors) {
    const shown = [...$('#alerts').children].find((item) => item.textContent === text);
    if (shown) shown.remove();
    else saidInDialog.set(text, Date.now());
  }
  return errors.join('\n');
}

function toast(text, kind) {
  const region = kind === 'error' ? $('#alerts') : $('#status-text');
  if (kind === 'error') {
    const said = saidInDialog.get(text);
    saidInDialog.delete(text);
    if (said !== undefined && Date.now() - said < 10000) return;
    const item = document.createElement('div');
    item.className = 'toast error';
    item.textContent = text;
    region.append(item);
    setTimeout(() => item.remove(), 8000);
  } else {
    region.textContent = text;
  }
}

function choose(key, next = null) {
  picture.current = key;
  picked = { key, at: Date.now() };
  // A deleted setup is the page's own pick: the panel does not show it.
  if (key.group === 'deleted') {
    toolbar();
    detail();
    return;
  }
  toolbar();
  fetchShown();
  run(server.select(key));
  // Moving through the list by keys: the next one's values are asked for ahead.
  const ahead = picture.row(next);
  if (ahead) server.values(next, ahead.rev).catch(() => {});
}

function show(which) {
  view = which;
  if (which !== 'diff') pinned = null;
  // Its table would be taken for the comparison's.
  if (which !== 'changes') $('#changes').replaceChildren();
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
  diffView.show({ aTitle: title(a), bTitle: title(key), rows: result.rows, labels: picture.labels, outputs: picture.outputs });
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
            if (outcome.errors?.length) return refusedInDialog(outcome.errors);
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
  const serial = editing.nextSerial();
  try {
    const [data, libraryData] = await Promise.all([server.values(key, row.rev, { fresh: force }),
      library ? server.values(library, picture.row(library)?.rev, { fresh: force }) : null]);
    if (data && key.group === 'master') editing.noteValues(key.name, exactValues(data), serial);
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
  if ((view === 'compare' && !canCompare) || (view === 'changes' && !isMaster)
      || (view === 'history' && !isMaster && key?.group !== 'deleted')) {
    show('values');
    return;
  }
  // A deleted setup shows its history, with Restore, whatever the view.
  const showing = key?.group === 'deleted' && row ? 'history' : view;
  for (const name of VIEWS) $(`#${name}`).hidden = showing !== name;
  if (showing === 'history' && picture.loaded && row) {
    historyView.show(key.name, key.group === 'deleted' ? row : null, picture, Boolean(row.modified));
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
    values.show(key, row, shown.data, picture.labels, picture.outputs, pickNote(key), picture.defaults);
    return;
  }
  if (view === 'changes') {
    changesView.render(key.name, shown.data, picture.labels, picture.outputs);
    return;
  }
  const master = { name: key.name, values: shown.data.values, origin: shown.data.origin };
  const library = shownLibrary ? { values: shownLibrary.data.values, listedIn: shownLibrary.key.library } : null;
  compare.render(master, library, picture.labels, picture.outputs);
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
    b.title = !on && why ? T.offBecause(b.dataset.title, why) : b.dataset.title;
  };
  enable('#cmd-new', Boolean(setup), T.whyPickSetupToStart);
  enable('#cmd-duplicate', Boolean(setup), T.whyPickSetup);
  enable('#cmd-rename', isMaster, T.whyPickMasterSetup);
  enable('#cmd-delete', isMaster, T.whyPickMasterSetup);
  enable('#cmd-reset', isMaster, T.whyPickMasterSetup);
  enable('#cmd-save', isMaster, T.whyPickMasterSetup);
  enable('#cmd-copy', current?.group === 'library' && setup && !picture.row(keyOf('master', '', current.name)),
    current?.group === 'library' ? T.whyNameTaken : T.whyPickLibrarySetup);
  enable('#cmd-update', isMaster && hasLibrary, T.whyPickSharedSetup);
  enable('#cmd-compare', isMaster && (hasLibrary || hasOrigin), T.whyPickSharedSetup);
  enable('#cmd-history', isMaster, T.whyPickMasterSetup);
  enable('#cmd-compare-two', Boolean(setup) || view === 'diff', T.whyPickSetupToCompare);
  enable('#cmd-undo', editing.canUndo, T.whyNothingToUndo);
  enable('#cmd-redo', editing.canRedo, T.whyNothingToRedo);
  enable('#cmd-quit', true);
}

function header() {
  $('#master-file').textContent = picture.loaded ? picture.masterFile ?? T.noMasterFileOpen : '';
  const modified = picture.groups[0].setups.reduce((n, s) => n + (s.modified ? 1 : 0), 0);
  $('#unsaved').textContent = modified ? T.unsaved(modified) : '';
}

function onSnapshot(snapshot) {
  const wasFile = picture.loaded ? picture.masterFile : null;
  picture.load(snapshot);
  // A page that starts tells of nothing before it; one that starts again, of what it missed.
  const missed = lastEvent ? picture.activity.filter((e) => e.id > lastEvent) : [];
  lastEvent = Math.max(lastEvent, ...picture.activity.map((e) => e.id));
  // A fresh snapshot does not undo a pick made here just before it.
  if (picked && Date.now() - picked.at <= PICK_HOLD_MS && picture.row(picked.key)) picture.current = picked.key;
  else picked = null;
  tell(missed);
  closeOutcome(wasFile);
  list.setData(listed());
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
  const wasFile = picture.masterFile;
  keepListIfAsked(step);
  const changed = picture.apply(step);
  if (changed.snapshot) {
    onSnapshot(step.snapshot);
    return;
  }
  // Each pick is answered with the current setup: until the latest pick here is, the answers
  // to earlier ones (and what other pages pick meanwhile) do not move this page away from it.
  // A deleted setup is never answered for: it is held as long as an answer could be late.
  if (changed.current && picked) {
    if (sameKey(picture.current, picked.key) || Date.now() - picked.at > PICK_HOLD_MS) picked = null;
    else if (picture.row(picked.key)) picture.current = picked.key;
  }
  // A setup on show that was renamed keeps its values under its new name.
  for (const [from, to] of changed.renamed) {
    if (sameKey(shown?.key, from)) shown.key = to;
    if (sameKey(shownLibrary?.key, from)) shownLibrary.key = to;
  }
  forgetStale(changed);
  if (changed.list) list.setData(listed());
  else if (changed.rows.size) list.refresh();
  if (changed.current || changed.list || !sameKey(was, picture.current)) {
    list.setActive(picture.current, { scroll: !sameKey(was, picture.current) });
  }
  if (changed.list || changed.rows.size) header();
  toolbar();
  const current = picture.current ? keyId(picture.current) : null;
  const library = shownLibrary ? keyId(shownLibrary.key) : null;
  // Values that came with the step are as fresh as any asked for now.
  const carried = new Set();
  for (const change of step.changes) {
    if (change.type !== 'values' || !change.data) continue;
    const key = keyOf(change.group, change.library, change.name);
    server.keepValues(key, change.data);
    carried.add(keyId(key));
  }
  const staleOne = (at) => changed.values.has(at) && !carried.has(at);
  const stale = staleOne(current) || staleOne(library);
  const moved = !sameKey(was, picture.current);
  // The history and the comparison are drawn again from there too, as they follow a save, a
  // restore or a delete.
  if (stale || changed.list || moved || carried.has(current)) fetchShown(stale);
  else if ((view === 'history' && changed.rows.has(current))
      || (view === 'diff' && pinned && changed.values.has(keyId(pinned)))) detail();
  if (awaited && changed.list) selectWhenListed(awaited);
  tell(changed.activity.filter((e) => e.id > lastEvent));
  closeOutcome(wasFile);
  if (changed.session) session();
}

// Tells in the status line what each command did, once it is over (a command that asks a
// question is over when it has been answered); errors are shown as they come.
function tell(events) {
  for (const event of events) {
    lastEvent = Math.max(lastEvent, event.id);
    if (event.kind === 'command') {
      finishTelling();
      telling = { words: splitCommand(event.text), events: [] };
      continue;
    }
    if (event.kind === 'error') toast(event.text, 'error');
    if (closing && event.kind === 'question') closing.yes = /->\s*yes$/.test(event.text);
    if (closing && closing.yes !== null && (event.kind === 'error' || event.kind === 'message')) closing.problems.push(event.text);
    telling?.events.push(event);
  }
  if (!picture.question) finishTelling();
}

function finishTelling() {
  if (!telling) return;
  const said = describe(telling.words, telling.events, picture.labels);
  telling = null;
  if (said) toast(said.text);
}

// The module empties the list before it asks whether to save: the page keeps it as it was, to
// show until the question is answered and to say what Yes saves.
function keepListIfAsked(step) {
  const asks = step.snapshot ? Boolean(step.snapshot.question)
    : step.changes.some((c) => c.type === 'question' && c.question);
  if (!asks || !picture.loaded || (closing && picture.question)) return;
  closing = {
    file: picture.masterFile,
    unsaved: picture.groups[0].setups.filter((s) => s.modified).map((s) => s.name),
    groups: picture.groups.map((g) => ({ ...g, setups: g.setups.map((r) => ({ ...r })) })),
    yes: null,
    problems: [],
  };
}

// What the list shows: the setups as they were while the close question is open.
function listed() {
  const frozen = Boolean(closing && picture.question);
  $('.list-pane').classList.toggle('frozen', frozen);
  if (frozen) showListNote(T.frozenList, false);
  else showListNote(closedNote, false);
  return frozen ? { loaded: true, groups: closing.groups } : picture;
}

function showListNote(text, tellToo = true) {
  const note = $('#list-note');
  note.textContent = text ?? '';
  note.hidden = !text;
  if (text && tellToo) toast(text);
}

// Once the master file has closed (or the session ended), says what came of it.
function closeOutcome(wasFile) {
  const wasFrozen = $('.list-pane').classList.contains('frozen');
  if (picture.question) return;
  const name = (file) => baseName(file) || T.noMasterFile;
  if (closing && closing.yes !== null && (picture.masterFile !== closing.file || picture.ended)) {
    const file = name(closing.file);
    const names = nameList(closing.unsaved);
    if (closing.yes && closing.problems.length) closedNote = T.closedSaveFailed(file, closing.problems[0]);
    else if (!closing.unsaved.length) closedNote = T.closed(file);
    else closedNote = closing.yes ? T.closedSaved(file, names) : T.closedNotSaved(file, names);
    closing = null;
    showListNote(closedNote);
  } else if (!closing && wasFile && picture.masterFile !== wasFile) {
    closedNote = T.closed(name(wasFile));
    showListNote(closedNote);
  }
  if (wasFrozen) list.setData(listed());
}

function session() {
  if (picture.ended) {
    // Nothing more will come: no reconnecting to a workbench that is gone.
    connection.close();
    setStatus('ended');
    if (!closedNote?.startsWith(T.sessionEnded(''))) {
      closedNote = T.sessionEnded(closedNote);
      showListNote(closedNote);
    }
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
    const saves = closing?.unsaved.length ? { heading: T.yesSaves, items: closing.unsaved.map((n) => `\u201C${n}\u201D`) } : null;
    const yes = await dialogs.question(text_('Title_RenderSetup', 'Render Setup Manager'), text, saves);
    dialogBusy = false;
    if (questionShown === id) {
      if (closing) closing.yes = yes;
      run(server.answer(id, yes));
    }
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
  new: () => modal(() => newSetup(picture.current)),
  duplicate: () => run(server.command('duplicate', picture.current.name)),
  rename: () => modal(async () => {
    const old = picture.current.name;
    // The dialog stays open until the workbench has renamed the setup, or says why it did not.
    await dialogs.prompt(T.renameTitle, T.renamePrompt(old), T.nameLabel, old,
        (text) => (text.trim() === '' ? T.nameNeeded : null),
        async (name) => {
          if (name === old) return null;
          try {
            const outcome = await server.command('rename', old, name);
            return outcome.errors?.length ? refusedInDialog(outcome.errors) : null;
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
    // What the reset throws away, as the file and the setup hold it now.
    let lost = [];
    try {
      const data = await server.values(keyOf('master', '', name));
      if (data?.saved) lost = changesOf(data);
    } catch (error) {
      toast(error.message, 'error');
    }
    const text = lost.length ? T.resetLoses(name, lost.length) : T.resetNothing(name);
    const table = lost.length ? changesTable(lost, picture.labels, picture.outputs, T.changesOf(name)) : null;
    if (table) table.classList.add('in-dialog');
    if (await dialogs.confirm(T.resetTitle, text, T.resetAction, table)) run(server.command('reset', name));
  }),
  undo: () => undoRedo('undo'),
  redo: () => undoRedo('redo'),
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

// New asks for a name: the module names a new setup itself, and the workbench renames it right
// after. A refused name leaves the setup under the one it was given, and the dialog says so.
async function newSetup(from) {
  const library = picture.libraryPick(from.name);
  const startsFrom = library ? T.newFromLibrary(from.name, baseName(library.library)) : T.newFrom(from.name);
  let made = null;
  let refusal = null;
  const named = await dialogs.prompt(T.newTitle, startsFrom, T.nameLabel, '',
      (text) => (text.trim() === '' ? T.nameNeeded : null),
      async (name) => {
        try {
          const outcome = made ? await server.command('rename', made, name)
            : await server.command('new', from.name, name);
          // A busy workbench runs it later; what it says then shows as it comes.
          if (outcome.queued) return null;
          made ??= outcome.made ?? null;
          if (!made) return outcome.errors?.length ? refusedInDialog(outcome.errors) : T.newNotSeen;
          refusal = outcome.errors?.length ? refusedInDialog(outcome.errors) : null;
          return refusal ? T.newKeptName(made, refusal) : null;
        } catch (error) {
          return error.message;
        }
      });
  if (named === null && made) toast(T.newKept(made));
}

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
  if (undoKey(e)) return;
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

// Finding setups by name: the list shows those found; Enter or Down goes to the first of them,
// Escape shows all again.
function findSetups() {
  const field = $('#setup-search');
  const say = () => {
    const text = field.value.trim();
    const found = list.setFilter(text);
    $('#setup-found').textContent = text ? T.found(found) : '';
  };
  field.addEventListener('input', say);
  field.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && field.value) {
      e.preventDefault();
      field.value = '';
      say();
    } else if ((e.key === 'Enter' || e.key === 'ArrowDown') && list.options.length) {
      e.preventDefault();
      $('#setups').focus();
      if (list.indexOf(picture.current) < 0) list.pick(0);
    }
  });
}
findSetups();

// The texts Save would store now, property -> text as it is sent.
function exactValues(data) {
  const exact = new Map(data.exact ?? []);
  return new Map(data.values.map(([p, t]) => [p, exact.get(p) ?? sendableText(propertyInfo(p).type, t)]));
}

// Changes values of the current master-file setup, as one step to undo.
function changeValues(pairs) {
  const key = picture.current;
  if (key?.group !== 'master' || !pairs.length) return Promise.resolve(false);
  const now = shown && sameKey(shown.key, key) ? exactValues(shown.data) : new Map();
  const changes = pairs.map(([property, after]) => ({ property, after, before: now.get(property) ?? after }));
  return editing.apply(key.name, changes).catch((error) => {
    toast(error.message, 'error');
    return false;
  });
}

// Undo entries of setups saved, reset, renamed or deleted go: they would undo into another state.
function forgetStale(changed) {
  for (const name of editing.names()) {
    const key = keyOf('master', '', name);
    const row = picture.row(key);
    if (!row || changed.snapshot || (changed.rows.has(keyId(key)) && !row.modified)) editing.forget(name);
  }
}

// Undoes or redoes one step, once the setup it acts on is known to hold what this page left.
async function undoRedo(which) {
  for (let tries = 0; tries < 50; ++tries) {
    const name = which === 'undo' ? editing.undoName : editing.redoName;
    if (name === undefined) {
      toast(which === 'undo' ? T.nothingToUndo : T.nothingToRedo);
      return;
    }
    const serial = editing.nextSerial();
    try {
      const data = await server.values(keyOf('master', '', name));
      if (data) editing.noteValues(name, exactValues(data), serial);
      else editing.forget(name);
    } catch (error) {
      toast(error.message, 'error');
      return;
    }
    if ((which === 'undo' ? editing.undoName : editing.redoName) !== name) continue;
    const entry = which === 'undo' ? editing.undoStack.at(-1) : editing.redoStack.at(-1);
    const what = entry.changes.map((c) => propertyInfo(c.property).label).reduce((line, label) => T.joined(line, label));
    const done = await (which === 'undo' ? editing.undo() : editing.redo()).catch((error) => {
      toast(error.message, 'error');
      return null;
    });
    if (done) toast(which === 'undo' ? T.undone(T.changeOf(what, name)) : T.redone(T.changeOf(what, name)));
    return;
  }
}

// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y, except where text is being typed: there they are the field's.
function undoKey(e) {
  if (!(e.ctrlKey || e.metaKey) || e.altKey) return false;
  const key = e.key.toLowerCase();
  const which = key === 'z' ? (e.shiftKey ? 'redo' : 'undo') : key === 'y' && !e.shiftKey ? 'redo' : null;
  if (!which) return false;
  const typing = e.target.matches?.('input[type="text"], input[type="search"], textarea')
    && (e.target.id === 'search' || e.target.dataset.dirty || e.target.closest('#values') === null);
  if (typing) return false;
  e.preventDefault();
  const button = $(which === 'undo' ? '#cmd-undo' : '#cmd-redo');
  if (!button.disabled) button.click();
  return true;
}

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

list.setData(listed());
detail();
const connection = new server.Connection({ onSnapshot, onStep, onStatus: setStatus });
