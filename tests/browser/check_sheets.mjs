#!/usr/bin/env node
// Checks velmoraReelCut's texture atlases with the engines that read them:
// every frame of every sheet is loaded through Phaser's and through PixiJS's
// own atlas loading, drawn with the engine's own sprite in headless Chromium,
// read back and compared in node with the source PNG it was cut from.
//
//   node check_sheets.mjs [--anchor topleft|center|bottom] <sheets root> <sources root> [...]
//
// Every folder under a <sheets root> (the root itself included) that holds a
// sheet.json is one sheet: sheet.json is its first page, and the pages named
// in its meta.related_multi_packs (sheet-2.json, ...) are the others. The sheet
// at <sheets root>/<rel>/sheet.json was made from the frames in
// <sources root>/<rel>/; each frame key is the source file's name there. So a
// sheet written straight into <sheets root> pairs with the frames straight in
// <sources root>.
//
// Where a frame lies in its animation's canvas (sourceSize, W x H, the largest
// width and height among the animation's source frames) follows from the
// anchor the sheets were made with (--anchor, topleft when not given):
//   topleft  offset (0, 0)
//   center   offset (floor((W-w)/2), floor((H-h)/2))
//   bottom   offset (floor((W-w)/2), H-h)
// where w x h is the source frame's own size. The pivot (and anchor, which
// PixiJS reads) is the anchor point as a fraction of sourceSize, as both
// engines read it: the canvas's centre {0.5, 0.5} for topleft and center, its
// bottom centre {0.5, 1} for bottom. Each frame is drawn with that pivot as
// the sprite's origin, at the point of the canvas it names: an engine that
// places a sprite by its pivot must put it where it was.
//
// Prints one line for each sheet's layout and one for each sheet and engine,
// then "N passed, N failed"; exits 1 on any fault, 2 on a usage error.
//
// CHROMIUM names the browser (default /usr/bin/chromium).

import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { PNG } from 'pngjs';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));

// Blank pixels drawn round every canvas: a sprite that spills out of its
// canvas, on any side, shows up there instead of falling off the screen.
const MARGIN = 4;
const SHOWN_DIFFERENCES = 5;
const ENGINE_SECONDS = 120;

const ANCHORS = [
  { name: 'topleft', x: 0.5, y: 0.5, offset: (W, H, w, h) => [0, 0] },
  { name: 'center', x: 0.5, y: 0.5, offset: (W, H, w, h) => [Math.floor((W - w) / 2), Math.floor((H - h) / 2)] },
  { name: 'bottom', x: 0.5, y: 1, offset: (W, H, w, h) => [Math.floor((W - w) / 2), H - h] },
];

function usage(message) {
  process.stderr.write(`${message}\nusage: node check_sheets.mjs [--anchor topleft|center|bottom] <sheets root> <sources root> [...]\n`);
  process.exit(2);
}

function findSheetFolders(root) {
  const found = [];
  const walk = (dir) => {
    const entries = fs.readdirSync(dir, { withFileTypes: true });
    if (entries.some((e) => e.isFile() && e.name === 'sheet.json')) found.push(dir);
    else if (entries.some((e) => e.isFile() && /^sheet-\d+\.json$/.test(e.name))) found.push(dir);
    for (const e of entries.filter((e) => e.isDirectory()).sort((a, b) => a.name.localeCompare(b.name))) {
      walk(path.join(dir, e.name));
    }
  };
  walk(root);
  return found;
}

function readPng(file) {
  return PNG.sync.read(fs.readFileSync(file));
}

function rectText(r) {
  return `${r.x},${r.y} ${r.w}x${r.h}`;
}

function isInt(v) {
  return Number.isInteger(v);
}

