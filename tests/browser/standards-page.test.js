// The office standards in the browser panel: a locked value read-only with its reason, an
// override with its reason reaching the workbench and shown, the Why? answer as the prompt's why
// says it, a scoped library setup's Update, and all of it in German and Japanese too.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import * as h from './harness.js';

const SETUP = 'Office Quality';
const REASON = 'eight passes hide the grain the office prints';
let files;
before(async () => {
  files = h.demoFiles();
  // A library setup that governs three values, locks one of them and says why.
  execFileSync(h.workbench, ['--master', 'office-standards.zellib',
    '-c', `host add "${SETUP}" BlurPasses=8 ShadowQuality=3 QualityThreshold=0.25`,
    '-c', `scope "${SETUP}" --only BlurPasses ShadowQuality QualityThreshold`,
    '-c', `lock "${SETUP}" BlurPasses --reason "${REASON}"`,
    '-c', `note "${SETUP}" BlurPasses "soft edges for print"`,
    '-c', `note "${SETUP}" "the house standard for stills"`], { cwd: files.dir });
  execFileSync(h.workbench, [...h.DEMO_ARGS, '-c', `copy-from-library "${SETUP}"`, '-c', `save "${SETUP}"`], { cwd: files.dir });
  await h.launchBrowser();
});
after(async () => {
  await h.closeBrowser();
  files.cleanup();
});

const row = (page, property) => page.locator(`#values .row[data-property="${property}"]`);
const field = (page, property) => row(page, property).locator('.editor-line > :first-child');

async function openSetup(wb, options) {
  const page = await h.openPanel(wb.url, options);
  await h.option(page, SETUP).click();
  await row(page, 'BlurPasses').locator('.lock-line').waitFor();
  return page;
}

// The prompt's why, typed at the running workbench, as its lines without "why: ".
async function whyAtPrompt(wb, property) {
  const from = wb.out.length;
  wb.type(`why "${SETUP}" ${property}`);
  await wb.waitForOutput(/^why: (last changed in version|no version changed it).*$/m, 10000, from);
  // The notes come after the version line; give them the moment they take.
  await new Promise((r) => setTimeout(r, 200));
  return [...wb.out.slice(from).matchAll(/^why: (.*)$/gm)].map((m) => m[1]);
}

async function whyInPage(page, property) {
  const button = row(page, property).locator('button.why-button');
  await button.click();
  const pop = row(page, property).locator('.why-pop');
  await pop.locator('li').first().waitFor();
  return pop.locator('li').allTextContents();
}

