// The README's picture of the page: the samples opened, one on view.
// usage: node web/browser/screenshot.js APP SAMPLES OUT.png
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { launch, serve } from "./browser.js";

const [app, samples, out] = process.argv.slice(2);
const dir = mkdtempSync(join(tmpdir(), "tlg-shot-"));
const server = await serve(app);
const browser = await launch();
try {
  const names = readdirSync(samples).filter((name) => name.endsWith(".tlg")).sort();
  const paths = names.map((name) => join(samples, name));
  const damaged = readFileSync(paths[0]);
  writeFileSync(join(dir, "damaged.tlg"), damaged.subarray(0, damaged.length >> 1));
  paths.push(join(dir, "damaged.tlg"));
  const page = await browser.newPage();
  await page.setViewport({ width: 1500, height: 560 });
  await page.goto(`${server.url}/`);
  await (await page.$("#files")).uploadFile(...paths);
  await page.waitForFunction((n) => document.querySelectorAll('#rows tr:not([data-state="waiting"])').length === n,
    {}, paths.length);
  await page.click(`#rows tr:nth-child(${names.findIndex((name) => name.includes("wrapped")) + 1})`);
  await page.waitForSelector('#picture[data-state="done"]');
  await page.screenshot({ path: out });
} finally {
  await browser.close();
  server.close();
  rmSync(dir, { recursive: true, force: true });
}
