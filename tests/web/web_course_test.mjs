// Plays a replay in the web build inside Debian's headless chromium and in the native game,
// then compares the two: the trace tick by tick and the screenshots taken at the same clock.
//
//   node tests/web/web_course_test.mjs [--quit-after MS] [--shots MS,MS,...] [--out DIR]
//                                      [--canvas WIDTHxHEIGHT]
//
// Both games draw at the same size: the page's canvas is fixed at it, and the native game
// reads it from a settings file (sides of 320 and more).
//
// From the repository root, with the native build in build/ and the web build in
// build-web/ (scripts/web.sh test builds both and runs this).
import { spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdirSync, readFileSync, writeFileSync, existsSync } from 'node:fs';
import { extname, join, resolve } from 'node:path';
import puppeteer from 'puppeteer-core';
import { comparePictures, decodePng } from './png.mjs';
import { compareTraces, parseTrace, roomOrder } from './trace.mjs';

const kStepMs = 40;
const kTitleBudgetMs = 3000;
// Software WebGL (SwiftShader) and native Mesa rasterise the same triangles with slightly
// different rounding at edges and in texture filtering: a small mean difference is allowed,
// a different picture is not.
const kMeanDiffBound = 3.0;
const kFarShareBound = 0.02;

function parseArgs(argv) {
  const args = { quitAfter: 120000, shots: [9400, 29600, 91000], out: '/tmp/dv-web-test', replay: 'course.replay',
                 page: 'build-web', native: 'build/dedivirede', data: 'build', chromium: '/usr/bin/chromium',
                 canvas: '800x600' };
  for (let i = 2; i < argv.length; i += 2) {
    const [name, value] = [argv[i], argv[i + 1]];
    if (value === undefined) throw new Error(`${name}: needs a value`);
    if (name === '--quit-after') args.quitAfter = Number(value);
    else if (name === '--shots') args.shots = value.split(',').filter(Boolean).map(Number);
    else if (name === '--out') args.out = value;
    else if (name === '--replay') args.replay = value;
    else if (name === '--page') args.page = value;
    else if (name === '--native') args.native = value;
    else if (name === '--chromium') args.chromium = value;
    else if (name === '--canvas') args.canvas = value;
    else throw new Error(`${name}: unknown option`);
  }
  if (!Number.isInteger(args.quitAfter) || args.quitAfter <= 0) throw new Error('--quit-after: a positive whole number of ms');
  const size = /^(\d+)x(\d+)$/.exec(args.canvas);
  if (!size || Number(size[1]) < 320 || Number(size[2]) < 320) throw new Error('--canvas: WIDTHxHEIGHT, each side 320 or more');
  [args.width, args.height] = [Number(size[1]), Number(size[2])];
  return args;
}

function runNative(args) {
  const dir = join(args.out, 'native');
  mkdirSync(dir, { recursive: true });
  const config = join(dir, 'config');
  mkdirSync(config, { recursive: true });
  writeFileSync(join(config, 'settings.ini'), `window_width = ${args.width}\nwindow_height = ${args.height}\n`);
  const command = ['--headless', '--mute', '--data', args.data, '--config', config, '--step-ms', String(kStepMs),
                   '--replay', join('tests/data/replays', args.replay), '--trace', join(dir, 'trace.csv'),
                   '--quit-after', String(args.quitAfter)];
  for (const ms of args.shots) command.push('--screenshot', `${ms}:${join(dir, `shot_${ms}.png`)}`);
  const r = spawnSync(args.native, command, { encoding: 'utf8', timeout: 600000 });
  if (r.status !== 0) throw new Error(`native game: status ${r.status}\n${r.stderr}`);
  return dir;
}

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.data': 'application/octet-stream' };

function serve(root) {
  const server = createServer((req, res) => {
    const path = new URL(req.url, 'http://127.0.0.1').pathname;
    const file = join(root, path === '/' ? 'index.html' : path);
    if (!file.startsWith(root) || !existsSync(file)) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'Content-Type': kTypes[extname(file)] ?? 'application/octet-stream' });
    res.end(readFileSync(file));
  });
  return new Promise((done) => server.listen(0, '127.0.0.1', () => done(server)));
}

