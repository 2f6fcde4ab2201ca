// The configurator page in headless chromium: first part, a changed
// parameter, an error next to its control, a picture of the canvas that shows
// the part, and a 3MF download.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdirSync, readFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const web = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const root = resolve(web, '..');
const cli = process.env.TARVO_CLI ?? join(root, 'build', 'tarvo-cli');
const out = join(web, 'tests', 'out');
const BROWSER_FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  // WebGL without a GPU: the software renderer chromium ships.
  '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
];

let server;
let browser;
let base;

function FreePort() {
  return new Promise((done) => {
    const probe = createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => done(port));
    });
  });
}

before(async () => {
  const port = await FreePort();
  base = `http://127.0.0.1:${port}`;
  server = spawn('python3', [join(web, 'server.py')], {
    env: {
      ...process.env, PORT: String(port), TARVO_CLI: cli,
      PYTHONPATH: process.env.TARVO_WEB_PY ?? join(root, '.deps', 'web-py'),
    },
    stdio: ['ignore', 'inherit', 'inherit'],
  });
  for (let i = 0; i < 200; i++) {
    try {
      if ((await fetch(`${base}/api/models`)).ok) break;
    } catch {
      await new Promise((r) => setTimeout(r, 50));
    }
  }
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', headless: true, args: BROWSER_FLAGS,
  });
  mkdirSync(out, { recursive: true });
});

after(async () => {
  await browser?.close();
  server?.kill();
});

// Returns the share of pixels of a PNG picture that are part-coloured (blue
// box or orange lid, however lit) and how many colours it has, decoded by the
// browser itself.
async function PictureFacts(page, png) {
  return page.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const { data } = context.getImageData(0, 0, image.width, image.height);
    let part = 0;
    const colours = new Set();
    for (let i = 0; i < data.length; i += 4) {
      const [r, g, b] = [data[i], data[i + 1], data[i + 2]];
      colours.add((r << 16) | (g << 8) | b);
      if (b > r + 25 || r > b + 60) part++;
    }
    return { share: part / (data.length / 4), colours: colours.size };
  }, `data:image/png;base64,${png.toString('base64')}`);
}

// Returns how many part-coloured pixels a PNG picture has, and how many of
// them lie on its outermost rows and columns.
async function PartOnEdges(page, png) {
  return page.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const { data } = context.getImageData(0, 0, image.width, image.height);
    let part = 0;
    let onEdge = 0;
    for (let y = 0; y < image.height; y++) {
      for (let x = 0; x < image.width; x++) {
        const i = 4 * (y * image.width + x);
        const [r, b] = [data[i], data[i + 2]];
        if (!(b > r + 25 || r > b + 60)) continue;
        part++;
        if (x === 0 || y === 0 || x === image.width - 1 || y === image.height - 1) onEdge++;
      }
    }
    return { part, onEdge };
  }, `data:image/png;base64,${png.toString('base64')}`);
}

// Returns the facts of the canvas once the last part is drawn and composited.
async function CanvasEdges(page, name) {
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  await page.waitForTimeout(300);  // the orbit controls' damping comes to rest
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const picture = await page.locator('#view canvas').screenshot({ path: join(out, name) });
  return PartOnEdges(page, picture);
}

async function Triangles(page, builds) {
  await page.waitForFunction(
    (n) => Number(document.getElementById('status').dataset.builds) >= n, builds,
    { timeout: 30000 });
  return Number(await page.locator('#status').getAttribute('data-triangles'));
}

test('a customer configures a box and sees it', async () => {
  const page = await browser.newPage({ viewport: { width: 1100, height: 720 }, acceptDownloads: true });
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('requestfailed', (request) => problems.push(`${request.url()} failed`));
  await page.goto(base);

  assert.equal(await page.locator('#model').inputValue(), 'box');
  const first = await Triangles(page, 1);
  assert.ok(first > 0);
  assert.match(await page.locator('#status').textContent(), /^[\d,]+ triangles · built in [\d.]+ ms$/);

  // More compartments mean more dividers, so the new part has more triangles.
  await page.locator('select[name=compartments]').selectOption('5');
  const second = await Triangles(page, 2);
  assert.ok(second > first, `${second} triangles after ${first}`);

  // A value beyond the slider's range is explained beside its control.
  const width = page.locator('input[type=number][name=width]');
  await width.fill('500');
  await width.dispatchEvent('change');
  const error = page.locator('.field[data-parameter=width] .error');
  assert.equal(await error.textContent(), 'must be at most 200');
  await width.fill('120');
  await width.dispatchEvent('change');
  await Triangles(page, 3);
  assert.equal(await error.textContent(), '');

  // A slider dragged through many values rebuilds once, when it rests.
  await page.evaluate(() => {
    const slider = document.querySelector('.field[data-parameter=depth] input[type=range]');
    for (let depth = 60; depth <= 90; depth += 3) {
      slider.value = depth;
      slider.dispatchEvent(new Event('input'));
    }
  });
  await Triangles(page, 4);
  await page.waitForTimeout(600);
  assert.equal(await page.locator('#status').getAttribute('data-builds'), '4', 'one build for the drag');
  assert.equal(await page.locator('input[type=number][name=depth]').inputValue(), '90');

  // Two animation frames: the last part is drawn and composited before the picture.
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const picture = await page.locator('#view canvas').screenshot({ path: join(out, 'box.png') });
  const { share, colours } = await PictureFacts(page, picture);
  assert.ok(share > 0.03, `the part covers ${(share * 100).toFixed(1)}% of the canvas`);
  assert.ok(colours > 50, `${colours} colours on the canvas`);

  assert.deepEqual(problems, []);
  await page.close();
});

