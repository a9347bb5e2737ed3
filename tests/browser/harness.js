// Runs the workbench with its panel on a fresh copy of the demo's design files and drives the
// page in the system's Chromium.
import { spawn, execFileSync } from 'node:child_process';
import net from 'node:net';
import { copyFileSync, mkdtempSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceDir = path.resolve(here, '../..');
export const buildDir = process.env.ORNR_BUILD_DIR ?? path.join(sourceDir, 'build');
export const workbench = process.env.RSM_WORKBENCH ?? path.join(buildDir, 'workbench/rsm-workbench');
export const artifacts = process.env.RSM_ARTIFACTS ?? path.join(buildDir, 'browser-artifacts');
const chromiumPath = process.env.CHROMIUM ?? '/usr/bin/chromium';

// The page's modules are plain ES modules; Node before 20 takes them as such only from a folder
// that says so, so they are imported from a copy that does (gone when the process ends).
let pageCopy = null;

/** Imports one of the page's modules (file: its name in workbench/page/web/) in Node. */
export function importPage(file) {
  if (!pageCopy) {
    const web = path.join(sourceDir, 'workbench/page/web');
    pageCopy = mkdtempSync(path.join(tmpdir(), 'rsm-page-modules-'));
    for (const name of readdirSync(web).filter((f) => f.endsWith('.js'))) copyFileSync(path.join(web, name), path.join(pageCopy, name));
    writeFileSync(path.join(pageCopy, 'package.json'), '{"type":"module"}');
    const copy = pageCopy;
    process.on('exit', () => rmSync(copy, { recursive: true, force: true }));
  }
  return import(pathToFileURL(path.join(pageCopy, file)));
}

/** A folder holding the demo's design files, removed by the returned cleanup. */
export function demoFiles() {
  const dir = mkdtempSync(path.join(tmpdir(), 'rsm-panel-'));
  execFileSync(workbench, [path.join(sourceDir, 'workbench/demo/design-files.commands')], { cwd: dir, stdio: 'ignore' });
  return { dir, cleanup: () => rmSync(dir, { recursive: true, force: true }) };
}

/**
 * Makes the master file tower.zel in dir hold count setups: the demo's three, then "Setup 00001"
 * and on, copies of "Lobby" whose values vary from setup to setup.
 */
export function growMaster(dir, count) {
  if (count <= 3) return;
  const file = path.join(dir, 'tower.zel');
  const sql = (text) => execFileSync('sqlite3', [file, text], { encoding: 'utf8' }).trim();
  const columns = sql("SELECT group_concat(name, ', ') FROM pragma_table_info('render_setups') WHERE cid > 2");
  const values = columns.replace(/\bBlurPasses\b/, '(i % 20)').replace(/\bMaxSamplesPerPixel\b/, '(16 + i % 1000)')
    .replace(/\bDoShadows\b/, '(i % 2)');
  sql(`INSERT INTO render_setups (name, revision, ${columns})
       WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ${count - 3})
       SELECT printf('Setup %05d', i), 1, ${values} FROM n JOIN render_setups r ON r.name = 'Lobby'`);
}

export const DEMO_ARGS = ['--master', 'tower.zel', '--library', 'studio.zellib', '--library', 'office-standards.zellib'];

/** The workbench with --panel in dir; resolves once it printed its address. */
// Workbenches still running: a test that fails before it stops its own leaves it to the file's
// closeBrowser, since a running child would keep the test file from ever ending.
const running = new Set();

export async function startWorkbench(dir, extraArgs = []) {
  const args = [...DEMO_ARGS, '--panel', ...extraArgs];
  // scripts/flake-hunt.sh --slow: a workbench that yields its processor to everything else, so
  // that its answers and steps come as late as on a much slower machine.
  const nice = process.env.RSM_WORKBENCH_NICE;
  const child = nice ? spawn('nice', ['-n', nice, workbench, ...args], { cwd: dir, stdio: ['pipe', 'pipe', 'pipe'] })
    : spawn(workbench, args, { cwd: dir, stdio: ['pipe', 'pipe', 'pipe'] });
  const session = { child, out: '', err: '', exited: null };
  child.stdout.setEncoding('utf8');
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (d) => { session.err += d; });
  running.add(child);
  session.exited = new Promise((resolve) => child.on('exit', (code, signal) => {
    running.delete(child);
    resolve({ code, signal });
  }));
  session.url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no address printed:\n${session.out}\n${session.err}`)), 15000);
    child.stdout.on('data', (d) => {
      session.out += d;
      const m = /^url: (\S+)$/m.exec(session.out);
      if (m) {
        clearTimeout(timer);
        resolve(m[1]);
      }
    });
    child.on('exit', () => reject(new Error(`workbench ended:\n${session.out}\n${session.err}`)));
  });
  /** Types a line at the workbench's input. */
  session.type = (line) => child.stdin.write(`${line}\n`);
  /** Waits until standard output holds text matching re. */
  session.waitForOutput = async (re, ms = 10000, from = 0) => {
    const end = Date.now() + ms;
    while (Date.now() < end) {
      if (re.test(session.out.slice(from))) return;
      await new Promise((r) => setTimeout(r, 50));
    }
    throw new Error(`output never matched ${re}:\n${session.out}`);
  };
  session.stop = async () => {
    if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
    return session.exited;
  };
  return session;
}

/**
 * A way to the workbench's panel that can be cut: a TCP relay on another port of loopback, which
 * names the panel's own port in what passes (Host and Origin must name it). drop() cuts every
 * connection through it at once, as a network that goes away would. With lagMs, everything the
 * workbench sends arrives that much later, as from a busy one.
 */
export async function relay(url, { lagMs = 0 } = {}) {
  const target = new URL(url);
  const sockets = new Set();
  const server = net.createServer((client) => {
    const upstream = net.connect(Number(target.port), target.hostname);
    sockets.add(client);
    sockets.add(upstream);
    const ours = `127.0.0.1:${server.address().port}`;
    client.on('data', (d) => upstream.write(d.toString('latin1').replaceAll(ours, target.host), 'latin1'));
    const later = (fn) => (lagMs ? setTimeout(fn, lagMs) : fn());
    upstream.on('data', (d) => later(() => client.write(d)));
    for (const [a, b] of [[client, upstream], [upstream, client]]) {
      a.on('close', () => { (a === upstream ? later : (fn) => fn())(() => b.destroy()); sockets.delete(a); });
      a.on('error', () => b.destroy());
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const port = server.address().port;
  return {
    url: `http://127.0.0.1:${port}${target.pathname}`,
    drop: () => { for (const socket of sockets) socket.destroy(); },
    close: () => new Promise((resolve) => {
      for (const socket of sockets) socket.destroy();
      server.close(resolve);
    }),
  };
}