// Reads one sheet's pages and works out, for every frame, what the engines must
// draw. Faults in the layout itself are collected in `faults`; a frame whose
// expectation cannot be worked out is left out of `frames`.
function loadSheet(sheetsRoot, sourcesRoot, dir, anchor) {
  const rel = path.relative(sheetsRoot, dir);
  const shown = path.relative(process.cwd(), path.join(dir, 'sheet.json'));
  const sheet = { dir, name: shown.startsWith('..') ? path.join(dir, 'sheet.json') : shown, pages: [], frames: [], faults: [] };
  const fault = (text) => sheet.faults.push(text);

  if (!fs.existsSync(path.join(dir, 'sheet.json'))) {
    fault('sheet-N.json without a sheet.json');
    return sheet;
  }
  const readPage = (name) => {
    let json;
    try {
      json = JSON.parse(fs.readFileSync(path.join(dir, name), 'utf8'));
    } catch (e) {
      fault(`${name}: ${e.message}`);
      return null;
    }
    const meta = json.meta ?? {};
    if (typeof json.frames !== 'object' || json.frames === null || Array.isArray(json.frames)) {
      fault(`${name}: "frames" is not an object keyed by frame name`);
      return null;
    }
    if (typeof meta.image !== 'string' || path.basename(meta.image) !== meta.image) {
      fault(`${name}: meta.image ${JSON.stringify(meta.image)} is not a file name beside it`);
      return null;
    }
    let png;
    try {
      png = readPng(path.join(dir, meta.image));
    } catch (e) {
      fault(`${name}: ${meta.image}: ${e.message}`);
      return null;
    }
    if (meta.size?.w !== png.width || meta.size?.h !== png.height) {
      fault(`${name}: meta.size ${JSON.stringify(meta.size)} but ${meta.image} is ${png.width}x${png.height}`);
    }
    // Both engines divide every rectangle by a scale other than 1.
    if (meta.scale !== '1') fault(`${name}: meta.scale is ${JSON.stringify(meta.scale)}, not "1"`);
    if (meta.format !== 'RGBA8888') fault(`${name}: meta.format is ${JSON.stringify(meta.format)}`);
    return { name, json, png };
  };

  const first = readPage('sheet.json');
  if (!first) return sheet;
  sheet.pages.push(first);
  const packs = first.json.meta.related_multi_packs;
  if (packs !== undefined) {
    if (!Array.isArray(packs) || packs.length === 0) {
      fault('sheet.json: related_multi_packs is not a list of page names');
    } else {
      packs.forEach((name, i) => {
        if (name !== `sheet-${i + 2}.json`) fault(`sheet.json: related_multi_packs[${i}] is ${JSON.stringify(name)}, not "sheet-${i + 2}.json"`);
      });
      for (const name of packs.filter((n) => typeof n === 'string' && path.basename(n) === n)) {
        const page = readPage(name);
        if (page) sheet.pages.push(page);
      }
    }
  }
  const listed = new Set(sheet.pages.map((p) => p.name));
  for (const name of fs.readdirSync(dir).filter((n) => /^sheet-\d+\.json$/.test(n)).sort()) {
    if (!listed.has(name)) fault(`${name} is not named in sheet.json's related_multi_packs`);
  }
  for (const page of sheet.pages.slice(1)) {
    if ('related_multi_packs' in page.json.meta) fault(`${page.name}: related_multi_packs on a page other than the first`);
  }

  // Every frame, and the animation it belongs to.
  const entries = new Map();
  const animationOf = new Map();
  sheet.pages.forEach((page, pageIndex) => {
    for (const [key, entry] of Object.entries(page.json.frames)) {
      if (entries.has(key)) {
        fault(`${page.name}: frame "${key}" also on ${sheet.pages[entries.get(key).pageIndex].name}`);
        continue;
      }
      entries.set(key, { key, entry, pageIndex });
    }
    for (const [animation, keys] of Object.entries(page.json.animations ?? {})) {
      if (!Array.isArray(keys)) {
        fault(`${page.name}: animation "${animation}" is not a list of frame names`);
        continue;
      }
      for (const key of keys) {
        // PixiJS builds each page's animations from that page's textures alone:
        // a name from another page becomes an undefined texture.
        if (!(key in page.json.frames)) fault(`${page.name}: animation "${animation}" names "${key}", which is not a frame of this page`);
        const before = animationOf.get(key);
        if (before !== undefined && before !== animation) fault(`frame "${key}" is in animations "${before}" and "${animation}"`);
        animationOf.set(key, animation);
      }
    }
  });

  // The source frames, and each animation's canvas.
  const sourceDir = path.join(sourcesRoot, rel);
  const sources = new Map();
  for (const key of entries.keys()) {
    const file = path.resolve(sourceDir, key);
    if (path.relative(sourceDir, file).startsWith('..') || path.isAbsolute(path.relative(sourceDir, file))) {
      fault(`frame "${key}" names a file outside ${sourceDir}`);
      continue;
    }
    try {
      sources.set(key, readPng(file));
    } catch (e) {
      fault(`frame "${key}": source ${file}: ${e.message}`);
    }
  }
  const canvases = new Map();
  for (const [key, animation] of animationOf) {
    const src = sources.get(key);
    if (!src) continue;
    const c = canvases.get(animation) ?? { w: 0, h: 0 };
    canvases.set(animation, { w: Math.max(c.w, src.width), h: Math.max(c.h, src.height) });
  }

  for (const { key, entry, pageIndex } of entries.values()) {
    const page = sheet.pages[pageIndex];
    const where = `${page.name}: frame "${key}"`;
    const f = entry.frame;
    const s = entry.spriteSourceSize;
    const size = entry.sourceSize;
    const src = sources.get(key);
    const animation = animationOf.get(key);
    if (animation === undefined) {
      fault(`${where} is in no animation`);
      continue;
    }
    if (![f?.x, f?.y, f?.w, f?.h, s?.x, s?.y, s?.w, s?.h, size?.w, size?.h].every(isInt)) {
      fault(`${where}: frame, spriteSourceSize and sourceSize must all be whole numbers`);
      continue;
    }
    if (entry.rotated !== false) fault(`${where}: rotated is ${JSON.stringify(entry.rotated)}, not false`);
    if (f.w < 1 || f.h < 1 || f.x < 0 || f.y < 0 || f.x + f.w > page.png.width || f.y + f.h > page.png.height) {
      fault(`${where}: frame ${rectText(f)} is not inside the ${page.png.width}x${page.png.height} page`);
      continue;
    }
    // Phaser draws the cell at spriteSourceSize's width and height, PixiJS at
    // frame's: they agree only when these are the same.
    if (s.w !== f.w || s.h !== f.h) fault(`${where}: spriteSourceSize ${rectText(s)} is not frame's size ${f.w}x${f.h}`);
    if (s.x < 0 || s.y < 0 || s.x + s.w > size.w || s.y + s.h > size.h) fault(`${where}: spriteSourceSize ${rectText(s)} is not inside sourceSize ${size.w}x${size.h}`);
    // Phaser ignores the trim unless trimmed is true; PixiJS applies it unless
    // trimmed is false.
    const whole = s.x === 0 && s.y === 0 && s.w === size.w && s.h === size.h;
    if (entry.trimmed !== !whole) fault(`${where}: trimmed is ${JSON.stringify(entry.trimmed)} for a cell ${rectText(s)} of a ${size.w}x${size.h} canvas`);
    if (entry.pivot?.x !== anchor.x || entry.pivot?.y !== anchor.y) {
      fault(`${where}: pivot ${JSON.stringify(entry.pivot)}, not ${anchor.x},${anchor.y} for ${anchor.name}`);
      continue;
    }
    // Phaser takes "anchor" before "pivot", and PixiJS takes only "anchor".
    if ('anchor' in entry && (entry.anchor?.x !== anchor.x || entry.anchor?.y !== anchor.y)) {
      fault(`${where}: anchor ${JSON.stringify(entry.anchor)} is not its pivot`);
    }
    if (!src) continue;
    const canvas = canvases.get(animation);
    if (size.w !== canvas.w || size.h !== canvas.h) {
      fault(`${where}: sourceSize ${size.w}x${size.h}, but animation "${animation}"'s largest frames make ${canvas.w}x${canvas.h}`);
    }
    // The placement follows from the canvas the animation's frames make, so
    // that a wrong sourceSize also shows in what the engines draw.
    const [ox, oy] = anchor.offset(canvas.w, canvas.h, src.width, src.height);
    sheet.frames.push({ key, pageIndex, canvas, offset: [ox, oy], anchor: anchor.name, source: src,
      pivot: [anchor.x * canvas.w, anchor.y * canvas.h] });
  }

  // Cells may be shared, never overlap, and nothing lies on a page outside them.
  for (const page of sheet.pages) {
    const pageRects = new Map();
    for (const { frame: f } of Object.values(page.json.frames)) {
      if ([f?.x, f?.y, f?.w, f?.h].every(isInt)) pageRects.set(rectText(f), f);
    }
    const rects = [...pageRects.values()];
    for (let i = 0; i < rects.length; i++) {
      for (let j = i + 1; j < rects.length; j++) {
        const a = rects[i];
        const b = rects[j];
        if (a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h) fault(`${page.name}: cells ${rectText(a)} and ${rectText(b)} overlap`);
      }
    }
    const { width, height, data } = page.png;
    const covered = new Uint8Array(width * height);
    for (const r of rects) {
      for (let y = Math.max(0, r.y); y < Math.min(height, r.y + r.h); y++) covered.fill(1, y * width + Math.max(0, r.x), y * width + Math.min(width, r.x + r.w));
    }
    const stray = [];
    let strays = 0;
    for (let i = 0; i < covered.length; i++) {
      if (covered[i] || data[4 * i + 3] === 0) continue;
      if (strays++ < SHOWN_DIFFERENCES) stray.push(`(${i % width},${Math.floor(i / width)}) alpha ${data[4 * i + 3]}`);
    }
    if (strays) fault(`${page.json.meta.image}: ${strays} visible pixels outside every cell, first ${stray.join(', ')}`);
  }
  return sheet;
}