test('a locked value is read-only with its reason; the values it does not lock stay editable', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await openSetup(wb);
  try {
    const cases = [
      // [property, read-only, override offered, the line under it]
      ['BlurPasses', true, true, `Locked by "${SETUP}" in office-standards.zellib: ${REASON}`],
      ['QualityThreshold', false, false, null],
      ['MaxSamplesPerPixel', false, false, null],
    ];
    for (const [property, readOnly, offered, line] of cases) {
      const editor = field(page, property);
      const locked = await editor.evaluate((e) => e.readOnly || e.disabled);
      assert.equal(locked, readOnly, property);
      assert.equal(await row(page, property).locator('button.override').isVisible(), offered, property);
      const lockLine = row(page, property).locator('.lock-line');
      assert.equal(await lockLine.count() ? await lockLine.textContent() : null, line, property);
    }
    assert.equal(await row(page, 'BlurPasses').locator('.note-line').textContent(), 'Library note: soft edges for print');
    assert.match(await page.locator('.standards-note').textContent(), /governs 3 values of this setup.*Library note: the house standard for stills/);
    // Typing into it changes nothing, and nothing is sent.
    const before = wb.out.length;
    await field(page, 'BlurPasses').focus();
    await page.keyboard.type('12');
    await page.keyboard.press('Enter');
    await page.keyboard.press('ArrowUp');
    assert.equal(await field(page, 'BlurPasses').inputValue(), '8');
    await new Promise((r) => setTimeout(r, 300));
    assert.doesNotMatch(wb.out.slice(before), /edit/);
    await row(page, 'BlurPasses').scrollIntoViewIfNeeded();
    await h.screenshot(page, 'standards-locked');
    const narrow = await openSetup(wb, { width: 760, height: 700, scheme: 'dark' });
    await row(narrow, 'BlurPasses').scrollIntoViewIfNeeded();
    await h.screenshot(narrow, 'standards-locked-760-dark');
    assert.deepEqual(await h.accessibilityProblems(narrow), []);
    await narrow.context().close();
    assert.deepEqual(await h.accessibilityProblems(page), []);

    // The library setup itself says what it governs, its locks and notes, all read-only.
    await h.option(page, SETUP, 'library').click();
    await h.until(page, () => /^Governs 3 of the 68/.test(document.querySelector('#values .standards-note')?.textContent ?? ''));
    assert.equal(await row(page, 'BlurPasses').locator('.lock-line').textContent(),
        `Locked in drawings that take this setup: ${REASON}`);
    assert.equal(await row(page, 'BlurPasses').locator('.note-line').textContent(), 'Library note: soft edges for print');
    assert.equal(await row(page, 'BlurPasses').locator('button.override:not([hidden]), button.why-button').count(), 0);
    assert.deepEqual(page.errors, []);
  } finally {
    await page.context().close();
    await wb.stop();
  }
});

