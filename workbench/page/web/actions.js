// What the user asks of the page, as the panel's commands: picks, the toolbar's commands (with
// the dialogs that ask first), value changes as one step to undo, and bringing deleted setups
// back. Views and keys send these; the workbench runs them, and the stream tells the outcome.
import * as dialogs from './dialogs.js';
import * as server from './server.js';
import { changesOf, changesTable } from './changes-table.js';
import { propertyInfo } from './catalogue.js';
import { exactValues } from './editing.js';
import { baseName } from './format.js';
import { keyOf, sameKey } from './state.js';
import { updatePlan } from './standards.js';
import { T } from './texts.js';

export class Actions {
  /**
   * store: the page's Store; detail: the pane beside the list (a Detail); notices: what the page
   * says (a Notices); questions: the dialog queue (a Questions); onPick() is told when the
   * current setup changed here.
   */
  constructor(store, { detail, notices, questions, onPick }) {
    this.store = store;
    this.detail = detail;
    this.notices = notices;
    this.questions = questions;
    this.onPick = onPick;
    const session = store.session;
    const modal = (fn) => questions.modal(fn);
    const name = () => session.current.name;
    const view = () => store.view;
    /** The toolbar's commands, by the name its buttons carry in data-command. */
    this.commands = {
      new: () => modal(() => this.newSetup(session.current)),
      duplicate: () => this.run(server.command('duplicate', name())),
      rename: () => modal(() => this.rename(name())),
      delete: () => modal(() => this.confirmed('delete', T.deleteTitle, T.deleteQuestion, T.deleteAction)),
      reset: () => modal(() => this.reset(name())),
      undo: () => this.undoRedo('undo'),
      redo: () => this.undoRedo('redo'),
      save: () => this.run(server.command('save', name())),
      copy: () => this.run(server.command('copy-from-library', name())),
      update: () => modal(() => this.update(name())),
      compare: () => detail.show(view() === 'compare' ? 'values' : 'compare'),
      history: () => detail.show(view() === 'history' ? 'values' : 'history'),
      compareTwo: () => (view() === 'diff' ? detail.show('values') : this.compareWith(null)),
      quit: () => modal(async () => {
        if (await dialogs.confirm(T.quitTitle, T.quitQuestion, T.quitAction)) this.run(server.command('quit'));
      }),
    };
  }

  run(promise) {
    promise.catch((error) => this.notices.toast(error.message, 'error'));
  }

  /** Shows key and tells the workbench; next: the setup likely picked after it, asked for ahead. */
  choose(key, next = null) {
    this.store.pick(key);
    this.onPick();
    // A deleted setup is the page's own pick: the panel does not show it.
    if (key.group === 'deleted') {
      this.detail.draw();
      return;
    }
    this.detail.fetch();
    this.run(server.select(key));
    // Moving through the list by keys: the next one's values are asked for ahead.
    const ahead = this.store.session.row(next);
    if (ahead) server.values(next, ahead.rev).catch(() => {});
  }

  /** Compares the setup selected with key (null: with the one picked next in the list). */
  compareWith(key) {
    const store = this.store;
    if (store.view !== 'diff' || !store.pinned) {
      const current = store.session.current;
      if (!current || current.group === 'deleted') return;
      store.pin(current);
      this.detail.show('diff');
      this.notices.toast(T.comparePick(current.name));
    }
    if (key) this.choose(key);
  }

  /** Changes values of the current master-file setup ([[property, text]]), as one step to undo. */
  changeValues(pairs) {
    const store = this.store;
    const key = store.session.current;
    if (key?.group !== 'master' || !pairs.length) return Promise.resolve(false);
    const shown = store.shown;
    const now = shown && sameKey(shown.key, key) ? exactValues(shown.data) : new Map();
    const changes = pairs.map(([property, after]) => ({ property, after, before: now.get(property) ?? after }));
    return store.undo.apply(key.name, changes).catch((error) => {
      this.notices.toast(error.message, 'error');
      return false;
    });
  }

  /** Changes a locked value of the current setup anyway, with the reason the user gave. */
  override(property, text, reason) {
    const name = this.store.session.current?.name;
    if (name) this.run(server.command('edit', name, property, text, '--override', reason));
  }

  /** Takes the library's side or this one's of each conflict: choices [[property, side]]. */
  merge(choices) {
    const name = this.store.session.current?.name;
    this.run(server.command('merge-from-library', name, ...choices.map(([property, side]) => `${property}=${side}`)));
  }

  restore(name, number) {
    this.run(server.command('restore', name, String(number)));
  }

  /** Brings back the deleted setup of that name, under a new one when the name is in use again. */
  undelete(name) {
    const store = this.store;
    const whenListed = (key) => {
      store.awaitSetup(key);
      const arrived = store.arrived();
      if (arrived) this.choose(arrived);
    };
    if (!store.session.row(keyOf('master', '', name))) {
      server.command('undelete', name).then((outcome) => {
        if (!outcome.errors?.length) whenListed(keyOf('master', '', name));
      }).catch((error) => this.notices.toast(error.message, 'error'));
      return;
    }
    this.questions.modal(async () => {
      await dialogs.prompt(T.restoreDeletedAs, T.restoreAsPrompt(name),
          T.nameLabel, T.restoredName(name), (text) => (text.trim() === '' ? T.nameNeeded : null),
          async (newName) => {
            try {
              const outcome = await server.command('undelete', name, newName);
              if (outcome.errors?.length) return this.notices.refusedInDialog(outcome.errors);
              whenListed(keyOf('master', '', newName));
              return null;
            } catch (error) {
              return error.message;
            }
          });
    });
  }

