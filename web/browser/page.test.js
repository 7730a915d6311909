// The page (build/web/app) in headless Chromium, against the native tlg tool.
import assert from "node:assert/strict";
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";
import { decode as decodePng, encode as encodePng } from "fast-png";
import { unzipSync } from "fflate";
import { launch, serve } from "./browser.js";
import { makePicture, nativePixels, samples, sha256 } from "../test/support.js";

const app = process.env.TLG_APP;
if (!app) throw new Error("TLG_APP must name the built page (build/web/app)");

const alphaOf = (pixels) => pixels.filter((_, i) => i % 4 === 3);
const rgbaOfPng = (bytes) => {
  const png = decodePng(bytes);
  assert.equal(png.depth, 8);
  if (png.channels === 4) return png.data;
  assert.equal(png.channels, 3);
  const rgba = new Uint8Array(png.width * png.height * 4).fill(255);
  for (let p = 0; p < png.width * png.height; ++p) rgba.set(png.data.subarray(p * 3, p * 3 + 3), p * 4);
  return rgba;
};

// A module worker that decodes with the package, for the test of workers.
const decodeWorker = `
import { decode } from "./tlg/index.js";
onmessage = async ({ data }) => {
  const image = await decode(data);
  const hash = await crypto.subtle.digest("SHA-256", image.data);
  postMessage([...new Uint8Array(hash)].map((b) => b.toString(16).padStart(2, "0")).join(""));
};`;

let server, browser, page, dir, downloads;
const requests = [];
const problems = [];

async function waitForDownload(name) {
  const file = join(downloads, name);
  for (let i = 0; i < 200 && !existsSync(file); ++i) await new Promise((r) => setTimeout(r, 50));
  assert.ok(existsSync(file), `${name} was not saved`);
  return readFileSync(file);
}

async function rows() {
  return page.$$eval("#rows tr", (trs) => trs.map((tr) => ({
    state: tr.dataset.state,
    name: tr.querySelector(".name").textContent,
    kind: tr.querySelector(".kind").textContent,
    pixels: tr.querySelector(".pixels").textContent,
    text: tr.querySelector(".tags-cell").textContent,
  })));
}

async function open(paths) {
  const before = (await rows()).length;
  await (await page.$("#files")).uploadFile(...paths);
  await page.waitForFunction(
    (n) => [...document.querySelectorAll("#rows tr")].filter((tr) => tr.dataset.state !== "waiting").length === n,
    { timeout: 30_000 }, before + paths.length);
  return (await rows()).slice(before);
}

function rowIndex(all, name) {
  const index = all.findIndex((row) => row.name === name);
  assert.ok(index >= 0, `no row for ${name}`);
  return index;
}

const tlgs = samples();
const native = new Map(tlgs.map(({ name, bytes }) => [name, nativePixels(bytes)]));

before(async () => {
  dir = mkdtempSync(join(tmpdir(), "tlg-page-"));
  downloads = join(dir, "downloads");
  server = await serve(app, { "/test-worker.js": ["text/javascript", decodeWorker] });
  browser = await launch();
  page = await browser.newPage();
  page.on("request", (request) => requests.push(request.url()));
  page.on("pageerror", (error) => problems.push(String(error)));
  page.on("dialog", (dialog) => { problems.push(dialog.message()); dialog.dismiss(); });
  const cdp = await page.createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  await page.goto(`${server.url}/`);
  for (const { name, bytes } of tlgs) writeFileSync(join(dir, name), bytes);
});

after(async () => {
  await browser?.close();
  server?.close();
  rmSync(dir, { recursive: true, force: true });
});

