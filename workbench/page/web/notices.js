// What the page says beside its views: the state of the stream, the status line (what each
// command did, once it is over), alerts, and the line above the list.
import { T } from './texts.js';
import { describe, splitCommand } from './words.js';

const $ = (selector) => document.querySelector(selector);

export class Notices {
  /** store: the page's Store, read for the labels of values and whether a question is open. */
  constructor(store) {
    this.store = store;
    // The command the status line waits to tell of: its words and what it printed.
    this.telling = null;
    // What the workbench refused of a dialog's own request, which that dialog says: not said
    // again as an alert, whether the step that tells every page comes before the answer or
    // soon after it.
    this.saidInDialog = new Map();
  }

  /** Says text in the status line, or as an alert of its own when kind is 'error'. */
  toast(text, kind) {
    if (kind !== 'error') {
      $('#status-text').textContent = text;
      return;
    }
    const said = this.saidInDialog.get(text);
    this.saidInDialog.delete(text);
    if (said !== undefined && Date.now() - said < 10000) return;
    const item = document.createElement('div');
    item.className = 'toast error';
    item.textContent = text;
    $('#alerts').append(item);
    setTimeout(() => item.remove(), 8000);
  }

  /** The errors of a dialog's request, as that dialog says them; no alert says them too. */
  refusedInDialog(errors) {
    for (const text of errors) {
      const shown = [...$('#alerts').children].find((item) => item.textContent === text);
      if (shown) shown.remove();
      else this.saidInDialog.set(text, Date.now());
    }
    return errors.join('\n');
  }

  /** The line above the list (null: none); tellToo says it in the status line as well. */
  listNote(text, tellToo = true) {
    const note = $('#list-note');
    note.textContent = text ?? '';
    note.hidden = !text;
    if (text && tellToo) this.toast(text);
  }

  /** The state of the stream, on its pill and on the page. */
  connection(status) {
    const pill = $('#connection');
    pill.dataset.status = status;
    pill.textContent = { loading: T.loading, live: T.live, lost: T.lost, ended: T.ended }[status];
    if (status === 'ended') document.body.classList.add('ended');
    document.body.classList.toggle('loading', status === 'loading');
  }

  /**
   * Tells in the status line what each command did, once it is over (a command that asks a
   * question is over when it has been answered); errors are shown as they come.
   */
  tell(events) {
    for (const event of events) {
      if (event.kind === 'command') {
        this.finishTelling();
        this.telling = { words: splitCommand(event.text), events: [] };
        continue;
      }
      if (event.kind === 'error') this.toast(event.text, 'error');
      this.telling?.events.push(event);
    }
    if (!this.store.session.question) this.finishTelling();
  }

  finishTelling() {
    if (!this.telling) return;
    const said = describe(this.telling.words, this.telling.events, this.store.session.labels);
    this.telling = null;
    if (said) this.toast(said.text);
  }
}
