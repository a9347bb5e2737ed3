// The setups list: the master file's setups, then each design library's, then those recently
// deleted from the master file, in one listbox that follows the WAI-ARIA listbox pattern (arrow
// keys, Page Up/Down, Home, End, type-ahead). Only the rows in view are drawn, so it stays quick at
// any number of setups; each option says where it stands in its group (aria-posinset,
// aria-setsize), and the active one is always drawn, so that focus (aria-activedescendant)
// follows it rather than the scroll position. Ctrl+click (or Cmd+click) on a setup asks to
// compare it with the one selected.
import { T } from './texts.js';
import { baseName, fold, longTime, shortTime } from './format.js';
import { originBadge } from './origin-badge.js';
import { keyOf } from './state.js';

const ROW = 26;
const HEAD = 44;
const OVERSCAN = 8;

function span(className, text, title) {
  const node = document.createElement('span');
  node.className = className;
  node.textContent = text;
  if (title) {
    node.title = title;
    node.setAttribute('aria-label', title);
  }
  return node;
}

export class ListView {
  /**
   * onSelect(key, next) is called when the user picks a setup (next: the one the same key would
   * pick after it, with the arrow keys, else null), onCompare(key) when they Ctrl+click one.
   */
  constructor(root, onSelect, onCompare = null) {
    this.root = root;
    this.label = root.getAttribute('aria-labelledby');
    this.onSelect = onSelect;
    this.onCompare = onCompare;
    this.state = null;
    this.items = [];    // { kind: 'head' | 'empty' | 'option', group, top, index, row }
    this.options = [];  // the option items, in order
    this.lastAt = -1;
    // What was drawn last ({ generation, scrollTop, from, to, active }); the generation counts
    // the changes of what the rows show.
    this.generation = 0;
    this.drawn = null;
    this.groupTops = new Map();
    this.height = 0;
    this.active = null;
    this.typed = '';
    this.typedAt = -Infinity;
    this.frame = 0;
    this.needle = '';
    this.found = 0;
    // Each row's name as the search compares it, worked out once a name.
    this.folded = new WeakMap();
    this.content = document.createElement('div');
    this.content.className = 'setups-content';
    root.replaceChildren(this.content);
    root.addEventListener('keydown', (e) => this.key(e));
    // A row is picked as the button goes down, as in a list box: the rows are drawn again when
    // a step comes or the list scrolls, and a row drawn again before the button came up would
    // take the click with it. A click no press came before (from assistive technology) picks too.
    root.addEventListener('mousedown', (e) => e.button === 0 && this.press(e));
    root.addEventListener('click', (e) => e.detail === 0 && this.press(e));
    root.addEventListener('scroll', () => this.schedule());
    new ResizeObserver(() => this.schedule()).observe(root);
  }

  /** Lays the list out afresh from state (after setups came, went or were renamed). */
  setData(state) {
    this.state = state;
    this.generation += 1;
    this.items = [];
    this.options = [];
    this.groupTops.clear();
    let top = 0;
    const filtering = this.needle !== '';
    this.found = 0;
    for (const group of state.groups) {
      const rows = filtering ? group.setups.filter((row) => this.matches(row)) : group.setups;
      // A search shows only the groups it finds something in.
      if (filtering && rows.length === 0) continue;
      this.found += rows.length;
      this.groupTops.set(group, top);
      this.items.push({ kind: 'head', group, top });
      top += HEAD;
      if (rows.length === 0) {
        this.items.push({ kind: 'empty', group, top });
        top += ROW;
      }
      for (let index = 0; index < rows.length; index += 1) {
        const item = { kind: 'option', group, top, index, size: rows.length, row: rows[index], at: this.options.length };
        this.items.push(item);
        this.options.push(item);
        top += ROW;
      }
    }
    if (filtering && this.found === 0) {
      this.items.push({ kind: 'none', top });
      top += ROW;
    }
    this.height = top;
    this.content.style.height = `${top}px`;
    this.draw();
  }

  /**
   * Shows only the setups whose name holds text, in any case and with or without accents
   * ('' shows all). Returns how many it found.
   */
  setFilter(text) {
    this.needle = fold(text.trim());
    if (this.state) this.setData(this.state);
    return this.found;
  }

  matches(row) {
    return this.foldOf(row).includes(this.needle);
  }

  foldOf(row) {
    let folded = this.folded.get(row);
    if (folded?.name !== row.name) {
      folded = { name: row.name, text: fold(row.name) };
      this.folded.set(row, folded);
    }
    return folded.text;
  }

  /** Makes key the active option and brings it into view (null: none). */
  setActive(key, { scroll = true } = {}) {
    this.active = key;
    const at = this.indexOf(key);
    if (scroll && at >= 0) this.reveal(this.options[at]);
    this.draw();
  }

  /** Draws the rows in view again, with their marks as they are now. */
  refresh() {
    this.generation += 1;
    this.draw();
  }

