// The page's modules as files: index.html asks for every one of them at once, and a view takes
// what it shows from the store and the shared modules, never from another view.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { sourceDir } from './harness.js';

const web = path.join(sourceDir, 'workbench/page/web');
const read = (file) => readFileSync(path.join(web, file), 'utf8');
const modules = readdirSync(web).filter((f) => f.endsWith('.js'));
const importsOf = (file) => [...read(file).matchAll(/^import .* from '\.\/([\w-]+\.js)';$/gm)].map((m) => m[1]);

test('index.html preloads every module the page script imports, and no other', () => {
  const preloaded = [...read('index.html').matchAll(/<link rel="modulepreload" href="([\w-]+\.js)">/g)].map((m) => m[1]);
  const imported = new Set();
  const follow = (file) => {
    for (const next of importsOf(file)) {
      if (imported.has(next)) continue;
      imported.add(next);
      follow(next);
    }
  };
  follow('app.js');
  assert.deepEqual([...preloaded].sort(), [...imported].sort());
  // connect.js is a classic script of its own, loaded before the modules.
  assert.deepEqual(modules.filter((f) => f !== 'app.js' && f !== 'connect.js' && !imported.has(f)), []);
});

test('no view imports another view', () => {
  for (const view of modules.filter((f) => f.endsWith('-view.js'))) {
    assert.deepEqual(importsOf(view).filter((f) => f.endsWith('-view.js')), [], view);
  }
});
