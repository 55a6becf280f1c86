// Drives the browser version of Kelvorine in Debian's chromium, headless with software WebGL 2
// (SwiftShader), and in a second chromium with WebGL switched off:
//
//   node web_test.mjs URL OUT_DIR HOLD_TURNS
//
//   1. a first visit: the settings seeded audible; turns per second on the title and in a game
//      (the page's own choice of drawing); the falling piece moves left and right, pieces lock,
//      the music is heard (the level of what the page sends to the speakers); then Down held
//      until the game is over, and Esc;
//   2. a reload shows the ranking with that score (kept in IndexedDB) on the ranking screen
//      (OUT_DIR/ranking.png); a second game is played to its end and the tab is closed without
//      Esc: a new tab still has its score (the quit files are written when the page is hidden);
//   3. the title held after HOLD_TURNS turns, drawn by the software rasteriser (title.png), by
//      WebGL (title-webgl.png) and in the browser without WebGL (title-nowebgl.png); the caller
//      compares each with the desktop software renderer's picture of the same frame;
//   4. turns per second on the title and in a game with WebGL and without it, with the cost of
//      the page's display frames;
//   5. a pad (a stub of navigator.getGamepads in the standard mapping): A starts a game, the
//      D-pad moves the piece; Alt+Enter goes full screen and leaving it by the browser's means
//      sets the game's mode back;
//   6. a touch screen in landscape: the controls stand beside the picture, a tap on OK starts a
//      game, a held left moves the piece;
//   7. offline: with the network gone, a new visit plays from what the service worker kept;
//   8. no errors on the console at any time.
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

// Every page reports what the page sends to the speakers: an analyser on whatever is connected
// to the audio context's output.
function listenToOutput() {
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    const result = connect.call(this, target, ...rest);
    try {
      if (target instanceof AudioDestinationNode) {
        const ctx = this.context;
        if (!window.__kelvorineOutput) {
          window.__kelvorineOutput = ctx.createAnalyser();
          window.__kelvorineOutput.fftSize = 2048;
        }
        connect.call(this, window.__kelvorineOutput);
      }
    } catch (e) {
      // not an audio node of ours
    }
    return result;
  };
}

// The loudest RMS level of the page's output over `ms` milliseconds (0 with no output).
async function outputLevel(page, ms) {
  return page.evaluate(async (ms) => {
    const a = window.__kelvorineOutput;
    if (!a) return 0;
    const buf = new Float32Array(a.fftSize);
    let best = 0;
    for (const end = performance.now() + ms; performance.now() < end;) {
      a.getFloatTimeDomainData(buf);
      let sum = 0;
      for (const v of buf) sum += v * v;
      best = Math.max(best, Math.sqrt(sum / buf.length));
      await new Promise((r) => setTimeout(r, 50));
    }
    return best;
  }, ms);
}

async function openPage(browser, query = '', setUp = null) {
  const page = await browser.newPage();
  page.on('console', (m) => {
    if (m.type() === 'error') consoleErrors.push(m.text());
  });
  page.on('pageerror', (e) => consoleErrors.push(String(e)));
  await page.evaluateOnNewDocument(listenToOutput);
  if (setUp) await setUp(page);
  else await page.setViewport({ width: 1280, height: 720, deviceScaleFactor: 1 });
  await page.goto(url + query, { waitUntil: 'load' });
  await page.bringToFront();
  return page;
}

async function shot(page, name) {
  const canvas = await page.$('#canvas');
  await canvas.screenshot({ path: path.join(outDir, name) });
}

// Turns per second over `seconds`, as the page counts them.
async function turnRate(page, seconds = 5) {
  const a = await stats(page);
  const t0 = Date.now();
  await sleep(seconds * 1000);
  const b = await stats(page);
  return Number(((b.turns - a.turns) * 1000 / (Date.now() - t0)).toFixed(1));
}

