// Talking to the workbench. One snapshot arrives first, then numbered steps with what changed;
// a page that misses a step, or whose stream drops, gets a fresh start from where it was (or a
// new snapshot). A setup's values are asked for when they are shown. Every user action is posted
// as a form and runs on the workbench's user-interface thread.

// What connect.js asked for as the page started, once: a promise of { source, first, events }
// (first: the snapshot, if one came, and its version), or null.
function takeEarly() {
  const early = globalThis.earlyEvents ?? null;
  globalThis.earlyEvents = null;
  return early;
}

/**
 * Follows the workbench's events: onSnapshot(snapshot) and onStep(step) with what arrives,
 * onStatus('loading' | 'live' | 'lost' | 'ended').
 */
export class Connection {
  constructor({ onSnapshot, onStep, onStatus }) {
    this.onSnapshot = onSnapshot;
    this.onStep = onStep;
    this.onStatus = onStatus;
    this.version = null;
    this.source = null;
    const early = takeEarly();
    if (!early) {
      this.open();
      return;
    }
    this.onStatus('loading');
    early.then((taken) => this.start(taken), () => this.open());
  }

  // Goes on from the snapshot and the stream that the page asked for as it started.
  start(taken) {
    if (!taken) {
      this.open();
      return;
    }
    // From here on the handlers below take what the stream brings; connect.js keeps no more.
    taken.taken = true;
    if (taken.first) {
      this.version = taken.first.version;
      // Live once the stream is open.
      this.onSnapshot(taken.first.snapshot);
    }
    this.open(taken);
  }

  /** Stops following: the session ended. */
  close() {
    this.source?.close();
    this.source = null;
  }

  open(taken = null) {
    this.source?.close();
    // A new EventSource sends no Last-Event-ID: the workbench starts it with a snapshot.
    const source = taken?.source ?? new EventSource('events');
    this.source = source;
    if (this.version === null) this.onStatus('loading');
    const handlers = {};
    handlers.open = () => {
      if (this.version !== null) this.onStatus('live');
    };
    handlers.snapshot = (event) => {
      this.version = Number(event.lastEventId);
      this.onSnapshot(JSON.parse(event.data));
      this.onStatus('live');
    };
    handlers.message = (event) => {
      const version = Number(event.lastEventId);
      if (this.version === null || version !== this.version + 1) {
        // A gap: what came before is not known here, so start again from a snapshot.
        this.version = null;
        this.open();
        return;
      }
      this.version = version;
      this.onStep(JSON.parse(event.data));
    };
    handlers.closed = () => {
      source.close();
      this.onStatus('ended');
    };
    handlers.error = () => {
      // The browser reconnects by itself and names the last step it saw.
      this.onStatus(source.readyState === EventSource.CLOSED ? 'ended' : 'lost');
    };
    for (const [type, handler] of Object.entries(handlers)) source.addEventListener(type, handler);
    // What came before the page was ready, in the order it came; a gap opens another stream.
    for (const event of taken?.events ?? []) {
      if (this.source !== source) break;
      handlers[event.type](event);
    }
  }
}

// A workbench busy with something else answers 202, the query still queued: the page asks again
// a little later, up to a minute in all with the workbench's own wait, rather than show an error
// the next try would not.
const BUSY_PAUSES = [250, 500, 1000, 2000, 4000];

async function ask(url) {
  for (const pause of BUSY_PAUSES) {
    const response = await fetch(url);
    if (response.status !== 202) return response;
    await new Promise((resolve) => setTimeout(resolve, pause));
  }
  const response = await fetch(url);
  if (response.status === 202) throw new Error((await response.text()).trim());
  return response;
}

async function fetchValues(key) {
  const query = new URLSearchParams({ group: key.group, library: key.library, name: key.name });
  const response = await ask(`values?${query}`);
  if (!response.ok) throw new Error((await response.text()).trim() || `HTTP ${response.status}`);
  return response.json();
}

// The values asked for lately, by setup and revision: going back to a setup, or on to one asked
// for ahead, takes no round trip, and one asked for twice at once is asked once.
const kept = new Map();
const asked = new Map();
const KEPT = 64;
const valuesId = (key, rev) => `${key.group}\u0000${key.library}\u0000${key.name}\u0000${rev}`;

