// Starts the product on a fresh simulated PC and opens its window in Debian's headless Chromium.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const BIN = process.env.VEXLO_BIN ?? path.resolve('../../build/vexlo');
export const CHROMIUM = process.env.VEXLO_CHROMIUM ?? '/usr/bin/chromium';

export function newMachineDir() {
  return mkdtempSync(path.join(tmpdir(), 'vexlo-browser-'));
}

// Runs `vexlo --machine DIR run --no-browser` and resolves with its window address (good for
// one page load). `fdLimit` runs it with at most that many open files, through prlimit.
// `windowUrl(n)` resolves with the n-th address it printed (0: the first; later ones come when
// the tray or a second start opens the window again).
export function startApp(dir, extra = [], { fdLimit } = {}) {
  const args = ['--machine', dir, 'run', '--no-browser', ...extra];
  const proc = fdLimit
    ? spawn('prlimit', [`--nofile=${fdLimit}:${fdLimit}`, '--', BIN, ...args], { stdio: ['ignore', 'pipe', 'pipe'] })
    : spawn(BIN, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  let err = '';
  const exited = new Promise((resolve) => proc.on('exit', (code) => resolve(code)));
  const url = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no address within 20 s: ${out} ${err}`)), 20000);
    proc.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/Open its window at: (\S+)/);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    });
    proc.stderr.on('data', (d) => { err += d; });
    proc.on('exit', (code) => { clearTimeout(timer); reject(new Error(`exited ${code} before serving: ${err}`)); });
  });
  const windowUrl = (n, ms = 20000) => new Promise((resolve, reject) => {
    const deadline = Date.now() + ms;
    const look = () => {
      const all = [...out.matchAll(/Open its window at: (\S+)/g)].map((m) => m[1]);
      if (all.length > n) return resolve(all[n]);
      if (Date.now() > deadline) return reject(new Error(`no window address #${n}: ${out} ${err}`));
      setTimeout(look, 50);
    };
    look();
  });
  return { proc, url, exited, windowUrl, output: () => out + err };
}

export async function openBrowser() {
  return chromium.launch({
    executablePath: CHROMIUM,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-quic'],
  });
}

// The simulated registry as stored, with keys that hold no values left out (an apply may create
// a key; only values are removed on revert).
export function readRegistry(dir) {
  const reg = JSON.parse(readFileSync(path.join(dir, 'registry.json'), 'utf8'));
  for (const hive of Object.keys(reg)) {
    for (const key of Object.keys(reg[hive])) {
      if (Object.keys(reg[hive][key]).length === 0) delete reg[hive][key];
    }
  }
  return reg;
}

export function removeDir(dir) {
  rmSync(dir, { recursive: true, force: true });
}

// A `vexlo --machine DIR sim ...` command on the same simulated PC; returns its output, parsed
// when `json` is set.
export function sim(dir, args, { json = false } = {}) {
  const out = execFileSync(BIN, ['--machine', dir, 'sim', ...args], { encoding: 'utf8' });
  return json ? JSON.parse(out) : out;
}
