// A person's path through the pages: search and flip a switch in the results, find it on its
// page, run a profile with a restore point, use a filter and fold a group (with the left button).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { startApp, openBrowser, newMachineDir, removeDir } from './harness.mjs';

const shots = process.env.VEXLO_SHOTS ?? path.resolve('../../build/screenshots');

test('search, a profile, a filter and a folded group', async () => {
  const dir = newMachineDir();
  const app = startApp(dir);
  const browser = await openBrowser();
  try {
    const page = await browser.newPage({ viewport: { width: 1260, height: 820 } });
    await page.goto(await app.url);
    await page.locator('#DlgTitle', { hasText: 'Welcome to Vexlo Tweaks' }).waitFor();
    await page.getByRole('button', { name: "Let's go" }).click();
    await page.locator('#DialogLayer').waitFor({ state: 'hidden' });
    mkdirSync(shots, { recursive: true });
    await page.screenshot({ path: path.join(shots, 'pages-home.png') });
    const scoreBefore = Number(await page.locator('#TxtScore').textContent());

    // Search "ping": results with live switches; flip the first one.
    await page.locator('#SearchBox').fill('ping');
    await page.locator('#Page_Search').waitFor({ state: 'visible' });
    await assert.doesNotReject(page.locator('#PageSub_Search', { hasText: 'results for "ping"' }).waitFor());
    const first = page.locator('#List_Search .Row').first();
    const title = (await first.locator('.RowTitle').textContent()).trim();
    const toggle = first.locator('.vx-toggle');
    const wasOn = (await toggle.getAttribute('aria-checked')) === 'true';
    await toggle.click();
    const dialog = page.locator('#DialogLayer');
    if (await dialog.isVisible()) await page.getByRole('button', { name: 'Yes' }).click();  // an ADVANCED one
    await page.waitForFunction(([t, on]) => {
      const rows = [...document.querySelectorAll('#List_Search .Row')];
      const row = rows.find((r) => r.querySelector('.RowTitle')?.textContent.trim() === t);
      return row && row.querySelector('.vx-toggle').getAttribute('aria-checked') === String(!on);
    }, [title, wasOn]);

    // Its page shows it the same way; the search box empties.
    const pageName = await page.evaluate((t) => {
      for (const p of document.querySelectorAll('[id^="Page_"]')) {
        if (p.id === 'Page_Search') continue;
        if ([...p.querySelectorAll('.RowTitle')].some((e) => e.textContent.trim() === t)) return p.id.slice(5);
      }
      return null;
    }, title);
    assert.ok(pageName, `no page holds ${title}`);
    await page.locator(`#Nav_${pageName}`).click();
    await page.locator(`#Page_${pageName}`).waitFor({ state: 'visible' });
    assert.equal(await page.locator('#SearchBox').inputValue(), '');
    const onPage = page.locator(`#Page_${pageName} .Row`, { hasText: title }).first().locator('.vx-toggle');
    assert.equal(await onPage.getAttribute('aria-checked'), String(!wasOn));
    await page.waitForTimeout(400);  // the page's fade-in
    await page.screenshot({ path: path.join(shots, 'pages-tweak-page.png') });

    // The Unavailable filter and back; then fold the first group.
    await page.locator('#Nav_System').click();
    await page.locator('#Page_System').waitFor({ state: 'visible' });
    const chip = await page.locator('#Counter_System').textContent();
    await page.locator('#Filter_System_Unavailable').click();
    // Only cards of tweaks this PC does not offer stay in view.
    await page.waitForFunction(() => [...document.querySelectorAll('#List_System .Row')]
      .filter((r) => r.offsetParent !== null).length < document.querySelectorAll('#List_System .Row').length);
    const shownAvailable = await page.evaluate(() => [...document.querySelectorAll('#List_System .Row')]
      .filter((r) => r.offsetParent !== null && !r.querySelector('.vx-toggle').classList.contains('vx-disabled')).length);
    assert.equal(shownAvailable, 0);
    await page.locator('#Filter_System_All').click();
    const groupName = page.locator('#List_System .GroupName').first();
    await groupName.waitFor({ state: 'visible' });
    const rowsBefore = await page.locator('#List_System .Row:visible').count();
    // The right button folds nothing: after it, one left click folds the group.
    await groupName.click({ button: 'right' });
    await groupName.click();
    await page.waitForFunction((n) => document.querySelectorAll('#List_System .Row').length > 0 &&
      [...document.querySelectorAll('#List_System .Row')].filter((r) => r.offsetParent !== null).length < n, rowsBefore);

    // Competitive with a restore point: the progress panel, then the summary.
    await page.locator('#Nav_Home').click();
    await page.locator('#BtnProfileComp').click();
    await page.locator('#DlgTitle', { hasText: 'Competitive' }).waitFor();
    await page.getByRole('button', { name: 'Yes' }).click();
    await page.locator('#DlgTitle', { hasText: 'Done' }).waitFor({ timeout: 30000 });
    assert.match(await page.locator('#DlgBody').textContent(), /^Applied \d+ tweaks\./);
    await page.getByRole('button', { name: 'OK' }).click();
    await page.locator('#DialogLayer').waitFor({ state: 'hidden' });
    assert.ok(Number(await page.locator('#TxtScore').textContent()) > scoreBefore);
    assert.notEqual(await page.locator('#Counter_System').textContent(), chip);
    assert.ok(await page.locator('#RingArc').getAttribute('d'));
    await page.screenshot({ path: path.join(shots, 'pages-home-after-profile.png') });
  } finally {
    await browser.close();
    app.proc.kill();
    removeDir(dir);
  }
});