// The canvas the engines are asked to draw, margins included, in straight
// (not premultiplied) RGBA.
function expectedCanvas(frame) {
  const W = frame.canvas.w + 2 * MARGIN;
  const H = frame.canvas.h + 2 * MARGIN;
  const out = new Uint8Array(W * H * 4);
  const src = frame.source;
  const [ox, oy] = frame.offset;
  for (let y = 0; y < src.height; y++) {
    const from = y * src.width * 4;
    out.set(src.data.subarray(from, from + src.width * 4), ((oy + MARGIN + y) * W + ox + MARGIN) * 4);
  }
  return { W, H, data: out };
}

// `drawn` is what WebGL's readPixels gave for the whole engine canvas: rows
// bottom-up, colours premultiplied by alpha, as both engines blend them.
function compareFrame(frame, drawn, canvasW, canvasH) {
  const want = expectedCanvas(frame);
  const differences = [];
  let count = 0;
  for (let y = 0; y < canvasH; y++) {
    const drawnRow = (canvasH - 1 - y) * canvasW;
    for (let x = 0; x < canvasW; x++) {
      const d = (drawnRow + x) * 4;
      const inside = x < want.W && y < want.H;
      const w = (y * want.W + x) * 4;
      const [r, g, b, a] = inside ? want.data.subarray(w, w + 4) : [0, 0, 0, 0];
      const [dr, dg, db, da] = drawn.subarray(d, d + 4);
      // Premultiplying stores round(c * a / 255), or its floor, so a stored
      // value is off the exact product by less than 1: after dividing by a
      // again that is less than 255 / a in straight colour, i.e.
      // |dc * 255 / a - c| < 255 / a, or |255 * dc - a * c| < 255 in whole
      // numbers. At alpha 255 this leaves only the exact colour; at alpha 0
      // the premultiplied colour must be 0.
      const ok = da === a && [[dr, r], [dg, g], [db, b]].every(([dc, c]) => Math.abs(255 * dc - a * c) < 255);
      if (ok) continue;
      count++;
      if (differences.length < SHOWN_DIFFERENCES) {
        const straight = (c) => (da ? Math.round((c * 255) / da) : c);
        differences.push(`(${x - MARGIN},${y - MARGIN}) want ${a ? `${r},${g},${b},${a}` : 'transparent'} got ${straight(dr)},${straight(dg)},${straight(db)},${da}`);
      }
    }
  }
  return count ? `${count} pixels differ: ${differences.join('; ')}` : null;
}

