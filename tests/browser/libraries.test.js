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

test('"Night" of two libraries: two entries, each with its own values, also after a rename re-sends one', async () => {
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
    // A master-file "Night" renamed away: the module re-sends a library "Night", which must
    // land in its entry, not show up a third time.
    wb.type('copy-from-library Night');
    await h.option(page, 'Night').waitFor();
    wb.type('rename Night "Night Copy"');
    await h.option(page, 'Night Copy').waitFor();
    assert.equal(await nights.count(), 2);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});
