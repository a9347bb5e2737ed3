// The current setup's values, grouped in sections, each with an editor that fits its type.
import { SECTIONS, READ_ONLY, checkText, propertyInfo, shownText } from './catalogue.js';

let uid = 0;
const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export class ValuesView {
  /** onEdit(property, text) sends an edit of the setup shown. */
  constructor(root, onEdit) {
    this.root = root;
    this.onEdit = onEdit;
    this.key = null;
    this.rows = new Map();
    this.filter = '';
  }

  /** Shows setup (null: none) of group; labels are the host's names for values. */
  render(setup, group, labels, outputs) {
    const key = setup ? `${group}\u0000${setup.name}` : null;
    if (key !== this.key) {
      this.key = key;
      this.build(setup, group, labels, outputs);
    }
    if (!setup) return;
    this.root.querySelector('.modified-badge').hidden = !(group === 'master' && setup.modified);
    for (const [name, text] of setup.values) this.rows.get(name)?.update(text);
  }

  setFilter(text) {
    this.filter = text.trim().toLowerCase();
    for (const row of this.rows.values()) {
      const hay = `${row.info.label} ${row.info.name} ${row.info.description}`.toLowerCase();
      row.node.hidden = this.filter !== '' && !hay.includes(this.filter);
    }
    for (const section of this.root.querySelectorAll('section.values-section')) {
      section.hidden = [...section.querySelectorAll('.row')].every((r) => r.hidden);
    }
  }

  build(setup, group, labels, outputs) {
    this.rows.clear();
    this.root.replaceChildren();
    if (!setup) {
      this.root.append(el('p', { className: 'placeholder', textContent: 'Select a setup to see its values.' }));
      return;
    }
    const readOnly = group !== 'master';
    const title = el('h2', { className: 'setup-title', id: 'values-title', textContent: setup.name });
    const badges = el('div', { className: 'badges' },
        el('span', { className: 'badge modified-badge', textContent: 'Modified', hidden: true }),
        el('span', { className: `badge ${readOnly ? 'library' : 'master'}`,
          textContent: readOnly ? 'Library \u00B7 read-only' : 'Master file' }));
    const head = el('header', { className: 'values-head' }, title, badges);
    if (readOnly) {
      head.append(el('p', { className: 'note',
        textContent: 'Library setups cannot be changed here. Copy it into the master file to edit it.' }));
    }

    // Sections in catalogue order; anything else the model holds goes under "Other".
    const present = new Map(setup.values);
    const sections = SECTIONS.map(([title, rows]) => [title, rows.map((r) => r[0]).filter((n) => present.has(n))]);
    const known = new Set(sections.flatMap(([, names]) => names));
    const other = [...present.keys()].filter((n) => !known.has(n));
    if (other.length) sections.push(['Other', other]);

    const toc = el('nav', { className: 'toc', ariaLabel: 'Sections' });
    const list = el('ul');
    toc.append(list);
    const body = el('div', { className: 'sections' });
    sections.forEach(([sectionTitle, names], i) => {
      if (!names.length) return;
      const id = `section-${i}`;
      list.append(el('li', {}, el('a', { href: `#${id}`, textContent: sectionTitle })));
      const section = el('section', { className: 'values-section', id });
      section.setAttribute('aria-labelledby', `${id}-h`);
      section.append(el('h3', { id: `${id}-h`, textContent: sectionTitle }));
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
    const send = (text) => this.onEdit(info.name, text);
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
      update = (text) => {
        shown = shownText(info.type, text);
        if (document.activeElement === editor && editor.dataset.dirty) return;
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
        if (locked) return;
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
    editor.setAttribute('aria-describedby', `${id}-desc ${errorId}`);
    node.append(el('div', { className: 'editor' }, editor, error));
    return { node, info, update };
  }
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
    if (always) label.title = 'Always written';
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
