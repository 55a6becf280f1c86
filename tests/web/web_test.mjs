// Drives the browser version of Kelvorine in Debian's chromium, headless with software WebGL 2:
//
//   node web_test.mjs URL OUT_DIR HOLD_TURNS
//
//   1. the title, held after HOLD_TURNS turns, as OUT_DIR/title.png (the caller compares it with
//      the desktop software renderer's picture of the same frame) and the time from navigation
//      to the first presented frame;
//   2. a game started from the title: the falling piece moves left and right, pieces lock, the
//      audio output runs with the music voice fed; then Down held until the game is over, and Esc;
//   3. a reload shows the ranking with that score (kept in IndexedDB) on the ranking screen
//      (OUT_DIR/ranking.png); a second game is played to its end and the tab is closed without
//      Esc: a new tab still has its score (the quit files are written when the page is hidden);
//   4. no errors on the console at any time.
//
// Prints one JSON line of figures on success; exits 1 with the reason on the first failure.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [url, outDir, holdArg] = process.argv.slice(2);
const hold = Number(holdArg || 120);
fs.mkdirSync(outDir, { recursive: true });

const consoleErrors = [];
const figures = {};

function fail(why) {
  console.error(`web test: ${why}`);
  if (consoleErrors.length) console.error(`console errors:\n  ${consoleErrors.join('\n  ')}`);
  process.exitCode = 1;
  throw new Error(why);
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function stats(page) {
  return page.evaluate(() => Module.kelvorineStats());
}

// Waits until test(stats) holds; fails with `what` after `seconds`.
async function until(page, what, seconds, test) {
  const end = Date.now() + seconds * 1000;
  let s;
  while (Date.now() < end) {
    try {
      s = await stats(page);
      if (test(s)) return s;
    } catch (e) {
      // the module is still loading
    }
    await sleep(50);
  }
  fail(`${what} (last state: ${JSON.stringify(s)})`);
}

// A key held long enough for the game's once-per-frame poll to see it.
async function press(page, key, ms = 100) {
  await page.keyboard.down(key);
  await sleep(ms);
  await page.keyboard.up(key);
}

// Holds a key until test(stats) holds (a slow machine may need several frames), then lets go.
async function holdUntil(page, key, what, test) {
  await page.keyboard.down(key);
  const s = await until(page, what, 10, test);
  await page.keyboard.up(key);
  return s;
}

async function openPage(browser, query = '') {
  const page = await browser.newPage();
  page.on('console', (m) => {
    if (m.type() === 'error') consoleErrors.push(m.text());
  });
  page.on('pageerror', (e) => consoleErrors.push(String(e)));
  await page.setViewport({ width: 1280, height: 720, deviceScaleFactor: 1 });
  await page.goto(url + query, { waitUntil: 'load' });
  await page.bringToFront();
  return page;
}

async function shot(page, name) {
  const canvas = await page.$('#canvas');
  await canvas.screenshot({ path: path.join(outDir, name) });
}

// From the title (running, menu open) into a game; returns the state once a piece falls.
async function startGame(page, label) {
  await until(page, `${label}: the title did not run`, 30, (s) => s.scene === 1 && s.turns > 90);
  await sleep(500);  // the menu has opened
  await press(page, 'z');
  const game = await until(page, `${label}: the game did not start`, 20, (s) => s.scene === 4);
  return until(page, `${label}: no piece falls`, 20, (s) => s.piece.y > game.piece.y);
}

// Holds Down until the game is over and the title is back; returns the game's best score.
async function holdDownToTheEnd(page, label) {
  let best = 0;
  const end = Date.now() + 150 * 1000;
  await page.keyboard.down('ArrowDown');
  for (;;) {
    const s = await stats(page);
    best = Math.max(best, s.score);
    if (s.scene === 1) break;
    if (Date.now() > end) fail(`${label}: the game did not end`);
    await sleep(100);
  }
  await page.keyboard.up('ArrowDown');
  return best;
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kelvorine-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.KELVORINE_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: [
    '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
    '--disable-background-networking', '--disable-component-update', '--disable-default-apps',
    '--disable-extensions', '--disable-sync', '--no-first-run', '--no-default-browser-check',
    '--metrics-recording-only', '--disable-domain-reliability', '--disable-breakpad',
    '--autoplay-policy=no-user-gesture-required', '--disable-renderer-backgrounding',
    '--disable-background-timer-throttling', '--disable-backgrounding-occluded-windows',
  ],
});

