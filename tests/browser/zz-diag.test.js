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
    try { await page.locator('#history .setup-title', { hasText: '\u201CScratch\u201D \u2014 deleted' }).waitFor({ timeout: 15000 }); } catch (e) {
      const sel = await page.locator('#setups [aria-selected="true"]').evaluateAll((els) => els.map((x) => x.dataset.group + ':' + x.dataset.name));
      const hist = await page.locator('#history').evaluate((x) => x.innerText.slice(0, 400) + ' hidden=' + x.hidden).catch((e2) => String(e2));
      const body = await page.locator('body').evaluate((x) => x.innerText.slice(0, 1500));
      console.log('DIAG selected', JSON.stringify(sel), 'history', JSON.stringify(hist), 'errors', JSON.stringify(page.errors));
      console.log('DIAG body', JSON.stringify(body));
      await h.screenshot(page, 'diag-' + Date.now());
      throw e; }
    await page.locator('#history table.diff.single').waitFor();
    await h.waitForStep(page, (step) => h.namesCurrent(step, { group: 'master', name: 'Lobby' }), from);
    assert.equal(await page.locator('#setups [aria-selected="true"]').getAttribute('data-group'), 'deleted');
    assert.equal(await page.locator('button.restore-deleted').isVisible(), true);
  } finally {
    await wb.stop();
    await way.close();
  }
});

