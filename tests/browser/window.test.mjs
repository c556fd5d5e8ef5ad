// A person's path through the window: open it, flip a System switch on and off again.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { startApp, openBrowser, readRegistry, newMachineDir, removeDir } from './harness.mjs';

const shots = process.env.VEXLO_SHOTS ?? path.resolve('../../build/screenshots');

// A fresh simulated PC, the product on it and its window; `body` gets them, then all is closed.
async function withWindow(body) {
  const dir = newMachineDir();
  const app = startApp(dir);
  const browser = await openBrowser();
  try {
    const page = await browser.newPage({ viewport: { width: 1300, height: 860 } });
    await page.goto(await app.url);
    await body({ dir, app, page });
  } finally {
    await browser.close();
    app.proc.kill();
    removeDir(dir);
  }
}

test('a System switch applies, reports and reverts through the engine', () => withWindow(async ({ dir, app, page }) => {

    // First run: the welcome dialog over the main window.
    await page.locator('#DialogLayer').waitFor({ state: 'visible' });
    await assert.doesNotReject(page.locator('#DlgTitle', { hasText: 'Welcome to Vexlo Tweaks' }).waitFor());
    await page.getByRole('button', { name: "Let's go" }).click();
    await page.locator('#DialogLayer').waitFor({ state: 'hidden' });
    mkdirSync(shots, { recursive: true });
    await page.screenshot({ path: path.join(shots, 'home.png') });

    const before = readRegistry(dir);
    await page.locator('#Nav_System').click();
    await page.locator('#Page_System').waitFor({ state: 'visible' });
    const row = page.locator('.Row', { hasText: 'Disable power throttling' });
    const toggle = row.locator('.vx-toggle');

    await toggle.click();
    await page.locator('#StatusText', { hasText: 'Applied: Disable power throttling' }).waitFor();
    await page.locator('#ToastText', { hasText: 'On: Disable power throttling' }).waitFor();
    assert.equal(await toggle.getAttribute('aria-checked'), 'true');
    const applied = readRegistry(dir);
    const key = applied.HKLM['SYSTEM\\CurrentControlSet\\Control\\Power\\PowerThrottling'];
    assert.deepEqual(key?.PowerThrottlingOff, { dword: 1 });
    await page.screenshot({ path: path.join(shots, 'system-applied.png') });

    await toggle.click();
    await page.locator('#StatusText', { hasText: 'Restored: Disable power throttling' }).waitFor();
    await page.locator('#ToastText', { hasText: 'Restored: Disable power throttling' }).waitFor();
    assert.equal(await toggle.getAttribute('aria-checked'), 'false');
    assert.deepEqual(readRegistry(dir), before);

    // The window's close button ends the application.
    await page.locator('#BtnClose').click();
    assert.equal(await app.exited, 0);
}));

test('an ADVANCED switch asks first, and No changes nothing', () => withWindow(async ({ dir, page }) => {
    await page.getByRole('button', { name: "Let's go" }).click();
    await page.locator('#DialogLayer').waitFor({ state: 'hidden' });
    const before = readRegistry(dir);

    await page.locator('#Nav_System').click();
    const toggle = page.locator('.Row', { hasText: 'Global fullscreen optimizations off' }).locator('.vx-toggle');
    await toggle.click();
    await page.locator('#DlgTitle', { hasText: 'Heads up' }).waitFor();
    await page.screenshot({ path: path.join(shots, 'advanced-confirm.png') });
    await page.getByRole('button', { name: 'No' }).click();
    await page.locator('#DialogLayer').waitFor({ state: 'hidden' });
    await page.waitForFunction((el) => el.getAttribute('aria-checked') === 'false', await toggle.elementHandle());
    assert.deepEqual(readRegistry(dir), before);
}));