const kRunLimitMs = 30 * 60000;

// Waits for Module.dvFinished, telling how far the game clock has gone now and then.
async function waitForEnd(page, logs) {
  const start = Date.now();
  let lastReport = start;
  for (;;) {
    const status = await page.evaluate('window.dvExitStatus');
    if (status !== undefined) return status;
    if (Date.now() - start > kRunLimitMs) throw new Error(`the game did not end within ${kRunLimitMs / 60000} minutes`);
    if (Date.now() - lastReport >= 15000) {
      lastReport = Date.now();
      const last = logs.at(-1) ?? '';
      console.log(`  ${((lastReport - start) / 1000).toFixed(0)} s: last trace line ${last.slice(0, 40)}`);
    }
    await new Promise((done) => setTimeout(done, 250));
  }
}

// Bad options and a missing replay end the page's game with status 2 and one line on the
// page that names what was wrong; a damaged data file is a fatal error, status 1, which the
// page hears of too (the browser's exit() alone never tells it).
const kBadInputs = [
  { query: 'step-ms=abc', status: 2, says: '--step-ms' },
  { query: 'canvas=800', status: 2, says: '--canvas' },
  { query: 'replay=missing.replay', status: 2, says: '/replays/missing.replay' },
  { query: 'replay=%2Fdev%2Furandom', status: 2, says: 'replay="/dev/urandom": not the name of a replay packed' },
  { query: 'canvas=320x320', damage: '/data/set.txt', status: 1, says: 'set.txt' },
];

// Runs before the page's own script: once the runtime is up and the data unpacked, and
// before the game's main, the named data file is overwritten with text the game cannot read.
function damageDataFile(path) {
  let module;
  Object.defineProperty(window, 'Module', {
    configurable: true,
    get: () => module,
    set: (m) => {
      module = m;
      m.onRuntimeInitialized = () => m.FS.writeFile(path, 'not a number\n');
    },
  });
}

async function checkBadInput(browser, port) {
  const failures = [];
  for (const bad of kBadInputs) {
    const page = await browser.newPage();
    if (bad.damage) await page.evaluateOnNewDocument(damageDataFile, bad.damage);
    await page.goto(`http://127.0.0.1:${port}/index.html?${bad.query}&mute=1`);
    await page.waitForFunction('window.dvExitStatus !== undefined', { timeout: 60000 });
    const status = await page.evaluate('window.dvExitStatus');
    const shown = await page.evaluate(() => document.getElementById('messages').textContent);
    const what = bad.damage ? `${bad.damage} damaged` : `?${bad.query}`;
    if (status !== bad.status || !shown.includes(bad.says))
      failures.push(`${what}: status ${status}, the page says ${JSON.stringify(shown)}`);
    await page.close();
  }
  return failures;
}

// A standard-layout pad stands in for the browser's (navigator.getGamepads): the d-pad's up
// button held from the start, and the left stick pushed right once the game has run a second
// (window.dvPadStick, set by the driver). The character must run (the button) and then turn
// as it runs (the stick), as with Up and then Right on the keyboard.
function fakePad() {
  window.dvPadStick = 0;
  const buttons = Array.from({ length: 17 }, (_, i) => ({ pressed: i === 12, touched: i === 12, value: i === 12 ? 1 : 0 }));
  Object.defineProperty(navigator, 'getGamepads', {
    value: () => [{ id: 'test pad', index: 0, connected: true, mapping: 'standard', buttons,
                    axes: [window.dvPadStick, 0, 0, 0], timestamp: performance.now() }],
  });
}

// The player's page: no fixed canvas, so the picture fills the browser window less the page's
// margins (16 px) and the status line (28 px), and follows a resize; a stand-in pad plays.
// When the game has run a second the window is resized and the stick pushed: the screenshot
// after it must have the new canvas size, and the character must have run and turned.
const kPageMargin = 16, kStatusLine = 28;
const kFirstWindow = { width: 420, height: 380 }, kSecondWindow = { width: 500, height: 420 };

