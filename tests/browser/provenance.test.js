// Setups taken from a library in the browser panel: the badge, the three-column compare and a
// merge with one choice per conflict.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import * as h from './harness.js';

let files;
const wbRun = (...commands) => execFileSync(h.workbench, ['--master', 'tower.zel', ...commands.flatMap((c) => ['-c', c])],
    { cwd: files.dir, encoding: 'utf8' });
before(async () => {
  files = h.demoFiles();
  // Copied from the studio's library and tuned; then the studio changes three values, two of
  // them tuned in the project too.
  execFileSync(h.workbench, [...h.DEMO_ARGS, '-c', 'copy-from-library Interior', '-c', 'edit Interior MaxSamplesPerPixel 600',
    '-c', 'edit Interior IndirectSamples 300', '-c', 'edit Interior BlurPasses 4', '-c', 'save Interior'], { cwd: files.dir });
  execFileSync(h.workbench, ['--master', 'studio.zellib', '-c',
    'host add Interior LightingModel=1 ShadowQuality=3 MaxSamplesPerPixel=1024 IndirectSamples=512 RadiosityPhotons=500000 '
    + 'AmbientOcclusionRange=0.123456789 ForceDoubleSided=true GatherRadiosityPhotons=200'], { cwd: files.dir });
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

test('a setup taken from a library shows its drift and merges with a choice per conflict', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);
  try {
    // Only the setup taken from a library carries the badge; it says what moved on which side.
    const badge = h.option(page, 'Interior').locator('.origin-badge');
    await badge.waitFor();
    assert.equal(await page.locator('#setups .origin-badge').count(), 1);
    assert.equal(await badge.textContent(), '\u21932 \u270E1 !2');
    assert.match(await badge.getAttribute('title'), /library has 2 newer values, 1 local change, 2 conflicts/);

    await h.option(page, 'Interior').click();
    await page.keyboard.press('Alt+M');
    const rows = page.locator('table.compare.drift tbody tr');
    await rows.first().waitFor();
    assert.deepEqual(await page.locator('table.compare.drift thead th').allTextContents(),
        ['Setting', 'Master file', 'When taken', 'Library', 'Merge']);
    const states = await rows.evaluateAll((trs) => trs.filter((r) => r.dataset.state !== 'unchanged')
        .map((r) => `${r.dataset.property}:${r.dataset.state}`));
    assert.deepEqual(states, ['MaxSamplesPerPixel:conflict', 'IndirectSamples:conflict',
      'AmbientOcclusionRange:changed in library', 'ShadowQuality:changed in library', 'BlurPasses:changed here']);
    const cells = async (property) => page.locator(`tr[data-property="${property}"] td`).allTextContents();
    assert.deepEqual((await cells('MaxSamplesPerPixel')).slice(0, 3), ['600', '512', '1024']);
    assert.deepEqual((await cells('AmbientOcclusionRange')).slice(0, 3), ['0.5', '0.5', '0.123456789']);

    // The merge waits for every conflict's choice.
    const merge = page.locator('button.merge');
    assert.equal(await merge.isDisabled(), true);
    await page.locator('tr[data-property="MaxSamplesPerPixel"] input[value="library"]').check();
    assert.equal(await merge.isDisabled(), true);
    await page.locator('tr[data-property="IndirectSamples"] input[value="local"]').check();
    await h.screenshot(page, 'provenance-compare');
    const narrow = await h.openPanel(wb.url, { width: 760, height: 700, scheme: 'dark' });
    await narrow.locator('#setups').focus();
    await h.option(narrow, 'Interior').click();
    await narrow.keyboard.press('Alt+M');
    await narrow.locator('table.compare.drift').waitFor();
    await h.screenshot(narrow, 'provenance-narrow-dark');
    assert.deepEqual(narrow.errors, []);
    await merge.click();
    await wb.waitForOutput(/^> merge-from-library Interior MaxSamplesPerPixel=library IndirectSamples=local$/m);
    await wb.waitForOutput(/^merge: 3 values taken from the library, 2 kept/m);

    // Merged, not saved: the library's values are the base to be, what stays is the local work.
    await h.option(page, 'Interior').locator('.modified-mark').waitFor();
    await page.locator('.drift-summary', { hasText: 'Merged: save to keep it' }).waitFor();
    assert.equal(await badge.textContent(), '\u270E2');
    await h.screenshot(page, 'provenance-merged');

    await page.locator('#cmd-save').click();
    await wb.waitForOutput(/^> save Interior$/m);
    await h.option(page, 'Interior').locator('.modified-mark').waitFor({ state: 'detached' });
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
  const shown = wbRun('show Interior').replace(/\r/g, '');
  for (const line of ['MaxSamplesPerPixel = 1024', 'IndirectSamples = 300', 'BlurPasses = 4', 'ShadowQuality = 3']) {
    assert.match(shown, new RegExp(`^${line}$`, 'm'));
  }
  assert.match(wbRun('host show Interior'), /^AmbientOcclusionRange = 0\.123456789$/m);
});