test('the view frames the part: its largest size, the fit button, a refused slider', async () => {
  const page = await browser.newPage({ viewport: { width: 1100, height: 720 } });
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(base);
  await Triangles(page, 1);
  assert.match(await page.locator('#hint').textContent(), /drag to turn.*scroll to zoom/);

  // The user turns the view a little, then makes the box as large as it goes.
  const canvas = page.locator('#view canvas');
  const area = await canvas.boundingBox();
  await page.mouse.move(area.x + area.width / 2, area.y + area.height / 2);
  await page.mouse.down();
  await page.mouse.move(area.x + area.width / 2 + 60, area.y + area.height / 2, { steps: 5 });
  await page.mouse.up();
  let builds = 1;
  for (const [name, value] of [['width', 200], ['depth', 200], ['height', 120]]) {
    const box = page.locator(`input[type=number][name=${name}]`);
    await box.fill(String(value));
    await box.dispatchEvent('change');
    await Triangles(page, ++builds);
  }
  let facts = await CanvasEdges(page, 'box-largest.png');
  assert.ok(facts.part > 20000, `${facts.part} part pixels`);
  assert.equal(facts.onEdge, 0, 'the largest box runs off the canvas');

  // Zoomed in until the part runs off every edge, the fit button brings it back.
  await page.mouse.move(area.x + area.width / 2, area.y + area.height / 2);
  for (let i = 0; i < 12; i++) await page.mouse.wheel(0, -400);
  facts = await CanvasEdges(page, 'box-zoomed.png');
  assert.ok(facts.onEdge > 0, 'zooming in put the part over the edges');
  await page.locator('#fit').click();
  facts = await CanvasEdges(page, 'box-fitted.png');
  assert.equal(facts.onEdge, 0, 'the fit button leaves the part over an edge');

  // A value the server refuses stays where the user put it, with the reason beside it.
  await page.route('**/api/build', (route) => route.fulfill({
    status: 400, contentType: 'application/json',
    body: JSON.stringify({ error: 'too deep for this lid', parameter: 'depth' }),
  }));
  await page.evaluate(() => {
    const slider = document.querySelector('.field[data-parameter=depth] input[type=range]');
    slider.value = 150;
    slider.dispatchEvent(new Event('input'));
  });
  const error = page.locator('.field[data-parameter=depth] .error');
  await page.waitForFunction(
    () => document.querySelector('.field[data-parameter=depth] .error').textContent !== '');
  assert.equal(await error.textContent(), 'too deep for this lid');
  assert.equal(await page.locator('.field[data-parameter=depth] input[type=range]').inputValue(), '150');
  assert.equal(await page.locator('input[type=number][name=depth]').inputValue(), '150');

  assert.deepEqual(problems, []);
  await page.close();
});

const exportMissing = spawnSync(cli, ['export', '--help']).status !== 0
  ? 'this tarvo-cli has no "export" command' : false;

test('the 3MF button downloads a 3MF package', { skip: exportMissing }, async () => {
  const page = await browser.newPage({ acceptDownloads: true });
  await page.goto(base);
  await Triangles(page, 1);
  const [download] = await Promise.all([
    page.waitForEvent('download'), page.locator('#download-3mf').click(),
  ]);
  assert.equal(download.suggestedFilename(), 'box.3mf');
  const file = join(out, 'box.3mf');
  await download.saveAs(file);
  const bytes = readFileSync(file);
  assert.equal(bytes.toString('latin1', 0, 2), 'PK');
  assert.ok(bytes.includes('3D/3dmodel.model'));
  await page.close();
});
