// What a page downloads: the JavaScript and one of the two .wasm files.
import assert from "node:assert/strict";
import { readFileSync, readdirSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join } from "node:path";
import { test } from "node:test";
import { gzipSync } from "node:zlib";

const MOST_BYTES = 250_000;
const MOST_GZIPPED = 100_000;

test("each build with the JavaScript stays within 250 kB, 100 kB gzipped", () => {
  const dir = dirname(createRequire(import.meta.url).resolve("tlg"));
  const files = readdirSync(dir);
  const script = files.filter((name) => name.endsWith(".js")).map((name) => readFileSync(join(dir, name)));
  for (const wasm of ["tlg-core.wasm", "tlg-core-simd.wasm"]) {
    const parts = [...script, readFileSync(join(dir, wasm))];
    const bytes = parts.reduce((sum, part) => sum + part.length, 0);
    const gzipped = parts.reduce((sum, part) => sum + gzipSync(part, { level: 9 }).length, 0);
    console.log(`${wasm} and the JavaScript: ${bytes} bytes, ${gzipped} gzipped`);
    assert.ok(bytes <= MOST_BYTES && gzipped <= MOST_GZIPPED, `${wasm}: ${bytes}, ${gzipped} gzipped`);
  }
});
