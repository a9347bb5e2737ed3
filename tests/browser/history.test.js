// The history in the browser panel: a setup's versions beside the setup now, restored and
// saved; setups recently deleted brought back, under a new name when theirs is taken; any two
// setups picked in the list side by side.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import * as h from './harness.js';

let files;
before(async () => {
  files = h.demoFiles();
  // Two saves of Lobby, each a version; Draft deleted.
  execFileSync(h.workbench, ['--master', 'tower.zel', '-c', 'edit Lobby MaxSamplesPerPixel 1024', '-c', 'save Lobby',
    '-c', 'edit Lobby IndirectSamples 300', '-c', 'save Lobby', '-c', 'delete Draft'], { cwd: files.dir });
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

const differing = (page) => page.locator('table.diff tbody tr.differs').evaluateAll((rows) =>
  rows.map((r) => [r.dataset.property, ...[...r.querySelectorAll('td')].map((td) => td.textContent)]));

test('the History panel shows the versions, one beside the setup now, and restores it', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);
  try {
    await h.option(page, 'Lobby').click();
    await page.keyboard.press('Alt+H');
    const versions = page.locator('.versions [role="option"]');
    await versions.first().waitFor();
    assert.equal(await page.locator('#cmd-history').getAttribute('aria-pressed'), 'true');
    assert.deepEqual(await versions.evaluateAll((os) => os.map((o) => [o.dataset.number, o.dataset.action,
      o.querySelector('.version-changes').textContent])),
    [['2', 'save', 'IndirectSamples 192 \u2192 300'], ['1', 'save', 'MaxSamplesPerPixel 512 \u2192 1024']]);
    // The newest is picked first: the state the last save replaced, beside the setup now.
    await page.locator('table.diff').waitFor();
    assert.deepEqual(await differing(page), [['IndirectSamples', '192', '300']]);
    assert.deepEqual(await page.locator('table.diff thead th').allTextContents(), ['Setting', 'Version 2', 'Now']);

    // Picked with the keyboard, as a listbox.
    await versions.first().click();
    await page.keyboard.press('ArrowDown');
    await page.locator('.version[aria-selected="true"][data-number="1"]').waitFor();
    await page.locator('.version-title', { hasText: 'Version 1' }).waitFor();
    assert.deepEqual(await differing(page), [['MaxSamplesPerPixel', '512', '1024'], ['IndirectSamples', '192', '300']]);
    const toggle = page.locator('#history .link-button');
    assert.equal(await toggle.getAttribute('aria-expanded'), 'false');
    await h.screenshot(page, 'history-panel');

    const narrow = await h.openPanel(wb.url, { width: 760, height: 700, scheme: 'dark' });
    await h.option(narrow, 'Lobby').click();
    await narrow.locator('#cmd-history').click();
    await narrow.locator('table.diff').waitFor();
    await h.screenshot(narrow, 'history-narrow-dark');
    assert.deepEqual(narrow.errors, []);

    // Restored as edits: modified, nothing stored until saved, and the versions stay as they were.
    await page.locator('button.restore-version').click();
    await wb.waitForOutput(/^> restore Lobby 1$/m);
    await h.option(page, 'Lobby').locator('.modified-mark').waitFor();
    await page.locator('#history .note', { hasText: 'not saved' }).waitFor();
    assert.equal(await page.locator('button.restore-version').isDisabled(), true);
    assert.equal(await versions.count(), 2);
    await page.keyboard.press('Control+S');
    await wb.waitForOutput(/^> save Lobby$/m);
    await page.locator('.version[data-number="3"]').waitFor();
    assert.equal(await versions.first().getAttribute('data-action'), 'save');
    assert.match(await versions.first().locator('.version-changes').textContent(), /MaxSamplesPerPixel 1024 \u2192 512/);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('a recently deleted setup comes back, under a new name when its own is taken again', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);
  try {
    const deleted = h.option(page, 'Draft', 'deleted');
    await deleted.waitFor();
    assert.equal(await page.locator('[role="option"][data-group="deleted"]').count(), 1);
    await deleted.click();
    await page.locator('#history .setup-title', { hasText: '\u201CDraft\u201D \u2014 deleted' }).waitFor();
    // Its last state on its own, every value.
    await page.locator('table.diff.single').waitFor();
    assert.equal(await page.locator('table.diff.single tbody tr').count(), 68);
    assert.equal(await page.locator('#cmd-delete').isDisabled(), true);
    await h.screenshot(page, 'history-deleted');

    wb.type('host add Draft');
    wb.type('refresh');
    await h.option(page, 'Draft').waitFor();
    await deleted.click();
    await page.locator('button.restore-deleted').click();
    const dialog = page.locator('dialog[open]');
    await dialog.waitFor();
    await dialog.locator('input').fill('Draft 2019');
    await dialog.locator('button.primary').click();
    await wb.waitForOutput(/^> undelete Draft "Draft 2019"$/m);
    // Selected once it is back, and gone from the deleted ones.
    await page.locator('#setups [aria-selected="true"][data-name="Draft 2019"]').waitFor();
    await deleted.waitFor({ state: 'detached' });
    assert.equal(await page.locator('[role="option"][data-group="deleted"]').count(), 0);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('a busy workbench is asked again: the history and its comparison show once it answers', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);
  try {
    // The first two answers to each query say the workbench is busy, as the server does.
    const refused = { history: 0, diff: 0 };
    await page.route(/\/(history|diff)\?/, async (route) => {
      const which = /\/(history|diff)\?/.exec(route.request().url())[1];
      if (refused[which] < 2) {
        refused[which] += 1;
        await route.fulfill({ status: 202, body: 'the workbench is busy; ask again' });
        return;
      }
      await route.continue();
    });
    await h.option(page, 'Lobby').click();
    await page.keyboard.press('Alt+H');
    await page.locator('#history table.diff tbody tr').first().waitFor();
    assert.deepEqual(refused, { history: 2, diff: 2 });
    assert.equal(await page.locator('#history', { hasText: 'busy' }).count(), 0);
    // Asked again is no error: nothing for the browser to log.
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('a deleted setup picked stays picked when the answer to an earlier pick comes late', async () => {
  execFileSync(h.workbench, ['--master', 'tower.zel', '-c', 'host add Scratch', '-c', 'refresh', '-c', 'delete Scratch'],
    { cwd: files.dir });
  const wb = await h.startWorkbench(files.dir);
  const way = await h.relay(wb.url, { lagMs: 700 });
  const page = await h.openPanel(way.url);
  try {
    // The workbench names Lobby current only after Scratch was picked here.
    const from = await h.stepsTaken(page);
    await h.option(page, 'Lobby').click();
    await h.option(page, 'Scratch', 'deleted').click();
    await page.locator('#history .setup-title', { hasText: '\u201CScratch\u201D \u2014 deleted' }).waitFor();
    await page.locator('#history table.diff.single').waitFor();
    await h.waitForStep(page, (step) => h.namesCurrent(step, { group: 'master', name: 'Lobby' }), from);
    assert.equal(await page.locator('#setups [aria-selected="true"]').getAttribute('data-group'), 'deleted');
    assert.equal(await page.locator('button.restore-deleted').isVisible(), true);
  } finally {
    await wb.stop();
    await way.close();
  }
});

test('any two setups picked in the list show side by side', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);
  try {
    await h.option(page, 'Lobby').click();
    await h.option(page, 'Interior', 'library').click({ modifiers: ['Control'] });
    await page.locator('#diff table.diff').waitFor();
    assert.equal(await page.locator('#diff .setup-title').textContent(), '\u201CLobby\u201D beside \u201CInterior (studio.zellib)\u201D');
    const rows = await differing(page);
    assert.deepEqual(rows.find(([p]) => p === 'ForceDoubleSided'), ['ForceDoubleSided', 'No', 'Yes']);
    assert.ok(rows.every(([, a, b]) => a !== b));
    const equal = 68 - rows.length;
    await page.locator('#diff .link-button').click();
    assert.equal(await page.locator('#diff table.diff tbody tr').count(), 68);
    assert.equal(await page.locator('#diff tr.same').count(), equal);
    await h.screenshot(page, 'compare-two');

    // The comparison follows the list: the next setup picked takes the second side.
    await h.option(page, 'Façade at Dusk').click();
    await page.locator('#diff .setup-title', { hasText: 'Fa\u00E7ade at Dusk' }).waitFor();
    await page.keyboard.press('Escape');
    await page.locator('#values').waitFor();
    assert.equal(await page.locator('#cmd-compare-two').getAttribute('aria-pressed'), 'false');
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

test('a version an rsm-audit run wrote names its change set and command', async () => {
  const own = h.demoFiles();
  const audit = process.env.RSM_AUDIT ?? `${h.buildDir}/audit/rsm-audit`;
  const out = execFileSync(audit, ['--library', 'studio.zellib', '--deploy', 'Interior', '--to', 'Lobby',
    '--apply', 'tower.zel'], { cwd: own.dir, encoding: 'utf8' });
  const id = /^change set: (\S+)/m.exec(out)[1];
  const wb = await h.startWorkbench(own.dir);
  const page = await h.openPanel(wb.url);
  try {
    await h.option(page, 'Lobby').click();
    await page.keyboard.press('Alt+H');
    const newest = page.locator('.versions [role="option"]').first();
    await newest.waitFor();
    assert.equal(await newest.getAttribute('data-action'), 'audit deploy');
    assert.equal(await newest.locator('.version-action').textContent(), 'audit deploy');
    const note = page.locator('#history .change-set');
    await note.waitFor();
    assert.equal(await note.textContent(),
      `Written by the change set ${id}: ${audit} --library studio.zellib --deploy Interior --to Lobby --apply tower.zel`);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
    own.cleanup();
  }
});
