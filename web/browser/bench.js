// The page's benchmark: the corpus (prepare_corpus's files) decoded in
// headless Chromium by the package (TLG6, TLG5) and by the browser itself
// (PNG, lossless WebP), each through ImageDecoder with the pixels copied out
// as RGBA, and through createImageBitmap with the pixels read back from a
// canvas. Prints a Markdown table of megapixels per second per set, with
// the native decoder's figures (tlg_bench's JSON) beside ours when given.
// usage: node web/browser/bench.js APP FILES [NATIVE.json] > table.md
import { readdirSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { launch, serve } from "./browser.js";

const [app, files, nativeJson] = process.argv.slice(2);
const ROUNDS = Number(process.env.TLG_WEB_ROUNDS ?? 5);
const pictures = [];
for (const set of readdirSync(files).sort()) {
  for (const name of readdirSync(join(files, set)).filter((n) => n.endsWith(".png")).sort()) {
    pictures.push({ set, name: name.slice(0, -4) });
  }
}

const extra = {};
for (const { set, name } of pictures) {
  for (const ext of ["tlg6", "tlg5", "png", "webp"]) {
    extra[`/corpus/${set}/${name}.${ext}`] = ["application/octet-stream", readFileSync(join(files, set, `${name}.${ext}`))];
  }
}

// In the page: seconds per decode of each contender, the fastest round.
async function timeAll({ pictures, rounds }) {
  const { decode, init } = await import("./tlg/index.js");
  await init();
  const canvas = new OffscreenCanvas(1, 1);
  const context = canvas.getContext("2d", { willReadFrequently: true });
  const viaDecoder = (type) => async (bytes) => {
    const decoder = new ImageDecoder({ data: bytes, type, premultiplyAlpha: "none", colorSpaceConversion: "none" });
    const { image } = await decoder.decode();
    const pixels = new Uint8Array(image.codedWidth * image.codedHeight * 4);
    await image.copyTo(pixels, { format: "RGBA" });
    image.close();
    decoder.close();
    return pixels;
  };
  const viaBitmap = (type) => async (bytes) => {
    const bitmap = await createImageBitmap(new Blob([bytes], { type }),
      { premultiplyAlpha: "none", colorSpaceConversion: "none" });
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
    context.drawImage(bitmap, 0, 0);
    bitmap.close();
    return context.getImageData(0, 0, canvas.width, canvas.height).data;
  };
  const contenders = {
    tlg6: ["tlg6", (bytes) => decode(bytes).then((image) => image.data)],
    tlg5: ["tlg5", (bytes) => decode(bytes).then((image) => image.data)],
    "png-decoder": ["png", viaDecoder("image/png")],
    "webp-decoder": ["webp", viaDecoder("image/webp")],
    "png-bitmap": ["png", viaBitmap("image/png")],
    "webp-bitmap": ["webp", viaBitmap("image/webp")],
  };
  const results = [];
  for (const { set, name } of pictures) {
    const bytes = {};
    for (const ext of ["tlg6", "tlg5", "png", "webp"]) {
      bytes[ext] = new Uint8Array(await (await fetch(`/corpus/${set}/${name}.${ext}`)).arrayBuffer());
    }
    const { width, height } = await decode(bytes.tlg6);
    const pixels = width * height;
    // Each timing runs long enough (20 ms) for the page's coarse clock.
    const batch = {};
    for (const [key, [ext, run]] of Object.entries(contenders)) {
      const out = await run(bytes[ext]);
      if (out.length !== pixels * 4) throw new Error(`${set}/${name}: ${key} gave ${out.length / 4} pixels`);
      const started = performance.now();
      await run(bytes[ext]);
      batch[key] = Math.max(1, Math.ceil(20 / Math.max(performance.now() - started, 0.1)));
    }
    const best = {};
    for (let round = 0; round < rounds; ++round) {
      const order = Object.keys(contenders).sort(() => Math.random() - 0.5);
      for (const key of order) {
        const [ext, run] = contenders[key];
        const started = performance.now();
        for (let i = 0; i < batch[key]; ++i) await run(bytes[ext]);
        const seconds = (performance.now() - started) / 1000 / batch[key];
        best[key] = Math.min(best[key] ?? Infinity, seconds);
      }
    }
    results.push({ set, name, pixels, seconds: best });
  }
  return results;
}

// tlg_bench's fastest time per picture, for decode/tlg5 and decode/tlg6.
function nativeTimes(file) {
  const times = {};
  const scale = { ns: 1e-9, us: 1e-6, ms: 1e-3, s: 1 };
  for (const run of JSON.parse(readFileSync(file, "utf8")).benchmarks) {
    const match = /^decode\/(tlg[56])\/([^/]+)\/(.+)_min$/.exec(run.name);
    if (match && run.aggregate_name === "min") times[`${match[1]}/${match[2]}/${match[3]}`] = run.real_time * scale[run.time_unit];
  }
  return times;
}

const server = await serve(app, extra);
const browser = await launch();
let results;
try {
  const page = await browser.newPage();
  page.on("console", (message) => console.error(`page: ${message.text()}`));
  await page.goto(`${server.url}/`);
  results = await page.evaluate(timeAll, { pictures, rounds: ROUNDS });
} finally {
  await browser.close();
  server.close();
}

if (process.env.TLG_WEB_DETAIL) {
  for (const r of results) {
    const rates = Object.entries(r.seconds).map(([key, s]) => `${key} ${(r.pixels / 1e6 / s).toFixed(1)}`);
    console.error(`${r.set}/${r.name}: ${rates.join(", ")}`);
  }
}
const sets = [...new Set(results.map((r) => r.set))];
const rate = (set, key) => {
  const chosen = results.filter((r) => r.set === set);
  return chosen.reduce((n, r) => n + r.pixels, 0) / 1e6 / chosen.reduce((s, r) => s + r.seconds[key], 0);
};
const native = nativeJson ? nativeTimes(nativeJson) : null;
const nativeRate = (set, format) => {
  const chosen = results.filter((r) => r.set === set);
  const times = chosen.map((r) => native[`${format}/${set}/${r.name}`]);
  if (times.some((t) => t === undefined)) return NaN;
  return chosen.reduce((n, r) => n + r.pixels, 0) / 1e6 / times.reduce((a, b) => a + b, 0);
};
const rows = [
  ["TLG6 (WebAssembly, `decode`)", "tlg6"],
  ["TLG5 (WebAssembly, `decode`)", "tlg5"],
  ["PNG (`ImageDecoder` + `copyTo` RGBA)", "png-decoder"],
  ["WebP lossless (`ImageDecoder` + `copyTo` RGBA)", "webp-decoder"],
  ["PNG (`createImageBitmap` + `getImageData`)", "png-bitmap"],
  ["WebP lossless (`createImageBitmap` + `getImageData`)", "webp-bitmap"],
];
const lines = [];
lines.push(`| decoder | ${sets.map((s) => `${s} MP/s | vs PNG`).join(" | ")} |`);
lines.push(`| --- | ${sets.map(() => "--- | ---").join(" | ")} |`);
for (const [label, key] of rows) {
  const cells = sets.map((set) => `${rate(set, key).toFixed(1)} | ${(rate(set, key) / rate(set, "png-decoder")).toFixed(2)}x`);
  lines.push(`| ${label} | ${cells.join(" | ")} |`);
}
lines.push("");
lines.push("vs PNG: against the browser's PNG through `ImageDecoder`.");
if (native) {
  lines.push("");
  lines.push(`| WebAssembly against native (\`LoadTlg\`) | ${sets.join(" | ")} |`);
  lines.push(`| --- | ${sets.map(() => "---").join(" | ")} |`);
  for (const format of ["tlg6", "tlg5"]) {
    const cells = sets.map((set) => {
      const n = nativeRate(set, format);
      return `${n.toFixed(1)} MP/s native, ${(rate(set, format) / n).toFixed(2)}x`;
    });
    lines.push(`| ${format.toUpperCase()} | ${cells.join(" | ")} |`);
  }
}
console.log(lines.join("\n"));
const slower = sets.filter((set) => rate(set, "tlg6") < rate(set, "png-decoder") || rate(set, "tlg6") < rate(set, "png-bitmap"));
if (slower.length) console.error(`bench: TLG6 in WebAssembly is behind the browser's PNG on ${slower.join(", ")}`);