/** The workbench's show NAME, typed at its prompt, as [property, text] pairs. */
export async function shown(wb, name) {
  const before = wb.out.length;
  wb.type(`show "${name.replace(/["\\]/g, '\\$&')}"`);
  await wb.waitForOutput(/^ToleranceOverrideMeters = .*$/m, 10000, before);
  const text = wb.out.slice(before);
  return [...text.matchAll(/^(\w+) = (.*)$/gm)].map((m) => [m[1], m[2]]);
}

/** The values the page shows, as the workbench sent them, as [property, text] pairs. */
export const pageValues = (page, selector = '#values [data-property]') =>
  page.locator(selector).evaluateAll((rows) => rows.map((r) => [r.dataset.property, r.dataset.value]));

let browser = null;
export async function launchBrowser() {
  // Each launch gets a fresh profile of Playwright's own, removed when the browser closes.
  browser = await chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  return browser;
}

export async function closeBrowser() {
  for (const child of running) child.kill('SIGKILL');
  if (!browser) return;
  await browser.close();
  browser = null;
}

// Keeps every step of the workbench's stream as the page takes it (window.stepsTaken, each as
// sent), for a test to wait for the one it needs. Its listener comes before the page's own, in
// the same event: once the page is live, a step seen here is one the page has handled.
function keepSteps() {
  const Native = window.EventSource;
  window.stepsTaken = [];
  window.EventSource = class extends Native {
    constructor(...args) {
      super(...args);
      this.addEventListener('message', (e) => window.stepsTaken.push(e.data));
    }
  };
}

// What the page logs as an error, or throws, lands in page.errors, which the tests expect empty:
// with the address the browser names, since its own lines ("Failed to load resource") leave it out.
function recordErrors(page) {
  page.on('pageerror', (e) => page.errors.push(`${e.stack ?? e}`));
  page.on('console', (m) => {
    if (m.type() !== 'error') return;
    const { url, lineNumber } = m.location();
    page.errors.push(url ? `${m.text()} (${url}${lineNumber ? `:${lineNumber}` : ''})` : m.text());
  });
}

