// The page's texts against the message catalogues, without a browser: every section, setting
// and page text has its German and Japanese text, every text of the markup names its key, and a
// text the page fills in has no place for more than the page gives it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import path from 'node:path';
import { importPage, sourceDir } from './harness.js';

const { T } = await importPage('texts.js');
const { SECTIONS } = await importPage('catalogue.js');
const { sectionKey } = await importPage('messages.js');

const cultures = readdirSync(path.join(sourceDir, 'translations'))
  .map((f) => /^Localizable\.(.+)\.txt$/.exec(f)?.[1]).filter(Boolean).sort();
const tables = Object.fromEntries(cultures.map((culture) => {
  const text = readFileSync(path.join(sourceDir, 'translations', `Localizable.${culture}.txt`), 'utf8');
  return [culture, new Map(text.split('\n').filter((l) => l && !l.startsWith('#'))
    .map((l) => [l.slice(0, l.indexOf('=')), l.slice(l.indexOf('=') + 1)]))];
}));

const html = readFileSync(path.join(sourceDir, 'workbench/page/web/index.html'), 'utf8');
const markupKeys = [...html.matchAll(/data-t(?:-title|-placeholder|-label)?="([^"]+)"/g)].map((m) => m[1]);
const catalogueKeys = SECTIONS.flatMap(([title, rows]) => [sectionKey(title),
  ...rows.flatMap(([name]) => [`Property_${name}`, `Property_${name}_Description`])]);
const pageKeys = [...Object.keys(T).map((name) => `Page_${name}`), ...markupKeys];

const missing = (keys) => Object.fromEntries(cultures.map((c) => [c, [...new Set(keys)].filter((k) => !tables[c].has(k))]));

test('the catalogues cover German and Japanese', () => {
  assert.deepEqual(cultures, ['de', 'ja']);
});

test('every section and setting has its label and description in every language', () => {
  assert.equal(catalogueKeys.filter((k) => k.startsWith('Property_')).length, 68 * 2);
  assert.deepEqual(missing(catalogueKeys), { de: [], ja: [] });
});

// A text added to the page needs its German and Japanese before it lands: until then it would
// show in English in the middle of the other language.
test('every text of the page and its markup has its translation', () => {
  const gaps = missing(pageKeys);
  for (const [culture, keys] of Object.entries(gaps)) {
    assert.deepEqual(keys, [], `Localizable.${culture}.txt lacks ${keys.join(', ')}`);
  }
});

// The markup's English is only what stands in: each text, title, placeholder and label in it
// names its key, or no language but English ever shows it.
test('every text of the markup names its key', () => {
  const unnamed = [];
  for (const [, tag, attributes, text] of html.matchAll(/<([a-z][a-z0-9]*)\b([^>]*)>([^<]*)/g)) {
    if (/[A-Za-z]/.test(text) && !/\bdata-t=/.test(attributes)) unnamed.push(`<${tag}> ${text.trim()}`);
    for (const [attribute, data] of [['title', 'title'], ['placeholder', 'placeholder'], ['aria-label', 'label']]) {
      if (new RegExp(`\\s${attribute}=`).test(attributes) && !attributes.includes(`data-t-${data}=`)) {
        unnamed.push(`<${tag} ${attribute}>`);
      }
    }
  }
  assert.deepEqual(unnamed, []);
});

test('a translated text asks for no more than the page gives it', () => {
  for (const [name, neutral] of Object.entries(T)) {
    const given = typeof neutral === 'function' ? neutral.length : 0;
    for (const culture of cultures) {
      for (const variant of ['', '_zero', '_one']) {
        const key = `Page_${name}${variant}`;
        const text = tables[culture].get(key);
        if (text === undefined) continue;
        assert.ok(variant === '' || given > 0, `${culture} ${key}: only a text with a number has variants`);
        const slots = [...text.matchAll(/\{(\d+)\}/g)].map((m) => Number(m[1]));
        assert.ok(slots.every((n) => n < given), `${culture} ${key}: ${text}`);
        // What the English text shows, the translation shows too (a variant for 0 may say it in words).
        if (variant !== '') continue;
        for (let n = 0; n < given; n++) assert.ok(slots.includes(n), `${culture} ${key} leaves out {${n}}`);
      }
    }
  }
});

test('a page text in a catalogue belongs to the page', () => {
  const known = new Set([...pageKeys, ...catalogueKeys]);
  for (const culture of cultures) {
    const stale = [...tables[culture].keys()].filter((k) => /^(Page|Section|Property)_/.test(k) &&
      !known.has(k) && !known.has(k.replace(/_(zero|one)$/, '')));
    assert.deepEqual(stale, [], culture);
  }
});
