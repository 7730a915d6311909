// Damaged, foreign and refused input rejects with a TlgError naming the cause.
import assert from "node:assert/strict";
import { test } from "node:test";

import { DEFAULT_MAX_PIXELS, TlgError, decode, encode, readInfo } from "tlg";

import { makePicture, samples } from "./support.js";

function rejectsWith(promise, code) {
  return assert.rejects(promise, (error) => {
    assert.ok(error instanceof TlgError, `${error}`);
    assert.equal(error.code, code);
    assert.equal(error.name, "TlgError");
    return true;
  });
}

test("bytes that are not TLG, or end early, or are corrupt", async () => {
  for (const { bytes } of samples()) {
    for (const call of [decode, readInfo]) {
      await rejectsWith(call(new Uint8Array(0)), "not-tlg");
      await rejectsWith(call(new TextEncoder().encode("\x89PNG\r\n\x1a\n0000")), "not-tlg");
      await rejectsWith(call(bytes.subarray(0, 5)), "truncated");
      await rejectsWith(call(bytes.subarray(0, 20)), "truncated");
    }
    // Halfway is inside the picture (a wrapper's tags come after it).
    await rejectsWith(decode(bytes.subarray(0, bytes.length >> 1)), "truncated");
  }
  const { bytes } = samples().find(({ name }) => name.startsWith("dusk-tlg5"));
  const damaged = bytes.slice();
  damaged[11] = 2;  // a colour count TLG5 does not have
  await rejectsWith(decode(damaged), "corrupt");
});

test("the pixel limit holds by default and maxPixels moves it", async () => {
  assert.equal(DEFAULT_MAX_PIXELS, 2 ** 28);
  const bytes = await encode(makePicture(20, 10), { format: "tlg5" });
  await rejectsWith(decode(bytes, { maxPixels: 199 }), "too-large");
  assert.equal((await decode(bytes, { maxPixels: 200 })).width, 20);
  // A header that claims 65536 by 65536 pixels costs nothing.
  const huge = bytes.slice();
  huge.set([0, 0, 1, 0, 0, 0, 1, 0], 12);  // TLG5 width and height
  assert.equal((await readInfo(huge)).width, 65536);
  await rejectsWith(decode(huge), "too-large");
  await rejectsWith(decode(bytes, { maxPixels: 0 }), "invalid-argument");
});

test("arguments encode() cannot take", async () => {
  const picture = makePicture(4, 4);
  await rejectsWith(encode({ ...picture, width: 5 }), "invalid-argument");
  await rejectsWith(encode({ ...picture, width: -4, height: -4 }), "invalid-argument");
  await rejectsWith(encode(picture, { format: "png" }), "invalid-argument");
  await rejectsWith(encode(picture, { tags: { bad: "\ud800" } }), "invalid-argument");
  await assert.rejects(encode({ width: 1, height: 1, data: [1, 2, 3, 4] }), TypeError);
  await assert.rejects(encode(picture, { tags: { n: 1 } }), TypeError);
  await assert.rejects(decode("TLG5.0"), TypeError);
});