// Runs in the page before an engine's drawing: readCanvas gives the canvas's
// own framebuffer (whatever framebuffer the engine has bound is put back),
// rows bottom-up, as base64.
function installReadback() {
  window.readCanvas = (gl, width, height) => {
    const pixels = new Uint8Array(width * height * 4);
    const bound = gl.getParameter(gl.FRAMEBUFFER_BINDING);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
    gl.bindFramebuffer(gl.FRAMEBUFFER, bound);
    let text = '';
    for (let i = 0; i < pixels.length; i += 0x8000) text += String.fromCharCode(...pixels.subarray(i, i + 0x8000));
    return btoa(text);
  };
}

// Runs in the page. Loads every page with Phaser's atlas loader (Phaser does
// not follow related_multi_packs: each page is an atlas of its own), draws each
// frame with an Image whose origin Phaser sets from the frame's pivot and reads
// the canvas.
async function drawWithPhaser({ pages, frames, width, height, margin }) {
  return new Promise((resolve, reject) => {
    const game = new Phaser.Game({
      type: Phaser.WEBGL,
      width,
      height,
      banner: false,
      audio: { noAudio: true },
      scale: { mode: Phaser.Scale.NONE, zoom: 1 },
      render: {
        transparent: true,
        pixelArt: true,
        antialias: false,
        antialiasGL: false,
        mipmapFilter: '',
        roundPixels: false,
        preserveDrawingBuffer: true,
        premultipliedAlpha: true,
      },
      scene: {
        preload() {
          this.load.on('loaderror', (file) => reject(new Error(`Phaser could not load ${file.src}`)));
          pages.forEach((p, i) => this.load.atlas(`page${i}`, p.image, p.json));
        },
        async create() {
          try {
            const gl = game.renderer.gl;
            pages.forEach((p, i) => this.textures.get(`page${i}`).setFilter(Phaser.Textures.FilterMode.NEAREST));
            const image = this.add.image(margin, margin, 'page0', '__BASE');
            const out = {};
            for (const f of frames) {
              const texture = this.textures.get(`page${f.page}`);
              if (!texture.has(f.key)) throw new Error(`Phaser has no frame "${f.key}" in ${pages[f.page].json}`);
              image.setTexture(`page${f.page}`, f.key);
              // The frame's pivot has just become the origin: the sprite goes
              // where that point of its canvas lies.
              image.setPosition(margin + f.pivot[0], margin + f.pivot[1]);
              await new Promise((done) => game.events.once('postrender', done));
              out[f.key] = readCanvas(gl, width, height);
            }
            game.destroy(true);
            resolve(out);
          } catch (e) {
            reject(e);
          }
        },
      },
    });
  });
}