async function titleRunning(page, label) {
  await until(page, `${label}: the title did not run`, 30, (s) => s.scene === 1 && s.turns > 90);
  await sleep(500);  // the menu has opened
}

// From the title (running, menu open) into a game by `decide`; returns the state once a piece falls.
async function startGame(page, label, decide = () => press(page, 'z')) {
  await titleRunning(page, label);
  await decide();
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

// The title held at turn `hold` as a picture; returns the page's draw path.
async function heldTitle(browser, query, name) {
  const page = await openPage(browser, `?hold=${hold}${query}`);
  const held = await until(page, `${name}: the title did not reach the held turn`, 60, (s) => s.turns >= hold);
  if (held.scene !== 1) fail(`${name}: scene ${held.scene} at the held turn, not the title`);
  await sleep(300);
  await shot(page, name);
  await page.close();
  return held;
}

// Turns per second on the title and in a game, and what the page's display frames cost.
async function speed(browser, query, label) {
  const page = await openPage(browser, query);
  await titleRunning(page, label);
  const title = await turnRate(page);
  await startGame(page, label);
  const game = await turnRate(page);
  const s = await stats(page);
  await page.close();
  return { path: s.path, renderer: s.renderer, title, game, costMs: s.costMs, frameMs: s.frameMs, gl: s.gl };
}

function launch(profile, extra = []) {
  return puppeteer.launch({
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
      ...extra,
    ],
  });
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kelvorine-chromium-'));
const bareProfile = fs.mkdtempSync(path.join(os.tmpdir(), 'kelvorine-chromium-'));
const browser = await launch(profile);
let bare = null;

try {
  // 1. A first visit: audible from its first game.
  let page = await openPage(browser);
  let s = await until(page, 'the first visit did not run', 30, (t) => t.running && t.turns > 10);
  if (!s.seededSettings || s.audio.bgmVolume <= 0 || s.audio.seVolume <= 0) {
    fail(`the first visit is not set up audible: ${JSON.stringify(s.audio)}, seeded ${s.seededSettings}`);
  }
  figures.firstFrameMs = s.firstPresentMs;
  s = await startGame(page, 'first game');
  const x0 = s.piece.x;
  s = await holdUntil(page, 'ArrowLeft', 'Left did not move the piece', (t) => t.piece.x < x0);
  const x1 = s.piece.x;
  await holdUntil(page, 'ArrowRight', 'Right did not move the piece', (t) => t.piece.x > x1);
  await page.keyboard.down('ArrowDown');
  await until(page, 'no piece locked', 30, (t) => t.boardCells >= 4);
  await page.keyboard.up('ArrowDown');
  await shot(page, 'game.png');

  const context = await page.evaluate(() => (Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.state : 'none'));
  const a0 = (await stats(page)).audio;
  const level = await outputLevel(page, 1000);
  const a1 = (await stats(page)).audio;
  figures.audio = { context, framesPerSecond: a1.framesPlayed - a0.framesPlayed, level: Number(level.toFixed(4)) };
  if (context !== 'running') fail(`the audio output is ${context}`);
  if (!a1.on || a1.framesPlayed - a0.framesPlayed < 30000) fail(`the audio output does not run: ${JSON.stringify(figures.audio)}`);
  if (a1.musicTrack === 0 || !a1.musicRunning || a1.musicQueued === 0 || !a1.musicFromLoop) {
    fail(`the music voice is not fed: ${JSON.stringify(a1)}`);
  }
  if (level < 0.01) fail(`the first visit's game is silent: output level ${level}`);

  // The rest of this game, by holding Down.
  const first = await holdDownToTheEnd(page, 'first game');
  s = await stats(page);
  figures.musicUnderruns = s.audio.musicUnderruns;
  if (s.ranking[0] <= 0) fail(`the finished game (score ${first}) is not in the ranking: ${s.ranking}`);
  const ranking = s.ranking;
  await sleep(500);
  await press(page, 'Escape');
  await until(page, 'Esc did not end the run', 10, (t) => t.ended && t.exitCode === 0);
  await sleep(1000);  // the files reach IndexedDB

  // 2. Reload: the ranking is back (and the settings are not seeded again), and the ranking
  //    screen shows it.
  await page.reload({ waitUntil: 'load' });
  s = await until(page, 'the reloaded page did not run', 30, (t) => t.running && t.scene === 1 && t.turns > 90);
  if (JSON.stringify(s.ranking) !== JSON.stringify(ranking)) {
    fail(`the ranking after a reload is ${s.ranking}, not ${ranking}`);
  }
  if (s.seededSettings) fail('the settings were seeded again on a second visit');
  await sleep(800);
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
  if (s.writesOnRanking < 1) fail('the changed ranking was not stored at once');
  // The store of the new ranking completes within moments of the game's end (a player closes
  // the tab later than that).
  const stored = async () => page.evaluate(() => Module.kelvorineStoresDone || 0);
  for (let waited = 0; (await stored()) < 1; waited += 100) {
    if (waited > 5000) fail('the changed ranking did not reach the browser storage');
    await sleep(100);
  }
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

  // 3, 4. Both ways of drawing: the held title and the speed.
  figures.webgl = (await heldTitle(browser, '&render=webgl', 'title-webgl.png')).renderer;
  figures.software = await speed(browser, '?render=canvas', 'software');
  figures.withWebgl = await speed(browser, '?render=webgl', 'WebGL');
  if (figures.withWebgl.path !== 'webgl' || figures.software.path !== 'canvas') fail('the draw path asked for was not taken');
  await heldTitle(browser, '', 'title.png');
  bare = await launch(bareProfile, ['--disable-3d-apis', '--disable-webgl']);
  const noWebgl = await heldTitle(bare, '', 'title-nowebgl.png');
  if (noWebgl.path !== 'canvas' || noWebgl.renderer !== '') fail(`without WebGL the page drew by ${noWebgl.path} (${noWebgl.renderer})`);
  figures.withoutWebgl = await speed(bare, '', 'no WebGL');
  await bare.close();
  bare = null;
  for (const k of ['software', 'withWebgl', 'withoutWebgl']) {
    if (figures[k].title < 59 || figures[k].game < 59) fail(`${k}: ${figures[k].title} turns/s on the title, ${figures[k].game} in a game`);
  }

  // 5. A pad, and full screen.
  page = await openPage(browser, '', async (p) => {
    await p.setViewport({ width: 1280, height: 720, deviceScaleFactor: 1 });
    await p.evaluateOnNewDocument(() => {
      const button = () => ({ pressed: false, touched: false, value: 0 });
      const pad = { id: 'Test pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard',
                    timestamp: 0, axes: [0, 0, 0, 0], buttons: Array.from({ length: 17 }, button) };
      window.__testPad = pad;
      Object.defineProperty(navigator, 'getGamepads', { configurable: true, value: () => [pad, null, null, null] });
    });
  });
  const padButton = (i, on) => page.evaluate((i, on) => {
    Object.assign(window.__testPad.buttons[i], { pressed: on, value: on ? 1 : 0 });
  }, i, on);
  s = await startGame(page, 'pad game', async () => {
    await padButton(0, true);
    await sleep(100);
    await padButton(0, false);
  });
  const px = s.piece.x;
  await padButton(14, true);
  await until(page, 'the pad\'s D-pad left did not move the piece', 10, (t) => t.piece.x < px);
  await padButton(14, false);
  figures.pad = 'a game started by A, the piece moved by the D-pad';

  await page.keyboard.down('Alt');
  await press(page, 'Enter');
  await page.keyboard.up('Alt');
  s = await until(page, 'Alt+Enter did not switch the window mode', 10, (t) => t.fullScreen !== 0);
  const entered = await page.evaluate(async () => {
    for (let i = 0; i < 40 && !document.fullscreenElement; ++i) await new Promise((r) => setTimeout(r, 50));
    return document.fullscreenElement ? document.fullscreenElement.id : '';
  });
  if (entered) {
    // Esc in full screen is the browser's: the game goes on.
    await press(page, 'Escape');
    await sleep(300);
    if (!(await stats(page)).running) fail('Esc in full screen ended the game');
    await page.evaluate(() => document.fullscreenElement && document.exitFullscreen());
    await until(page, 'leaving full screen by the browser did not set the game back to framed', 10, (t) => t.fullScreen === 0);
    figures.fullScreen = `entered on #${entered}; left by the browser, the game followed`;
  } else {
    await until(page, 'a refused full screen did not set the game back to framed', 10, (t) => t.fullScreen === 0);
    figures.fullScreen = 'refused by the browser; the game went back to framed';
  }
  await page.close();

  // 6. A touch screen in landscape.
  page = await openPage(browser, '', (p) => p.setViewport({ width: 844, height: 390, deviceScaleFactor: 2, isMobile: true,
                                                            hasTouch: true, isLandscape: true }));
  const layout = await page.evaluate(() => {
    const box = (e) => e.getBoundingClientRect();
    const c = box(document.getElementById('canvas'));
    const over = [...document.querySelectorAll('.controls button')].filter((b) => {
      const r = box(b);
      return r.width === 0 || (r.left < c.right && r.right > c.left && r.top < c.bottom && r.bottom > c.top);
    }).map((b) => b.id);
    const at = (id) => { const r = box(document.getElementById(id)); return [r.left + r.width / 2, r.top + r.height / 2]; };
    return { over, ok: at('key-ok'), left: at('key-left'), canvas: [c.width, c.height] };
  });
  if (layout.over.length) fail(`touch controls over the picture or hidden: ${layout.over}`);
  s = await startGame(page, 'touch game', () => page.touchscreen.tap(...layout.ok));
  const tx = s.piece.x;
  await page.touchscreen.touchStart(...layout.left);
  await until(page, 'a held left control did not move the piece', 10, (t) => t.piece.x < tx);
  await page.touchscreen.touchEnd();
  const fullAfterTap = await page.evaluate(() => !!document.fullscreenElement);
  await page.screenshot({ path: path.join(outDir, 'touch.png') });
  figures.touch = `picture ${layout.canvas.join('x')} with the controls beside it; OK started a game, a held left moved ` +
    `the piece; full screen after the first tap: ${fullAfterTap ? 'yes' : 'refused'}`;
  await page.close();

  // 7. Offline: the service worker has kept the page.
  page = await openPage(browser);
  const kept = await page.evaluate(async () => {
    const reg = await navigator.serviceWorker.ready;
    const names = await caches.keys();
    const cache = names.length ? await caches.open(names[0]) : null;
    return { active: !!reg.active, files: cache ? (await cache.keys()).length : 0 };
  });
  if (!kept.active || kept.files < 7) fail(`the page was not kept for offline visits: ${JSON.stringify(kept)}`);
  await page.close();
  page = await browser.newPage();
  page.on('pageerror', (e) => consoleErrors.push(String(e)));
  await page.setOfflineMode(true);
  await page.setViewport({ width: 1280, height: 720, deviceScaleFactor: 1 });
  await page.goto(url, { waitUntil: 'load' });
  s = await until(page, 'the page did not play offline', 30, (t) => t.running && t.scene === 1 && t.turns > 60);
  figures.offline = `${kept.files} files kept; offline visit ran ${s.turns} turns`;
  await page.close();

  if (consoleErrors.length) fail('the page reported errors on its console');
  console.log(JSON.stringify(figures));
} catch (e) {
  if (!process.exitCode) {
    console.error(`web test: ${e.stack || e}`);
    process.exitCode = 1;
  }
} finally {
  if (bare) await bare.close();
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
  fs.rmSync(bareProfile, { recursive: true, force: true });
}
