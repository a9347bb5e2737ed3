// The browser panel on the demo's design files, in a real browser and at the HTTP level.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { execFileSync } from 'node:child_process';
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

function request(url, { method = 'GET', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request(url, { method, headers }, (res) => {
      let text = '';
      res.setEncoding('utf8');
      res.on('data', (d) => { text += d; });
      res.on('end', () => resolve({ status: res.statusCode, text }));
    });
    req.on('error', reject);
    if (body !== undefined) req.write(body);
    req.end();
  });
}

test('requests without the token, from another site or malformed are refused and change nothing', async () => {
  const wb = await h.startWorkbench(files.dir);
  try {
    const url = new URL(wb.url);
    const form = { 'Content-Type': 'application/x-www-form-urlencoded' };
    const edit = 'action=command&w=edit&w=Lobby&w=DoShadows&w=false';
    const cases = [
      ['no token', `${url.origin}/`, {}, 403, /token/],
      ['wrong token', `${url.origin}/${'0'.repeat(32)}/`, {}, 403, /token/],
      ['action without token', `${url.origin}/action`, { method: 'POST', headers: form, body: edit }, 403, /token/],
      ['foreign Host', wb.url, { headers: { Host: `attacker.example:${url.port}` } }, 403, /Host/],
      ['foreign Origin', `${wb.url}action`, { method: 'POST', headers: { ...form, Origin: 'http://attacker.example' }, body: edit }, 403, /another site/],
      ['Origin on another port', `${wb.url}action`, { method: 'POST', headers: { ...form, Origin: `http://127.0.0.1:${Number(url.port) + 1}` }, body: edit }, 403, /another site/],
      ['unknown action', `${wb.url}action`, { method: 'POST', headers: form, body: 'action=format-disk' }, 400, /unknown action/],
      ['command the page may not run', `${wb.url}action`, { method: 'POST', headers: form, body: 'action=command&w=host&w=invalidate&w=Lobby' }, 400, /may not run/],
      ['wrong word count', `${wb.url}action`, { method: 'POST', headers: form, body: 'action=command&w=edit&w=Lobby' }, 400, /number of words/],
      ['not UTF-8', `${wb.url}action`, { method: 'POST', headers: form, body: 'action=select&group=master&name=%FF' }, 400, /UTF-8/],
      ['not a form', `${wb.url}action`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }, 415, /form/],
      ['body over the limit', `${wb.url}action`, { method: 'POST', headers: form, body: `action=select&group=master&name=${'x'.repeat(70000)}` }, 413, /./],
    ];
    for (const [what, target, options, status, message] of cases) {
      const answer = await request(target, options);
      assert.equal(answer.status, status, what);
      if (status !== 413) assert.match(answer.text, message, what);
    }
    // The page itself and a same-site action are served.
    assert.equal((await request(wb.url)).status, 200);
    assert.equal((await request(`${wb.url}app.js`)).status, 200);
    const ok = await request(`${wb.url}action`, { method: 'POST', headers: { ...form, Origin: url.origin }, body: 'action=command&w=modified&w=Lobby' });
    assert.equal(ok.status, 400, 'modified is no button of the panel');
    assert.doesNotMatch(wb.out, /^> /m, 'no refused request ran a command');
  } finally {
    await wb.stop();
  }
});