// Runs in the page. PixiJS's Assets.load of the first page builds a
// Spritesheet and loads the pages named in related_multi_packs as its
// linkedSheets; each frame is a Sprite anchored at the frame's pivot (its
// "anchor" in the JSON).
async function drawWithPixi({ pages, frames, width, height, margin }) {
  const app = new PIXI.Application();
  await app.init({
    width,
    height,
    preference: 'webgl',
    backgroundAlpha: 0,
    antialias: false,
    resolution: 1,
    autoDensity: false,
    autoStart: false,
    preserveDrawingBuffer: true,
    roundPixels: false,
  });
  const textureOptions = { scaleMode: 'nearest', autoGenerateMipmaps: false };
  const sheet = await PIXI.Assets.load({ src: pages[0].json, data: { textureOptions } });
  const sheets = [sheet, ...sheet.linkedSheets];
  if (sheets.length !== pages.length) throw new Error(`PixiJS loaded ${sheets.length} pages, not ${pages.length}`);
  const gl = app.renderer.gl;
  const out = {};
  for (const f of frames) {
    const texture = sheets.map((s) => s.textures[f.key]).find((t) => t);
    if (!texture) throw new Error(`PixiJS has no texture "${f.key}"`);
    if (texture.source.scaleMode !== 'nearest') throw new Error(`PixiJS samples "${f.key}" ${texture.source.scaleMode}`);
    // The sprite takes the texture's anchor, the frame's pivot.
    const sprite = new PIXI.Sprite(texture);
    sprite.position.set(margin + f.pivot[0], margin + f.pivot[1]);
    app.stage.removeChildren();
    app.stage.addChild(sprite);
    app.renderer.render(app.stage);
    out[f.key] = readCanvas(gl, width, height);
    sprite.destroy();
  }
  app.destroy(true);
  return out;
}