function canvasFor(window) {
  return { width: window.width - 2 * kPageMargin, height: window.height - kPageMargin - kStatusLine };
}

async function checkGamepadAndResize(browser, port, out) {
  const page = await browser.newPage();
  await page.setViewport(kFirstWindow);
  const rows = [];
  let resized = false;
  page.on('console', (m) => {
    if (!/^\d/.test(m.text())) return;
    const row = m.text().split(',').map(Number);
    rows.push(row);
    if (row[0] < 8200 || resized) return;
    resized = true;
    page.setViewport(kSecondWindow).then(() => page.evaluate('window.dvPadStick = 1')).catch(() => {});
  });
  const failures = [];
  try {
    await page.evaluateOnNewDocument(fakePad);
    await page.goto(`http://127.0.0.1:${port}/index.html?step-ms=${kStepMs}&quit-after=10000&trace=1&mute=1&headless=1` +
                    '&screenshot=9800:resized.png');
    await page.waitForFunction('window.dvFirstFrameMs !== undefined', { timeout: 60000 });
    const first = await page.evaluate(() => { const c = document.getElementById('canvas'); return [c.width, c.height]; });
    const want = canvasFor(kFirstWindow);
    if (first[0] !== want.width || first[1] !== want.height)
      failures.push(`page: the canvas is ${first.join(' x ')} in a ${kFirstWindow.width} x ${kFirstWindow.height} window, not ${want.width} x ${want.height}`);
    await page.waitForFunction('window.dvExitStatus !== undefined', { timeout: kRunLimitMs, polling: 250 });
    const shot = await page.evaluate(() => Array.from(Module.FS.readFile('/resized.png')));
    writeFileSync(join(out, 'resized.png'), Buffer.from(shot));
    const picture = decodePng(Buffer.from(shot), 'the screenshot after the resize');
    const after = canvasFor(kSecondWindow);
    console.log(`page: canvas ${first.join(' x ')}, after the resize a ${picture.width} x ${picture.height} screenshot`);
    if (picture.width !== after.width || picture.height !== after.height)
      failures.push(`page: after the resize the game drew ${picture.width} x ${picture.height}, not ${after.width} x ${after.height}`);
  } finally {
    await page.close();
  }
  if (rows.length < 2) return [...failures, `gamepad: the page wrote ${rows.length} trace lines`];
  const [first, last] = [rows[0], rows.at(-1)];
  const moved = Math.hypot(last[5] - first[5], last[7] - first[7]);
  const turned = Math.abs(last[8] - first[8]);
  console.log(`gamepad: d-pad up from the start, stick right from 8.2 s: moved ${moved.toFixed(1)} units, turned ${turned.toFixed(1)} degrees`);
  if (moved <= 20 || turned <= 10) failures.push('gamepad: the d-pad did not run the character or the stick did not turn it');
  return failures;
}