try {
  // 1. The title, held at a known turn.
  let page = await openPage(browser, `?hold=${hold}`);
  const held = await until(page, 'the title did not reach the held turn', 60, (s) => s.turns >= hold);
  if (held.scene !== 1) fail(`scene ${held.scene} at the held turn, not the title`);
  const gl = await page.evaluate(() => {
    const c = document.createElement('canvas').getContext('webgl2');
    return c ? c.getParameter(c.VERSION) : 'none';
  });
  figures.webgl = gl;
  figures.firstFrameMs = held.firstPresentMs;
  await sleep(300);
  await shot(page, 'title.png');
  await page.close();

  // 2. A game: moves, locks, sound; then to its end and Esc.
  page = await openPage(browser);
  let s = await startGame(page, 'first game');
  const x0 = s.piece.x;
  s = await holdUntil(page, 'ArrowLeft', 'Left did not move the piece', (t) => t.piece.x < x0);
  const x1 = s.piece.x;
  await holdUntil(page, 'ArrowRight', 'Right did not move the piece', (t) => t.piece.x > x1);
  await page.keyboard.down('ArrowDown');
  await until(page, 'no piece locked', 30, (t) => t.boardCells >= 4);
  await page.keyboard.up('ArrowDown');
  await shot(page, 'game.png');

  const audio = await page.evaluate(() => ({
    context: Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.state : 'none',
  }));
  const a0 = (await stats(page)).audio;
  await sleep(1000);
  const a1 = (await stats(page)).audio;
  figures.audio = { context: audio.context, framesPerSecond: a1.framesPlayed - a0.framesPlayed, music: a1 };
  if (audio.context !== 'running') fail(`the audio output is ${audio.context}`);
  if (!a1.on || a1.framesPlayed - a0.framesPlayed < 30000) fail(`the audio output does not run: ${JSON.stringify(figures.audio)}`);
  if (a1.musicTrack === 0 || !a1.musicRunning || a1.musicQueued === 0 || !a1.musicFromLoop) {
    fail(`the music voice is not fed: ${JSON.stringify(a1)}`);
  }

  // The rest of this game, by holding Down.
  const first = await holdDownToTheEnd(page, 'first game');
  s = await stats(page);
  figures.frameMs = s.frameMs;
  figures.musicUnderruns = s.audio.musicUnderruns;
  if (s.ranking[0] <= 0) fail(`the finished game (score ${first}) is not in the ranking: ${s.ranking}`);
  const ranking = s.ranking;
  await sleep(500);
  await press(page, 'Escape');
  await until(page, 'Esc did not end the run', 10, (t) => t.ended && t.exitCode === 0);
  await sleep(1000);  // the files reach IndexedDB

  // 3. Reload: the ranking is back, and the ranking screen shows it.
  await page.reload({ waitUntil: 'load' });
  s = await until(page, 'the reloaded page did not run', 30, (t) => t.running && t.scene === 1 && t.turns > 90);
  if (JSON.stringify(s.ranking) !== JSON.stringify(ranking)) {
    fail(`the ranking after a reload is ${s.ranking}, not ${ranking}`);
  }
  await sleep(800);
  await shot(page, 'title_again.png');
  await press(page, 'ArrowDown');
  await sleep(300);
  await press(page, 'z');
  await sleep(1500);
  await shot(page, 'ranking.png');
  await press(page, 'z');
  await sleep(1000);
  await press(page, 'ArrowUp');
  await sleep(500);

  // A second game, then the tab is closed without Esc.
  await startGame(page, 'second game');
  const second = await holdDownToTheEnd(page, 'second game');
  s = await stats(page);
  const ranking2 = s.ranking;
  if (JSON.stringify(ranking2) === JSON.stringify(ranking)) fail(`the second game (score ${second}) did not change the ranking`);
  await page.close({ runBeforeUnload: true });
  await sleep(1500);
  page = await openPage(browser);
  s = await until(page, 'the page did not run after the tab was closed', 30, (t) => t.running && t.turns > 10);
  if (JSON.stringify(s.ranking) !== JSON.stringify(ranking2)) {
    fail(`after closing the tab the ranking is ${s.ranking}, not ${ranking2}`);
  }
  figures.scores = [first, second];
  figures.ranking = ranking2;
  await page.close();

  if (consoleErrors.length) fail('the page reported errors on its console');
  console.log(JSON.stringify(figures));
} catch (e) {
  if (!process.exitCode) {
    console.error(`web test: ${e.stack || e}`);
    process.exitCode = 1;
  }
} finally {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