/** A new page at size, opened on url and showing the setups. */
export async function openPanel(url, { width = 1280, height = 800, scheme = 'light' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, colorScheme: scheme });
  await context.addInitScript(keepSteps);
  const page = await context.newPage();
  page.errors = [];
  recordErrors(page);
  await page.goto(url);
  await page.locator('#connection[data-status="live"]').waitFor();
  await page.locator('[role="option"]').first().waitFor();
  return page;
}

/** A page with a DevTools session of its own, for figures the page cannot give itself. */
export async function newPage({ width = 1280, height = 800, scheme = 'light' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, colorScheme: scheme });
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  return { page, cdp, close: () => context.close() };
}

const require = createRequire(import.meta.url);
let axeSource = null;

/** What axe-core finds wrong on the page as it is now, one "rule: element (why)" a problem. */
export async function accessibilityProblems(page) {
  axeSource ??= readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
  // Through DevTools, which the page's content security policy does not stop.
  if (!(await page.evaluate(() => 'axe' in window))) await page.evaluate(axeSource);
  const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
  return result.violations.flatMap((rule) => rule.nodes.map((node) =>
    `${rule.id}: ${node.target.join(' ')} (${(node.failureSummary ?? '').split('\n').slice(1).join(' ').trim()})`));
}

/** A new page at size on a file, recording every request it makes. */
export async function openFile(file, { width = 1280, height = 800, scheme = 'light' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, colorScheme: scheme });
  const page = await context.newPage();
  page.errors = [];
  page.requests = [];
  recordErrors(page);
  page.on('request', (r) => page.requests.push(r.url()));
  await page.goto(`file://${file}`);
  return page;
}

export async function screenshot(page, name) {
  mkdirSync(artifacts, { recursive: true });
  const file = path.join(artifacts, `${name}.png`);
  await page.screenshot({ path: file });
  return file;
}

/**
 * Types text as keys pressed gapMs apart on the page's clock, however late this process gets to
 * send them: each key carries when it was pressed, which the list's type-ahead reads.
 */
export async function typeKeys(page, text, gapMs = 30) {
  const cdp = await page.context().newCDPSession(page);
  try {
    const start = Date.now() / 1000;
    for (const [i, key] of [...text].entries()) {
      const timestamp = start + (i * gapMs) / 1000;
      await cdp.send('Input.dispatchKeyEvent', { type: 'keyDown', key, text: key, timestamp });
      await cdp.send('Input.dispatchKeyEvent', { type: 'keyUp', key, timestamp });
    }
  } finally {
    await cdp.detach();
  }
}

/**
 * Waits until fn(arg), run in the page, is true. (Playwright's waitForFunction may evaluate a
 * text, which the page's content security policy refuses.)
 */
export async function until(page, fn, arg, ms = 15000) {
  const end = Date.now() + ms;
  while (!(await page.evaluate(fn, arg))) {
    if (Date.now() > end) throw new Error(`never true: ${fn}`);
    await new Promise((r) => setTimeout(r, 25));
  }
}

/** How many steps of the workbench's stream a page from openPanel has taken. */
export const stepsTaken = (page) => page.evaluate(() => window.stepsTaken.length);

/**
 * Waits until a page from openPanel has taken a step, after the first `from`, for which
 * wanted(step) is true, and returns that step.
 */
export async function waitForStep(page, wanted, from = 0, ms = 15000) {
  const end = Date.now() + ms;
  for (let seen = from; ;) {
    const steps = await page.evaluate((n) => window.stepsTaken.slice(n), seen);
    const found = steps.map((text) => JSON.parse(text)).find(wanted);
    if (found) return found;
    seen += steps.length;
    if (Date.now() > end) throw new Error(`no step came that ${wanted}`);
    await new Promise((r) => setTimeout(r, 25));
  }
}

/** Whether a step names key ({ group, name }) the workbench's current setup. */
export const namesCurrent = (step, { group, name }) =>
  (step.changes ?? []).some((c) => c.type === 'current' && c.current?.group === group && c.current?.name === name);

/** Waits until the values shown hold text (as the workbench sends it) for property. */
export const waitForValue = (page, property, text) => until(page, ([p, t]) =>
  document.querySelector(`#values [data-property="${p}"]`)?.dataset.value === t, [property, text]);

export const option = (page, name, group = 'master') =>
  page.locator(`[role="option"][data-group="${group}"]`).filter({ has: page.locator('.setup-name', { hasText: new RegExp(`^${name.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}$`) }) });
