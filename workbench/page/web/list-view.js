// The setups list: the master file's setups, then each design library's, in one listbox that
// follows the WAI-ARIA listbox pattern (arrow keys, Home, End, type-ahead).

const baseName = (path) => path.split(/[\\/]/).pop();

/** The small mark of a setup taken from a library: what moved on which side since. */
export function originBadge(origin) {
  const badge = document.createElement('span');
  const c = origin.counts;
  const parts = [];
  if (c['changed in library']) parts.push(`\u2193${c['changed in library']}`);
  if (c['changed here']) parts.push(`\u270E${c['changed here']}`);
  if (c.conflict) parts.push(`!${c.conflict}`);
  const state = origin.gone ? 'gone' : c.conflict ? 'conflict' : c['changed in library'] ? 'newer'
    : c['changed here'] ? 'local' : 'current';
  badge.className = `origin-badge ${state}`;
  badge.textContent = origin.gone ? 'gone' : parts.join(' ') || '\u2713';
  badge.title = `From \u201C${origin.librarySetup}\u201D in ${baseName(origin.libraryFile)}: ${origin.summary}`;
  badge.setAttribute('aria-label', badge.title);
  return badge;
}

export class ListView {
  /** onSelect(group, name, library) is called when the user picks a setup. */
  constructor(root, onSelect) {
    this.root = root;
    this.onSelect = onSelect;
    this.options = [];
    this.typed = '';
    this.typedAt = 0;
    root.addEventListener('keydown', (e) => this.key(e));
    root.addEventListener('click', (e) => {
      const option = e.target.closest('[role="option"]');
      if (option) this.pick(this.options.indexOf(option));
    });
  }

  render(picture, current) {
    const groups = [{ key: 'master', title: picture.masterFile ? baseName(picture.masterFile) : 'No master file',
      hint: 'Master file', setups: picture.master }];
    const byLibrary = new Map();
    for (const setup of picture.library) {
      if (!byLibrary.has(setup.listedIn)) byLibrary.set(setup.listedIn, []);
      byLibrary.get(setup.listedIn).push(setup);
    }
    for (const [file, setups] of byLibrary) {
      groups.push({ key: 'library', title: baseName(file), hint: 'Design library', setups });
    }

    this.root.replaceChildren();
    this.options = [];
    groups.forEach((group, g) => {
      const box = document.createElement('div');
      box.setAttribute('role', 'group');
      box.className = 'group';
      const head = document.createElement('div');
      head.className = 'group-head';
      head.id = `group-${g}`;
      head.innerHTML = '<span class="group-kind"></span><span class="group-file"></span>';
      head.querySelector('.group-kind').textContent = group.hint;
      head.querySelector('.group-file').textContent = group.title;
      head.title = group.key === 'master' ? picture.masterFile ?? '' : group.title;
      box.setAttribute('aria-labelledby', head.id);
      box.append(head);
      if (group.setups.length === 0) {
        const empty = document.createElement('div');
        empty.className = 'empty';
        empty.textContent = 'No setups';
        box.append(empty);
      }
      for (const setup of group.setups) {
        const option = document.createElement('div');
        option.setAttribute('role', 'option');
        option.id = `setup-${this.options.length}`;
        option.dataset.group = group.key;
        option.dataset.name = setup.name;
        option.dataset.library = group.key === 'library' ? setup.listedIn : '';
        const selected = current && current.group === group.key && current.name === setup.name
          && current.library === option.dataset.library;
        option.setAttribute('aria-selected', String(Boolean(selected)));
        const name = document.createElement('span');
        name.className = 'setup-name';
        name.textContent = setup.name;
        option.append(name);
        if (group.key === 'master' && setup.modified) {
          const mark = document.createElement('span');
          mark.className = 'modified-mark';
          mark.title = 'Modified: not saved';
          mark.setAttribute('aria-label', 'modified');
          mark.textContent = '\u25CF';
          option.append(mark);
        }
        if (group.key === 'master' && setup.matchesLibrary >= 0) {
          const link = document.createElement('span');
          link.className = setup.matchesLibrary === 1 ? 'lib-mark same' : 'lib-mark differs';
          link.title = setup.matchesLibrary === 1 ? 'Same as the library setup' : 'Differs from the library setup';
          link.setAttribute('aria-label', link.title);
          link.textContent = setup.matchesLibrary === 1 ? '=' : '\u2260';
          option.append(link);
        }
        if (group.key === 'master' && setup.origin) option.append(originBadge(setup.origin));
        box.append(option);
        this.options.push(option);
      }
      this.root.append(box);
    });
    const active = this.options.find((o) => o.getAttribute('aria-selected') === 'true');
    if (active) {
      this.root.setAttribute('aria-activedescendant', active.id);
      active.scrollIntoView({ block: 'nearest' });
    } else {
      this.root.removeAttribute('aria-activedescendant');
    }
  }

  pick(index) {
    const option = this.options[index];
    if (!option) return;
    for (const o of this.options) o.setAttribute('aria-selected', String(o === option));
    this.root.setAttribute('aria-activedescendant', option.id);
    option.scrollIntoView({ block: 'nearest' });
    this.onSelect(option.dataset.group, option.dataset.name, option.dataset.library);
  }

  key(e) {
    const at = this.options.findIndex((o) => o.getAttribute('aria-selected') === 'true');
    const moves = { ArrowDown: at + 1, ArrowUp: Math.max(at - 1, 0), Home: 0, End: this.options.length - 1 };
    if (e.key in moves && !e.altKey && !e.ctrlKey) {
      e.preventDefault();
      this.pick(Math.min(moves[e.key], this.options.length - 1));
      return;
    }
    if (e.key.length === 1 && !e.ctrlKey && !e.altKey && !e.metaKey && e.key !== ' ') {
      const now = Date.now();
      this.typed = (now - this.typedAt < 700 ? this.typed : '') + e.key.toLowerCase();
      this.typedAt = now;
      const found = this.options.findIndex((o) => o.dataset.name.toLowerCase().startsWith(this.typed));
      if (found >= 0) this.pick(found);
    }
  }
}
