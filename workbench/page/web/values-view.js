// The current setup's values, grouped in sections, each with an editor that fits its type.
import { SECTIONS, READ_ONLY, checkText, displayText, propertyInfo, sameValue, sendableText, shownText } from './catalogue.js';
import * as dialogs from './dialogs.js';
import { isLockedHere, standingOf, whyLines } from './standards.js';
import { shortTime } from './format.js';
import { T } from './texts.js';

let uid = 0;
const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export class ValuesView {
  /**
   * onEdit(property, text) sends an edit of the setup shown; onChanges() opens what Save would
   * store; onOverride(property, text, reason) sends an edit of a locked value with the reason for
   * it; onWhy(property) resolves to the workbench's answer why the value is what it is.
   */
  constructor(root, onEdit, onChanges, { onOverride = null, onWhy = null } = {}) {
    this.root = root;
    this.onEdit = onEdit;
    this.onChanges = onChanges;
    this.onOverride = onOverride;
    this.onWhy = onWhy;
    this.layout = null;
    this.shown = null;
    this.rows = new Map();
    this.filter = '';
  }

  /** Shows a line of text instead of a setup. */
  placeholder(text) {
    this.layout = null;
    this.shown = null;
    this.rows.clear();
    this.root.replaceChildren(el('p', { className: 'placeholder', textContent: text }));
  }

  /**
   * Shows the setup of key: its row in the list (name, marks) and its values as the workbench
   * sent them ({ values: [[property, text]], saved, exact }); note: a line about it, or '';
   * defaults: the renderer's, { property: text }.
   */
  show(key, row, data, labels, outputs, note, defaults = {}) {
    const readOnly = key.group !== 'master';
    const names = data.values.map(([name]) => name);
    // The editors stay from setup to setup; only what they show changes.
    const layout = `${readOnly}\u0000${names.join(',')}`;
    if (layout !== this.layout) {
      this.layout = layout;
      this.build(names, readOnly, labels, outputs);
    }
    const another = this.shown === null || this.shown.group !== key.group || this.shown.library !== key.library
      || this.shown.name !== key.name;
    this.shown = key;
    this.root.querySelector('.setup-title').textContent = key.name;
    this.root.querySelector('.modified-badge').hidden = !(key.group === 'master' && row?.modified);
    const noteLine = this.root.querySelector('.pick-note');
    noteLine.textContent = note;
    noteLine.hidden = !note;
    const standardsLine = this.root.querySelector('.standards-note');
    standardsLine.replaceChildren(...setupStandardsLines(data.standards, key.group === 'master').map((line) => el('span', { textContent: line })));
    standardsLine.hidden = !standardsLine.firstChild;
    const master = key.group === 'master';
    const exact = new Map(data.exact ?? []);
    const saved = master && data.saved ? new Map(data.saved) : null;
    for (const [name, text] of data.values) {
      const row = this.rows.get(name);
      if (!row) continue;
      const now = exact.get(name) ?? sendableText(row.info.type, text);
      row.update(text, another, { now, saved: saved?.get(name), fallback: master ? defaults[name] : undefined,
        standing: standingOf(data.standards, name) });
    }
    this.countChanges(master && data.saved === null);
  }

  // Each section says how many of its values Save would change; the head says it for all.
  countChanges(neverSaved) {
    let all = 0;
    for (const section of this.root.querySelectorAll('section.values-section')) {
      const count = section.querySelectorAll('.row.changed').length;
      all += count;
      const badge = section.querySelector('.section-count');
      // The comma is for screen readers, which read the heading as one text.
      badge.replaceChildren(...(count ? [el('span', { className: 'visually-hidden', textContent: ', ' }), T.changedCount(count)] : []));
      badge.hidden = count === 0;
    }
    const summary = this.root.querySelector('.changes-summary');
    const button = this.root.querySelector('.changes-button');
    if (!summary) return;
    summary.textContent = neverSaved ? T.neverSaved : all ? T.valuesChanged(all) : '';
    summary.hidden = !summary.textContent;
    button.hidden = !neverSaved && all === 0;
    summary.parentElement.hidden = summary.hidden && button.hidden;
  }

  setFilter(text) {
    this.filter = text.trim().toLowerCase();
    for (const row of this.rows.values()) {
      const hay = `${row.info.label} ${row.info.name} ${row.info.description}`.toLowerCase();
      row.node.hidden = this.filter !== '' && !hay.includes(this.filter);
    }
    let any = false;
    for (const section of this.root.querySelectorAll('section.values-section')) {
      section.hidden = [...section.querySelectorAll('.row')].every((r) => r.hidden);
      any ||= !section.hidden;
      const link = this.root.querySelector(`.toc a[href="#${section.id}"]`);
      if (link) link.parentElement.hidden = section.hidden;
    }
    const empty = this.root.querySelector('.no-match');
    if (empty) empty.hidden = any;
  }

  build(present, readOnly, labels, outputs) {
    this.rows.clear();
    this.root.replaceChildren();
    const title = el('h2', { className: 'setup-title', id: 'values-title' });
    const badges = el('div', { className: 'badges' },
        el('span', { className: 'badge modified-badge', textContent: T.modified, hidden: true }),
        el('span', { className: `badge ${readOnly ? 'library' : 'master'}`,
          textContent: readOnly ? T.libraryReadOnly : T.masterFile }));
    const head = el('header', { className: 'values-head' }, title, badges);
    if (readOnly) head.append(el('p', { className: 'note', textContent: T.libraryNote }));
    head.append(el('p', { className: 'note pick-note', hidden: true }));
    head.append(el('p', { className: 'note standards-note', hidden: true }));
    if (!readOnly) {
      const changes = el('button', { type: 'button', className: 'changes-button', textContent: T.showChanges, hidden: true });
      changes.addEventListener('click', () => this.onChanges());
      head.append(el('p', { className: 'note changes-line' },
          el('span', { className: 'changes-summary', hidden: true }), ' ', changes));
    }

    // Sections in catalogue order; anything else the model holds goes under "Other".
    const held = new Set(present);
    const sections = SECTIONS.map(([title, rows]) => [title, rows.map((r) => r[0]).filter((n) => held.has(n))]);
    const known = new Set(sections.flatMap(([, names]) => names));
    const other = present.filter((n) => !known.has(n));
    if (other.length) sections.push([T.otherSection, other]);

    const toc = el('nav', { className: 'toc', ariaLabel: T.sectionsLabel });
    const list = el('ul');
    toc.append(list);
    const body = el('div', { className: 'sections' });
    sections.forEach(([sectionTitle, names], i) => {
      if (!names.length) return;
      const id = `section-${i}`;
      list.append(el('li', {}, el('a', { href: `#${id}`, textContent: sectionTitle })));
      const section = el('section', { className: 'values-section', id });
      section.setAttribute('aria-labelledby', `${id}-h`);
      section.append(el('h3', { id: `${id}-h` }, sectionTitle, el('span', { className: 'section-count', hidden: true })));
      for (const name of names) {
        const row = this.makeRow(propertyInfo(name), readOnly, labels, outputs);
        this.rows.set(name, row);
        section.append(row.node);
      }
      body.append(section);
    });
    toc.addEventListener('click', (e) => {
      const link = e.target.closest('a');
      if (!link) return;
      e.preventDefault();
      const target = this.root.querySelector(link.getAttribute('href'));
      target?.scrollIntoView({ block: 'start' });
      target?.querySelector('input, select')?.focus({ preventScroll: true });
    });
    const clear = el('button', { type: 'button', textContent: T.clearFilter });
    clear.addEventListener('click', () => this.onClearFilter?.());
    body.append(el('div', { className: 'no-match', hidden: true },
        el('p', { textContent: T.noSettingsMatch }), clear));
    this.root.append(head, el('div', { className: 'values-body' }, toc, body));
    this.setFilter(this.filter);
  }

  makeRow(info, readOnly, labels, outputs) {
    const id = `field-${++uid}`;
    const errorId = `${id}-error`;
    const label = el('label', { className: 'row-label', htmlFor: id },
        el('span', { className: 'label', textContent: info.label }),
        el('code', { className: 'prop', textContent: info.name }));
    const description = el('span', { className: 'desc', id: `${id}-desc`, textContent: info.description });
    const error = el('div', { className: 'field-error', id: errorId, hidden: true });
    error.setAttribute('role', 'alert');
    const node = el('div', { className: 'row' }, el('div', { className: 'row-text' }, label, description));
    node.dataset.property = info.name;
    const locked = readOnly || READ_ONLY.has(info.name);
    // Locked by the office: read-only until the user overrides it with a reason, which goes
    // with the next change.
    let held = false;
    let overriding = null;
    const editable = () => !locked && !held;
    const send = (text) => {
      if (overriding !== null && this.onOverride) {
        const reason = overriding;
        overriding = null;
        return this.onOverride(info.name, text, reason);
      }
      return this.onEdit(info.name, text);
    };
    const showError = (message) => {
      error.textContent = message ?? '';
      error.hidden = !message;
      node.classList.toggle('invalid', Boolean(message));
    };

    let editor;
    let update;
    const named = labels[info.name];
    if (info.type === 'bool') {
      editor = el('input', { type: 'checkbox', id, disabled: locked });
      editor.addEventListener('change', () => send(editor.checked ? 'true' : 'false'));
      update = (text) => { editor.checked = text === 'true'; };
    } else if (info.name === 'Outputs') {
      ({ editor, update } = outputsEditor(id, info, outputs, locked, send));
      editor.hold = (on) => {
        for (const box of editor.querySelectorAll('input')) box.disabled = locked || on || Number(box.dataset.bit) < 2;
      };
    } else if (named && (info.type === 'u32' || info.type === 'i32')) {
      editor = el('select', { id, disabled: locked });
      update = (text) => {
        const value = BigInt.asUintN(32, BigInt(/^-?\d+$/.test(text) ? text : '0')).toString();
        const options = named.map(([v, l]) => [String(v), l]);
        if (!options.some(([v]) => v === value)) options.push([value, value]);
        if (editor.dataset.options !== JSON.stringify(options)) {
          editor.replaceChildren(...options.map(([v, l]) => el('option', { value: v, textContent: l })));
          editor.dataset.options = JSON.stringify(options);
        }
        editor.value = value;
      };
      editor.addEventListener('change', () => send(editor.value));
    } else {
      editor = el('input', { type: 'text', id, readOnly: locked, spellcheck: false, autocomplete: 'off',
        inputMode: info.type === 'u32' ? 'numeric' : info.type === 'f64' ? 'decimal' : 'text',
        className: info.type === 'text' ? 'text' : 'number' });
      let shown = '';
      update = (text, another) => {
        shown = shownText(info.type, text);
        // What is being typed stays, unless another setup is shown now.
        if (!another && document.activeElement === editor && editor.dataset.dirty) return;
        delete editor.dataset.dirty;
        editor.value = shown;
        showError(null);
      };
      const commit = () => {
        if (!editor.dataset.dirty) return;
        const checked = checkText(info.type, editor.value);
        if (checked.error) {
          showError(checked.error);
          return;
        }
        showError(null);
        delete editor.dataset.dirty;
        if (checked.text !== shown) send(checked.text);
      };
      editor.addEventListener('input', () => { editor.dataset.dirty = '1'; });
      editor.addEventListener('change', commit);
      editor.addEventListener('keydown', (e) => {
        if (!editable()) return;
        if (e.key === 'Enter') {
          commit();
        } else if (e.key === 'Escape' && editor.dataset.dirty) {
          e.stopPropagation();
          delete editor.dataset.dirty;
          editor.value = shown;
          showError(null);
        } else if ((e.key === 'ArrowUp' || e.key === 'ArrowDown') && info.type !== 'text') {
          e.preventDefault();
          const checked = checkText(info.type, editor.value);
          if (checked.error) return;
          const sign = e.key === 'ArrowUp' ? 1 : -1;
          if (info.type === 'u32') {
            const step = BigInt(e.shiftKey ? 10 : 1) * BigInt(sign);
            let next = BigInt(checked.text) + step;
            if (next < 0n) next = 0n;
            if (next > 4294967295n) next = 4294967295n;
            editor.value = next.toString();
          } else {
            const step = (e.shiftKey ? 1 : 0.1) * sign;
            editor.value = String(Math.round((Number(checked.text) + step) * 1e6) / 1e6);
          }
          editor.dataset.dirty = '1';
          commit();
        }
      });
    }
    if (locked && !readOnly) node.classList.add('locked');
    const stateId = `${id}-state`;
    const state = el('span', { className: 'visually-hidden', id: stateId });
    const mark = el('span', { className: 'value-mark' });
    mark.setAttribute('aria-hidden', 'true');
    node.prepend(mark);
    node.querySelector('.row-text').append(state);
    editor.setAttribute('aria-describedby', `${id}-desc ${stateId} ${errorId}`);
    // Where the value stands: { saved: the file's text when it differs, fallback: the default }.
    let standing = {};
    const revert = el('button', { type: 'button', className: 'value-action revert', textContent: T.revert, hidden: true });
    const reset = el('button', { type: 'button', className: 'value-action reset', textContent: T.toDefault, hidden: true });
    revert.addEventListener('click', () => { if (standing.saved !== undefined) send(standing.saved); });
    reset.addEventListener('click', () => { if (standing.fallback !== undefined) send(standing.fallback); });
    node.addEventListener('keydown', (e) => {
      if (!editable() || e.key !== 'Backspace' || !e.altKey) return;
      const target = e.shiftKey ? standing.fallback : standing.saved;
      if (target === undefined) return;
      e.preventDefault();
      send(target);
    });
    const actions = el('span', { className: 'value-actions' }, revert, reset);
    const standard = el('span', { className: 'standard', hidden: true });
    node.querySelector('.row-text').insertBefore(standard, state);
    const override = el('button', { type: 'button', className: 'value-action override', textContent: T.overrideButton, hidden: true });
    actions.append(override);
    let office = standingOf(null, info.name);
    const hold = (on) => {
      held = on;
      if (editor.hold) editor.hold(on);
      else if (editor.tagName === 'INPUT' && editor.type === 'text') editor.readOnly = locked || on;
      else editor.disabled = locked || on;
      node.classList.toggle('office-locked', on);
      override.hidden = !on || readOnly || !this.onOverride;
    };
    override.setAttribute('aria-label', `${T.overrideButton} ${info.label}`);
    override.addEventListener('click', async () => {
      const reason = await dialogs.prompt(T.overrideTitle, T.overridePrompt(info.label, office.layer ?? '', office.lock ?? ''),
          T.reasonLabel, '', (text) => (text.trim() === '' ? T.reasonNeeded : null));
      if (reason === null) return;
      overriding = reason.trim();
      hold(false);
      standard.append(el('span', { className: 'overriding', textContent: T.overridingNow(overriding) }));
      editor.focus();
    });
    let why = null;
    if (!readOnly && this.onWhy) {
      const popId = `${id}-why`;
      const button = el('button', { type: 'button', className: 'why-button', textContent: T.whyButton });
      button.setAttribute('aria-label', T.whyLabel(info.label));
      button.setAttribute('aria-expanded', 'false');
      button.setAttribute('aria-controls', popId);
      const pop = el('div', { className: 'why-pop', id: popId, hidden: true });
      pop.setAttribute('role', 'region');
      pop.setAttribute('aria-label', T.whyLabel(info.label));
      const close = () => {
        pop.hidden = true;
        button.setAttribute('aria-expanded', 'false');
      };
      pop.addEventListener('keydown', (e) => {
        if (e.key !== 'Escape') return;
        e.stopPropagation();
        close();
        button.focus();
      });
      button.addEventListener('click', async () => {
        if (!pop.hidden) {
          close();
          return;
        }
        button.setAttribute('aria-expanded', 'true');
        pop.hidden = false;
        pop.replaceChildren(el('p', { textContent: T.loading }));
        let lines;
        try {
          lines = whyLines(await this.onWhy(info.name), words, shortTime);
        } catch (problem) {
          lines = [problem.message];
        }
        const shut = el('button', { type: 'button', className: 'why-close', textContent: T.closeWhy });
        shut.addEventListener('click', () => {
          close();
          button.focus();
        });
        pop.replaceChildren(el('h4', { textContent: T.whyTitle(info.label) }),
            el('ul', {}, ...lines.map((line) => el('li', { textContent: line }))), shut);
      });
      actions.append(button);
      why = { pop, close };
    }
    node.append(el('div', { className: 'editor' }, el('div', { className: 'editor-line' }, editor, actions), error));
    if (why) node.append(why.pop);
    const words = (text) => displayText(info.name, text, labels, outputs);
    // The text as the workbench sent it, for whoever compares it with the workbench's own.
    const updateRow = (text, another, where = {}) => {
      node.dataset.value = text;
      update(text, another);
      const unsaved = where.saved !== undefined;
      const nonDefault = where.fallback !== undefined && !sameValue(info.type, where.now, where.fallback);
      standing = { saved: unsaved ? where.saved : undefined, fallback: nonDefault ? where.fallback : undefined };
      node.classList.toggle('changed', unsaved);
      node.classList.toggle('non-default', nonDefault);
      office = where.standing ?? standingOf(null, info.name);
      if (another) {
        overriding = null;
        why?.close();
      }
      hold(overriding === null && isLockedHere(office) && !readOnly);
      const told = standardLines(office);
      standard.replaceChildren(...told.map(([kind, line]) => el('span', { className: kind, textContent: line })));
      if (overriding !== null) standard.append(el('span', { className: 'overriding', textContent: T.overridingNow(overriding) }));
      standard.hidden = !standard.firstChild;
      node.classList.toggle('overridden', Boolean(office.override));
      const lines = [];
      if (unsaved) lines.push(T.savedValue(words(where.saved)));
      if (nonDefault) lines.push(T.defaultValue(words(where.fallback)));
      mark.title = lines.join('\n');
      node.querySelector('.row-text').title = mark.title;
      const editable = !locked && !held;
      revert.hidden = !(unsaved && editable);
      reset.hidden = !(nonDefault && editable);
      revert.title = T.revertTitle(words(where.saved));
      reset.title = T.toDefaultTitle(words(where.fallback));
      revert.setAttribute('aria-label', `${T.revert}: ${info.label}, ${words(where.saved)}`);
      reset.setAttribute('aria-label', `${T.toDefault}: ${info.label}, ${words(where.fallback)}`);
      const said = [];
      if (unsaved) said.push(`${T.unsavedWord}. ${T.savedValue(words(where.saved))}.${editable ? ` ${T.revertKey}` : ''}`);
      if (nonDefault) said.push(`${T.defaultValue(words(where.fallback))}.${editable ? ` ${T.toDefaultKey}` : ''}`);
      state.textContent = said.join(' ');
      if (editable) editor.setAttribute('aria-keyshortcuts', 'Alt+Backspace Alt+Shift+Backspace');
    };
    return { node, info, update: updateRow };
  }
}