test('an override asks for a reason, reaches the workbench with it, and shows who overrode the value and why', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await openSetup(wb);
  try {
    await row(page, 'BlurPasses').locator('button.override').click();
    const dialog = page.locator('dialog[open]');
    await dialog.waitFor();
    assert.match(await dialog.textContent(), new RegExp(REASON));
    // No reason, no override.
    await dialog.locator('button.primary').click();
    assert.equal(await dialog.locator('.field-error').textContent(), 'Give a reason.');
    await dialog.locator('input').fill('the client prints large');
    await h.screenshot(page, 'standards-override-dialog');
    await dialog.locator('button.primary').click();
    await dialog.waitFor({ state: 'detached' });
    assert.equal(await field(page, 'BlurPasses').evaluate((e) => e.readOnly), false);
    assert.equal(await field(page, 'BlurPasses').evaluate((e) => document.activeElement === e), true);
    await field(page, 'BlurPasses').fill('12');
    await field(page, 'BlurPasses').press('Enter');
    await h.waitForValue(page, 'BlurPasses', '12');
    const line = row(page, 'BlurPasses').locator('.override-line');
    await line.waitFor();
    assert.equal(await line.textContent(), 'Overridden, not saved yet: the client prints large');
    // The workbench holds the override: its locks say so, and a save stores it with the user.
    const from = wb.out.length;
    wb.type(`locks "${SETUP}"`);
    await wb.waitForOutput(/^locks: .*the client prints large.*$/m, 10000, from);
    wb.type(`save "${SETUP}"`);
    await h.until(page, () => /^Overridden by /.test(document.querySelector('#values .row[data-property="BlurPasses"] .override-line')?.textContent ?? ''));
    const user = /^Overridden by (.+): the client prints large$/.exec(await line.textContent())?.[1];
    assert.ok(user, await line.textContent());

    // The Why? answer says what the prompt's why says.
    const prompt = await whyAtPrompt(wb, 'BlurPasses');
    const shown = await whyInPage(page, 'BlurPasses');
    await h.screenshot(page, 'standards-why');
    const [, now, fallback] = /is (\S+), default (\S+)$/.exec(prompt[0]) ?? [];
    assert.equal(now, '12', prompt[0]);
    const version = /^last changed in version (\d+), \S+ by (\S+) \((\w+)\)/.exec(prompt.find((l) => l.startsWith('last changed')));
    assert.ok(version, prompt.join('\n'));
    const expected = [
      ['the value now', /^is 12, default/, 'Now: 12'],
      ['the default', /default \d+$/, `Default: ${fallback}`],
      ['the library setup', new RegExp(`^governed by "${SETUP}" in office-standards.zellib .*which holds 8; unchanged`), `Governed by "${SETUP}" in office-standards.zellib`],
      ['the lock', new RegExp(`^locked: ${REASON}$`), `Locked: ${REASON}`],
      ['the override', /the client prints large/, `Overridden by ${user}: the client prints large`],
      ['the library note', /^library note: soft edges for print$/, 'Library note: soft edges for print'],
    ];
    for (const [what, atPrompt, inPage] of expected) {
      assert.ok(prompt.some((l) => atPrompt.test(l.replace(/^BlurPasses of "[^"]+" /, ''))), `${what} at the prompt: ${prompt.join(' | ')}`);
      assert.ok(shown.includes(inPage), `${what} in the page: ${shown.join(' | ')}`);
    }
    const last = shown.find((l) => l.startsWith('Last changed'));
    assert.match(last, new RegExp(`^Last changed in version ${version[1]} by ${version[2]} on .* \\(${version[3]}.*the client prints large\\)$`));
    assert.deepEqual(await h.accessibilityProblems(page), []);
    // Escape closes it and gives focus back to its button.
    await row(page, 'BlurPasses').locator('.why-pop button').focus();
    await page.keyboard.press('Escape');
    assert.equal(await row(page, 'BlurPasses').locator('.why-pop').isHidden(), true);
    assert.equal(await row(page, 'BlurPasses').locator('button.why-button').evaluate((b) => document.activeElement === b), true);
    assert.deepEqual(page.errors, []);
  } finally {
    await page.context().close();
    await wb.stop();
  }
});

test('Update of a setup its library setup governs in part takes the governed values alone, unsaved', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await openSetup(wb);
  try {
    wb.type(`edit "${SETUP}" QualityThreshold 0.5`);
    wb.type(`edit "${SETUP}" MaxSamplesPerPixel 300`);
    await h.waitForValue(page, 'MaxSamplesPerPixel', '300');
    await page.locator('#cmd-update').click();
    const dialog = page.locator('dialog[open]');
    await dialog.waitFor();
    assert.match(await dialog.textContent(), /governs only 3 values of \u201COffice Quality\u201D\. Update takes those alone, as apply does: 1 value changes/);
    await h.screenshot(page, 'standards-update');
    await dialog.locator('button.danger').click();
    await h.waitForValue(page, 'QualityThreshold', '0.25');
    assert.equal(await row(page, 'MaxSamplesPerPixel').getAttribute('data-value'), '300');
    const values = Object.fromEntries(await h.shown(wb, SETUP));
    assert.deepEqual([values.QualityThreshold, values.MaxSamplesPerPixel, values.BlurPasses], ['0.25', '300', '12']);
    assert.equal(await page.locator('#values .modified-badge').isVisible(), true);
    assert.deepEqual(page.errors, []);
  } finally {
    await page.context().close();
    await wb.stop();
  }
});

for (const culture of ['de', 'ja']) {
  test(`in ${culture} the lock, the override and Why? speak the language and pass axe`, async () => {
    const wb = await h.startWorkbench(files.dir, ['--culture', culture]);
    for (const [width, height] of [[1280, 800], [760, 700]]) {
      const page = await openSetup(wb, { width, height });
      try {
        const lockLine = await row(page, 'BlurPasses').locator('.lock-line').textContent();
        assert.doesNotMatch(lockLine, /^Locked by/, lockLine);
        await whyInPage(page, 'BlurPasses');
        await h.screenshot(page, `standards-${culture}-${width}x${height}`);
        assert.deepEqual(await h.accessibilityProblems(page), []);
        assert.deepEqual(page.errors, []);
      } finally {
        await page.context().close();
      }
    }
    await wb.stop();
  });
}
