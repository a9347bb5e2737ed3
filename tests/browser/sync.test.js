// Pages in step with the session: two pages on one session, a page whose event stream drops and
// comes back, and the stream itself (a snapshot first, then numbered steps; a reconnecting page
// catches up from the step it names).
import { test, before, after, beforeEach, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import * as h from './harness.js';

// Each test on design files of its own.
let files;
before(() => h.launchBrowser());
after(() => h.closeBrowser());
beforeEach(() => { files = h.demoFiles(); });
afterEach(() => files.cleanup());

const sorted = (pairs) => [...pairs].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));

/** Waits until the page shows the values show gives for its current setup, and says so. */
async function showsWhatShowSays(page, wb, name) {
  await page.locator('#values .setup-title', { hasText: name }).waitFor();
  const expected = sorted(await h.shown(wb, name));
  await h.until(page, (want) => {
    const rows = [...document.querySelectorAll('#values [data-property]')];
    const have = Object.fromEntries(rows.map((r) => [r.dataset.property, r.dataset.value]));
    return want.every(([p, v]) => have[p] === v) && rows.length === want.length;
  }, expected);
  assert.deepEqual(sorted(await h.pageValues(page)), expected);
}

test('two pages on one session stay in step: selection, edits, renames, deletes, prompt commands', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const one = await h.openPanel(wb.url);
    const two = await h.openPanel(wb.url, { width: 900, height: 700, scheme: 'dark' });

    await h.option(one, 'Lobby').click();
    await two.locator('[role="option"][aria-selected="true"][data-name="Lobby"]').waitFor();
    const samples = one.locator('[data-property="MaxSamplesPerPixel"] input');
    await samples.fill('640');
    await samples.press('Enter');
    for (const page of [one, two]) {
      await h.option(page, 'Lobby').locator('.modified-mark').waitFor();
      await showsWhatShowSays(page, wb, 'Lobby');
    }
    assert.match(await two.locator('#unsaved').textContent(), /1 unsaved/);

    // A rename in the second page; the first follows, with the values it had.
    await two.locator('#setups').focus();
    await two.keyboard.press('F2');
    await two.locator('dialog[open] input').fill('Lobby at Night');
    await two.locator('dialog[open] input').press('Enter');
    for (const page of [one, two]) {
      await h.option(page, 'Lobby at Night').waitFor();
      assert.equal(await h.option(page, 'Lobby').count(), 0);
      await showsWhatShowSays(page, wb, 'Lobby at Night');
    }

    wb.type('duplicate Draft');
    for (const page of [one, two]) await h.option(page, 'Draft - Copy').waitFor();
    await h.option(one, 'Draft - Copy').click();
    await one.locator('#cmd-delete').click();
    await one.locator('dialog[open] button.danger').click();
    for (const page of [one, two]) await h.option(page, 'Draft - Copy').waitFor({ state: 'detached' });
    assert.deepEqual(one.errors, []);
    assert.deepEqual(two.errors, []);
  } finally {
    await wb.stop();
  }
});

test('a page whose event stream drops and comes back shows what happened meanwhile', async () => {
  const wb = await h.startWorkbench(files.dir);
  const way = await h.relay(wb.url);
  try {
    const page = await h.openPanel(way.url);
    await h.option(page, 'Draft').click();
    await showsWhatShowSays(page, wb, 'Draft');

    way.drop();
    // Not live meanwhile, and says so: no button acts on what may be out of date.
    await h.until(page, () => document.getElementById('connection').dataset.status === 'lost'
      && document.getElementById('connection').textContent === 'Reconnecting\u2026'
      && document.getElementById('cmd-save').disabled);
    const seen = wb.out.length;
    wb.type('edit Draft MaxSamplesPerPixel 333');
    wb.type('rename Lobby Atrium');
    wb.type('duplicate Draft');
    await wb.waitForOutput(/^= 1$/m, 10000, seen);

    await page.locator('#connection[data-status="live"]').waitFor();
    await h.option(page, 'Atrium').waitFor();
    await h.option(page, 'Draft - Copy').waitFor();
    assert.equal(await h.option(page, 'Lobby').count(), 0);
    await h.option(page, 'Draft').locator('.modified-mark').waitFor();
    // The duplicate is the current setup now, everywhere.
    await showsWhatShowSays(page, wb, 'Draft - Copy');
    assert.deepEqual(page.errors.filter((e) => !/ERR_CONNECTION|net::/.test(e)), []);
  } finally {
    await way.close();
    await wb.stop();
  }
});

