// rsm-audit's HTML report in Chromium: one file that fetches nothing, its parts and its chart
// readable by a screen reader, at full width and narrow, light and dark, and in print.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import * as h from './harness.js';

const audit = process.env.RSM_AUDIT ?? path.join(h.buildDir, 'audit/rsm-audit');
let files;
let report;
before(async () => {
  // The demo's project: a dozen drawings, some tuned, some stale, one damaged.
  files = h.demoFiles();
  execFileSync(path.join(h.sourceDir, 'audit/demo/make-project.sh'), [h.workbench, files.dir]);
  const run = spawnSync(audit, ['--library', 'office/office-standards.zellib', '--library', 'office/studio.zellib',
    '--html', 'audit-report.html', '--fix', 'merge', 'project'], { cwd: files.dir, encoding: 'utf8' });
  assert.equal(run.status, 3, run.stdout + run.stderr);
  report = path.join(files.dir, 'audit-report.html');
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

async function open(options = {}) {
  const page = await h.openFile(report, options);
  return page;
}

test('the report is one file: nothing else is asked for', async () => {
  const page = await open();
  try {
    assert.deepEqual(page.requests, [`file://${report}`]);
    assert.deepEqual(page.errors, []);
    assert.equal(await page.locator('script, link, img, iframe, object').count(), 0);
  } finally {
    await page.context().close();
  }
});

test('totals, chart, properties, drawings and the command are there, the chart told in words', async () => {
  const page = await open();
  try {
    for (const heading of ['Totals', 'States per drawing', 'Properties that drift most', 'Drawings']) {
      assert.equal(await page.getByRole('heading', { level: 2, name: heading }).count(), 1, heading);
    }
    assert.equal(await page.locator('header .verdict.bad').textContent(),
      '9 of 13 drawings have drifted from the libraries. 1 file could not be read whole.');
    const cards = await page.locator('.card').allTextContents();
    assert.match(cards[0], /^13drawings9 with drift$/);
    assert.match(cards[3], /1 damaged/);
    // Every bar is an image with the counts in words; the drawing with the most findings first.
    const bars = page.locator('.chart svg[role="img"]');
    assert.equal(await bars.count(), 10);
    assert.match(await bars.first().getAttribute('aria-label'),
      /^project\/annex\/annex-ground\.zel: 1 library newer, 1 same name \(differs\)$/);
    assert.equal(await page.locator('.chart dd.count', { hasText: 'damaged, no setup read' }).count(), 1);
    const firstProperty = page.locator('#properties ~ .table-wrap tbody tr').first();
    assert.match(await firstProperty.textContent(), /^MaxSamplesPerPixel12/);
    // A drawing's details: the conflict, the values on each side and what the fix would do.
    const roof = page.locator('article.drawing', { hasText: 'project/tower/tower-roof.zel' });
    assert.match(await roof.textContent(), /MaxSamplesPerPixel 1024 → 1536 here, 2048 in library/);
    assert.match(await roof.textContent(), /1 conflict to decide/);
    const damaged = page.locator('article.drawing', { hasText: 'site-archive.zel' });
    assert.match(await damaged.locator('.reason').textContent(), /the file is damaged/);
    assert.match(await page.locator('footer pre').textContent(),
      /rsm-audit --library office\/office-standards\.zellib --library office\/studio\.zellib --html audit-report\.html --fix merge project$/);
    await h.screenshot(page, 'audit-report');
  } finally {
    await page.context().close();
  }
});

test('narrow and dark it stays readable: nothing wider than the window, nothing axe-core objects to', async () => {
  for (const [width, scheme] of [[1280, 'light'], [1280, 'dark'], [420, 'light'], [420, 'dark']]) {
    const page = await open({ width, height: 800, scheme });
    try {
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      assert.ok(overflow <= 0, `${width} ${scheme}: ${overflow}px wider than the window`);
      const colours = await page.evaluate(() => {
        const style = getComputedStyle(document.body);
        return [style.color, getComputedStyle(document.documentElement).backgroundColor];
      });
      assert.notEqual(colours[0], colours[1]);
      // A drawing's setups fit the window: stacked when narrow, never a table to scroll.
      const scrolling = await page.evaluate(() => [...document.querySelectorAll('.drawing .table-wrap')]
        .filter((e) => e.scrollWidth > e.clientWidth + 1).length);
      assert.equal(scrolling, 0, `${width} ${scheme}`);
      assert.deepEqual(await h.accessibilityProblems(page), [], `${width} ${scheme}`);
      await h.screenshot(page, `audit-report-${width}-${scheme}`);
    } finally {
      await page.context().close();
    }
  }
});

test('in print every drawing is on paper, nothing cut off', async () => {
  const page = await open();
  try {
    await page.emulateMedia({ media: 'print' });
    const hidden = await page.evaluate(() => [...document.querySelectorAll('article.drawing, table, svg')]
      .filter((e) => e.getBoundingClientRect().width === 0).length);
    assert.equal(hidden, 0);
    const scrolled = await page.evaluate(() => [...document.querySelectorAll('.table-wrap')]
      .filter((e) => e.scrollWidth > e.clientWidth + 1).length);
    assert.equal(scrolled, 0);
    mkdirSync(h.artifacts, { recursive: true });
    const pdf = await page.pdf({ path: path.join(h.artifacts, 'audit-report.pdf'), format: 'A4' });
    assert.ok(pdf.length > 10000);
    await h.screenshot(page, 'audit-report-print');
  } finally {
    await page.context().close();
  }
});
