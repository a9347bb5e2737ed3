// The office standards as the page reads them, in Node: where a value stands, what Update takes
// from a library setup that governs some values only, and the lines of the "Why?" answer.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { importPage } from './harness.js';

const standards = await importPage('standards.js');

const OFFICE = '"Office Quality" in office-standards.zellib';
const layer = (more = {}) => ({ label: OFFICE, overlay: false, gone: false, scoped: false, governs: 68, ...more });
const exact = (pairs) => new Map(pairs);

test('a value stands as its standards say, for a drawing\'s setup and for a library setup', () => {
  const drawing = {
    layers: [layer({ label: 'first' }), layer({ label: 'second', overlay: true })],
    governed: {
      BlurPasses: { layer: 1, library: '8', lock: 'office look', override: { reason: 'client', by: 'kim' }, note: 'soft' },
      ShadowQuality: { layer: 0, library: '3' },
    },
    notes: { BlurPasses: 'ours', LightingModel: 'own only' },
  };
  const library = { scoped: true, governs: 2, locks: { BlurPasses: 'office look' }, notes: { BlurPasses: 'soft' } };
  const cases = [
    ['no standards', null, 'BlurPasses', { layer: null, lock: null, override: null, note: '', ownNote: '' }],
    ['the last layer that governs it, its lock, override and both notes', drawing, 'BlurPasses',
      { layer: 'second', lock: 'office look', override: { reason: 'client', by: 'kim' }, note: 'soft', ownNote: 'ours' }],
    ['governed, nothing more', drawing, 'ShadowQuality', { layer: 'first', lock: null, override: null, note: '', ownNote: '' }],
    ['the drawing\'s own value keeps its own note', drawing, 'LightingModel',
      { layer: null, lock: null, override: null, note: '', ownNote: 'own only' }],
    ['a library setup\'s lock and note are the library\'s', library, 'BlurPasses',
      { layer: null, lock: 'office look', override: null, note: 'soft', ownNote: '' }],
  ];
  for (const [what, given, property, expected] of cases) {
    assert.deepEqual(standards.standingOf(given, property), expected, what);
  }
  assert.equal(standards.isLockedHere(standards.standingOf(drawing, 'BlurPasses')), false, 'an overridden value is editable');
  assert.equal(standards.isLockedHere(standards.standingOf(library, 'BlurPasses')), true);
});

test('Update takes only the governed values of a scoped library setup, and tells the overrides a full copy drops', () => {
  const governed = {
    BlurPasses: { layer: 0, library: '8' },
    QualityThreshold: { layer: 0, library: '0.5' },
    ShadowQuality: { layer: 0, library: '3', lock: 'office look' },
    MaxSamplesPerPixel: { layer: 0, library: '512', lock: 'render farm', override: { reason: 'client' } },
    IndirectSamples: { layer: 0, library: '256', lock: 'render farm' },
  };
  const now = exact([['BlurPasses', '4'], ['QualityThreshold', '0.50'], ['ShadowQuality', '1'],
    ['MaxSamplesPerPixel', '1024'], ['IndirectSamples', '256'], ['LightingModel', '2']]);
  const cases = [
    ['no standards: the module\'s copy, nothing dropped', null, { scoped: false, dropped: [] }],
    ['a whole-copy library setup with an override: the override is dropped',
      { layers: [layer()], governed }, { scoped: false, dropped: ['MaxSamplesPerPixel'] }],
    ['a scoped one: differing values only, a locked one put back, an overridden one kept',
      { layers: [layer({ scoped: true, governs: 5 })], governed },
      { scoped: true, label: OFFICE, governs: 5, edits: [['BlurPasses', '8'], ['ShadowQuality', '3']], kept: ['MaxSamplesPerPixel'] }],
    ['an overlay takes its governed values as apply does',
      { layers: [layer({ label: 'base' }), layer({ overlay: true })], governed: { BlurPasses: { layer: 1, library: '8' } } },
      { scoped: true, label: OFFICE, governs: 1, edits: [['BlurPasses', '8']], kept: [] }],
  ];
  for (const [what, given, expected] of cases) {
    assert.deepEqual(standards.updatePlan({ standards: given }, now), expected, what);
  }
});

test('the Why? answer walks from the value now to the notes, saying only what applies', () => {
  const words = (text) => `<${text}>`;
  const when = (iso) => iso.slice(0, 10);
  const cases = [
    ['the drawing\'s own value, never changed in a version',
      { property: 'BlurPasses', now: '4', saved: '4', default: '1', state: 'unchanged' },
      ['Now: <4>', 'Default: <1>', 'No library setup governs it: it is this drawing\u2019s own value.', 'No saved version changed it.']],
    ['an unsaved value, governed, the library moved since',
      { now: '4', saved: '2', default: '1', layer: { label: OFFICE, overlay: false, gone: false }, base: '2', library: '8',
        libraryChanged: true, lastChange: { number: 2, madeAt: '2026-12-07T09:00:00Z', madeBy: 'kim', action: 'save', before: '2', after: '4' } },
      ['Now: <4>', 'Saved: <2>', 'Default: <1>', `Governed by ${OFFICE}`,
        'Changed in the library since it was taken: <2> then, <8> now', 'Last changed in version 2 by kim on 2026-12-07 (save: <2> \u2192 <4>)']],
    ['locked and overridden, the override in the last version, with every note',
      { now: '12', saved: '12', default: '1', layer: { label: OFFICE, overlay: true, gone: false }, base: '8', library: '8',
        libraryChanged: false, shadowed: true, lock: 'office look', override: { reason: 'client', by: 'kim', at: '2026-12-07T09:00:00Z' },
        lastChange: { number: 3, madeAt: '2026-12-07T09:00:00Z', madeBy: 'kim', action: 'save', override: 'client' },
        libraryDescription: 'house style', libraryNote: 'soft', description: 'lobby', note: 'ours' },
      ['Now: <12>', 'Default: <1>', `Governed by ${OFFICE}, applied over this setup`,
        'An earlier library setup governs it too; the last one applied wins.', 'Unchanged in the library since it was taken.',
        'Locked: office look', 'Overridden by kim: client', 'Last changed in version 3 by kim on 2026-12-07 (save, overridden: client)',
        'About the library setup: house style', 'Library note: soft', 'About this setup: lobby', 'Note: ours']],
    ['an override not saved yet, its library setup gone',
      { now: '12', default: '1', layer: { label: OFFICE, overlay: false, gone: true }, lock: 'office look', override: { reason: 'client' } },
      ['Now: <12>', 'Default: <1>', `Governed by ${OFFICE}`, 'The library setup is gone.', 'Locked: office look',
        'Overridden, not saved yet: client', 'No saved version changed it.']],
    ['no answer', { error: 'the master file holds no setup "Gone"' }, ['the master file holds no setup "Gone"']],
  ];
  for (const [what, why, expected] of cases) {
    assert.deepEqual(standards.whyLines(why, words, when), expected, what);
  }
});