  // Runs command on the current setup once the user confirmed; question(name) asks.
  async confirmed(command, title, question, action) {
    const name = this.store.session.current.name;
    if (await dialogs.confirm(title, question(name), action)) this.run(server.command(command, name));
  }

  // A setup whose library setups govern only some values takes just those, as edits left
  // unsaved; any other is the module's full copy, which drops the overrides, and says so first.
  async update(name) {
    let plan = { scoped: false, dropped: [] };
    try {
      const data = await server.values(keyOf('master', '', name));
      if (data) plan = updatePlan(data, exactValues(data));
    } catch (error) {
      this.notices.toast(error.message, 'error');
    }
    const labelOf = (property) => propertyInfo(property).label;
    if (!plan.scoped) {
      let question = T.updateQuestion(name);
      if (plan.dropped.length) question += ` ${T.updateDropsOverrides(plan.dropped.length, plan.dropped.map(labelOf).join(', '))}`;
      if (await dialogs.confirm(T.updateTitle, question, T.updateAction)) this.run(server.command('update-from-library', name));
      return;
    }
    let text = T.scopedUpdateQuestion(name, plan.label, plan.governs, plan.edits.length);
    if (plan.kept.length) text += ` ${T.scopedUpdateKeeps(plan.kept.length, plan.kept.map(labelOf).join(', '))}`;
    if (!plan.edits.length) {
      await dialogs.message(T.updateTitle, text);
      return;
    }
    if (!await dialogs.confirm(T.updateTitle, text, T.updateAction)) return;
    if (await this.changeValues(plan.edits)) this.notices.toast(T.didScopedUpdate(name, plan.edits.length));
  }

  // The dialog stays open until the workbench has renamed the setup, or says why it did not.
  async rename(old) {
    await dialogs.prompt(T.renameTitle, T.renamePrompt(old), T.nameLabel, old,
        (text) => (text.trim() === '' ? T.nameNeeded : null),
        async (name) => {
          if (name === old) return null;
          try {
            const outcome = await server.command('rename', old, name);
            return outcome.errors?.length ? this.notices.refusedInDialog(outcome.errors) : null;
          } catch (error) {
            return error.message;
          }
        });
  }

  async reset(name) {
    // What the reset throws away, as the file and the setup hold it now.
    let lost = [];
    try {
      const data = await server.values(keyOf('master', '', name));
      if (data?.saved) lost = changesOf(data);
    } catch (error) {
      this.notices.toast(error.message, 'error');
    }
    const session = this.store.session;
    const text = lost.length ? T.resetLoses(name, lost.length) : T.resetNothing(name);
    const table = lost.length ? changesTable(lost, session.labels, session.outputs, T.changesOf(name)) : null;
    if (table) table.classList.add('in-dialog');
    if (await dialogs.confirm(T.resetTitle, text, T.resetAction, table)) this.run(server.command('reset', name));
  }

  // New asks for a name: the module names a new setup itself, and the workbench renames it right
  // after. A refused name leaves the setup under the one it was given, and the dialog says so.
  async newSetup(from) {
    const library = this.store.session.libraryPick(from.name);
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
            if (!made) return outcome.errors?.length ? this.notices.refusedInDialog(outcome.errors) : T.newNotSeen;
            refusal = outcome.errors?.length ? this.notices.refusedInDialog(outcome.errors) : null;
            return refusal ? T.newKeptName(made, refusal) : null;
          } catch (error) {
            return error.message;
          }
        });
    if (named === null && made) this.notices.toast(T.newKept(made));
  }

  // Undoes or redoes one step, once the setup it acts on is known to hold what this page left.
  async undoRedo(which) {
    const editing = this.store.undo;
    for (let tries = 0; tries < 50; ++tries) {
      const name = which === 'undo' ? editing.undoName : editing.redoName;
      if (name === undefined) {
        this.notices.toast(which === 'undo' ? T.nothingToUndo : T.nothingToRedo);
        return;
      }
      try {
        const data = await server.values(keyOf('master', '', name));
        if (data) editing.noteValues(name, exactValues(data), data.rev);
        else editing.forget(name);
      } catch (error) {
        this.notices.toast(error.message, 'error');
        return;
      }
      if ((which === 'undo' ? editing.undoName : editing.redoName) !== name) continue;
      const entry = which === 'undo' ? editing.undoStack.at(-1) : editing.redoStack.at(-1);
      const what = entry.changes.map((c) => propertyInfo(c.property).label).reduce((line, label) => T.joined(line, label));
      const done = await (which === 'undo' ? editing.undo() : editing.redo()).catch((error) => {
        this.notices.toast(error.message, 'error');
        return null;
      });
      if (done) {
        const change = T.changeOf(what, name);
        this.notices.toast(which === 'undo' ? T.undone(change) : T.redone(change));
      }
      return;
    }
  }
}
