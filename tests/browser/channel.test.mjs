// The window's channel as a browser meets it: a one-time address traded for a session cookie,
// and a window that still opens while idle sockets pile up on the port.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import { startApp, openBrowser, newMachineDir, removeDir } from './harness.mjs';

async function withApp(options, body) {
  const dir = newMachineDir();
  const app = startApp(dir, [], options);
  const browser = await openBrowser();
  try {
    await body({ app, browser, url: await app.url });
  } finally {
    await browser.close();
    app.proc.kill();
    removeDir(dir);
  }
}

test('the address opens the window once; reloads ride on the cookie', () => withApp({}, async ({ browser, url }) => {
  const context = await browser.newContext();
  const page = await context.newPage();
  const first = await page.goto(url);
  assert.equal(first.status(), 200);
  await page.locator('#DlgTitle', { hasText: 'Welcome to Vexlo Tweaks' }).waitFor();
  // The secret left the address bar, the logo came with the cookie alone.
  assert.equal(new URL(page.url()).search, '');
  await page.waitForFunction(() => document.getElementById('LogoImg')?.naturalWidth > 0);
  const cookies = await context.cookies();
  assert.equal(cookies.length, 1);
  assert.equal(cookies[0].httpOnly, true);
  assert.equal(cookies[0].sameSite, 'Strict');
  assert.equal(await page.evaluate(() => document.cookie), '');  // not readable by scripts

  // F5: the window draws again over a new socket.
  await page.reload();
  await page.locator('#DlgTitle', { hasText: 'Welcome to Vexlo Tweaks' }).waitFor();
  await page.getByRole('button', { name: "Let's go" }).click();
  await page.locator('#DialogLayer').waitFor({ state: 'hidden' });

  // Another program that read the address from the browser's command line, without the cookie.
  const other = await (await browser.newContext()).newPage();
  const again = await other.goto(url);
  assert.equal(again.status(), 403);
  assert.match(await other.locator('body').innerText(), /already used/);
}));

test('idle sockets on the port do not keep the window out', () => withApp({ fdLimit: 256 }, async ({ browser, url }) => {
  const { port } = new URL(url);
  // More idle connections than the core could hold open files for.
  const idle = await Promise.all(Array.from({ length: 600 }, () => new Promise((resolve) => {
    const s = net.connect(Number(port), '127.0.0.1', () => resolve(s));
    s.on('error', () => resolve(s));
  })));
  try {
    const page = await browser.newPage();
    // Generous: only a window starved until the idle sockets time out would miss it.
    const res = await page.goto(url, { timeout: 20000 });
    assert.equal(res.status(), 200);
    await page.locator('#DlgTitle', { hasText: 'Welcome to Vexlo Tweaks' }).waitFor({ timeout: 20000 });
  } finally {
    for (const s of idle) s.destroy();
  }
}));