test('a page whose stream opens after its snapshot came misses nothing made in between', async () => {
  const wb = await h.startWorkbench(files.dir);
  const { page, close } = await h.newPage();
  try {
    let release;
    const held = new Promise((resolve) => { release = resolve; });
    const streams = [];
    await page.route(/\/events(\?.*)?$/, async (route) => {
      streams.push(route.request().url());
      await held;
      await route.continue();
    });
    await page.goto(wb.url);
    await h.option(page, 'Lobby').waitFor();
    // Not live until the stream is.
    assert.equal(await page.locator('#connection').getAttribute('data-status'), 'loading');
    const seen = wb.out.length;
    wb.type('edit Draft MaxSamplesPerPixel 321');
    wb.type('rename Lobby Atrium');
    await wb.waitForOutput(/^> rename Lobby Atrium$/m, 10000, seen);
    release();
    await page.locator('#connection[data-status="live"]').waitFor();
    await h.option(page, 'Atrium').waitFor();
    await h.option(page, 'Draft').locator('.modified-mark').waitFor();
    assert.match(streams[0], /\/events\?after=\d+$/);
    await h.option(page, 'Draft').click();
    await showsWhatShowSays(page, wb, 'Draft');
  } finally {
    await close();
    await wb.stop();
  }
});

/** The first events of a stream: [{ id, event, data }]. */
function events(url, lastEventId, count, query = '') {
  return new Promise((resolve, reject) => {
    const headers = lastEventId === undefined ? {} : { 'Last-Event-ID': String(lastEventId) };
    const req = http.get(`${url}events${query}`, { headers }, (res) => {
      let text = '';
      const got = [];
      res.setEncoding('utf8');
      res.on('data', (d) => {
        text += d;
        let end;
        while ((end = text.indexOf('\n\n')) >= 0) {
          const block = text.slice(0, end);
          text = text.slice(end + 2);
          const fields = Object.fromEntries(block.split('\n').filter((l) => /^(id|event|data):/.test(l))
            .map((l) => [l.slice(0, l.indexOf(':')), l.slice(l.indexOf(':') + 1).trim()]));
          if (fields.data === undefined) continue;
          got.push({ id: Number(fields.id), event: fields.event ?? 'message', data: JSON.parse(fields.data) });
          if (got.length === count) {
            req.destroy();
            resolve(got);
          }
        }
      });
    });
    req.on('error', (e) => { if (e.code !== 'ECONNRESET') reject(e); });
  });
}

test('a stream starts with a snapshot, a reconnecting one from the step it names, one after a fetched snapshot from there, an unknown one afresh', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const [first] = await events(wb.url, undefined, 1);
    assert.equal(first.event, 'snapshot');
    assert.deepEqual(first.data.master.map((s) => s.name), ['Draft', 'Lobby', 'Façade at Dusk']);
    assert.deepEqual(first.data.libraries.map((l) => l.file), ['office-standards.zellib', 'studio.zellib']);

    wb.type('edit Lobby DoShadows false');
    await wb.waitForOutput(/^> edit Lobby DoShadows false$/m);
    const [caughtUp] = await events(wb.url, first.id, 1);
    assert.equal(caughtUp.event, 'message');
    assert.equal(caughtUp.id, first.id + 1);
    const types = caughtUp.data.changes.map((c) => `${c.type} ${c.name ?? ''}`.trim());
    assert.deepEqual(types, ['values Lobby', 'marks Lobby', 'activity']);
    // Only what changed: no other setup, and no values.
    assert.ok(JSON.stringify(caughtUp).length < 1000);

    for (const unknown of [first.id + 50, 'nonsense']) {
      const [again] = await events(wb.url, unknown, 1);
      assert.equal(again.event, 'snapshot', String(unknown));
      assert.ok(again.id >= caughtUp.id);
    }

    // A page fetches its first snapshot as it starts and opens its stream after that version:
    // what happened in between still comes; an unreadable version gets a snapshot.
    const fetched = await (await fetch(`${wb.url}snapshot`)).json();
    assert.ok(fetched.version >= caughtUp.id);
    assert.deepEqual(fetched.snapshot.master.map((s) => s.name), ['Draft', 'Lobby', 'Façade at Dusk']);
    wb.type('edit Draft BlurPasses 7');
    await wb.waitForOutput(/^> edit Draft BlurPasses 7$/m);
    const [between] = await events(wb.url, undefined, 1, `?after=${fetched.version}`);
    assert.equal(between.id, fetched.version + 1);
    assert.deepEqual(between.data.changes.map((c) => `${c.type} ${c.name ?? ''}`.trim()), ['values Draft', 'marks Draft', 'activity']);
    const [unreadable] = await events(wb.url, undefined, 1, '?after=soon');
    assert.equal(unreadable.event, 'snapshot');
  } finally {
    await wb.stop();
  }
});
