// The session's question and the module's message boxes as dialogs, one at a time, and the
// page's own dialogs, which they wait for.
import * as dialogs from './dialogs.js';
import * as server from './server.js';
import { text } from './messages.js';
import { T } from './texts.js';

export class Questions {
  /** store: the page's Store; onError(message) says what went wrong telling the workbench. */
  constructor(store, onError) {
    this.store = store;
    this.onError = onError;
    this.busy = false;
    // The id of the question on show, or null.
    this.asked = null;
  }

  /** Shows the next question or message the session holds, unless a dialog is open. */
  async next() {
    const session = this.store.session;
    if (!session.loaded) return;
    if (!session.question && this.asked !== null) {
      this.asked = null;
      dialogs.closeAll();
      return;
    }
    if (this.busy) return;
    const title = text('Title_RenderSetup', 'Render Setup Manager');
    if (session.question && this.asked !== session.question.id) {
      const { id, text: question } = session.question;
      this.asked = id;
      this.busy = true;
      const unsaved = this.store.closing?.unsaved ?? [];
      const saves = unsaved.length ? { heading: T.yesSaves, items: unsaved.map((n) => `\u201C${n}\u201D`) } : null;
      const yes = await dialogs.question(title, question, saves);
      this.busy = false;
      if (this.asked === id) {
        this.store.answered(yes);
        server.answer(id, yes).catch((error) => this.onError(error.message));
      }
      this.next();
      return;
    }
    const message = session.messages[0];
    if (message && !session.question) {
      this.busy = true;
      await dialogs.message(title, message.text);
      this.busy = false;
      this.store.dismissed(message.id);
      server.dismiss(message.id).catch((error) => this.onError(error.message));
      this.next();
    }
  }

  /** Runs fn, which opens a dialog of the page's own; the session's wait until it is closed. */
  async modal(fn) {
    this.busy = true;
    try {
      return await fn();
    } finally {
      this.busy = false;
      this.next();
    }
  }
}
