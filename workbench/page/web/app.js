// The Render Setup Manager page: wires the views to the picture the workbench streams and
// turns buttons and shortcuts into the panel's commands.
import * as server from './server.js';
import * as dialogs from './dialogs.js';
import { ListView } from './list-view.js';
import { ValuesView } from './values-view.js';
import { CompareView } from './compare-view.js';

const $ = (selector) => document.querySelector(selector);
let picture = null;
let view = 'values';
let dialogBusy = false;
let questionShown = null;
let lastEvent = 0;

const list = new ListView($('#setups'), (group, name, library) => run(server.select(group, name, library)));
const values = new ValuesView($('#values'), (property, text) => {
  const current = picture?.current;
  if (current?.group === 'master') run(server.command('edit', current.name, property, text));
});
const compare = new CompareView($('#compare'), (pairs) => {
  const name = picture?.current?.name;
  for (const [property, text] of pairs) run(server.command('edit', name, property, text));
}, (choices) => {
  const name = picture?.current?.name;
  run(server.command('merge-from-library', name, ...choices.map(([property, side]) => `${property}=${side}`)));
}, () => show('values'));

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

const currentSetup = () => {
  const c = picture?.current;
  if (!c) return null;
  if (c.group === 'master') return picture.master.find((s) => s.name === c.name) ?? null;
  return picture.library.find((s) => s.name === c.name && s.listedIn === c.library) ?? null;
};
// Of several libraries offering the name, the module takes the one whose file name sorts first.
const librarySetup = (name) => picture?.library.filter((s) => s.name === name)
    .sort((a, b) => (a.listedIn < b.listedIn ? -1 : a.listedIn > b.listedIn ? 1 : 0))[0] ?? null;
const masterSetup = (name) => picture?.master.find((s) => s.name === name) ?? null;

function show(which) {
  view = which;
  $('#values').hidden = which !== 'values';
  $('#compare').hidden = which !== 'compare';
  $('#cmd-compare').setAttribute('aria-pressed', String(which === 'compare'));
  render();
}

function render() {
  if (!picture) return;
  const current = picture.current;
  const setup = currentSetup();
  const isMaster = current?.group === 'master' && setup;
  const hasLibrary = Boolean(current && librarySetup(current.name));
  // A setup taken from a library compares with it under whatever name it has now.
  const hasOrigin = Boolean(isMaster && setup.origin);
  list.render(picture, current);
  if (view === 'compare' && !(isMaster && (hasLibrary || hasOrigin))) view = 'values';
  $('#values').hidden = view !== 'values';
  $('#compare').hidden = view !== 'compare';
  if (view === 'values') values.render(setup, current?.group, picture.labels, picture.outputs);
  else compare.render(setup, librarySetup(current.name), picture.labels);

  const enable = (id, on, why) => {
    const b = $(id);
    b.disabled = !on || picture.ended;
    b.title = `${b.dataset.title}${!on && why ? ` \u2014 ${why}` : ''}`;
  };
  enable('#cmd-new', Boolean(setup), 'select a setup to start from');
  enable('#cmd-duplicate', Boolean(setup), 'select a setup');
  enable('#cmd-rename', isMaster, 'select a master-file setup');
  enable('#cmd-delete', isMaster, 'select a master-file setup');
  enable('#cmd-reset', isMaster, 'select a master-file setup');
  enable('#cmd-save', isMaster, 'select a master-file setup');
  enable('#cmd-copy', current?.group === 'library' && !masterSetup(current.name),
    current?.group === 'library' ? 'the master file has this name already' : 'select a library setup');
  enable('#cmd-update', isMaster && hasLibrary, 'select a master-file setup that a library also has');
  enable('#cmd-compare', isMaster && (hasLibrary || hasOrigin), 'select a master-file setup that a library also has');
  enable('#cmd-quit', true);
  $('#master-file').textContent = picture.masterFile ?? 'No master file open';
  const modified = picture.master.filter((s) => s.modified).length;
  $('#unsaved').textContent = modified ? `${modified} unsaved` : '';

  for (const event of picture.events) {
    if (event.id <= lastEvent) continue;
    lastEvent = event.id;
    if (event.kind === 'error') toast(event.text, 'error');
    else if (event.kind === 'command') toast(`Ran: ${event.text}`);
    else if (event.kind === 'question') toast(`Answered: ${event.text}`);
    else if (event.kind === 'result') toast(`Result: ${event.text}`);
  }
  if (picture.ended) setStatus('ended');
  nextDialog();
}

async function nextDialog() {
  if (!picture) return;
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
    const yes = await dialogs.question('Render Setup Manager', text);
    dialogBusy = false;
    if (questionShown === id) run(server.answer(id, yes));
    nextDialog();
    return;
  }
  const message = picture.messages[0];
  if (message && !picture.question) {
    dialogBusy = true;
    await dialogs.message('Render Setup Manager', message.text);
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
    await dialogs.prompt('Rename setup', `A new name for \u201C${old}\u201D.`, 'Name', old,
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
    if (await dialogs.confirm('Delete setup', `Delete \u201C${name}\u201D from the master file? This cannot be undone.`, 'Delete')) {
      run(server.command('delete', name));
    }
  }),
  reset: () => modal(async () => {
    const name = picture.current.name;
    if (await dialogs.confirm('Reset setup', `Put \u201C${name}\u201D back to its saved values? Unsaved changes are lost.`, 'Reset')) {
      run(server.command('reset', name));
    }
  }),
  save: () => run(server.command('save', picture.current.name)),
  copy: () => run(server.command('copy-from-library', picture.current.name)),
  update: () => modal(async () => {
    const name = picture.current.name;
    if (await dialogs.confirm('Update from library', `Replace every value of \u201C${name}\u201D with the library setup\u2019s and save it?`, 'Update')) {
      run(server.command('update-from-library', name));
    }
  }),
  compare: () => show(view === 'compare' ? 'values' : 'compare'),
  quit: () => modal(async () => {
    if (await dialogs.confirm('End session', 'Close the master file and end the workbench session?', 'End session')) {
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
];
document.addEventListener('keydown', (e) => {
  if (document.querySelector('dialog[open]')) return;
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

function setStatus(status) {
  const pill = $('#connection');
  pill.dataset.status = status;
  pill.textContent = { live: 'Live', lost: 'Reconnecting\u2026', ended: 'Session ended' }[status];
  if (status === 'ended') {
    document.body.classList.add('ended');
    for (const b of document.querySelectorAll('[data-command]')) b.disabled = true;
  }
}

server.subscribe((p) => {
  picture = p;
  render();
}, setStatus);
