// The page's store on its own, in Node: the setup picked in the page against answers that come
// late, undo steps that go stale (only by values that show their edit), values on show that
// follow a rename, activity told once, and what a close of the master file comes to.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { importPage } from './harness.js';

const { Store } = await importPage('store.js');

const master = (name) => ({ group: 'master', library: '', name });
const deletedKey = (name) => ({ group: 'deleted', library: '', name });
const row = (name, marks = {}) => ({ name, rev: 1, ...marks });
const snapshot = (more = {}) => ({
  masterFile: '/designs/tower.zel', current: master('Lobby'), question: null, messages: [], activity: [],
  ended: false, labels: {}, outputs: [], defaults: {},
  master: [row('Lobby'), row('Draft'), row('Atrium')],
  libraries: [{ file: '/designs/studio.zellib', setups: [row('Interior')] }],
  deleted: [{ name: 'Old', deletedAt: '2026-01-01T00:00:00Z', deletedBy: 'kim', versions: 1 }],
  ...more,
});
const step = (...changes) => ({ changes });
const answer = (key) => ({ type: 'current', current: key });
const event = (id, kind, text = '') => ({ type: 'activity', event: { id, kind, text } });

/** A store holding the snapshot, whose edits are all taken. */
function storeWith(snap = snapshot()) {
  const edits = [];
  const store = new Store({
    sendEdit: async (...edit) => { edits.push(edit); return { errors: [] }; },
    onUndo: () => {},
  });
  store.takeSnapshot(snap);
  return { store, edits };
}

/** Takes a step as the page does: one that brings a snapshot, whole. */
function take(store, next) {
  const taken = store.takeStep(next);
  if (taken.snapshot) store.takeSnapshot(next.snapshot);
  return taken;
}

test('a setup picked here stays current until the workbench has answered it, however late the answers come', () => {
  const [lobby, draft, atrium, old] = [master('Lobby'), master('Draft'), master('Atrium'), deletedKey('Old')];
  const says = (key) => step(answer(key));
  const cases = [
    // [what, the picks here, then each step (or pick), and the page's current setup after each]
    ['an answer to an earlier pick', [lobby, draft], [says(lobby), says(draft), says(atrium)], ['Draft', 'Draft', 'Atrium']],
    ['a setup picked twice', [lobby, draft, lobby], [says(lobby), says(draft), says(lobby), says(atrium)],
      ['Lobby', 'Lobby', 'Lobby', 'Atrium']],
    ['another page picks before the answer', [draft], [says(atrium), says(draft), says(atrium)], ['Draft', 'Draft', 'Atrium']],
    ['a deleted setup picked after another', [lobby, old], [says(lobby), says(atrium)], ['Old', 'Atrium']],
    ['a deleted setup, nothing asked before it', [old], [says(atrium)], ['Atrium']],
    ['a deleted setup, then a fresh snapshot of the same current', [old], [{ snapshot: snapshot() }, says(atrium)],
      ['Old', 'Atrium']],
    ['a deleted setup, then what the workbench had said again', [old], [says(lobby), says(atrium)], ['Old', 'Atrium']],
    ['a deleted setup picked after another, then a snapshot', [draft, old],
      [says(draft), { snapshot: snapshot({ current: draft }) }, says(atrium)], ['Old', 'Old', 'Atrium']],
    ['a pick whose setup went before it was answered', [draft],
      [step({ type: 'removed', group: 'master', library: '', name: 'Draft' }, answer(lobby)), says(atrium)], ['Lobby', 'Atrium']],
    ['then a deleted one picked', [draft],
      [step({ type: 'removed', group: 'master', library: '', name: 'Draft' }, answer(lobby)), { pick: old }, says(atrium)],
      ['Lobby', 'Old', 'Atrium']],
    ['an earlier pick answered with another setup', [atrium, draft], [says(lobby), says(draft), says(lobby)],
      ['Draft', 'Draft', 'Lobby']],
    ['a step that names no current setup', [lobby, draft], [step(event(1, 'result', '0')), says(lobby)], ['Draft', 'Draft']],
    ['a fresh snapshot before the answer', [draft], [{ snapshot: snapshot() }, says(draft), says(atrium)],
      ['Draft', 'Draft', 'Atrium']],
    ['a fresh snapshot that answers', [lobby, draft], [{ snapshot: snapshot({ current: draft }) }, says(atrium)],
      ['Draft', 'Atrium']],
  ];
  for (const [what, picks, steps, expected] of cases) {
    const { store } = storeWith();
    for (const key of picks) store.pick(key);
    const seen = steps.map((next) => {
      if (next.pick) store.pick(next.pick);
      else take(store, next);
      return store.session.current?.name ?? null;
    });
    assert.deepEqual(seen, expected, what);
  }
});

