// What the tests share: the samples, and the native tool's pixels to compare with.
import { execFileSync } from "node:child_process";
import { createHash } from "node:crypto";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const samplesDir = process.env.TLG_SAMPLES;
const tool = process.env.TLG_TOOL;
if (!samplesDir || !tool) throw new Error("TLG_SAMPLES and TLG_TOOL must name the samples and the native tlg tool");

export function samples() {
  return readdirSync(samplesDir)
    .filter((name) => name.endsWith(".tlg"))
    .map((name) => ({ name, bytes: new Uint8Array(readFileSync(join(samplesDir, name))) }));
}

export function sha256(bytes) {
  return createHash("sha256").update(bytes).digest("hex");
}

// The RGBA pixels of a PAM file the tool wrote, and its size.
function readPam(file) {
  const bytes = readFileSync(file);
  const end = bytes.indexOf("ENDHDR\n");
  const header = Object.fromEntries(
    bytes.subarray(0, end).toString("latin1").split("\n").slice(1).map((line) => line.split(" ")),
  );
  if (header.TUPLTYPE !== "RGB_ALPHA" || header.DEPTH !== "4") throw new Error(`${file}: not RGBA`);
  return { width: Number(header.WIDTH), height: Number(header.HEIGHT), pixels: bytes.subarray(end + 7) };
}

// What the native decoder makes of TLG bytes: { width, height, hash }.
export function decodeNatively(bytes) {
  const { width, height, pixels } = nativePixels(bytes);
  return { width, height, hash: sha256(pixels) };
}

// The native decoder's RGBA pixels for TLG bytes: { width, height, pixels }.
export function nativePixels(bytes) {
  const dir = mkdtempSync(join(tmpdir(), "tlg-web-"));
  try {
    writeFileSync(join(dir, "in.tlg"), bytes);
    execFileSync(tool, ["decode", "-o", join(dir, "out.pam"), join(dir, "in.tlg")], { stdio: "pipe" });
    return readPam(join(dir, "out.pam"));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// A picture with edges, gradients, noise and, when asked, varying alpha.
export function makePicture(width, height, { alpha = false, seed = 1 } = {}) {
  const data = new Uint8ClampedArray(width * height * 4);
  let state = seed;
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      state = (Math.imul(state, 1103515245) + 12345) >>> 0;
      const i = (y * width + x) * 4;
      data[i] = (x * 255) / Math.max(width - 1, 1);
      data[i + 1] = ((x >> 3) ^ (y >> 3)) & 1 ? 200 : 30;
      data[i + 2] = (y + (state >>> 28)) & 255;
      data[i + 3] = alpha ? (x + y) & 255 : 255;
    }
  }
  return { width, height, data };
}
