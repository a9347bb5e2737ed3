// Runs the workbench with its panel on a fresh copy of the demo's design files and drives the
// page in the system's Chromium.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceDir = path.resolve(here, '../..');
export const buildDir = process.env.ORNR_BUILD_DIR ?? path.join(sourceDir, 'build');
export const workbench = process.env.RSM_WORKBENCH ?? path.join(buildDir, 'workbench/rsm-workbench');
export const artifacts = process.env.RSM_ARTIFACTS ?? path.join(buildDir, 'browser-artifacts');
const chromiumPath = process.env.CHROMIUM ?? '/usr/bin/chromium';

/** A folder holding the demo's design files, removed by the returned cleanup. */
export function demoFiles() {
  const dir = mkdtempSync(path.join(tmpdir(), 'rsm-panel-'));
  execFileSync(workbench, [path.join(sourceDir, 'workbench/demo/design-files.commands')], { cwd: dir, stdio: 'ignore' });
  return { dir, cleanup: () => rmSync(dir, { recursive: true, force: true }) };
}

export const DEMO_ARGS = ['--master', 'tower.zel', '--library', 'studio.zellib', '--library', 'office-standards.zellib'];

/** The workbench with --panel in dir; resolves once it printed its address. */
export async function startWorkbench(dir, extraArgs = []) {
  const child = spawn(workbench, [...DEMO_ARGS, '--panel', ...extraArgs], { cwd: dir, stdio: ['pipe', 'pipe', 'pipe'] });
  const session = { child, out: '', err: '', exited: null };
  child.stdout.setEncoding('utf8');
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (d) => { session.err += d; });
  session.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
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
  session.waitForOutput = async (re, ms = 10000) => {
    const end = Date.now() + ms;
    while (Date.now() < end) {
      if (re.test(session.out)) return;
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
  if (!browser) return;
  await browser.close();
  browser = null;
}

/** A new page at size, opened on url and showing the setups. */
export async function openPanel(url, { width = 1280, height = 800, scheme = 'light' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, colorScheme: scheme });
  const page = await context.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') page.errors.push(m.text()); });
  await page.goto(url);
  await page.locator('#connection[data-status="live"]').waitFor();
  await page.locator('[role="option"]').first().waitFor();
  return page;
}

export async function screenshot(page, name) {
  mkdirSync(artifacts, { recursive: true });
  const file = path.join(artifacts, `${name}.png`);
  await page.screenshot({ path: file });
  return file;
}

/** Waits until the values shown hold text (as the workbench sends it) for property. */
export const waitForValue = (page, property, text) => page.waitForFunction(([p, t]) =>
  document.querySelector(`#values [data-property="${p}"]`)?.dataset.value === t, [property, text]);

export const option = (page, name, group = 'master') =>
  page.locator(`[role="option"][data-group="${group}"]`).filter({ has: page.locator('.setup-name', { hasText: new RegExp(`^${name.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}$`) }) });