/**
 * The values of one setup (key: group, library, name) at revision rev, as { rev, values, origin },
 * or null when the panel shows no such setup (any more). fresh: ask the workbench even when they are kept (what the
 * setup's origin says may have moved on without its values).
 */
export function values(key, rev, { fresh = false } = {}) {
  const id = valuesId(key, rev);
  if (!fresh && kept.has(id)) {
    const data = kept.get(id);
    kept.delete(id);
    kept.set(id, data);
    return Promise.resolve(data);
  }
  if (!fresh && asked.has(id)) return asked.get(id);
  const promise = fetchValues(key).then((data) => {
    asked.delete(id);
    if (data) keepValues(key, data);
    return data;
  }, (error) => {
    asked.delete(id);
    throw error;
  });
  asked.set(id, promise);
  return promise;
}

/** Keeps the values of a setup that came without being asked for (with a step), as if asked. */
export function keepValues(key, data) {
  kept.set(valuesId(key, data.rev), data);
  if (kept.size > KEPT) kept.delete(kept.keys().next().value);
}

async function getJson(path, fields) {
  const response = await ask(`${path}?${new URLSearchParams(fields)}`);
  if (!response.ok) throw new Error((await response.text()).trim() || `HTTP ${response.status}`);
  return response.json();
}

/**
 * The versions of the master file's setup of that name (or of the one last deleted under it),
 * newest first: { name, deleted, versions: [{ number, madeAt, action, madeBy, name, nameAfter,
 * changes: [[property, before, after]] }] }, or { error }.
 */
export function history(name) {
  return getJson('history', { name });
}

/**
 * Why the value of property of the master file's setup name is what it is, as the workbench's
 * why says it: { property, now, saved, default, layer: { label, overlay, gone }, base, library,
 * libraryChanged, lock, override: { reason, by, at }, lastChange: { number, madeAt, madeBy,
 * action, before, after, override }, libraryDescription, libraryNote, description, note } with
 * what applies, or { error }.
 */
export function why(name, property) {
  return getJson('why', { name, property });
}

/**
 * Two sides value by value. A side is a setup's key ({ group, library, name }) with version: 0
 * for a master-file setup as it is now, N for its version N. Resolves to { rows: [[property, a,
 * b]] } with every property, or { error }.
 */
export function diff(a, b) {
  const fields = {};
  for (const [prefix, side] of [['a', a], ['b', b]]) {
    fields[`${prefix}g`] = side.group;
    fields[`${prefix}l`] = side.library ?? '';
    fields[`${prefix}n`] = side.name;
    fields[`${prefix}v`] = String(side.version ?? 0);
  }
  return getJson('diff', fields);
}

// The server may receive a pick and the command clicked after it in either order: it keeps the
// order these numbers give, per page.
const PAGE_ID = Array.from(crypto.getRandomValues(new Uint8Array(8)), (b) => b.toString(16).padStart(2, '0')).join('');
let sent = 0;

async function post(fields) {
  const body = new URLSearchParams();
  for (const [key, value] of fields) body.append(key, value);
  body.append('page', PAGE_ID);
  body.append('seq', String(++sent));
  const response = await fetch('action', { method: 'POST', body });
  if (!response.ok) throw new Error((await response.text()).trim() || `HTTP ${response.status}`);
  return response.json();
}

/**
 * Runs a workbench command, as the panel's button of that name. Resolves to
 * { done: true, errors: [...] } once it ran (errors: the lines it printed as errors), or to
 * { queued: true } when the workbench is still busy with something else. "new FROM NAME" also
 * renames the setup made to NAME, and tells its first name as made.
 */
export function command(...words) {
  return post([['action', 'command'], ...words.map((w) => ['w', w])]);
}

/** A library setup is named by its library's file too: two libraries may offer one name. */
export function select(key) {
  return post([['action', 'select'], ['group', key.group], ['name', key.name], ['library', key.library]]);
}

export function answer(id, yes) {
  return post([['action', 'answer'], ['id', String(id)], ['answer', yes ? 'yes' : 'no']]);
}

export function dismiss(id) {
  return post([['action', 'dismiss'], ['id', String(id)]]);
}