test('undo steps go with a save, a reset, a rename or a delete of their setup, not with an edit', async () => {
  const marks = (name, modified) => ({ type: 'marks', group: 'master', library: '', name, setup: { name, rev: 2, modified } });
  const cases = [
    ['saved (no longer modified)', step(marks('Lobby', false)), []],
    ['still modified', step(marks('Lobby', true)), ['Lobby']],
    ['another setup saved', step(marks('Draft', false)), ['Lobby']],
    ['its values changed', step({ type: 'values', group: 'master', library: '', name: 'Lobby', rev: 3 }), ['Lobby']],
    ['renamed', step({ type: 'renamed', group: 'master', library: '', name: 'Lobby', to: 'Hall' }), []],
    ['deleted', step({ type: 'removed', group: 'master', library: '', name: 'Lobby' }), []],
  ];
  for (const [what, next, kept] of cases) {
    const { store, edits } = storeWith();
    assert.equal(await store.undo.apply('Lobby', [{ property: 'BlurPasses', before: '2', after: '21' }]), true);
    assert.deepEqual(edits, [['Lobby', 'BlurPasses', '21']]);
    store.takeStep(next);
    assert.deepEqual([...store.undo.names()], kept, what);
    assert.equal(store.undo.canUndo, kept.length > 0, what);
  }
});

// The edit lands at revision 5: values of an earlier revision, however late they come (a kept
// answer, a stream behind the command's own answer), say nothing about it.
test('an undo step goes stale only by values that show its edit and then something else', async () => {
  const cases = [
    ['older values, come late', 4, '2', true],
    ['values with the edit', 5, '21', true],
    ['later values, the edit kept', 7, '21', true],
    ['the same revision, another value', 5, '3', false],
    ['changed elsewhere since', 6, '3', false],
  ];
  for (const [what, rev, text, kept] of cases) {
    const edits = [];
    const store = new Store({
      sendEdit: async (...edit) => { edits.push(edit); return { errors: [], rev: 5 }; },
      onUndo: () => {},
    });
    store.takeSnapshot(snapshot());
    await store.undo.apply('Lobby', [{ property: 'BlurPasses', before: '2', after: '21' }]);
    store.undo.noteValues('Lobby', new Map([['BlurPasses', text]]), rev);
    assert.equal(store.undo.canUndo, kept, what);
    // A next edit made before values with the first came starts from what the first left.
    await store.undo.apply('Lobby', [{ property: 'BlurPasses', before: text, after: '22' }]);
    const starts = store.undo.undoStack.at(-1).changes[0].before;
    assert.equal(starts, rev < 5 ? '21' : text, what);
  }
});

test('values on show follow their setup to its new name; values carried with a step are handed on', () => {
  const { store } = storeWith();
  const data = { rev: 1, values: [['BlurPasses', '2']] };
  const library = { key: { group: 'library', library: '/designs/studio.zellib', name: 'Interior' }, data };
  store.setShown({ key: master('Lobby'), data }, library);
  const taken = store.takeStep(step({ type: 'renamed', group: 'master', library: '', name: 'Lobby', to: 'Hall' },
    { type: 'values', group: 'master', library: '', name: 'Draft', rev: 2, data },
    { type: 'values', group: 'master', library: '', name: 'Atrium', rev: 2 }));
  assert.deepEqual(store.shown.key, master('Hall'));
  assert.equal(store.shown.data, data);
  assert.equal(store.shownLibrary, library);
  assert.equal(store.session.current.name, 'Hall');
  assert.deepEqual(taken.carried, [[master('Draft'), data]]);
});

