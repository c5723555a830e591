// What the browser tests share: the run command started on a free port in a state directory of
// its own and stopped as Ctrl-C would, Debian's headless Chromium with a private profile, and
// the steps of following a menu link and submitting a form of the administration pages.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import {chromium} from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const source = process.env.VARD_SOURCE || path.resolve(here, '..', '..');
const bin = process.env.VARD_BIN || path.join(source, 'build', 'bin');
export const artifacts = path.join(source, 'tests', 'artifacts');

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const {port} = server.address();
      server.close(() => resolve(port));
    });
  });
}

// scripts/run in a process group of its own, so that stopping it is Ctrl-C to the whole group;
// `options` go to the run command (by default an empty configuration). Returns {run, port, state}.
export async function startRun(options = ['--empty']) {
  const state = fs.mkdtempSync(path.join(os.tmpdir(), 'vardomar-browser-'));
  fs.chmodSync(state, 0o755);
  const port = await freePort();
  const run = spawn(path.join(source, 'scripts', 'run'),
                    ['--no-build', '--bin', bin, '--state', state, '--port', String(port),
                     ...options],
                    {detached: true, stdio: ['ignore', 'pipe', 'pipe']});
  let output = '';
  run.stdout.on('data', (d) => { output += d; });
  run.stderr.on('data', (d) => { output += d; });
  const deadline = Date.now() + 60000;
  while (!output.includes('Vardomar runs at')) {
    if (run.exitCode !== null || Date.now() > deadline) {
      throw new Error(`run did not start:\n${output}`);
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  return {run, port, state};
}

// Stops the run command and removes its state; returns its exit status.
export async function stopRun({run, state}) {
  let status = run.exitCode;
  if (status === null) {
    const exited = new Promise((resolve) => run.on('exit', (code) => resolve(code)));
    process.kill(-run.pid, 'SIGINT');
    status = await exited;
  }
  fs.rmSync(state, {recursive: true, force: true});
  return status;
}

// A headless Chromium whose own Basic log-on answers every challenge with `credentials`.
// Returns {page, close}; close also removes the profile.
export async function launchBrowser(credentials) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vardomar-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    httpCredentials: credentials,
    viewport: {width: 1280, height: 900},
  });
  const page = context.pages()[0] || await context.newPage();
  const close = async () => {
    await context.close();
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return {page, close};
}

export async function submit(page, caption = 'Submit') {
  await Promise.all([page.waitForLoadState('load'),
                     page.click(`input[type=submit][value="${caption}"]`)]);
}

export async function menu(page, text) {
  await Promise.all([page.waitForLoadState('load'), page.click(`a:text-is("${text}")`)]);
}

// The authority chooser in front of every user page.
export async function chooseAuthority(page, authority) {
  await page.selectOption('select[name=Authority]', authority);
  await submit(page, 'Next >>');
}
