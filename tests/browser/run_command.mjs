// What the browser tests share: a free loopback port, and the run command started in a process
// group of its own (stopping it is Ctrl-C to the whole group), as a person starts it.
import {spawn} from 'node:child_process';
import net from 'node:net';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const source = process.env.VARD_SOURCE || path.resolve(here, '..', '..');
export const bin = process.env.VARD_BIN || path.join(source, 'build', 'bin');

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

// Resolves once the run command says where the system runs; `options` are added to its own.
export async function startRun(state, port, options = []) {
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
  return run;
}

// Ctrl-C to the run command's group; resolves with its exit status.
export async function stopRun(run) {
  if (run.exitCode !== null) return run.exitCode;
  const exited = new Promise((resolve) => run.on('exit', (code) => resolve(code)));
  process.kill(-run.pid, 'SIGINT');
  return exited;
}

// Debian's Chromium, headless, with a profile of its own.
export const chromiumOptions = {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: {width: 1280, height: 900},
};
