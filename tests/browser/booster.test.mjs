// A player's evening with the game booster: switch it on, start the game and see it boost, quit
// the game and see every priority back, close the window and find the product in the tray,
// open it from there, and exit from the tray with nothing left changed.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { startApp, openBrowser, newMachineDir, removeDir, sim } from './harness.mjs';

const shots = process.env.VEXLO_SHOTS ?? path.resolve('../../build/screenshots');
const GAME = 'FortniteClient-Win64-Shipping.exe';

// Priority class of every process but the game, by pid.
function priorities(dir) {
  const out = {};
  for (const p of sim(dir, ['processes', '--json'], { json: true })) {
    if (p.image.toLowerCase() !== GAME.toLowerCase()) out[p.pid] = p.priority;
  }
  return out;
}

async function until(what, check, ms = 10000) {
  const deadline = Date.now() + ms;
  for (;;) {
    const value = check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

test('the booster, the tray and the way out', async () => {
  const dir = newMachineDir();
  sim(dir, ['network', '--echo', '1.1.1.1=23']);
  const app = startApp(dir);
  const browser = await openBrowser();
  mkdirSync(shots, { recursive: true });
  try {
    let page = await browser.newPage({ viewport: { width: 1260, height: 820 } });
    await page.goto(await app.url);
    await page.locator('#DlgTitle', { hasText: 'Welcome to Vexlo Tweaks' }).waitFor();
    await page.getByRole('button', { name: "Let's go" }).click();
    await page.locator('#DialogLayer').waitFor({ state: 'hidden' });

    // The live tiles measure within a few seconds.
    await page.locator('#TilePing', { hasText: /^\d+ ms$/ }).waitFor({ timeout: 6000 });
    assert.equal(await page.locator('#TilePing').textContent(), '23 ms');
    await page.locator('#TileCpu', { hasText: /^\d+%$/ }).waitFor({ timeout: 6000 });
    await page.locator('#TileRamSub', { hasText: / of \d+ GB in use$/ }).waitFor({ timeout: 6000 });
    // Five replies make the jitter line speak; the sparkline is drawn to the tile's own width.
    await page.locator('#TileJitterSub', { hasText: 'rock solid' }).waitFor({ timeout: 10000 });
    const spark = await page.evaluate(() => ({
      width: document.getElementById('SparkCanvas').getBoundingClientRect().width,
      d: document.getElementById('SparkLine').getAttribute('d'),
    }));
    const xs = [...spark.d.matchAll(/[ML](\S+) /g)].map((m) => Number(m[1]));
    assert.ok(xs.length >= 5, spark.d);
    assert.ok(Math.abs(xs[xs.length - 1] - (Math.round(spark.width) * (xs.length - 1)) / 39) < 0.01, `${spark.width} ${spark.d}`);
    await page.screenshot({ path: path.join(shots, 'home-live.png') });

    // The booster's page, off.
    const before = priorities(dir);
    await page.locator('#Nav_Booster').click();
    const state = page.locator('#BoostState');
    await state.filter({ hasText: 'Booster is off' }).waitFor();
    await page.screenshot({ path: path.join(shots, 'booster-off.png') });

    // On: armed, holding the fine timer.
    await page.locator('#BoostMaster').click();
    await state.filter({ hasText: 'Armed. Waiting for Fortnite' }).waitFor();
    await page.locator('#ToastText', { hasText: 'Game Booster is ON.' }).waitFor();
    assert.ok(sim(dir, ['timer', '--json'], { json: true }).requests.some((r) => r.alive), 'no timer request held');
    await page.screenshot({ path: path.join(shots, 'booster-armed.png') });

    // The game starts: boosting, launchers and browsers lowered.
    sim(dir, ['start-process', GAME]);
    await state.filter({ hasText: 'Boosting Fortnite' }).waitFor({ timeout: 5000 });
    const line1 = page.locator('#BoostLine1');
    await line1.filter({ hasText: /Apps lowered: [1-9]/ }).waitFor();
    const lowered = Number((await line1.textContent()).match(/Apps lowered: (\d+)/)[1]);
    const during = priorities(dir);
    const moved = Object.keys(before).filter((pid) => during[pid] !== before[pid]);
    assert.equal(moved.length, lowered);
    for (const pid of moved) assert.equal(during[pid], 'BelowNormal');
    await page.screenshot({ path: path.join(shots, 'booster-boosting.png') });

    // The game ends: armed again, every priority back.
    sim(dir, ['stop-process', GAME]);
    await state.filter({ hasText: 'Armed. Waiting for Fortnite' }).waitFor({ timeout: 5000 });
    await until('priorities back after the game', () => JSON.stringify(priorities(dir)) === JSON.stringify(before));

    // Another game, then the window is closed: the core stays with its icon and the hint.
    sim(dir, ['start-process', GAME]);
    await state.filter({ hasText: 'Boosting Fortnite' }).waitFor({ timeout: 5000 });
    await page.close();
    const tray = await until('the tray icon', () => {
      const t = sim(dir, ['tray', '--json'], { json: true });
      return t.shown && t.balloons.length > 0 ? t : null;
    });
    assert.equal(tray.tooltip, 'Vexlo Tweaks');
    assert.deepEqual(tray.menu, ['Open Vexlo Tweaks', 'Clean memory now', '', 'Exit']);
    assert.equal(tray.balloons[0].title, 'Vexlo Tweaks');
    assert.equal(tray.balloons[0].text, 'Game Booster is still running here. Right-click for options.');
    assert.equal(app.proc.exitCode, null, 'the core ended with its window');

    // Open it from the tray: a new window at a fresh address.
    sim(dir, ['tray', 'choose', 'Open Vexlo Tweaks']);
    const again = await app.windowUrl(1);
    assert.notEqual(again, await app.url);
    page = await browser.newPage({ viewport: { width: 1260, height: 820 } });
    await page.goto(again);
    await page.locator('#Main').waitFor();
    await page.locator('#Nav_Booster').click();
    await page.locator('#BoostState', { hasText: 'Boosting Fortnite' }).waitFor();

    // Exit from the tray: the process ends, the timer is released, every priority is back.
    sim(dir, ['tray', 'choose', 'Exit']);
    assert.equal(await app.exited, 0);
    assert.ok(!sim(dir, ['timer', '--json'], { json: true }).requests.some((r) => r.alive), 'a timer request outlived the core');
    assert.deepEqual(priorities(dir), before);
    assert.equal(sim(dir, ['tray', '--json'], { json: true }).shown, false);
  } finally {
    await browser.close();
    app.proc.kill();
    removeDir(dir);
  }
});
