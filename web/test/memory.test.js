// The heap stays as large as the largest picture made it, however many
// pictures follow; what the caller gets are copies that outlive heap growth.
import assert from "node:assert/strict";
import { test } from "node:test";

import { decode, encode, heapSize, init } from "tlg";

import { makePicture, samples, sha256 } from "./support.js";

const MIB = 2 ** 20;
const DECODES = 200;

test("200 decodes in a row leave the heap as the largest picture left it", async () => {
  await init();
  const startSize = heapSize();
  const kept = await decode(samples()[0].bytes);  // before the heap grows
  const keptHash = sha256(kept.data);

  const large = makePicture(1600, 1200, { alpha: true });
  const largeBytes = large.width * large.height * 4;
  const inputs = [
    ...samples().map(({ bytes }) => bytes),
    await encode(large, { format: "tlg5" }),
    await encode(makePicture(700, 500), { format: "tlg6" }),
  ];
  for (const bytes of inputs) await decode(bytes);
  const settled = heapSize();
  assert.ok(settled > startSize, "the large picture grew the heap");
  assert.ok(settled <= startSize + 4 * largeBytes, `${settled / MIB} MiB for a ${largeBytes / MIB} MiB picture`);

  for (let i = 0; i < DECODES; ++i) {
    const decoded = await decode(inputs[i % inputs.length]);
    assert.equal(decoded.data.buffer.byteLength, decoded.data.length);  // its own buffer
  }
  assert.equal(heapSize(), settled);
  assert.equal(sha256(kept.data), keptHash);
});

test("a failed decode gives back the memory it grew the heap by, and the next call works", async () => {
  const small = makePicture(30, 20);
  const bytes = await encode(small, { format: "tlg5" });
  const before = (await decode(bytes), heapSize());
  const claims = (width, height) => {
    const header = bytes.slice(0, 200);
    new DataView(header.buffer).setUint32(12, width, true);
    new DataView(header.buffer).setUint32(16, height, true);
    return header;
  };
  // 64 MiB of pixels claimed by 200 bytes: set aside, then cut short.
  await assert.rejects(decode(claims(4096, 4096)), { name: "TlgError", code: "truncated" });
  assert.ok(heapSize() <= before, `${heapSize() / MIB} MiB after, ${before / MIB} MiB before`);
  // 3 GiB of pixels: more than WebAssembly memory holds here.
  await assert.rejects(decode(claims(32768, 24576), { maxPixels: 2 ** 30 }),
                       { name: "TlgError", code: "out-of-memory" });
  assert.deepEqual((await decode(bytes)).data, small.data);
});
