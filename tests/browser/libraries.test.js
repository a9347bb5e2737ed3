// Two design libraries offering a setup of the same name: each shows under its own library with
// its own values, and the page says which one the module copies from.
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

test('"Night" of two libraries: two entries with their own values, the one the module takes named, a re-send after a rename adds none', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);
  try {
    const nights = page.locator('[role="option"][data-group="library"][data-name="Night"]');
    assert.deepEqual(await nights.evaluateAll((o) => o.map((e) => e.dataset.library)),
        ['office-standards.zellib', 'studio.zellib']);
    for (const [library, minutes, photons] of [['studio.zellib', '60', '300000'], ['office-standards.zellib', '30', '150000']]) {
      await page.locator(`[role="option"][data-library="${library}"][data-name="Night"]`).click();
      await page.locator('.values-head .badge.library').waitFor();
      await h.until(page, (m) => document.querySelector('[data-property="MaxRenderTimeMinutes"] input')?.value === m, minutes);
      assert.equal(await page.locator('[data-property="CausticPhotons"] input').inputValue(), photons);
    }
    // The page says which of the two the module takes; the other says it is not that one.
    await page.locator('[role="option"][data-library="studio.zellib"][data-name="Night"]').click();
    await page.locator('#values .pick-note',
        { hasText: 'take the one in office-standards.zellib, whose file name sorts first' }).waitFor();
    await page.locator('[role="option"][data-library="office-standards.zellib"][data-name="Night"]').click();
    await page.locator('#values .pick-note', { hasText: 'from office-standards.zellib' }).waitFor();

    // Copied from the one it names, whichever is selected; the master file's copy says so too.
    await page.locator('[role="option"][data-library="studio.zellib"][data-name="Night"]').click();
    await page.locator('#values .pick-note', { hasText: 'Another library' }).waitFor();
    await page.locator('#cmd-copy:not([disabled])').click();
    await h.option(page, 'Night').waitFor();
    await page.locator('#values .badge.master').waitFor();
    await h.waitForValue(page, 'MaxRenderTimeMinutes', '30');
    await page.locator('#values .pick-note', { hasText: 'from office-standards.zellib' }).waitFor();

    // A master-file "Night" renamed away: the module re-sends a library "Night", which must
    // land in its entry, not show up a third time.
    wb.type('rename Night "Night Copy"');
    await h.option(page, 'Night Copy').waitFor();
    assert.equal(await nights.count(), 2);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});
