// The build without SIMD, for engines that lack it, given to init() as
// bundlers that move files would: a module compiled beforehand.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { test } from "node:test";

import { decode, encode, init } from "tlg";

import { decodeNatively, makePicture, samples, sha256 } from "./support.js";

const require = createRequire(import.meta.url);
const plainWasm = readFileSync(require.resolve("tlg/tlg-core.wasm"));

test("init() takes a compiled module of the build without SIMD", async () => {
  await init({ wasm: await WebAssembly.compile(plainWasm) });
  for (const { name, bytes } of samples()) {
    assert.equal(sha256((await decode(bytes)).data), decodeNatively(bytes).hash, name);
  }
  const picture = makePicture(70, 40, { alpha: true });
  for (const format of ["tlg5", "tlg6"]) {
    const bytes = await encode(picture, { format });
    assert.deepEqual((await decode(bytes)).data, picture.data, format);
  }
});
