// Pixels and descriptions: the samples and pictures made by encode(), against
// the native decoder; round trips; tags.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { test } from "node:test";

import { decode, encode, readInfo } from "tlg";

import { decodeNatively, makePicture, samples, sha256 } from "./support.js";

async function assertSameAsNative(bytes, what) {
  const decoded = await decode(bytes);
  const native = decodeNatively(bytes);
  assert.equal(decoded.width, native.width, what);
  assert.equal(decoded.height, native.height, what);
  assert.ok(decoded.data instanceof Uint8ClampedArray, what);
  assert.equal(decoded.data.length, decoded.width * decoded.height * 4, what);
  assert.equal(sha256(decoded.data), native.hash, what);
  return decoded;
}

test("every sample decodes to the native decoder's pixels", async () => {
  const found = samples();
  assert.ok(found.length >= 3);
  for (const { name, bytes } of found) {
    const decoded = await assertSameAsNative(bytes, name);
    const info = await readInfo(bytes.buffer);  // an ArrayBuffer serves too
    const { data, ...described } = decoded;
    assert.deepEqual(info, described, name);
  }
});

test("the wrapped sample describes its picture and tags", async () => {
  const { bytes } = samples().find(({ name }) => name.startsWith("tiles-wrapped"));
  const info = await readInfo(bytes);
  assert.equal(info.kind, "wrapped");
  assert.ok(["tlg5", "tlg6"].includes(info.raster));
  assert.equal(info.tags.title, "Tiles");
});

test("pictures made by encode() decode to the native decoder's pixels and back to themselves", async () => {
  const pictures = [
    makePicture(67, 45),
    makePicture(64, 33, { alpha: true, seed: 7 }),
    makePicture(1, 1),
    makePicture(300, 2, { alpha: true }),
  ];
  for (const format of ["tlg5", "tlg6"]) {
    for (const picture of pictures) {
      const what = `${format} ${picture.width}x${picture.height}`;
      const bytes = await encode(picture, { format });
      assert.ok(bytes instanceof Uint8Array, what);
      const decoded = await assertSameAsNative(bytes, what);
      assert.deepEqual(decoded.data, picture.data, what);
      assert.equal(decoded.kind, format, what);
      assert.equal(decoded.colours, picture.data.every((v, i) => i % 4 !== 3 || v === 255) ? 3 : 4);
    }
  }
});

test("an empty picture and a Uint8Array of pixels encode", async () => {
  const empty = await decode(await encode({ width: 0, height: 5, data: new Uint8Array(0) }));
  assert.deepEqual([empty.width, empty.height, empty.data.length], [0, 5, 0]);
  const { width, height, data } = makePicture(9, 4);
  const bytes = await encode({ width, height, data: new Uint8Array(data.buffer) }, { format: "tlg5" });
  assert.deepEqual((await decode(bytes)).data, data);
});

test("tags round trip, text and bytes that are not UTF-8 alike", async () => {
  const tags = {
    title: "Dusk",
    "caf\u00e9": "\u65e5\u672c \u{1f600}",
    raw: "a\udcff\udc80b",  // the bytes 61 ff 80 62
    empty: "",
  };
  const bytes = await encode(makePicture(8, 8), { tags });
  const decoded = await decode(bytes);
  assert.equal(decoded.kind, "wrapped");
  assert.deepEqual(decoded.tags, tags);
  const raw = new TextEncoder().encode("raw");
  const at = bytes.findIndex((_, i) => raw.every((b, k) => bytes[i + k] === b));
  assert.ok(at > 0 && bytes.subarray(at).some((b, i, rest) => b === 0xff && rest[i + 1] === 0x80));
  assert.deepEqual((await encode(makePicture(8, 8), { tags: {} })).subarray(0, 4),
                   new TextEncoder().encode("TLG0"));
});

test("tag bytes that are not UTF-8 come back as Python's surrogateescape gives them", async () => {
  const cases = [
    [0xc3, 0xa9], [0xf0, 0x9f, 0x98, 0x80],  // valid
    [0xc0, 0x80], [0xe0, 0x80, 0x80], [0xed, 0xa0, 0x80], [0xf4, 0x90, 0x80, 0x80],  // never valid
    [0xe2, 0x82, 0x41], [0x80, 0x61], [0x61, 0xf0, 0x9f, 0x98], [0xfe, 0xff],  // cut short, stray
  ];
  const script = "import json, sys\n" +
    "print(json.dumps([bytes(c).decode('utf-8', 'surrogateescape') for c in json.load(sys.stdin)]))";
  const expected = JSON.parse(execFileSync("python3", ["-c", script], { input: JSON.stringify(cases) }));
  // Each byte from 0x80 up given as its escape, so that encode() writes it as it is.
  const asEscapes = (bytes) => String.fromCharCode(...bytes.map((b) => (b < 0x80 ? b : 0xdc00 + b)));
  const tags = Object.fromEntries(cases.map((bytes, i) => [`k${i}`, asEscapes(bytes)]));
  const { tags: decoded } = await decode(await encode(makePicture(2, 2), { tags }));
  assert.deepEqual(cases.map((_, i) => decoded[`k${i}`]), expected);
  const again = await decode(await encode(makePicture(2, 2), { tags: decoded }));
  assert.deepEqual(again.tags, decoded);
});
