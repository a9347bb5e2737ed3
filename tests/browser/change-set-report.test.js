// rsm-audit's HTML report of a deploy in Chromium: one file that fetches nothing, each drawing's
// values from what to what in a table a screen reader can read, light and dark, wide and narrow.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import path from 'node:path';
import * as h from './harness.js';

const audit = process.env.RSM_AUDIT ?? path.join(h.buildDir, 'audit/rsm-audit');
let files;
let report;
before(async () => {
  // The demo's project, with Office Quality taken into one drawing and lowered there.
  files = h.demoFiles();
  execFileSync(path.join(h.sourceDir, 'audit/demo/make-project.sh'), [h.workbench, files.dir]);
  execFileSync(h.workbench, [path.join(h.sourceDir, 'audit/demo/office-quality-later.commands')], { cwd: files.dir });
  const run = spawnSync(audit, ['--library', 'office/office-standards.zellib', '--deploy', 'Office Quality',
    '--linked', '--create', '--html', 'deploy.html', 'project'], { cwd: files.dir, encoding: 'utf8' });
  assert.equal(run.status, 1, run.stdout + run.stderr);
  report = path.join(files.dir, 'deploy.html');
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

test('the deploy preview lists every drawing and value, fetches nothing and passes axe-core', async () => {
  for (const [width, scheme] of [[1280, 'light'], [1280, 'dark'], [420, 'light'], [420, 'dark']]) {
    const page = await h.openFile(report, { width, height: 800, scheme });
    try {
      assert.deepEqual(page.requests, [`file://${report}`]);
      assert.deepEqual(page.errors, []);
      assert.equal(await page.getByRole('heading', { level: 1 }).textContent(), 'Deploy of "Office Quality"');
      assert.equal(await page.locator('article.drawing').count(), 13);
      const facade = page.getByRole('table', { name: 'Values of project/tower/tower-facade.zel' });
      assert.deepEqual(await facade.locator('tbody tr').first().locator('td').allTextContents(),
        ['Office Quality', 'MaxSamplesPerPixel', '512', '1024', 'locked']);
      assert.match(await page.locator('article.drawing', { hasText: 'site-archive.zel' }).textContent(),
        /skipped: damaged, so it is never written/);
      // The totals agree with the drawings below them.
      const cards = Object.fromEntries(await page.locator('.card').evaluateAll((all) =>
        all.map((card) => [card.querySelector('.label').textContent, Number(card.querySelector('.figure').textContent)])));
      assert.equal(cards['drawings to change'], 12);
      assert.equal(cards['setups to create'], await page.getByText('added: a full copy of the library setup').count());
      assert.equal(cards['values to write'], await page.locator('tbody td:nth-child(2):not([colspan])').count());
      assert.equal(cards['drawings skipped'], 1);
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      assert.ok(overflow <= 0, `${width} ${scheme}: ${overflow}px wider than the window`);
      assert.deepEqual(await h.accessibilityProblems(page), [], `${width} ${scheme}`);
      await h.screenshot(page, `deploy-report-${width}-${scheme}`);
    } finally {
      await page.context().close();
    }
  }
});
