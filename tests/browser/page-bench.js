// The browser panel's speed at two sizes: each action timed in Chromium with a master file of 50
// setups and of 10,000, and one table with the ratio of the large to the small. The figures are
// for people to read, never a pass or fail.
//   node page-bench.js [--sizes 50,10000] [--runs 5] [--small]
// --small: 5 and 50 setups, one run (a check that the benchmark has not rotted).
import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import * as h from './harness.js';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 ? args[at + 1] : fallback;
};
const small = args.includes('--small');
const sizes = (option('--sizes', small ? '5,50' : '50,10000')).split(',').map(Number);
const runs = Number(option('--runs', small ? '1' : '5'));
const samples = small ? 2 : 5;

const median = (xs) => {
  const s = xs.filter((x) => Number.isFinite(x)).sort((a, b) => a - b);
  if (!s.length) return NaN;
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The workbench's CPU time so far, all its threads, in milliseconds.
function cpuMs(pid) {
  let ns = 0;
  for (const task of readdirSync(`/proc/${pid}/task`)) {
    try {
      ns += Number(readFileSync(`/proc/${pid}/task/${task}/schedstat`, 'utf8').split(' ')[0]);
    } catch {
      // A thread that ended just now.
    }
  }
  return ns / 1e6;
}

// What the benchmark does in the page and how it sees that it is done, installed once per page
// (through DevTools: the page's content security policy allows no text to be run as code).
const PAGE_HELPERS = `window.bench = {
  option: (name) => document.querySelector('[role=option][data-group=master][data-name="' + CSS.escape(name) + '"]'),
  title: () => document.querySelector('#values:not([hidden]) .setup-title')?.textContent,
  selected: () => document.querySelector('[role=option][aria-selected=true]')?.dataset.name,
  actions: {
    click: (name) => window.bench.option(name).click(),
    arrow: () => document.getElementById('setups').dispatchEvent(new KeyboardEvent('keydown', { key: 'ArrowDown', bubbles: true })),
    edit: ({ value }) => {
      const input = document.querySelector('[data-property="MaxSamplesPerPixel"] input');
      input.focus();
      input.value = String(value);
      input.dispatchEvent(new Event('input', { bubbles: true }));
      input.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
    },
    save: () => document.getElementById('cmd-save').click(),
    new: (name) => {
      document.getElementById('cmd-new').click();
      document.querySelector('dialog[open] input').value = name;
      document.querySelector('dialog[open] button[type=submit]').click();
    },
    confirm: () => document.querySelector('dialog[open] button[type=submit], dialog[open] button.danger').click(),
    filter: (word) => {
      const box = document.getElementById('search');
      box.value = word;
      box.dispatchEvent(new Event('input', { bubbles: true }));
    },
    another: () => document.querySelector('[role=option][data-group=master]:not([aria-selected=true])').click(),
  },
  done: {
    titled: (name) => window.bench.title() === name,
    anyTitle: () => Boolean(window.bench.title()),
    marked: ({ name, value }) => Boolean(window.bench.option(name)?.querySelector('.modified-mark'))
      && document.querySelector('[data-property="MaxSamplesPerPixel"]').dataset.value === String(value),
    saved: (name) => {
      const option = window.bench.option(name);
      return Boolean(option) && !option.querySelector('.modified-mark');
    },
    made: (name) => window.bench.selected() === name && !document.querySelector('dialog[open]'),
    renamed: (to) => window.bench.selected() === to && !document.querySelector('dialog[open]'),
    gone: (name) => !window.bench.option(name),
    filtered: () => [...document.querySelectorAll('#values .row')].some((r) => r.hidden),
  },
  // Scrolls the list to the master file's setup halfway down it (plus offset), which only then
  // is drawn: its name and where to click it, in the page's coordinates.
  async scrollHalfway(offset) {
    const list = document.getElementById('setups');
    const size = Number(document.querySelector('[role=option][data-group=master]').getAttribute('aria-setsize'));
    const index = Math.floor(size / 2) + offset;
    // The master file's group comes first: a heading of 44 pixels, then rows of 26.
    list.scrollTop = Math.max(0, 44 + 26 * index - list.clientHeight / 2);
    let option = null;
    for (let frames = 0; !option && frames < 600; frames += 1) {
      await new Promise(requestAnimationFrame);
      option = document.getElementById('setup-option-' + index);
    }
    const box = option.getBoundingClientRect();
    return { name: option.dataset.name, x: box.left + box.width / 2, y: box.top + box.height / 2 };
  },
  // Scrolls the list back to scrollTop until the master file's setup name is drawn there: the
  // page may still bring the setup selected last into view once the workbench confirms it.
  async scrollBack(scrollTop, name) {
    for (let frames = 0; !window.bench.option(name); frames += 1) {
      if (frames >= 600) throw new Error(name + ' never drawn again');
      document.getElementById('setups').scrollTop = scrollTop;
      await new Promise(requestAnimationFrame);
    }
  },
  // Waits for the next press on the list: from that input event (the list picks a row as the
  // button goes down, and the row it drew may be gone by the time a click would come) to the
  // frame that shows name's values, in milliseconds (the next call of clicked).
  armClick(name) {
    window.bench.clicked = new Promise((resolve, reject) => {
      document.getElementById('setups').addEventListener('mousedown', (e) => {
        const start = e.timeStamp;
        const frame = () => {
          if (window.bench.done.titled(name)) resolve(performance.now() - start);
          else if (performance.now() - start > 20000) reject(new Error('never titled'));
          else requestAnimationFrame(frame);
        };
        requestAnimationFrame(frame);
      }, { capture: true, once: true });
    });
  },
  // The time from the action to the frame that shows it done, in milliseconds.
  measure(action, done, arg) {
    const start = performance.now();
    window.bench.actions[action](arg);
    return new Promise((resolve, reject) => {
      const frame = () => {
        if (window.bench.done[done](arg)) resolve(performance.now() - start);
        else if (performance.now() - start > 20000) reject(new Error('never ' + done));
        else requestAnimationFrame(frame);
      };
      frame();
    });
  },
};`;

const timed = (page, action, done, arg = null) =>
  page.evaluate(([a, d, x]) => window.bench.measure(a, d, x), [action, done, arg]);

async function oneRun(folder, size) {
  const result = {};
  const browserPage = await h.newPage();
  const { page, cdp } = browserPage;
  let received = 0;
  cdp.on('Network.dataReceived', (e) => { received += e.dataLength; });
  await cdp.send('Network.enable');

  const wb = await h.startWorkbench(folder);
  const printed = Date.now();
  await page.goto(wb.url);
  await page.locator('#connection[data-status="live"]').waitFor();
  await page.locator('[role="option"][data-group="master"]').first().waitFor();
  // The frame that first showed the list, as the page marked it.
  result.open = await page.evaluate(() => performance.timeOrigin
    + performance.getEntriesByName('setups shown')[0].startTime) - printed;
  await page.evaluate(PAGE_HELPERS);

  // Selecting: the master file's setups in view, one after another.
  const names = await page.locator('[role="option"][data-group="master"]').evaluateAll((o) => o.map((e) => e.dataset.name));
  const pickable = names.slice(1, 1 + samples + 1);
  const clicks = [];
  const selectBytes = [];
  for (const name of pickable) {
    const before = received;
    clicks.push(await timed(page, 'click', 'titled', name));
    await sleep(250);
    selectBytes.push(received - before);
  }
  result.click = median(clicks);
  result.selectBytes = median(selectBytes);

  // A real click, halfway down the list after scrolling there: the rows drawn are then deep
  // in the list, far from where it opened.
  const halfway = [];
  const scrolledTo = await page.evaluate(() => document.getElementById('setups').scrollTop);
  for (let i = 0; i < samples; i += 1) {
    const at = await page.evaluate((offset) => window.bench.scrollHalfway(offset), 2 * i);
    await sleep(150);
    await page.evaluate((n) => window.bench.armClick(n), at.name);
    await page.mouse.click(at.x, at.y);
    halfway.push(await page.evaluate(() => window.bench.clicked));
    await sleep(250);
  }
  result.clickHalfway = median(halfway);
  // Back to where the list was, a setup there selected, as the steps below expect.
  await page.evaluate(([top, n]) => window.bench.scrollBack(top, n),
    [scrolledTo, pickable[pickable.length - 1]]);
  await timed(page, 'click', 'titled', pickable[pickable.length - 1]);
  await sleep(150);

  const arrows = [];
  await page.locator('#setups').focus();
  for (let i = 0; i < samples; i += 1) {
    const next = await page.evaluate(() => {
      const at = document.querySelector('[role=option][aria-selected=true]');
      return document.getElementById(`setup-option-${Number(at.dataset.index) + 1}`)?.dataset.name;
    });
    arrows.push(await timed(page, 'arrow', 'titled', next));
  }
  result.arrow = median(arrows);

  // Editing: each a setup not yet modified; the mark in the list is the result.
  const edits = [];
  const editBytes = [];
  const editCpu = [];
  const editNames = names.slice(2 + samples, 2 + 2 * samples);
  let value = 700;
  for (const name of editNames) {
    await timed(page, 'click', 'titled', name);
    await sleep(150);
    const before = received;
    const cpuBefore = cpuMs(wb.child.pid);
    value += 1;
    edits.push(await timed(page, 'edit', 'marked', { name, value }));
    await sleep(250);
    editCpu.push(cpuMs(wb.child.pid) - cpuBefore);
    editBytes.push(received - before);
  }
  result.edit = median(edits);
  result.editBytes = median(editBytes);
  result.editCpu = median(editCpu);

  // The commands that change the list: save (the mark goes), new, rename and delete.
  const saves = [];
  for (const name of editNames) {
    await timed(page, 'click', 'titled', name);
    saves.push(await timed(page, 'save', 'saved', name));
  }
  result.save = median(saves);

  const news = [];
  for (let i = 0; i < samples; i += 1) {
    news.push(await timed(page, 'new', 'made', `New ${size} ${i}`));
  }
  result.new = median(news);

  const renames = [];
  for (let i = 0; i < samples; i += 1) {
    await page.locator('#cmd-rename').click();
    const field = page.locator('dialog[open] input');
    await field.waitFor();
    const to = `Renamed ${size} ${i}`;
    await field.fill(to);
    renames.push(await timed(page, 'confirm', 'renamed', to));
  }
  result.rename = median(renames);

  const deletes = [];
  for (let i = 0; i < samples; i += 1) {
    const name = await page.evaluate(() => document.querySelector('[role=option][aria-selected=true]')?.dataset.name);
    await page.locator('#cmd-delete').click();
    await page.locator('dialog[open] button.danger').waitFor();
    deletes.push(await timed(page, 'confirm', 'gone', name));
    // The next one to delete.
    await timed(page, 'another', 'anyTitle');
  }
  result.delete = median(deletes);

  const filters = [];
  for (const word of ['shadow', 'samples', 'photon', 'blur', 'light']) {
    filters.push(await timed(page, 'filter', 'filtered', word));
    await page.evaluate(() => {
      const box = document.getElementById('search');
      box.value = '';
      box.dispatchEvent(new Event('input', { bubbles: true }));
    });
  }
  result.filter = median(filters);

  result.elements = await page.evaluate(() => document.getElementsByTagName('*').length);
  await cdp.send('HeapProfiler.collectGarbage');
  result.heap = (await cdp.send('Runtime.getHeapUsage')).usedSize / (1 << 20);
  await wb.stop();
  await browserPage.close();
  return result;
}

const ACTIONS = [
  ['open', 'Open: address printed → list shown (ms)', { absolute: 500 }],
  ['click', 'Select by click → values (ms)', { ratio: 1.5, absolute: 50 }],
  ['clickHalfway', 'Select by click halfway down, scrolled to → values (ms)', { ratio: 1.5, absolute: 50 }],
  ['arrow', 'Select by Arrow Down → values (ms)', { ratio: 1.5, absolute: 50 }],
  ['edit', 'Edit → modified mark (ms)', { ratio: 1.5, absolute: 50 }],
  ['save', 'Save → mark gone (ms)', { ratio: 1.5, absolute: 100 }],
  ['new', 'New, named → list follows (ms)', { ratio: 1.5, absolute: 100 }],
  ['rename', 'Rename → list follows (ms)', { ratio: 1.5, absolute: 100 }],
  ['delete', 'Delete → list follows (ms)', { ratio: 1.5, absolute: 100 }],
  ['filter', 'Filter settings (ms)', { ratio: 1.5 }],
  ['editBytes', 'Bytes to the page per edit', { absolute: 8192 }],
  ['selectBytes', 'Bytes to the page per selection', { absolute: 8192 }],
  ['elements', 'Page elements', { absolute: 3000 }],
  ['heap', 'JS heap (MB)', { absolute: 20 }],
  ['editCpu', 'Workbench CPU per edit (ms)', { ratio: 1.5 }],
];

async function main() {
  await h.launchBrowser();
  const byAction = new Map(ACTIONS.map(([key]) => [key, new Map()]));
  const scratch = mkdtempSync(path.join(tmpdir(), 'rsm-page-bench-'));
  try {
    for (const size of sizes) {
      const prepared = path.join(scratch, `files-${size}`);
      const files = h.demoFiles();
      h.growMaster(files.dir, size);
      cpSync(files.dir, prepared, { recursive: true });
      files.cleanup();
      const results = [];
      for (let run = 0; run < runs; run += 1) {
        const folder = path.join(scratch, `run-${size}-${run}`);
        cpSync(prepared, folder, { recursive: true });
        process.stderr.write(`page bench: ${size} setups, run ${run + 1} of ${runs}\n`);
        results.push(await oneRun(folder, size));
        rmSync(folder, { recursive: true, force: true });
      }
      for (const [key] of ACTIONS) byAction.get(key).set(size, median(results.map((r) => r[key])));
    }
  } finally {
    await h.closeBrowser();
    rmSync(scratch, { recursive: true, force: true });
  }

  const [few, many] = [sizes[0], sizes[sizes.length - 1]];
  const shown = (x) => (x >= 100 ? x.toFixed(0) : x.toFixed(1));
  console.log(`\n| Action (median of ${runs}) | ${few} setups | ${many.toLocaleString('en')} setups | Ratio | Target | Met |`);
  console.log('|---|---|---|---|---|---|');
  for (const [key, label, target] of ACTIONS) {
    const a = byAction.get(key).get(few);
    const b = byAction.get(key).get(many);
    const ratio = b / a;
    const wanted = [];
    let met = true;
    if (target.ratio) {
      wanted.push(`≤ ${target.ratio}x`);
      met = met && ratio <= target.ratio;
    }
    if (target.absolute) {
      wanted.push(`≤ ${target.absolute}`);
      met = met && b <= target.absolute;
    }
    console.log(`| ${label} | ${shown(a)} | ${shown(b)} | ${Number.isFinite(ratio) ? ratio.toFixed(2) : '-'} | ${wanted.join(', ')} | ${met ? 'yes' : 'no'} |`);
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