test('activity is told once: none from before the page started, what it missed when it starts again', () => {
  const ids = (events) => events.map((e) => e.id);
  const activity = (...numbers) => numbers.map((id) => ({ id, kind: 'result', text: '' }));
  const { store } = storeWith(snapshot({ activity: activity(1, 2, 3) }));
  assert.deepEqual(ids(store.takeStep(step(event(3, 'result'), event(4, 'command', 'save Lobby'))).news), [4]);
  assert.deepEqual(ids(store.takeStep(step(event(5, 'result'))).news), [5]);
  assert.deepEqual(ids(store.takeSnapshot(snapshot({ activity: activity(1, 2, 3, 4, 5, 6, 7) })).missed), [6, 7]);
  const fresh = new Store({ sendEdit: async () => ({}), onUndo: () => {} });
  assert.deepEqual(ids(fresh.takeSnapshot(snapshot({ activity: activity(1, 2, 3) })).missed), []);
});

test('a close that asks first: the list as it was while asked, then what came of the answer', () => {
  const closed = [step({ type: 'masterFile', file: null }, { type: 'question', question: null }),
    ...['Lobby', 'Draft', 'Atrium'].map((name) => step({ type: 'removed', group: 'master', library: '', name }))];
  const cases = [
    // [what, the unsaved setups, what the prompt showed, the line above the list after]
    ['Yes', ['Lobby'], [event(10, 'question', 'Save changes? -> yes')], 'tower.zel closed; saved \u201CLobby\u201D.'],
    ['No', ['Lobby', 'Draft'], [event(10, 'question', 'Save changes? -> no')],
      'tower.zel closed without saving \u201CLobby\u201D and \u201CDraft\u201D.'],
    ['Yes, and the save failed', ['Lobby'], [event(10, 'question', 'Save changes? -> yes'), event(11, 'error', 'disk full')],
      'tower.zel closed, but not everything was saved: disk full'],
    ['nothing unsaved', [], [event(10, 'question', 'Close? -> yes')], 'tower.zel closed.'],
  ];
  for (const [what, unsaved, said, note] of cases) {
    const { store } = storeWith(snapshot({ master: ['Lobby', 'Draft', 'Atrium'].map((n) => row(n, { modified: unsaved.includes(n) })) }));
    // The module empties the list, then asks.
    store.takeStep(step({ type: 'removed', group: 'master', library: '', name: 'Atrium' },
      { type: 'question', question: { id: 7, text: 'Save changes?' } }));
    const shown = store.listed();
    assert.equal(store.frozen, true, what);
    assert.deepEqual(shown.groups[0].setups.map((r) => r.name), ['Lobby', 'Draft', 'Atrium'], what);
    assert.deepEqual(store.closing.unsaved, unsaved, what);
    assert.equal(store.closeOutcome('/designs/tower.zel'), null, `${what}: nothing said while asked`);
    store.takeStep(step(...said));
    const outcomes = closed.map((next) => store.closeOutcome(store.takeStep(next).wasFile));
    assert.deepEqual(outcomes[0], { note, relist: true }, what);
    assert.ok(outcomes.slice(1).every((o) => o.note === null), `${what}: said once`);
    assert.equal(store.closing, null, what);
    assert.equal(store.listed(), store.session, what);
    assert.equal(store.frozen, false, what);
    assert.equal(store.listNote, note, what);
  }

  // Closed without a question; then the session ends, which the line says once.
  const { store } = storeWith();
  const taken = store.takeStep(step({ type: 'masterFile', file: null }));
  assert.deepEqual(store.closeOutcome(taken.wasFile), { note: 'tower.zel closed.', relist: false });
  assert.equal(store.sessionEnded(), 'The session ended. tower.zel closed.');
  assert.equal(store.sessionEnded(), null);
});

test('a setup brought back is selected once a step lists it', () => {
  const { store } = storeWith();
  store.awaitSetup(master('Old 2'));
  assert.equal(store.arrived(), null);
  store.takeStep(step({ type: 'added', group: 'master', library: '', name: 'Old 2', setup: row('Old 2') }));
  assert.deepEqual(store.arrived(), master('Old 2'));
  assert.equal(store.arrived(), null);
});

test('a setup picked while one brought back is not yet listed stays picked when it comes', () => {
  const { store } = storeWith();
  store.awaitSetup(master('Old 2'));
  store.pick({ group: 'library', library: '/designs/studio.zellib', name: 'Interior' });
  store.takeStep(step({ type: 'added', group: 'master', library: '', name: 'Old 2', setup: row('Old 2') }));
  assert.equal(store.arrived(), null);
  assert.equal(store.session.current.name, 'Interior');
});
