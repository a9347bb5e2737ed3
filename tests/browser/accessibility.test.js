// axe-core over every view of the page, in the light and the dark scheme: no violation, contrast
// and landmarks included. The list's legend of marks is on every view.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import * as h from './harness.js';

let files;
before(async () => {
  files = h.demoFiles();
  // A setup taken from a library and changed on both sides, for the three-column compare.
  execFileSync(h.workbench, [...h.DEMO_ARGS, '-c', 'copy-from-library Interior', '-c', 'edit Interior BlurPasses 4',
    '-c', 'save Interior'], { cwd: files.dir });
  execFileSync(h.workbench, ['--master', 'studio.zellib', '-c', 'delete Interior', '-c',
    'host add Interior LightingModel=1 BlurPasses=9 MaxSamplesPerPixel=1024'], { cwd: files.dir });
  // A history, and a setup recently deleted.
  execFileSync(h.workbench, ['--master', 'tower.zel', '-c', 'edit Lobby MaxSamplesPerPixel 1024', '-c', 'save Lobby',
    '-c', 'delete "Fa\u00E7ade at Dusk"'], { cwd: files.dir });
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

// Each view: how to reach it from a page showing the list, and what marks it as shown.
const VIEWS = [
  ['master-file values', async (page) => {
    await h.option(page, 'Lobby').click();
    await page.locator('#values .badge.master').waitFor();
  }],
  ['library values, with the note on which library the module takes', async (page) => {
    await page.locator('[role="option"][data-library="studio.zellib"][data-name="Night"]').click();
    await page.locator('#values .pick-note:not([hidden])').waitFor();
  }],
  ['values filtered', async (page) => {
    await h.option(page, 'Draft').click();
    await page.locator('#values .badge.master').waitFor();
    await page.locator('#search').fill('shadow');
  }],
  ['values filtered to nothing', async (page) => {
    await page.locator('#search').fill('no such setting');
    await page.locator('.no-match:not([hidden])').waitFor();
  }],
  ['values changed since the last save, marked', async (page) => {
    await page.locator('.no-match button').click();
    const input = page.locator('#values [data-property="MaxAASamples"] input');
    await input.fill('12');
    await input.press('Enter');
    await page.locator('#values .row.changed button.revert').waitFor();
  }],
  ['what Save would store', async (page) => {
    await page.locator('.changes-button').click();
    await page.locator('#changes tbody tr').first().waitFor();
  }],
  ['compare with library', async (page) => {
    await page.locator('#search').fill('');
    await h.option(page, 'Draft').click();
    await page.keyboard.press('Alt+M');
    await page.locator('table.compare:not(.drift)').waitFor();
  }],
  ['compare with where it was taken from', async (page) => {
    await h.option(page, 'Interior').click();
    await page.locator('table.compare.drift').waitFor();
  }],
  ['a confirmation', async (page) => {
    await page.locator('#cmd-compare').click();
    await h.option(page, 'Lobby').click();
    await page.locator('#cmd-delete').click();
    await page.locator('dialog[open]').waitFor();
  }],
  ['the rename dialog', async (page) => {
    await page.keyboard.press('Escape');
    await page.locator('#setups').focus();
    await page.keyboard.press('F2');
    await page.locator('dialog[open] input').waitFor();
  }],
  ['a setup\u2019s history, one version beside the setup now', async (page) => {
    await page.keyboard.press('Escape');
    await h.option(page, 'Lobby').click();
    await page.keyboard.press('Alt+H');
    await page.locator('#history table.diff').waitFor();
  }],
  ['a setup recently deleted', async (page) => {
    await h.option(page, 'Fa\u00E7ade at Dusk', 'deleted').click();
    await page.locator('#history table.diff.single').waitFor();
  }],
  ['two setups side by side, the equal values too', async (page) => {
    await h.option(page, 'Lobby').click();
    await h.option(page, 'Draft').click({ modifiers: ['Control'] });
    await page.locator('#diff table.diff').waitFor();
    await page.locator('#diff .link-button').click();
    await page.locator('#diff tr.same').first().waitFor();
  }],
];

for (const scheme of ['light', 'dark']) {
  test(`every view passes axe-core in the ${scheme} scheme`, async () => {
    const wb = await h.startWorkbench(files.dir);
    try {
      const page = await h.openPanel(wb.url, { scheme });
      for (const [view, reach] of VIEWS) {
        await reach(page);
        assert.deepEqual(await h.accessibilityProblems(page), [], view);
      }
      await page.keyboard.press('Escape');
      // The module's message box: every edit is refused while the model is a reference.
      wb.type('reference on');
      wb.type('edit Lobby DoShadows false');
      await page.locator('dialog[open][role="alertdialog"]', { hasText: 'Failed to do operation' }).waitFor();
      assert.deepEqual(await h.accessibilityProblems(page), [], 'message box');
      await h.screenshot(page, `accessibility-message-${scheme}`);
      // Dismissed before the session ends: an action after the end is refused.
      const dismissed = page.waitForResponse((r) => r.request().postData()?.includes('action=dismiss'));
      await page.keyboard.press('Escape');
      await dismissed;
      // The close question over the list as it was, and what the page says after it.
      wb.type('reference off');
      wb.type('edit Lobby DoShadows false');
      await h.option(page, 'Lobby').locator('.modified-mark').waitFor();
      wb.type('close');
      const question = page.locator('dialog[open]', { hasText: 'unsaved Render Setups' });
      await question.locator('.dialog-list').waitFor();
      assert.deepEqual(await h.accessibilityProblems(page), [], 'close question');
      await h.screenshot(page, `accessibility-close-question-${scheme}`);
      await question.locator('button', { hasText: 'No' }).click();
      await page.locator('#list-note', { hasText: 'closed without saving' }).waitFor();
      assert.deepEqual(await h.accessibilityProblems(page), [], 'closed');
      wb.type('quit');
      await page.locator('#connection[data-status="ended"]').waitFor();
      assert.deepEqual(await h.accessibilityProblems(page), [], 'session ended');
      assert.deepEqual(page.errors, []);
    } finally {
      await wb.stop();
    }
  });
}