describe("the page", () => {
  test("opens every file as a row, a damaged one with its reason", async () => {
    const largest = tlgs.reduce((a, b) => (a.bytes.length > b.bytes.length ? a : b));
    writeFileSync(join(dir, "cut.tlg"), largest.bytes.subarray(0, largest.bytes.length >> 1));
    writeFileSync(join(dir, "notes.txt"), "not a picture");
    const names = ["cut.tlg", ...tlgs.map((s) => s.name), "notes.txt"];
    const opened = await open(names.map((name) => join(dir, name)));
    assert.deepEqual(opened.map((row) => row.name), names);
    assert.equal(opened[0].state, "failed");
    assert.match(opened[0].text, /truncated/);
    assert.equal(opened.at(-1).state, "failed");
    assert.match(opened.at(-1).text, /neither TLG nor PNG/);
    for (const { name } of tlgs) {
      const row = opened[names.indexOf(name)];
      const { width, height } = native.get(name);
      assert.equal(row.state, "done", `${name}: ${row.text}`);
      assert.equal(row.pixels, `${width} × ${height}`);
      assert.match(row.kind, /^TLG[56](, wrapped)?$/);
    }
    assert.ok(opened.some((row) => row.kind.endsWith("wrapped") && row.text.includes("=")), "no tags shown");
  });

  test("opens a whole folder, names under it", async () => {
    const folder = join(dir, "pictures.v2");
    mkdirSync(join(folder, "inner"), { recursive: true });
    writeFileSync(join(folder, "inner", tlgs[0].name), tlgs[0].bytes);
    const before = (await rows()).length;
    await (await page.$("#folder")).uploadFile(folder);
    await page.waitForFunction((n) => document.querySelectorAll('#rows tr:not([data-state="waiting"])').length === n,
      { timeout: 30_000 }, before + 1);
    const [row] = (await rows()).slice(before);
    assert.equal(row.name, `pictures.v2/inner/${tlgs[0].name}`);
    assert.equal(row.state, "done", row.text);
  });

  test("shows a picture with the native decoder's pixels", async () => {
    const opaque = tlgs.find(({ name }) => alphaOf(native.get(name).pixels).every((a) => a === 255));
    assert.ok(opaque, "no opaque sample");
    const all = await rows();
    await page.click(`#rows tr:nth-child(${rowIndex(all, opaque.name) + 1})`);
    await page.waitForSelector('#picture[data-state="done"]');
    const shown = await page.$eval("#picture", (canvas) => {
      const { data } = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height);
      return Array.from(data);
    });
    assert.equal(sha256(new Uint8Array(shown)), sha256(native.get(opaque.name).pixels));
  });

  test("saves PNGs with the native decoder's pixels, alpha included", async () => {
    const all = await rows();
    const translucent = tlgs.find(({ name }) => alphaOf(native.get(name).pixels).some((a) => a > 0 && a < 255));
    assert.ok(translucent, "no sample with partly transparent pixels");
    await page.click(`#rows tr:nth-child(${rowIndex(all, translucent.name) + 1}) .actions button`);
    const png = await waitForDownload(translucent.name.replace(/\.tlg$/, ".png"));
    assert.equal(sha256(rgbaOfPng(png)), sha256(native.get(translucent.name).pixels));

    await page.click("#save-all");
    const zip = unzipSync(await waitForDownload("pictures.zip"));
    const decoded = (await rows()).filter((row) => row.state === "done" && row.kind.startsWith("TLG"));
    assert.deepEqual(Object.keys(zip).sort(), decoded.map((row) => row.name.replace(/\.tlg$/, ".png")).sort());
    for (const [path, png] of Object.entries(zip)) {
      const name = path.split("/").at(-1).replace(/\.png$/, ".tlg");
      assert.equal(sha256(rgbaOfPng(png)), sha256(native.get(name).pixels), path);
    }
  });

  test("turns a PNG into the chosen TLG, pixels kept", async () => {
    const picture = makePicture(37, 21, { alpha: true, seed: 7 });
    const png = encodePng({ width: 37, height: 21, data: new Uint8Array(picture.data.buffer), channels: 4, depth: 8 });
    writeFileSync(join(dir, "made.png"), png);
    for (const format of ["tlg5", "tlg6"]) {
      rmSync(join(downloads, "made.tlg"), { force: true });
      await page.select("#format", format);
      const [row] = await open([join(dir, "made.png")]);
      assert.equal(row.state, "done", row.text);
      const index = (await rows()).length;
      await page.click(`#rows tr:nth-child(${index}) .actions button`);
      const tlg = await waitForDownload("made.tlg");
      assert.equal(String.fromCharCode(...tlg.subarray(0, 4)), format.toUpperCase());
      assert.equal(sha256(nativePixels(tlg).pixels), sha256(picture.data));
    }
  });

  test("decodes in workers, and asks for nothing but its own files", async () => {
    const wasm = (entries) => entries.some((name) => /tlg-core.*\.wasm$/.test(name));
    const resources = () => performance.getEntriesByType("resource").map((e) => e.name);
    assert.equal(wasm(await page.evaluate(resources)), false, "the page's thread loaded the decoder");
    const workers = page.workers();
    assert.ok(workers.length >= 1);
    const loaded = await Promise.all(workers.map((worker) => worker.evaluate(resources)));
    assert.ok(loaded.some(wasm), "no worker loaded the decoder");
    assert.ok(requests.length > 0);
    for (const url of requests) assert.ok(url.startsWith(`${server.url}/`), url);
    assert.deepEqual(problems, []);
  });
});

describe("the package in a browser", () => {
  const sample = tlgs[0];
  const bytes = () => Array.from(sample.bytes);

  test("decodes on the page's thread", async () => {
    const hash = await page.evaluate(async (input) => {
      const { decode } = await import("./tlg/index.js");
      const image = await decode(new Uint8Array(input));
      const digest = await crypto.subtle.digest("SHA-256", image.data);
      return [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, "0")).join("");
    }, bytes());
    assert.equal(hash, sha256(native.get(sample.name).pixels));
  });

  test("decodes in a module worker", async () => {
    const hash = await page.evaluate((input) => new Promise((resolve, reject) => {
      const worker = new Worker("./test-worker.js", { type: "module" });
      worker.onmessage = ({ data }) => { resolve(data); worker.terminate(); };
      worker.onerror = (event) => reject(new Error(event.message));
      worker.postMessage(new Uint8Array(input));
    }), bytes());
    assert.equal(hash, sha256(native.get(sample.name).pixels));
  });
});
