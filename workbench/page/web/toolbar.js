// The toolbar and the keys: which commands the current setup allows (and why not, in each
// button's title), and the shortcuts that press them.
import { keyOf } from './state.js';
import { T } from './texts.js';

const $ = (selector) => document.querySelector(selector);

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

// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y, except where text is being typed: there they are the field's.
function undoButton(e) {
  if (!(e.ctrlKey || e.metaKey) || e.altKey) return null;
  const key = e.key.toLowerCase();
  const which = key === 'z' ? (e.shiftKey ? 'redo' : 'undo') : key === 'y' && !e.shiftKey ? 'redo' : null;
  if (!which) return null;
  const typing = e.target.matches?.('input[type="text"], input[type="search"], textarea')
    && (e.target.id === 'search' || e.target.dataset.dirty || e.target.closest('#values') === null);
  return typing ? null : $(which === 'undo' ? '#cmd-undo' : '#cmd-redo');
}

export class Toolbar {
  /** store: the page's Store; commands: name -> function, as the buttons' data-command names them. */
  constructor(store, commands) {
    this.store = store;
    for (const button of document.querySelectorAll('[data-command]')) {
      button.dataset.title = button.title;
      button.addEventListener('click', () => {
        if (!button.disabled) commands[button.dataset.command]();
      });
    }
    document.addEventListener('keydown', (e) => {
      if (document.querySelector('dialog[open]')) return;
      const undo = undoButton(e);
      if (undo) {
        e.preventDefault();
        if (!undo.disabled) undo.click();
        return;
      }
      if (e.key === 'Escape' && store.view === 'diff') {
        commands.compareTwo();
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
  }

  /** Enables each command as the session and the current setup allow; the view's buttons say which shows. */
  update() {
    const store = this.store;
    const session = store.session;
    const view = store.view;
    const live = store.status === 'live' && session.loaded && !session.ended;
    const current = session.current;
    // A deleted setup is no setup to run commands on; it is restored from its history.
    const setup = current?.group === 'deleted' ? null : session.row(current);
    const isMaster = Boolean(current?.group === 'master' && setup);
    const hasLibrary = Boolean(isMaster && session.libraryPick(current.name));
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
    enable('#cmd-copy', current?.group === 'library' && setup && !session.row(keyOf('master', '', current.name)),
      current?.group === 'library' ? T.whyNameTaken : T.whyPickLibrarySetup);
    enable('#cmd-update', isMaster && hasLibrary, T.whyPickSharedSetup);
    enable('#cmd-compare', isMaster && (hasLibrary || hasOrigin), T.whyPickSharedSetup);
    enable('#cmd-history', isMaster, T.whyPickMasterSetup);
    enable('#cmd-compare-two', Boolean(setup) || view === 'diff', T.whyPickSetupToCompare);
    enable('#cmd-undo', store.undo.canUndo, T.whyNothingToUndo);
    enable('#cmd-redo', store.undo.canRedo, T.whyNothingToRedo);
    enable('#cmd-quit', true);
    $('#cmd-compare').setAttribute('aria-pressed', String(view === 'compare'));
    $('#cmd-history').setAttribute('aria-pressed', String(view === 'history'));
    $('#cmd-compare-two').setAttribute('aria-pressed', String(view === 'diff'));
  }
}