// The browser bundles, which set the globals Phaser and PIXI.
const bundle = (pkg, file) => path.join(here, 'node_modules', pkg, file);
const ENGINES = [
  { name: 'phaser', bundle: bundle('phaser', 'dist/phaser.min.js'), draw: drawWithPhaser },
  { name: 'pixi', bundle: bundle('pixi.js', 'dist/pixi.min.js'), draw: drawWithPixi },
];

// Serves the engines' bundles under /engine/ and the files of sheets[i] under
// /sheets/i/, on a port of its own on the loopback address.
function serve(sheets) {
  const types = { '.js': 'text/javascript', '.json': 'application/json', '.png': 'image/png', '.html': 'text/html' };
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://localhost');
    let file = null;
    if (url.pathname === '/') {
      res.writeHead(200, { 'content-type': 'text/html' });
      // The empty icon spares the browser a request for /favicon.ico.
      res.end('<!doctype html><html><head><link rel="icon" href="data:,"></head><body></body></html>');
      return;
    }
    const engine = ENGINES.find((e) => url.pathname === `/engine/${e.name}.js`);
    if (engine) file = engine.bundle;
    const sheetFile = /^\/sheets\/(\d+)\/([^/]+)$/.exec(url.pathname);
    if (sheetFile && sheets[sheetFile[1]]) {
      const name = decodeURIComponent(sheetFile[2]);
      if (path.basename(name) === name) file = path.join(sheets[sheetFile[1]].dir, name);
    }
    if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, { 'content-type': types[path.extname(file)] ?? 'application/octet-stream', 'cache-control': 'no-store' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function main() {
  const args = process.argv.slice(2);
  let anchor = ANCHORS[0];
  if (args[0] === '--anchor') {
    anchor = ANCHORS.find((a) => a.name === args[1]);
    if (!anchor) usage(`--anchor takes ${ANCHORS.map((a) => a.name).join(', ')}`);
    args.splice(0, 2);
  }
  if (!args.length || args.length % 2) usage('the folders come in pairs');
  const sheets = [];
  for (let i = 0; i < args.length; i += 2) {
    const [sheetsRoot, sourcesRoot] = [args[i], args[i + 1]].map((a) => path.resolve(a));
    for (const dir of [sheetsRoot, sourcesRoot]) {
      if (!fs.existsSync(dir) || !fs.statSync(dir).isDirectory()) usage(`${dir} is not a folder`);
    }
    const found = findSheetFolders(sheetsRoot);
    if (!found.length) usage(`no sheet.json under ${sheetsRoot}`);
    sheets.push(...found.map((dir) => loadSheet(sheetsRoot, sourcesRoot, dir, anchor)));
  }

  const server = await serve(sheets);
  const base = `http://127.0.0.1:${server.address().port}`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'check-sheets-chromium-'));
  let passed = 0;
  let failed = 0;
  const report = (ok, what, sheet, detail, faults) => {
    if (ok) passed++;
    else failed++;
    console.log(`${ok ? 'pass' : 'FAIL'}  ${what.padEnd(6)}  ${sheet.name}  ${detail}`);
    for (const f of faults.slice(0, SHOWN_DIFFERENCES)) console.log(`      ${f}`);
    if (faults.length > SHOWN_DIFFERENCES) console.log(`      ... and ${faults.length - SHOWN_DIFFERENCES} more`);
  };
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      viewport: { width: 800, height: 600 },
      deviceScaleFactor: 1,
      args: [
        '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--enable-unsafe-swiftshader',
      ],
    });
    for (const [index, sheet] of sheets.entries()) {
      report(sheet.faults.length === 0, 'layout', sheet,
        `${sheet.pages.length} page${sheet.pages.length === 1 ? '' : 's'}, ${sheet.frames.length} frames`, sheet.faults);
      if (!sheet.frames.length) continue;
      const width = Math.max(...sheet.frames.map((f) => f.canvas.w)) + 2 * MARGIN;
      const height = Math.max(...sheet.frames.map((f) => f.canvas.h)) + 2 * MARGIN;
      const pageUrl = (name) => `${base}/sheets/${index}/${encodeURIComponent(name)}`;
      const args = {
        pages: sheet.pages.map((p) => ({ json: pageUrl(p.name), image: pageUrl(p.json.meta.image) })),
        frames: sheet.frames.map((f) => ({ key: f.key, page: f.pageIndex, pivot: f.pivot })),
        width,
        height,
        margin: MARGIN,
      };
      for (const engine of ENGINES) {
        const page = await context.newPage();
        // An engine's warning (a frame name twice on a page, a texture it
        // could not make) is a fault even when the pixels come out right.
        const said = [];
        page.on('pageerror', (e) => said.push(`page error: ${e.message}`));
        // Chromium's own notes on how fast the software GL is are no fault.
        page.on('console', (m) => {
          if (!['warning', 'error'].includes(m.type()) || /GL Driver Message \([^,]*, Performance,/.test(m.text())) return;
          said.push(`console ${m.type()}: ${m.text()}`);
        });
        const faults = [];
        let checked = 0;
        try {
          await page.goto(`${base}/`);
          await page.addScriptTag({ url: `${base}/engine/${engine.name}.js` });
          await page.evaluate(installReadback);
          // Playwright's evaluate waits for ever; an engine that never calls
          // back must not hang the check.
          let timer;
          const pixels = await Promise.race([
            page.evaluate(engine.draw, args),
            new Promise((_, reject) => { timer = setTimeout(() => reject(new Error(`no drawing after ${ENGINE_SECONDS} s`)), ENGINE_SECONDS * 1000); }),
          ]).finally(() => clearTimeout(timer));
          for (const frame of sheet.frames) {
            const drawn = new Uint8Array(Buffer.from(pixels[frame.key], 'base64'));
            const difference = compareFrame(frame, drawn, width, height);
            checked++;
            if (difference) faults.push(`"${frame.key}" (${frame.anchor}, at ${frame.offset.join(',')} in ${frame.canvas.w}x${frame.canvas.h}): ${difference}`);
          }
        } catch (e) {
          faults.push(`${engine.name}: ${e.message.split('\n')[0]}`);
        }
        faults.unshift(...said);
        await page.close();
        report(faults.length === 0, engine.name, sheet, `${checked} of ${sheet.frames.length} frames checked`, faults);
      }
    }
  } finally {
    await context?.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

await main();
