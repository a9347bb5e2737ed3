// The page at 10,000 setups: it says it loads until it has the list, draws only the rows in view,
// keeps the keyboard, type-ahead and a screen reader's positions, and shows the values show gives.
// Slow under the sanitizers, so it runs once, in the plain build (CTest BrowserPanelLarge).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import * as h from './harness.js';

const large = Number(process.env.RSM_LARGE ?? 0);
let files;
before(async () => {
  if (!large) return;
  files = h.demoFiles();
  h.growMaster(files.dir, large);
  await h.launchBrowser();
});
after(async () => {
  if (!large) return;
  await h.closeBrowser();
  files.cleanup();
});

const sorted = (pairs) => [...pairs].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));
const selected = (page) => page.locator('[role="option"][aria-selected="true"]');

async function valuesAsShowSays(page, wb, name, selector) {
  await page.locator('.setup-title:visible', { hasText: name }).first().waitFor();
  const expected = sorted(await h.shown(wb, name));
  await h.until(page, ([want, rows]) => {
    const have = Object.fromEntries([...document.querySelectorAll(rows)].map((r) => [r.dataset.property, r.dataset.value]));
    return want.every(([p, v]) => have[p] === v);
  }, [expected, selector]);
  assert.deepEqual(sorted(await h.pageValues(page, selector)), expected, `${name} in ${selector}`);
}

test('10,000 setups: loading is said, only rows in view are drawn, keys and positions work, values are show\'s', { skip: !large && 'runs with RSM_LARGE=10000 (CTest BrowserPanelLarge)' }, async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    // Until the first snapshot arrives the page says it loads, and no button acts.
    const { page, close } = await h.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    let release;
    const held = new Promise((resolve) => { release = resolve; });
    await page.route(/\/(snapshot|events)(\?.*)?$/, async (route) => {
      await held;
      await route.continue();
    });
    await page.goto(wb.url);
    await page.locator('#setups .loading').waitFor();
    assert.equal(await page.locator('#connection').textContent(), 'Loading\u2026');
    assert.deepEqual(await page.locator('[data-command]').evaluateAll((b) => b.filter((x) => !x.disabled).map((x) => x.id)), []);
    await h.screenshot(page, 'large-loading');
    release();
    await page.locator('#connection[data-status="live"]').waitFor();
    await page.locator('[role="option"]').first().waitFor();

    // Few rows drawn, each saying where it stands in its group.
    const drawn = await page.locator('[role="option"]').count();
    assert.ok(drawn > 10 && drawn < 100, `${drawn} rows drawn`);
    assert.ok(await page.evaluate(() => document.getElementsByTagName('*').length) < 3000);
    await page.locator('#setups').focus();
    await page.keyboard.press('Home');
    assert.equal(await selected(page).getAttribute('data-name'), 'Draft');
    assert.equal(await selected(page).getAttribute('aria-posinset'), '1');
    assert.equal(await selected(page).getAttribute('aria-setsize'), String(large));

    // Type-ahead far down the list; focus (the active descendant) follows the row.
    await h.typeKeys(page, 'setup 0999');
    await page.locator('[role="option"][aria-selected="true"][data-name="Setup 09990"]').waitFor();
    assert.equal(await selected(page).getAttribute('aria-posinset'), String(3 + 9990));
    assert.equal(await page.locator('#setups').getAttribute('aria-activedescendant'), await selected(page).getAttribute('id'));
    assert.ok(await selected(page).isVisible());
    await valuesAsShowSays(page, wb, 'Setup 09990', '#values [data-property]');
    await page.keyboard.press('Home');
    await page.keyboard.press('PageDown');
    const paged = Number(await selected(page).getAttribute('aria-posinset'));
    assert.ok(paged > 10 && paged < 100, `PageDown went to ${paged}`);
    await page.keyboard.press('ArrowUp');
    assert.equal(Number(await selected(page).getAttribute('aria-posinset')), paged - 1);
    // The last row of all: the last library's last setup, of its own group's size.
    await page.keyboard.press('End');
    assert.equal(await selected(page).getAttribute('data-library'), 'studio.zellib');
    assert.equal(await selected(page).getAttribute('aria-posinset'), '4');
    assert.equal(await selected(page).getAttribute('aria-setsize'), '4');
    await h.screenshot(page, 'large-list');

    // The search over 10,000 names (the last is Setup 09997): what it finds, each in its place
    // among those found.
    await page.locator('#setup-search').fill('SETUP 0999');
    await page.locator('#setup-found', { hasText: '8 found' }).waitFor();
    await page.locator('#setup-search').press('ArrowDown');
    assert.equal(await selected(page).getAttribute('data-name'), 'Setup 09990');
    assert.equal(await selected(page).getAttribute('aria-setsize'), '8');
    await page.locator('#setup-search').press('Escape');
    await page.locator('#setups').focus();
    await page.keyboard.press('End');

    // An edit far down: the mark and the value, in this page and in another one.
    await h.typeKeys(page, 'setup 050');
    await page.locator('[role="option"][aria-selected="true"][data-name="Setup 05000"]').waitFor();
    const other = await h.openPanel(wb.url, { width: 900, height: 700, scheme: 'dark' });
    await other.locator('[role="option"][aria-selected="true"][data-name="Setup 05000"]').waitFor();
    const field = page.locator('[data-property="MaxSamplesPerPixel"] input');
    await field.fill('4242');
    await field.press('Enter');
    for (const p of [page, other]) {
      await h.option(p, 'Setup 05000').locator('.modified-mark').waitFor();
      await valuesAsShowSays(p, wb, 'Setup 05000', '#values [data-property]');
    }
    assert.match(await page.locator('#unsaved').textContent(), /^1 unsaved$/);
    await h.screenshot(other, 'large-narrow-dark');
    assert.deepEqual(await h.accessibilityProblems(page), []);
    assert.deepEqual(await h.accessibilityProblems(other), []);

    // The compare view of a setup a library has too shows the same values as show.
    await page.locator('#setups').focus();
    await page.keyboard.press('Home');
    await page.keyboard.press('Alt+M');
    await page.locator('table.compare').waitFor();
    await page.locator('.only-differences input').uncheck();
    await valuesAsShowSays(page, wb, 'Draft', 'table.compare tbody tr');
    assert.deepEqual(errors, []);
    assert.deepEqual(other.errors, []);
    await close();
  } finally {
    await wb.stop();
  }
});