// The lines under a value's description: its lock, its override, the notes.
function standardLines(standing) {
  const lines = [];
  if (standing.lock) lines.push(['lock-line', standing.layer ? T.lockedBy(standing.layer, standing.lock) : T.lockedHere(standing.lock)]);
  if (standing.override) {
    lines.push(['override-line', standing.override.by ? T.overriddenBy(standing.override.by, standing.override.reason)
      : T.overriddenUnsaved(standing.override.reason)]);
  }
  if (standing.note) lines.push(['note-line', T.libraryNoteLine(standing.note)]);
  if (standing.ownNote) lines.push(['note-line', T.ownNoteLine(standing.ownNote)]);
  return lines;
}

// The lines under the setup's name: which library setups govern it and their notes, or, for a
// library setup, what it governs.
function setupStandardsLines(standards, master) {
  if (!standards) return [];
  const lines = [];
  if (master) {
    for (const layer of standards.layers ?? []) {
      lines.push(layer.gone ? T.layerGone(layer.label) : T.layerGoverns(layer.label, layer.governs));
      if (layer.description) lines.push(T.libraryNoteLine(layer.description));
    }
    if (standards.description) lines.push(T.ownNoteLine(standards.description));
  } else {
    lines.push(standards.scoped ? T.libraryGovernsSome(standards.governs) : T.libraryGovernsAll);
    if (standards.description) lines.push(T.libraryNoteLine(standards.description));
  }
  return lines;
}

function outputsEditor(id, info, channels, locked, send) {
  const editor = el('fieldset', { className: 'channels', id });
  editor.append(el('legend', { className: 'visually-hidden', textContent: info.label }));
  const boxes = [];
  for (const [bit, name] of channels) {
    const always = bit < 2;
    const box = el('input', { type: 'checkbox', disabled: locked || always });
    box.dataset.bit = String(bit);
    const label = el('label', { className: 'channel' }, box, el('span', { textContent: name }));
    if (always) label.title = T.alwaysWritten;
    editor.append(label);
    boxes.push(box);
  }
  let bits = 3n;
  const update = (text) => {
    bits = BigInt.asUintN(64, BigInt(/^-?\d+$/.test(text) ? text : '0'));
    for (const box of boxes) box.checked = ((bits >> BigInt(box.dataset.bit)) & 1n) === 1n;
  };
  editor.addEventListener('change', (e) => {
    const box = e.target;
    const mask = 1n << BigInt(box.dataset.bit);
    bits = box.checked ? bits | mask : bits & ~mask;
    send(bits.toString());
  });
  return { editor, update };
}
