// The values editor: where each value stands (against the saved value and the renderer's
// default), reverting one value, what Save would store, undo and redo, the filter's empty state
// and the comparison with a library in the editors' own words.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import * as h from './harness.js';

let files;
before(async () => {
  files = h.demoFiles();
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

const row = (page, property) => page.locator(`#values [data-property="${property}"]`);
const value = (page, property) => row(page, property).getAttribute('data-value');
const edits = (wb) => (wb.out.match(/^> edit /gm) ?? []).length;
const failed = (page) => page.locator('dialog[open][role="alertdialog"]', { hasText: 'Failed to do operation' });

async function setText(page, property, text) {
  const input = row(page, property).locator('input');
  await input.fill(text);
  await input.press('Enter');
}

async function openSetup(page, name) {
  await h.option(page, name).click();
  await page.locator('#values .setup-title', { hasText: name }).waitFor();
}

test('marks say where each value stands; revert and default put one value back', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    // A setup the host stores with nothing given holds the renderer's defaults.
    wb.type('host add Plain');
    const from = wb.out.length;
    wb.type('host show Plain');
    await wb.waitForOutput(/^ToleranceOverrideMeters = .*$/m, 10000, from);
    const defaults = new Map([...wb.out.slice(from).matchAll(/^(\w+) = (.*)$/gm)].map((m) => [m[1], m[2]]));
    const same = (a, b) => Number(a) === Number(b) || a === b;
    const page = await h.openPanel(wb.url);
    await openSetup(page, 'Lobby');
    const saved = { BlurPasses: await value(page, 'BlurPasses'), LightingModel: await value(page, 'LightingModel') };
    assert.equal(await page.locator('#values .row.changed').count(), 0);

    // Three kinds of editor; each changed value gets the mark, the section its count.
    await setText(page, 'BlurPasses', '17');
    await h.waitForValue(page, 'BlurPasses', '17');
    await row(page, 'DoShadows').locator('input').click();
    await h.waitForValue(page, 'DoShadows', 'false');
    await row(page, 'LightingModel').locator('select').selectOption('2');
    await h.until(page, () => document.querySelectorAll('#values .row.changed').length === 3);
    const counts = await page.locator('#values section h3').evaluateAll((hs) => hs
      .filter((x) => !x.querySelector('.section-count').hidden)
      .map((x) => [x.firstChild.textContent, x.querySelector('.section-count').textContent]));
    assert.deepEqual(counts, [['Camera and output', ', 1 changed'], ['Lighting', ', 1 changed'],
      ['Shadows, reflection and transparency', ', 1 changed']]);
    // The saved value, in the editor's words, on hover and for a screen reader.
    assert.equal(saved.LightingModel, '1');
    assert.match(await row(page, 'LightingModel').locator('.value-mark').getAttribute('title'), /^Saved value: Radiosity/);
    const described = await row(page, 'DoShadows').locator('input').evaluate((input) => input.getAttribute('aria-describedby')
      .split(' ').map((id) => document.getElementById(id)?.textContent ?? '').join(' '));
    assert.match(described, /Changed, not saved\. Saved value: Yes\..*Alt\+Backspace/);

    // The quieter mark: a value that is not the default, whether saved or not.
    const nonDefault = await page.locator('#values .row.non-default').evaluateAll((rows) => rows.map((r) => r.dataset.property));
    for (const property of ['BlurPasses', 'LightingModel', 'MaxSamplesPerPixel', 'AmbientOcclusionRange']) {
      assert.ok(nonDefault.includes(property), property);
    }
    assert.ok(!nonDefault.includes('RenderClouds'));

    // Revert by button and by key, default by button; each is an edit the workbench runs.
    const before = edits(wb);
    await row(page, 'BlurPasses').locator('button.revert').click();
    await h.waitForValue(page, 'BlurPasses', saved.BlurPasses);
    await row(page, 'DoShadows').locator('input').focus();
    await page.keyboard.press('Alt+Backspace');
    await h.waitForValue(page, 'DoShadows', 'true');
    await row(page, 'MaxSamplesPerPixel').locator('button.reset').click();
    await h.waitForValue(page, 'MaxSamplesPerPixel', defaults.get('MaxSamplesPerPixel'));
    assert.ok(same(await value(page, 'MaxSamplesPerPixel'), defaults.get('MaxSamplesPerPixel')));
    await row(page, 'AmbientOcclusionRange').locator('input').focus();
    await page.keyboard.press('Alt+Shift+Backspace');
    await h.until(page, () => !document.querySelector('#values [data-property="AmbientOcclusionRange"]').classList.contains('non-default'));
    assert.ok(same(await value(page, 'AmbientOcclusionRange'), defaults.get('AmbientOcclusionRange')));
    assert.equal(edits(wb) - before, 4);
    assert.deepEqual(await page.locator('#values .row.changed').evaluateAll((rows) => rows.map((r) => r.dataset.property)),
      ['MaxSamplesPerPixel', 'LightingModel', 'AmbientOcclusionRange']);
    await h.until(page, () => !document.querySelector('#values [data-property="MaxSamplesPerPixel"]').classList.contains('non-default'));

    // ShadowQuality differs from the default but cannot be written from the page: no way back.
    assert.ok(nonDefault.includes('ShadowQuality'));
    assert.equal(await row(page, 'ShadowQuality').locator('button.value-action:not([hidden])').count(), 0);
    await h.screenshot(page, 'editor-marks');

    // Under a reference attachment the module refuses the first edit, and the page sends no more.
    await openSetup(page, 'Draft');
    await setText(page, 'MaxAASamples', '12');
    await h.waitForValue(page, 'MaxAASamples', '12');
    await row(page, 'DoShadows').locator('input').click();
    await h.waitForValue(page, 'DoShadows', 'true');
    await h.option(page, 'Draft').locator('.lib-mark.differs').waitFor();
    await page.keyboard.press('Alt+M');
    await page.locator('table.compare tr.differs').nth(1).waitFor();
    wb.type('reference on');
    await wb.waitForOutput(/^> reference on$/m);
    const sentFrom = wb.out.length;
    await page.locator('button.take-all').click();
    await failed(page).waitFor();
    await page.keyboard.press('Escape');
    // The page's next change goes out once the first is over: whatever more that sent comes before.
    await page.keyboard.press('Alt+M');
    await setText(page, 'BlurPasses', '17');
    await wb.waitForOutput(/^> edit Draft BlurPasses 17$/m, 10000, sentFrom);
    const sent = wb.out.slice(sentFrom).match(/^> edit .*$/gm);
    assert.equal(sent.length, 2, sent.join('\n'));
    assert.match(sent[0], /^> edit Draft DoShadows /);
    await failed(page).waitFor();
    await page.keyboard.press('Escape');
    wb.type('reference off');
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('Changes and Reset list what Save would store; undo and redo step back through every editor', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const page = await h.openPanel(wb.url);
    await openSetup(page, 'Lobby');
    const start = new Map(await h.pageValues(page));
    // One change of each kind of editor, and a revert, in order.
    const steps = [
      ['BlurPasses', (p) => setText(p, 'BlurPasses', '21'), '21'],
      ['DoShadows', (p) => row(p, 'DoShadows').locator('input').click(), 'false'],
      ['LightingModel', (p) => row(p, 'LightingModel').locator('select').selectOption('2'), '2'],
      ['Outputs', (p) => row(p, 'Outputs').locator('input[data-bit="2"]').click(), null],
      ['BlurPasses', (p) => row(p, 'BlurPasses').locator('button.revert').click(), start.get('BlurPasses')],
    ];
    const history = [];
    for (const [property, act, expected] of steps) {
      history.push([property, await value(page, property)]);
      await act(page);
      if (expected !== null) await h.waitForValue(page, property, expected);
      else await h.until(page, ([p, v]) => document.querySelector(`#values [data-property="${p}"]`).dataset.value !== v, [property, history.at(-1)[1]]);
    }
    const end = new Map(await h.pageValues(page));

    // What Save would store, in the editors' words; Reset asks with the same list.
    await page.locator('.changes-button').click();
    const changes = await page.locator('#changes tbody tr').evaluateAll((rows) => rows.map((r) =>
      [r.dataset.property, r.querySelector('.old').textContent, r.querySelector('.new').textContent]));
    assert.deepEqual(changes, [['Outputs', 'Colour, Alpha', 'Colour, Alpha, Depth'], ['LightingModel', 'Radiosity', 'Path tracing'],
      ['DoShadows', 'Yes', 'No']]);
    assert.deepEqual(await h.accessibilityProblems(page), []);
    await h.screenshot(page, 'editor-changes');
    await page.locator('#cmd-reset').click();
    await page.locator('dialog[open] tbody tr').first().waitFor();
    const listed = await page.locator('dialog[open] tbody tr').evaluateAll((rows) => rows.map((r) => r.dataset.property));
    assert.deepEqual(listed, changes.map(([p]) => p));
    await h.screenshot(page, 'editor-reset-question');
    await page.locator('dialog[open] button', { hasText: 'Cancel' }).click();
    await page.locator('#changes button', { hasText: 'Back to values' }).click();

    // Undo goes back step by step, redo forward again; each is an edit.
    for (const [property, was] of [...history].reverse()) {
      await page.locator('#cmd-undo').click();
      await h.waitForValue(page, property, was);
    }
    // The last undo is done once nothing is left to undo, which may come after its value shows.
    await page.locator('#cmd-undo:disabled').waitFor();
    assert.deepEqual(new Map(await h.pageValues(page)), start);
    await page.locator('#values .sections').click({ position: { x: 2, y: 2 } });
    await page.keyboard.press('Control+Shift+Z');
    await h.waitForValue(page, 'BlurPasses', '21');
    await page.keyboard.press('Control+y');
    await h.waitForValue(page, 'DoShadows', 'false');
    // Ctrl+Z while typing in a field is the field's own.
    const blur = row(page, 'BlurPasses').locator('input');
    await blur.fill('33');
    await page.evaluate(() => {
      window.undoPressed = 0;
      for (const id of ['#cmd-undo', '#cmd-redo']) document.querySelector(id).addEventListener('click', () => { window.undoPressed += 1; });
      window.addEventListener('keydown', (e) => { window.lastKey = { key: e.key, leftToField: !e.defaultPrevented }; });
    });
    await blur.press('Control+z');
    assert.deepEqual(await page.evaluate(() => [window.lastKey, window.undoPressed]), [{ key: 'z', leftToField: true }, 0]);
    assert.equal(await value(page, 'DoShadows'), 'false');
    await blur.press('Escape');

    // A value changed at the prompt makes the steps on it stale; a save drops all of the setup's.
    wb.type('edit Lobby DoShadows true');
    await h.waitForValue(page, 'DoShadows', 'true');
    await page.locator('#cmd-undo').click();
    await h.waitForValue(page, 'BlurPasses', start.get('BlurPasses'));
    // Nothing left: the DoShadows step went stale.
    await page.locator('#cmd-undo:disabled').waitFor();
    await setText(page, 'BlurPasses', '5');
    await h.waitForValue(page, 'BlurPasses', '5');
    await h.until(page, () => !document.querySelector('#cmd-undo').disabled);
    await page.keyboard.press('Control+s');
    await h.until(page, () => document.querySelector('#cmd-undo').disabled && document.querySelector('#cmd-redo').disabled);
    // The marks follow once the saved values are fetched again.
    await h.until(page, () => document.querySelectorAll('#values .row.changed').length === 0);
    assert.ok(end.size > 0);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('the filter says when nothing matches, and its sections follow it; compare speaks the editors\' words', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const page = await h.openPanel(wb.url, { width: 1280, height: 800 });
    await openSetup(page, 'Lobby');
    const toc = () => page.locator('.toc li:not([hidden])').allTextContents();
    for (const [text, sections] of [
      ['photon', ['Radiosity', 'Caustics']],
      ['no such setting', []],
      ['', ['Camera and output', 'Quality and stopping', 'Lighting', 'Shadows, reflection and transparency', 'Anti-aliasing',
        'Textures', 'Radiosity', 'Caustics', 'Geometry']],
    ]) {
      await page.locator('#search').fill(text);
      assert.deepEqual(await toc(), sections, text);
      assert.equal(await page.locator('.no-match').isVisible(), sections.length === 0, text);
    }
    await page.locator('#search').fill('zzz');
    await page.locator('.no-match button').click();
    assert.equal(await page.locator('#search').inputValue(), '');
    assert.equal((await toc()).length, 9);

    // Draft against the library: only the differences at first, in words, the take-all a sequence.
    await openSetup(page, 'Draft');
    await setText(page, 'MaxAASamples', '12');
    await h.waitForValue(page, 'MaxAASamples', '12');
    await row(page, 'DoShadows').locator('input').click();
    await h.waitForValue(page, 'DoShadows', 'true');
    await row(page, 'LightingModel').locator('select').selectOption('2');
    await h.option(page, 'Draft').locator('.lib-mark.differs').waitFor();
    await page.keyboard.press('Alt+M');
    await page.locator('table.compare tr.differs').nth(2).waitFor();
    const shownRows = await page.locator('table.compare tbody tr').evaluateAll((rows) => rows.map((r) =>
      [r.dataset.property, r.querySelector('.mine').textContent, r.querySelector('.theirs').textContent]));
    assert.deepEqual(shownRows.sort(), [['DoShadows', 'Yes', 'No'], ['LightingModel', 'Path tracing', 'Basic'], ['MaxAASamples', '12', '4']]);
    assert.equal(await page.locator('table.compare td.mine').first().evaluate((td) => getComputedStyle(td).textDecorationLine), 'none');
    await page.locator('.only-differences input').uncheck();
    assert.equal(await page.locator('table.compare tbody tr').count(), 68);
    assert.equal(await page.locator('table.compare tr[data-property="Outputs"] .mine').textContent(), 'Colour, Alpha');
    await h.screenshot(page, 'editor-compare');
    await page.locator('button.take-all').click();
    await h.option(page, 'Draft').locator('.lib-mark.same').waitFor();
    // Taking all is one step back.
    await page.keyboard.press('Control+z');
    await h.option(page, 'Draft').locator('.lib-mark.differs').waitFor();
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});
