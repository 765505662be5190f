// Plays a replay in the web build inside Debian's headless chromium and in the native game,
// then compares the two: the trace tick by tick and the screenshots taken at the same clock.
//
//   node tests/web/web_course_test.mjs [--quit-after MS] [--shots MS,MS,...] [--out DIR]
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
                 page: 'build-web', native: 'build/dedivirede', data: 'build', chromium: '/usr/bin/chromium' };
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
    else throw new Error(`${name}: unknown option`);
  }
  if (!Number.isInteger(args.quitAfter) || args.quitAfter <= 0) throw new Error('--quit-after: a positive whole number of ms');
  return args;
}

function runNative(args) {
  const dir = join(args.out, 'native');
  mkdirSync(dir, { recursive: true });
  const command = ['--headless', '--mute', '--data', args.data, '--step-ms', String(kStepMs),
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
// page that names what was wrong.
const kBadInputs = [
  { query: 'step-ms=abc', says: '--step-ms' },
  { query: 'replay=missing.replay', says: '/replays/missing.replay' },
];

async function checkBadInput(browser, port) {
  const failures = [];
  for (const bad of kBadInputs) {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${port}/index.html?${bad.query}&mute=1`);
    await page.waitForFunction('window.dvExitStatus !== undefined', { timeout: 60000 });
    const status = await page.evaluate('window.dvExitStatus');
    const shown = await page.evaluate(() => document.getElementById('messages').textContent);
    if (status !== 2 || !shown.includes(bad.says))
      failures.push(`?${bad.query}: status ${status}, the page says ${JSON.stringify(shown)}`);
    await page.close();
  }
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
                                        trace: 1, mute: 1, headless: 1 });
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
    const badInput = await checkBadInput(browser, port);
    return { dir, status, firstFrameMs, wallMs: Date.now() - started, errors, badInput };
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
  failures.push(...web.badInput);
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