test('a session in the page: edit, refuse, save, rename, delete, library commands, compare, prompt, close question', async () => {
  const wb = await h.startWorkbench(files.dir);
  const page = await h.openPanel(wb.url);

  // The lists: the master file's setups, then each library's under its file.
  const masterNames = await page.locator('[role="option"][data-group="master"] .setup-name').allTextContents();
  assert.deepEqual(masterNames, ['Draft', 'Lobby', 'Façade at Dusk']);
  const libraryFiles = await page.locator('.group-file').allTextContents();
  assert.deepEqual(libraryFiles, ['tower.zel', 'office-standards.zellib', 'studio.zellib']);
  assert.equal(await page.locator('[role="option"][aria-selected="true"]').count(), 1);

  // An edit marks the setup modified; saving clears the mark.
  await h.option(page, 'Lobby').click();
  await page.locator('.setup-title', { hasText: 'Lobby' }).waitFor();
  const samples = page.locator('[data-property="MaxSamplesPerPixel"] input');
  await samples.fill('777');
  await samples.press('Enter');
  await wb.waitForOutput(/^> edit Lobby MaxSamplesPerPixel 777$/m);
  await h.option(page, 'Lobby').locator('.modified-mark').waitFor();
  await h.screenshot(page, 'panel-values');

  // Text that is no value of the type is refused beside the field and not sent.
  const minutes = page.locator('[data-property="MaxRenderTimeMinutes"] input');
  for (const bad of ['12x', '-3', '4294967296']) {
    await minutes.fill(bad);
    await minutes.press('Enter');
    await page.locator('[data-property="MaxRenderTimeMinutes"] .field-error:not([hidden])').waitFor();
  }
  await minutes.evaluate((e) => e.scrollIntoView({ block: 'center' }));
  await h.screenshot(page, 'panel-refused-value');
  await minutes.press('Escape');
  assert.doesNotMatch(wb.out, /MaxRenderTimeMinutes/);

  await page.locator('#cmd-save').click();
  await wb.waitForOutput(/^> save Lobby$/m);
  await h.option(page, 'Lobby').locator('.modified-mark').waitFor({ state: 'detached' });

  // Rename through the dialog, to a name with quotes, <&> and letters beyond ASCII.
  const newName = 'Lobby "<&>" Ünïcode Ωmega';
  // A name that is taken first: the dialog stays open and says why, in the host's words.
  await page.locator('#setups').focus();
  await page.keyboard.press('F2');
  const nameField = page.locator('dialog[open] input');
  await nameField.fill('Draft');
  await nameField.press('Enter');
  const refusal = page.locator('dialog[open] .field-error:not([hidden])');
  await refusal.waitFor();
  assert.match(await refusal.textContent(), /was not renamed to "Draft": a setup named "Draft" already exists/);
  assert.equal(await h.option(page, 'Lobby').count(), 1);
  await h.screenshot(page, 'panel-rename-refused');
  await nameField.fill(newName);
  await nameField.press('Enter');
  await page.locator('dialog[open]').waitFor({ state: 'detached' });
  await h.option(page, newName).waitFor();
  assert.equal(await h.option(page, 'Lobby').count(), 0);
  await page.locator('.setup-title', { hasText: newName }).waitFor();

  // Delete asks first; Cancel keeps the setup.
  await h.option(page, 'Façade at Dusk').click();
  await page.locator('#cmd-delete').click();
  await page.locator('dialog[open][role="alertdialog"]').waitFor();
  await h.screenshot(page, 'panel-delete-confirmation');
  await page.keyboard.press('Escape');
  await page.locator('dialog[open]').waitFor({ state: 'detached' });
  assert.doesNotMatch(wb.out, /^> delete/m);
  await page.locator('#cmd-delete').click();
  await page.locator('dialog[open] button.danger').click();
  await h.option(page, 'Façade at Dusk').waitFor({ state: 'detached' });

  // Copy from a library at once after picking it, drift, then update from it again. The pick is
  // held back until the copy has been sent: the workbench still runs them in the order clicked.
  let copySent;
  const copying = new Promise((resolve) => { copySent = resolve; });
  await page.route(/\/action$/, async (route) => {
    const body = route.request().postData() ?? '';
    if (body.includes('action=select')) await copying;
    if (body.includes('copy-from-library')) copySent();
    await route.continue();
  });
  await h.option(page, 'Interior', 'library').click();
  await page.locator('#cmd-copy').click();
  await h.option(page, 'Interior').waitFor();
  await page.locator('.badge.master').waitFor();
  await page.unroute(/\/action$/);
  await page.locator('[data-property="DoShadows"] input').uncheck();
  await h.option(page, 'Interior').locator('.lib-mark.differs').waitFor();
  await page.locator('#cmd-update').click();
  await page.locator('dialog[open] button.danger').click();
  await h.option(page, 'Interior').locator('.lib-mark.same').waitFor();
  assert.equal(await h.option(page, 'Interior').locator('.modified-mark').count(), 0);
  await h.waitForValue(page, 'DoShadows', 'true');
  assert.equal(await page.locator('[data-property="DoShadows"] input').isChecked(), true);

  // Compare value by value and take two library values.
  await h.option(page, 'Draft').click();
  await page.locator('.setup-title', { hasText: 'Draft' }).waitFor();
  await page.locator('[data-property="MaxAASamples"] input').fill('12');
  await page.locator('[data-property="MaxAASamples"] input').press('Enter');
  await page.locator('[data-property="LightingModel"] select').selectOption('2');
  await h.option(page, 'Draft').locator('.lib-mark.differs').waitFor();
  await page.keyboard.press('Alt+M');
  await page.locator('table.compare tr.differs').nth(1).waitFor();
  const differing = await page.locator('table.compare tr.differs').evaluateAll((rows) => rows.map((r) => r.dataset.property));
  assert.deepEqual(differing.sort(), ['LightingModel', 'MaxAASamples']);
  const firstRows = await page.locator('table.compare tbody tr').evaluateAll((rows) => rows.slice(0, 2).map((r) => r.className));
  assert.deepEqual(firstRows, ['differs', 'differs']);
  for (const property of differing) await page.locator(`tr[data-property="${property}"] input`).check();
  await h.screenshot(page, 'panel-compare');
  await page.locator('.compare-actions button.primary').click();
  await page.locator('table.compare tr.differs').first().waitFor({ state: 'detached' });
  await h.option(page, 'Draft').locator('.lib-mark.same').waitFor();

  // A command typed at the prompt shows up at once in every open page.
  const second = await h.openPanel(wb.url, { width: 900, height: 700, scheme: 'dark' });
  wb.type('duplicate Draft');
  await h.option(page, 'Draft - Copy').waitFor();
  await h.option(second, 'Draft - Copy').waitFor();
  await h.screenshot(second, 'panel-narrow-dark');

  // Ending the session asks the close question in the page; Yes saves.
  await page.locator('#cmd-quit').click();
  await page.locator('dialog[open] button.danger').click();
  await page.locator('dialog[open]', { hasText: 'unsaved Render Setups' }).waitFor();
  await h.screenshot(page, 'panel-close-question');
  await page.locator('dialog[open] button', { hasText: 'Yes' }).click();
  const end = await wb.exited;
  // The refused rename is the one command that failed.
  assert.equal(end.code, 1, wb.out + wb.err);
  assert.deepEqual(wb.out.match(/^error: .*$/mg), ['error: the setup "Lobby" was not renamed to "Draft": a setup named "Draft" already exists']);
  assert.match(wb.out, /^question: There are unsaved Render Setups\. Do you wish to save now\? -> yes$/m);
  await page.locator('#connection[data-status="ended"]').waitFor();
  assert.deepEqual(page.errors, []);
  assert.deepEqual(second.errors, []);

  // A second run reads what the first saved.
  const show = (name) => execFileSync(h.workbench, ['--master', 'tower.zel', '-c', `show "${name.replace(/["\\]/g, '\\$&')}"`],
      { cwd: files.dir, encoding: 'utf8' });
  assert.match(show(newName), /^MaxSamplesPerPixel = 777$/m);
  assert.match(show('Draft'), /^LightingModel = 0$/m);
  assert.match(show('Interior'), /^DoShadows = true$/m);
  assert.doesNotMatch(execFileSync(h.workbench, ['--master', 'tower.zel', '-c', 'list'], { cwd: files.dir, encoding: 'utf8' }), /Façade/);
});