  indexOf(key) {
    if (!key) return -1;
    // The last one asked for is asked for again at every frame drawn: it is checked first.
    const last = this.options[this.lastAt];
    if (last && this.isAt(last, key)) return this.lastAt;
    this.lastAt = this.options.findIndex((o) => this.isAt(o, key));
    return this.lastAt;
  }

  isAt(item, key) {
    return item.row.name === key.name && item.group.group === key.group
      && (key.group !== 'library' || item.group.file === key.library);
  }

  keyAt(item) {
    return keyOf(item.group.group, item.group.file ?? '', item.row.name);
  }

  reveal(item) {
    const view = this.root.clientHeight;
    // The group's heading stays visible above its first option.
    const top = item.index === 0 ? item.top - HEAD : item.top;
    if (top < this.root.scrollTop) this.root.scrollTop = top;
    else if (item.top + ROW > this.root.scrollTop + view) this.root.scrollTop = item.top + ROW - view;
  }

  schedule() {
    if (this.frame) return;
    this.frame = requestAnimationFrame(() => {
      this.frame = 0;
      this.draw();
    });
  }

  // The first item whose bottom lies below y.
  itemAt(y) {
    let lo = 0;
    let hi = this.items.length - 1;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      const item = this.items[mid];
      const bottom = item.top + (item.kind === 'head' ? HEAD : ROW);
      if (bottom <= y) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  // A listbox holds options: while there are none it is a plain box that says so.
  beListbox(on) {
    if (on === (this.root.getAttribute('role') === 'listbox')) return;
    if (on) {
      this.root.setAttribute('role', 'listbox');
      this.root.setAttribute('aria-labelledby', this.label);
      this.root.tabIndex = 0;
    } else {
      for (const name of ['role', 'aria-labelledby', 'aria-activedescendant', 'tabindex']) this.root.removeAttribute(name);
    }
  }

  draw() {
    if (!this.state) return;
    this.beListbox(this.options.length > 0);
    if (!this.state.loaded) {
      this.content.style.height = '';
      this.content.replaceChildren(span('empty loading', T.loadingSetups));
      this.root.setAttribute('aria-busy', 'true');
      return;
    }
    this.root.removeAttribute('aria-busy');
    this.content.style.height = `${this.height}px`;
    const scrollTop = this.root.scrollTop;
    const from = Math.max(0, this.itemAt(scrollTop) - OVERSCAN);
    const to = Math.min(this.items.length - 1, this.itemAt(scrollTop + this.root.clientHeight) + OVERSCAN);
    const activeAt = this.indexOf(this.active);
    const activeItem = activeAt >= 0 ? this.options[activeAt] : null;
    const look = { generation: this.generation, scrollTop, from, to };
    if (this.moveSelection(look, activeItem)) return;
    this.drawn = { ...look, active: activeItem };
    const shown = this.items.slice(from, to + 1);
    if (activeItem && !shown.includes(activeItem)) shown.push(activeItem);

    // Every group with a drawn item, positioned over its whole height.
    const boxes = new Map();
    const groupBox = (group) => {
      if (boxes.has(group)) return boxes.get(group);
      const box = document.createElement('div');
      box.setAttribute('role', 'group');
      box.className = group === this.state.groups[0] ? 'group first' : 'group';
      const { kind, title } = this.names(group);
      box.setAttribute('aria-label', `${kind}: ${title}`);
      box.style.top = `${this.groupTops.get(group)}px`;
      box.append(this.heading(group));
      boxes.set(group, box);
      return box;
    };
    const loose = [];
    for (const item of shown) {
      if (item.kind === 'none') {
        const none = span('empty', T.noSetupsMatch);
        none.style.top = `${item.top}px`;
        loose.push(none);
        continue;
      }
      const box = groupBox(item.group);
      if (item.kind === 'head') continue;
      const top = item.top - this.groupTops.get(item.group);
      if (item.kind === 'empty') {
        const empty = span('empty', item.group.group === 'master' && !item.group.file ? T.noMasterFileSetups : T.noSetups);
        empty.style.top = `${top}px`;
        box.append(empty);
        continue;
      }
      box.append(this.option(item, top, item === activeItem));
    }
    this.content.replaceChildren(...boxes.values(), ...loose);
    // Deep in a group its heading stays in sight, pushed up by the next group's.
    const top = this.root.scrollTop;
    const first = this.items[this.itemAt(top)];
    if (first?.group && top > this.groupTops.get(first.group)) {
      const tops = [...this.groupTops.values()];
      const next = tops.find((t) => t > this.groupTops.get(first.group));
      const end = next ?? this.height;
      const head = this.heading(first.group);
      head.classList.add('stuck');
      head.style.top = `${Math.min(top, end - HEAD)}px`;
      this.content.append(head);
    }
    if (activeItem) this.root.setAttribute('aria-activedescendant', `setup-option-${activeItem.at}`);
    else this.root.removeAttribute('aria-activedescendant');
  }

  // When the same rows are in view as last drawn and only the selection moved among them, moves
  // it, rather than drawing every row again (a click, or an answer to one).
  moveSelection(look, active) {
    const was = this.drawn;
    if (!was || Object.keys(look).some((k) => look[k] !== was[k])) return false;
    const drawnAt = (item) => !item || (item.top >= this.items[look.from].top && item.top <= this.items[look.to].top);
    if (!drawnAt(was.active) || !drawnAt(active)) return false;
    if (was.active !== active) {
      if (was.active) document.getElementById(`setup-option-${was.active.at}`)?.setAttribute('aria-selected', 'false');
      if (active) document.getElementById(`setup-option-${active.at}`)?.setAttribute('aria-selected', 'true');
      this.drawn.active = active;
    }
    if (active) this.root.setAttribute('aria-activedescendant', `setup-option-${active.at}`);
    else this.root.removeAttribute('aria-activedescendant');
    return true;
  }

  names(group) {
    if (group.group === 'deleted') return { kind: T.recentlyDeleted, title: T.deletedGroupNote };
    const master = group.group === 'master';
    return {
      kind: master ? T.masterFile : T.designLibrary,
      title: master ? (group.file ? baseName(group.file) : T.noMasterFile) : baseName(group.file),
    };
  }

  heading(group) {
    const { kind, title } = this.names(group);
    const head = document.createElement('div');
    head.className = 'group-head';
    // The group's own label says it to a screen reader.
    head.setAttribute('aria-hidden', 'true');
    head.append(span('group-kind', kind), span('group-file', title));
    head.title = group.file ?? '';
    if (group.group === 'deleted') head.classList.add('deleted-head');
    return head;
  }

  option(item, top, selected) {
    const { row, group } = item;
    const option = document.createElement('div');
    option.setAttribute('role', 'option');
    option.id = `setup-option-${item.at}`;
    option.style.top = `${top}px`;
    option.dataset.index = String(item.at);
    option.dataset.group = group.group;
    option.dataset.library = group.group === 'library' ? group.file : '';
    option.dataset.name = row.name;
    option.setAttribute('aria-selected', String(selected));
    option.setAttribute('aria-setsize', String(item.size));
    option.setAttribute('aria-posinset', String(item.index + 1));
    option.append(span('setup-name', row.name));
    if (group.group === 'master') {
      if (row.modified) option.append(span('modified-mark', '\u25CF', T.modifiedMark));
      if (row.matches >= 0) {
        const same = row.matches === 1;
        option.append(span(`lib-mark ${same ? 'same' : 'differs'}`, same ? '=' : '\u2260', same ? T.sameAsLibrary : T.differsFromLibrary));
      }
      if (row.origin) option.append(originBadge(row.origin));
    }
    if (group.group === 'deleted') {
      option.classList.add('deleted');
      option.append(span('deleted-when', shortTime(row.deletedAt), T.deletedBy(row.deletedBy, longTime(row.deletedAt))));
    }
    return option;
  }

  press(e) {
    const option = e.target.closest('[role="option"]');
    if (!option) return;
    const item = this.options[Number(option.dataset.index)];
    if ((e.ctrlKey || e.metaKey) && this.onCompare && item) this.onCompare(this.keyAt(item));
    else this.pick(Number(option.dataset.index));
  }

  pick(at, step = 0) {
    const item = this.options[at];
    if (!item) return;
    const key = this.keyAt(item);
    this.setActive(key);
    const next = step ? this.options[at + step] : null;
    this.onSelect(key, next ? this.keyAt(next) : null);
  }

  key(e) {
    if (!this.options.length) return;
    const at = this.indexOf(this.active);
    const page = Math.max(1, Math.floor(this.root.clientHeight / ROW) - 1);
    const moves = {
      ArrowDown: at + 1, ArrowUp: Math.max(at - 1, 0), Home: 0, End: this.options.length - 1,
      PageDown: at + page, PageUp: Math.max(at - page, 0),
    };
    if (e.key in moves && !e.altKey && !e.ctrlKey && !e.metaKey) {
      e.preventDefault();
      // A move ends the name being typed: the next letter starts a new one.
      this.typed = '';
      this.typedAt = -Infinity;
      const step = { ArrowDown: 1, ArrowUp: -1 }[e.key] ?? 0;
      this.pick(Math.min(moves[e.key], this.options.length - 1), step);
      return;
    }
    if (e.key.length === 1 && !e.ctrlKey && !e.altKey && !e.metaKey) {
      // The gap between keys is taken from when each was pressed, not when it is handled here:
      // a page busy drawing must not split one name into two searches.
      const now = e.timeStamp;
      const again = now - this.typedAt < 700;
      // A space belongs to a name being typed; alone it does nothing.
      if (e.key === ' ' && !again) return;
      e.preventDefault();
      this.typed = (again ? this.typed : '') + fold(e.key);
      this.typedAt = now;
      // From the option after the active one (the active one itself while typing on), round.
      const start = again ? Math.max(at, 0) : at + 1;
      const n = this.options.length;
      for (let i = 0; i < n; i += 1) {
        const item = this.options[(start + i) % n];
        if (this.foldOf(item.row).startsWith(this.typed)) {
          this.pick(item.at);
          return;
        }
      }
    }
  }
}
