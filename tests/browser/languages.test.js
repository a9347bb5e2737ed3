// The page in German and Japanese: one message catalogue per language gives its own texts, its
// sections and settings and the renderer's names for values, and <html lang> says which.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import path from 'node:path';
import * as h from './harness.js';

let files;
before(async () => {
  files = h.demoFiles();
  // Lobby with a history: a save, then a rename there and back.
  execFileSync(h.workbench, ['--master', 'tower.zel', '-c', 'edit Lobby MaxSamplesPerPixel 1024', '-c', 'save Lobby',
    '-c', 'rename Lobby Foyer', '-c', 'rename Foyer Lobby'], { cwd: files.dir });
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

function table(culture) {
  const text = readFileSync(path.join(h.sourceDir, 'translations', `Localizable.${culture}.txt`), 'utf8');
  return Object.fromEntries(text.split('\n').filter((l) => l && !l.startsWith('#'))
    .map((l) => [l.slice(0, l.indexOf('=')), l.slice(l.indexOf('=') + 1)]));
}

/** What the page shows of each kind of text, read from the page. */
async function shownTexts(page) {
  await page.locator('#values [data-property="CameraProjection"] select').waitFor();
  return page.evaluate(() => {
    const row = (name) => document.querySelector(`#values [data-property="${name}"]`);
    return {
      lang: document.documentElement.lang,
      title: document.title,
      heading: document.querySelector('h1').textContent,
      save: document.querySelector('#cmd-save').textContent,
      saveTitle: document.querySelector('#cmd-save').title,
      filter: document.querySelector('#search').placeholder,
      connection: document.querySelector('#connection').textContent,
      section: document.querySelector('#values section h3').textContent,
      property: row('CameraProjection').querySelector('.label').textContent,
      description: row('CameraProjection').querySelector('.desc').textContent,
      value: row('CameraProjection').querySelector('option[value="0"]').textContent,
      channel: row('Outputs').querySelectorAll('.channel span')[3].textContent,
    };
  });
}

// Nothing of the page may stick out of its box: a translation longer than the English one must
// wrap or shrink, not spill over its neighbours.
async function overflowing(page) {
  return page.evaluate(() => [...document.querySelectorAll('button, .pane-title, h1, h3, .label, .badge, option, .channel')]
    .filter((e) => e.offsetParent !== null && e.scrollWidth > e.clientWidth + 1)
    .map((e) => `${e.tagName.toLowerCase()} "${e.textContent.trim()}"`));
}

for (const culture of ['de', 'ja']) {
  test(`with --culture ${culture} the page speaks its language from the module's table`, async () => {
    const texts = table(culture);
    const wb = await h.startWorkbench(files.dir, ['--culture', culture]);
    try {
      for (const [width, height] of [[1280, 800], [900, 700]]) {
        const page = await h.openPanel(wb.url, { width, height });
        await page.locator('[role="option"]', { hasText: 'Lobby' }).first().click();
        const shown = await shownTexts(page);
        assert.deepEqual(shown, {
          lang: culture,
          title: texts.Title_RenderSetup,
          heading: texts.Title_RenderSetup,
          save: texts.Page_cmdSave,
          saveTitle: texts.Page_cmdSaveTitle,
          filter: texts.Page_filterPlaceholder,
          connection: texts.Page_live,
          section: texts.Section_CameraAndOutput,
          property: texts.Property_CameraProjection,
          description: texts.Property_CameraProjection_Description,
          value: texts.Value_CameraProjection_0,
          channel: texts.Value_Outputs_3,
        });
        await h.screenshot(page, `languages-${culture}-${width}x${height}`);
        assert.deepEqual(await overflowing(page), [], `${width}x${height}`);
        // Filtering finds a setting by the label shown as well as by its property name.
        await page.locator('#search').fill(texts.Property_BlurPasses);
        assert.equal(await page.locator('#values [data-property="BlurPasses"]').isVisible(), true);
        await page.locator('#search').fill('');
        if (width === 1280) {
          // A dialog of the page's own: its title, question and buttons.
          await page.locator('#cmd-delete').click();
          const dialog = page.locator('dialog[open]');
          await dialog.waitFor();
          assert.equal(await dialog.locator('h2, .dialog-title').first().textContent(), texts.Page_deleteTitle);
          assert.ok((await dialog.textContent()).includes(texts.Page_deleteQuestion.replace('{0}', 'Lobby')));
          assert.deepEqual(await dialog.locator('button').allTextContents(), [texts.Page_cancel, texts.Page_deleteAction]);
          await h.screenshot(page, `languages-${culture}-dialog`);
          await page.keyboard.press('Escape');
        }
        // The History view: each version's action and change in words of the language.
        await page.locator('#cmd-history').click();
        const versions = page.locator('.versions [role="option"]');
        await page.locator('table.diff').waitFor();
        const fill = (template, ...args) => args.reduce((t, a, i) => t.replace(`{${i}}`, a), template);
        assert.deepEqual(await versions.evaluateAll((os) => os.map((o) => [o.querySelector('.version-action').textContent,
          o.querySelector('.version-changes').textContent])), [
          [texts.Page_actionRename, fill(texts.Page_changedName, 'Foyer', 'Lobby')],
          [texts.Page_actionRename, fill(texts.Page_changedName, 'Lobby', 'Foyer')],
          [texts.Page_actionSave, 'MaxSamplesPerPixel 512 \u2192 1024'],
        ]);
        assert.match(await versions.first().getAttribute('title'), new RegExp(`${texts.Page_actionRename}\\W`));
        assert.deepEqual(await page.locator('table.diff thead th').allTextContents(),
          [texts.Page_setting, fill(texts.Page_versionHeading, '3'), texts.Page_now]);
        await h.screenshot(page, `languages-${culture}-history-${width}x${height}`);
        assert.deepEqual(await overflowing(page), [], `history ${width}x${height}`);
        if (width === 1280) {
          // Compared with the library: its heading, columns and summary.
          await h.option(page, 'Draft').click();
          await page.locator('#cmd-compare').click();
          await page.locator('#compare table').waitFor();
          assert.equal(await page.locator('#compare-title').textContent(), fill(texts.Page_compareHeading, 'Draft'));
          assert.deepEqual((await page.locator('#compare thead th').allTextContents()).slice(1),
            [texts.Page_setting, texts.Page_masterFile, texts.Page_library]);
          await h.screenshot(page, `languages-${culture}-compare`);
          assert.deepEqual(await overflowing(page), [], 'compare');
          await h.option(page, 'Lobby').click();
        }
        if (width === 900) {
          // The status line says what a command did in the language too. Each thing it says is
          // kept, as the next command's may follow at once.
          await page.evaluate(() => {
            const status = document.querySelector('#status-text');
            window.statusSaid = [];
            new MutationObserver(() => window.statusSaid.push(status.textContent))
              .observe(status, { childList: true, characterData: true, subtree: true });
          });
          const said = (text) => h.until(page, (t) => window.statusSaid.includes(t), text, 8000);
          await page.locator('#cmd-save').click();
          await said(fill(texts.Page_didSave, 'Lobby'));
          // A changed value with its marks and buttons, and its undo, said in the language.
          await h.option(page, 'Draft').click();
          await page.locator('#cmd-history').click();
          const field = page.locator('#values [data-property="MaxSamplesPerPixel"] input');
          await field.fill('777');
          await field.press('Enter');
          const revert = page.locator('#values [data-property="MaxSamplesPerPixel"] button.revert:not([hidden])');
          assert.equal(await revert.textContent(), texts.Page_revert);
          await h.screenshot(page, `languages-${culture}-edited-${width}x${height}`);
          assert.deepEqual(await overflowing(page), [], `edited ${width}x${height}`);
          await page.locator('#cmd-undo').click();
          await said(fill(texts.Page_undone, fill(texts.Page_changeOf, texts.Property_MaxSamplesPerPixel, 'Draft')));
        }
        assert.deepEqual(page.errors, []);
        await page.context().close();
      }
    } finally {
      await wb.stop();
    }
  });
}

test('a region takes its language; a culture without a table, and the neutral one, stay English', async () => {
  const de = table('de');
  for (const [culture, lang, save, section] of [
    ['de-AT', 'de', de.Page_cmdSave, de.Section_CameraAndOutput],
    ['fr', 'en', 'Save', 'Camera and output'],
    ['C', 'en', 'Save', 'Camera and output'],
  ]) {
    const wb = await h.startWorkbench(files.dir, ['--culture', culture]);
    try {
      const page = await h.openPanel(wb.url);
      await page.locator('[role="option"]', { hasText: 'Lobby' }).first().click();
      const shown = await shownTexts(page);
      assert.deepEqual([shown.lang, shown.save, shown.section], [lang, save, section], culture);
      await page.context().close();
    } finally {
      await wb.stop();
    }
  }
});
