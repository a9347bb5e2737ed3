// The setups list as a person finds their way in it: a search over every group that ignores
// case and accents, type-ahead beside it, a legend of the marks, and the close question that says
// what Yes saves and, afterwards, what happened.
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

const shownNames = (page) => page.locator('[role="option"]').evaluateAll((options) =>
  options.map((o) => `${o.dataset.group}:${o.dataset.name} ${o.getAttribute('aria-posinset')}/${o.getAttribute('aria-setsize')}`));

test('the search finds setups in every group whatever the case and accents; type-ahead goes on; the legend explains the marks', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const page = await h.openPanel(wb.url);
    const search = page.locator('#setup-search');
    const cases = [
      // What is typed, and what the list then holds, with each row's place in what is shown.
      ['FACADE', ['master:Façade at Dusk 1/1']],
      ['açade a', ['master:Façade at Dusk 1/1']],
      ['night', ['library:Night 1/1', 'library:Night 1/1']],
      ['DRAFT', ['master:Draft 1/1', 'library:Draft 1/1']],
      ['IOR', ['library:Interior 1/2', 'library:Exterior Daylight 2/2']],
      ['zzz', []],
    ];
    for (const [typed, expected] of cases) {
      await search.fill(typed);
      await h.until(page, (n) => document.querySelectorAll('[role="option"]').length === n, expected.length);
      assert.deepEqual((await shownNames(page)).sort(), [...expected].sort(), typed);
    }
    await page.locator('#setups .empty', { hasText: 'No setup has that in its name' }).waitFor();

    // Down from the search goes to the first found; type-ahead works within what is shown.
    await search.fill('a');
    await search.press('ArrowDown');
    await page.locator('#setups[aria-activedescendant]:focus').waitFor();
    await page.evaluate(() => document.addEventListener('keydown', (e) => { window.lastKeyAt = e.timeStamp; }, true));
    await h.typeKeys(page, 'fa');
    await page.locator('[role="option"][aria-selected="true"][data-name="Façade at Dusk"]').waitFor();
    // A pause longer than the list takes for one name being typed, on the page's own clock.
    await h.until(page, () => performance.now() - window.lastKeyAt > 800);
    await page.keyboard.type('p');
    await page.locator('[role="option"][aria-selected="true"][data-name="Print Quality"]').waitFor();
    // Escape shows every setup again, the one selected still selected.
    await search.press('Escape');
    assert.equal(await search.inputValue(), '');
    assert.equal(await page.locator('[role="option"]').count(), 12);
    assert.equal(await page.locator('[role="option"][aria-selected="true"]').getAttribute('data-name'), 'Print Quality');

    // Clicks move the selection among the rows drawn: one row selected at a time, and focus
    // (the active descendant) on it, also once the workbench has answered each pick.
    for (const [name, group] of [['Lobby', 'master'], ['Interior', 'library'], ['Draft', 'master'], ['Lobby', 'master']]) {
      const from = await h.stepsTaken(page);
      await h.option(page, name, group).first().click();
      for (const settled of [false, true]) {
        if (settled) await h.waitForStep(page, (step) => h.namesCurrent(step, { group, name }), from);
        const selected = await page.evaluate(() => {
          const rows = [...document.querySelectorAll('[role="option"][aria-selected="true"]')];
          const focus = document.getElementById('setups').getAttribute('aria-activedescendant');
          return rows.map((r) => `${r.dataset.group}:${r.dataset.name}${r.id === focus ? ' (focus)' : ''}`);
        });
        assert.deepEqual(selected, [`${group}:${name} (focus)`], `${name}, settled: ${settled}`);
      }
    }

    // Every mark the list uses is in the legend, which can be folded away.
    const legend = page.locator('#legend');
    assert.ok(await legend.isVisible());
    const explained = await legend.locator('li > span:first-child').allTextContents();
    for (const mark of ['\u25CF', '=', '\u2260', '\u2713', '\u2193', '\u270E', '!', 'gone']) {
      assert.ok(explained.some((m) => m.startsWith(mark)), mark);
    }
    await legend.locator('summary').click();
    assert.equal(await legend.locator('ul').isVisible(), false);
    await legend.locator('summary').click();
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});

// How the session is left, what the question then says, and what the page says after.
const ENDINGS = [
  ['close, Yes', 'close', 'Yes', /^tower\.zel closed; saved “Draft” and “Lobby”\.$/],
  ['close, No', 'close', 'No', /^tower\.zel closed without saving “Draft” and “Lobby”\.$/],
  ['quit, Yes', 'quit', 'Yes', /^The session ended\. tower\.zel closed; saved “Draft” and “Lobby”\.$/],
];

for (const [what, command, answer, said] of ENDINGS) {
  test(`the close question lists what Yes saves and the page says what came of it: ${what}`, async () => {
    const copy = h.demoFiles();
    const wb = await h.startWorkbench(copy.dir);
    try {
      const page = await h.openPanel(wb.url);
      wb.type('edit Draft BlurPasses 3');
      wb.type('edit Lobby BlurPasses 4');
      await h.option(page, 'Lobby').locator('.modified-mark').waitFor();
      await h.option(page, 'Draft').locator('.modified-mark').waitFor();
      wb.type(command);
      const question = page.locator('dialog[open]', { hasText: 'unsaved Render Setups' });
      await question.waitFor();
      assert.deepEqual(await question.locator('.dialog-list li').allTextContents(), ['“Draft”', '“Lobby”']);
      // Behind it the list stays as it was, though the module emptied the panel.
      assert.equal(await h.option(page, 'Lobby').count(), 1);
      assert.match(await page.locator('#list-note').textContent(), /read-only until the question is answered/);
      if (command === 'close') await h.screenshot(page, 'close-question');
      await question.locator('button', { hasText: answer }).click();
      await h.until(page, (re) => new RegExp(re).test(document.querySelector('#list-note').textContent), said.source);
      assert.match(await page.locator('#status-text').textContent(), said);
      assert.equal(await h.option(page, 'Lobby').count(), 0);
      if (command === 'close') await h.screenshot(page, `closed-${answer.toLowerCase()}`);
      assert.deepEqual(page.errors, []);
    } finally {
      await wb.stop();
      copy.cleanup();
    }
  });
}

test('a row drawn again while the button is down is picked all the same', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const page = await h.openPanel(wb.url);
    await h.option(page, 'Draft').click();
    const from = await h.stepsTaken(page);
    const box = await h.option(page, 'Lobby').boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    // A step marks another row while the button is down: every row in view is drawn again.
    wb.type('edit "Fa\u00E7ade at Dusk" BlurPasses 3');
    await h.option(page, 'Fa\u00E7ade at Dusk').locator('.modified-mark').waitFor();
    await page.mouse.up();
    await page.locator('#setups [aria-selected="true"][data-name="Lobby"]').waitFor();
    // And the workbench was asked to select it.
    await h.waitForStep(page, (step) => h.namesCurrent(step, { group: 'master', name: 'Lobby' }), from);
    assert.deepEqual(page.errors, []);
  } finally {
    await wb.stop();
  }
});