async function runWeb(args, port) {
  const dir = join(args.out, 'web');
  mkdirSync(dir, { recursive: true });
  const browser = await puppeteer.launch({
    executablePath: args.chromium,
    headless: true,
    protocolTimeout: kRunLimitMs,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-gpu-sandbox',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           '--disable-backgrounding-occluded-windows', '--autoplay-policy=no-user-gesture-required'],
  });
  const logs = [], errors = [];
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1024, height: 900 });
    page.on('console', (m) => (m.type() === 'log' ? logs : errors).push(m.text()));
    page.on('pageerror', (e) => errors.push(String(e)));
    page.on('error', (e) => errors.push(`page crashed: ${e}`));
    const query = new URLSearchParams({ 'step-ms': kStepMs, replay: args.replay, 'quit-after': args.quitAfter,
                                        trace: 1, mute: 1, headless: 1, canvas: args.canvas });
    for (const ms of args.shots) query.append('screenshot', `${ms}:shot_${ms}.png`);
    const started = Date.now();
    await page.goto(`http://127.0.0.1:${port}/index.html?${query}`);
    await page.waitForFunction('window.dvFirstFrameMs !== undefined', { timeout: 60000 });
    const firstFrameMs = await page.evaluate('window.dvFirstFrameMs');
    await page.screenshot({ path: join(dir, 'page_title.png') });
    const status = await waitForEnd(page, logs);
    for (const ms of args.shots) {
      const base64 = await page.evaluate((name) => {
        const bytes = Module.FS.readFile(name);
        let text = '';
        for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        return btoa(text);
      }, `/shot_${ms}.png`);
      writeFileSync(join(dir, `shot_${ms}.png`), Buffer.from(base64, 'base64'));
    }
    await page.screenshot({ path: join(dir, 'page_end.png') });
    const trace = logs.filter((l) => /^(clock,|-?\d)/.test(l)).join('\n') + '\n';
    writeFileSync(join(dir, 'trace.csv'), trace);
    const wallMs = Date.now() - started;
    const badInput = await checkBadInput(browser, port);
    const pad = await checkGamepadAndResize(browser, port, dir);
    return { dir, status, firstFrameMs, wallMs, errors, badInput, pad };
  } finally {
    writeFileSync(join(dir, 'console.txt'), [...logs, '--- errors ---', ...errors].join('\n'));
    await browser.close();
  }
}

async function main() {
  const args = parseArgs(process.argv);
  args.out = resolve(args.out);
  const failures = [];
  const nativeDir = runNative(args);
  const server = await serve(resolve(args.page));
  let web;
  try {
    web = await runWeb(args, server.address().port);
  } finally {
    server.close();
  }
  console.log(`web: first frame ${web.firstFrameMs.toFixed(0)} ms after navigation, whole run ${(web.wallMs / 1000).toFixed(1)} s, status ${web.status}`);
  if (web.status !== 0) failures.push(`the web game ended with status ${web.status}: ${web.errors.join(' | ')}`);
  failures.push(...web.badInput, ...web.pad);
  if (web.firstFrameMs > kTitleBudgetMs) failures.push(`the title took ${web.firstFrameMs.toFixed(0)} ms (budget ${kTitleBudgetMs} ms)`);

  const want = parseTrace(readFileSync(join(nativeDir, 'trace.csv'), 'utf8'), 'native trace');
  const got = parseTrace(readFileSync(join(web.dir, 'trace.csv'), 'utf8'), 'web trace');
  const traces = compareTraces(want, got);
  console.log(`trace: ${got.length} web ticks, ${want.length} native; rooms web ${roomOrder(got)} native ${roomOrder(want)}`);
  for (const d of traces.differences) console.log(`  line ${d.line} ${d.column}: native ${d.want} web ${d.got}`);
  if (traces.lengthDiffers) failures.push(`the traces have ${want.length} and ${got.length} ticks`);
  if (traces.differences.length > 0) failures.push(`the traces differ (first at line ${traces.differences[0].line})`);

  for (const ms of args.shots) {
    const a = decodePng(readFileSync(join(nativeDir, `shot_${ms}.png`)), `native shot ${ms}`);
    const b = decodePng(readFileSync(join(web.dir, `shot_${ms}.png`)), `web shot ${ms}`);
    const c = comparePictures(a, b);
    console.log(`screenshot at ${ms} ms: mean difference ${c.meanDiff.toFixed(3)}, ${(c.farShare * 100).toFixed(2)}% of pixels differ by more than 32`);
    if (c.sizeDiffers) failures.push(`the screenshots at ${ms} ms differ in size`);
    else if (c.meanDiff > kMeanDiffBound || c.farShare > kFarShareBound) failures.push(`the screenshots at ${ms} ms differ too much`);
  }
  for (const f of failures) console.error(`FAIL: ${f}`);
  console.log(failures.length === 0 ? 'web course test passed' : 'web course test failed');
  process.exit(failures.length === 0 ? 0 : 1);
}

main().catch((e) => {
  console.error(`web course test: ${e.stack ?? e.message}`);
  process.exit(2);
});
