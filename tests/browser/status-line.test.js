// What the page says after each action: what happened, in words, with the host's or the module's
// reason when it did not; and New, which asks for a name.
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

const statusSays = (page, re) => h.until(page, (source) =>
  new RegExp(source).test(document.querySelector('#status-text').textContent), re.source, 8000)
  .catch(async () => assert.fail(`status says "${await page.locator('#status-text').textContent()}", not ${re}`));

async function select(page, name, group = 'master') {
  await h.option(page, name, group).click();
  await page.locator('#values:not([hidden]) .setup-title', { hasText: name }).first().waitFor();
}

async function setValue(page, property, text) {
  const field = page.locator(`[data-property="${property}"] input`);
  await field.fill(text);
  await field.press('Enter');
}

const confirm = (page) => page.locator('dialog[open] button.danger').click();

// Each action through the page, one after the other, and what the status line then says.
const ACTIONS = [
  ['edit', async (page) => {
    await select(page, 'Lobby');
    await setValue(page, 'MaxSamplesPerPixel', '777');
  }, /^Set .+ of “Lobby” to 777$/],
  ['save', (page) => page.locator('#cmd-save').click(), /^Saved “Lobby”$/],
  ['duplicate', (page) => page.keyboard.press('Control+D'), /^Duplicated “Lobby”$/],
  ['rename', async (page) => {
    await select(page, 'Lobby - Copy');
    await page.keyboard.press('F2');
    await page.locator('dialog[open] input').fill('Hall');
    await page.keyboard.press('Enter');
  }, /^Renamed “Lobby - Copy” to “Hall”$/],
  ['a choice, said by its label', (page) => page.locator('[data-property="LightingModel"] select').selectOption('0'),
    /^Set .+ of “Hall” to [A-Z][a-z]/],
  ['reset', async (page) => {
    await page.locator('#cmd-reset').click();
    await confirm(page);
  }, /^Put “Hall” back to its saved values$/],
  ['delete', async (page) => {
    await page.locator('#cmd-delete').click();
    await confirm(page);
  }, /^Deleted “Hall”$/],
  ['restore a deleted setup', async (page) => {
    await h.option(page, 'Hall', 'deleted').click();
    await page.locator('button.restore-deleted').click();
  }, /^Restored the deleted “Hall”$/],
  ['copy from library', async (page) => {
    await select(page, 'Interior', 'library');
    await page.locator('#cmd-copy').click();
  }, /^Copied “Interior” from the library into the master file$/],
  ['update from library', async (page) => {
    await select(page, 'Interior');
    await page.locator('[data-property="DoShadows"] input').uncheck();
    await statusSays(page, /^Set .+ of “Interior” to off$/);
    await page.locator('#cmd-update').click();
    await confirm(page);
  }, /^Updated “Interior” from the library and saved it$/],
  ['restore a version', async (page) => {
    await select(page, 'Lobby');
    await page.keyboard.press('Alt+H');
    await page.locator('button.restore-version').click();
  }, /^Brought back the values of version 1 of “Lobby” \(not saved\)$/],
  ['refused by the module, with its reason', async (page, wb) => {
    await page.keyboard.press('Alt+H');
    wb.type('reference on');
    await wb.waitForOutput(/^> reference on$/m);
    await select(page, 'Draft');
    await setValue(page, 'MaxSamplesPerPixel', '99');
  }, /^.+ of “Draft” was not changed: Failed to do operation/],
];

test('the status line says what each action did, in words', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const page = await h.openPanel(wb.url);
    for (const [what, act, said] of ACTIONS) {
      await act(page, wb);
      await statusSays(page, said).catch((error) => assert.fail(`${what}: ${error.message}`));
    }
    // Nothing reads as a command line any more.
    assert.doesNotMatch(await page.locator('#status-text').textContent(), /^(Ran|Result):/);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('New asks for a name and says what it starts from; a refused name leaves the generated one, and says so', async () => {
  const copy = h.demoFiles();
  const wb = await h.startWorkbench(copy.dir);
  try {
    const page = await h.openPanel(wb.url);
    await select(page, 'Lobby');
    await setValue(page, 'MaxSamplesPerPixel', '4321');
    await page.keyboard.press('Alt+N');
    const dialog = page.locator('dialog[open]');
    assert.match(await dialog.locator('p').first().textContent(), /values “Lobby” has now, unsaved changes included/);
    await dialog.locator('input').fill('Porch');
    await dialog.locator('input').press('Enter');
    await dialog.waitFor({ state: 'detached' });
    await page.locator('[role="option"][aria-selected="true"][data-name="Porch"]').waitFor();
    await h.waitForValue(page, 'MaxSamplesPerPixel', '4321');
    assert.equal(await h.option(page, 'Untitled').count(), 0);

    // A name a library offers: the library's setup is what the new one starts from.
    await select(page, 'Draft');
    await page.keyboard.press('Alt+N');
    assert.match(await dialog.locator('p').first().textContent(), /values of “Draft” in studio\.zellib/);
    // A name in use: the setup stays under the name it was given, and the dialog says why.
    await dialog.locator('input').fill('Lobby');
    const from = await h.stepsTaken(page);
    await dialog.locator('input').press('Enter');
    const refusal = dialog.locator('.field-error:not([hidden])');
    await refusal.waitFor();
    assert.match(await refusal.textContent(), /added as “Untitled” and keeps that name: .*a setup named "Lobby" already exists/);
    await h.option(page, 'Untitled').waitFor();
    // Said in the dialog, which asked: not again as an alert, once the page has the step that
    // tells every page of it.
    await h.waitForStep(page, (step) => (step.changes ?? []).some((c) => c.type === 'activity'
      && c.event.kind === 'error' && c.event.text.includes('"Lobby" already exists')), from);
    assert.deepEqual(await page.locator('#alerts .toast').allTextContents(), []);
    await h.screenshot(page, 'new-name-refused');
    await page.keyboard.press('Escape');
    await dialog.waitFor({ state: 'detached' });
    await statusSays(page, /^Added “Untitled”; it keeps the name it was given\.$/);
    assert.equal(await h.option(page, 'Lobby').count(), 1);
    // A refusal no dialog of this page said is an alert.
    wb.type('delete Nope');
    await page.locator('#alerts .toast.error', { hasText: 'no setup named "Nope"' }).waitFor();
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
    copy.cleanup();
  }
});
