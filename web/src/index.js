// TLG pictures (TLG5, TLG6, and either one in a TLG0 wrapper with tags) in
// browsers, workers and Node, over libtlg compiled to WebAssembly.
import { compileCore, startCore } from "./load.js";
import { decodeTagText, encodeTagText } from "./tag-text.js";

/** Pictures of more pixels are refused unless decode() is given maxPixels. */
export const DEFAULT_MAX_PIXELS = 2 ** 28;

// libtlg's error codes, by number.
const ERROR_CODES = [
  null,
  "not-tlg",
  "truncated",
  "corrupt",
  "too-large",
  "out-of-memory",
  "io",
  "stopped",
  "invalid-argument",
];
const ERROR_MESSAGES = {
  "not-tlg": "not a TLG image",
  truncated: "the image is cut short",
  corrupt: "the image is corrupt",
  "too-large": "the image is too large",
  "out-of-memory": "out of memory",
  io: "the data could not be read or written",
  stopped: "stopped by the caller",
  "invalid-argument": "invalid argument",
};
const KIND_NAMES = { 5: "tlg5", 6: "tlg6", 7: "wrapped" };
const FORMAT_KINDS = { tlg5: 5, tlg6: 6 };

// Words of the info record the glue fills: kind, raster, colours, width,
// height, has_tags.
const INFO_WORDS = 6;
// A tlg_tag: key, key_size, value, value_size.
const TAG_WORDS = 4;
const WORD = 4;
// Sizes libtlg reads with 32-bit positions.
const MOST_INPUT_BYTES = 2 ** 32 - 1;

/** An error of libtlg; `code` names it ("not-tlg", "truncated", ...). */
export class TlgError extends Error {
  constructor(code, message = ERROR_MESSAGES[code] ?? code) {
    super(message);
    this.name = "TlgError";
    this.code = code;
  }
}

function check(error) {
  if (error !== 0) throw new TlgError(ERROR_CODES[error] ?? "corrupt");
}

// The compiled module, kept to start afresh; the running instance.
let compiling;
let starting;
let core;

/**
 * Loads the WebAssembly module. Calls made before it use the .wasm beside
 * this file; call it first with { wasm } when a bundler moved that file:
 * a URL, a Response, its bytes, or a compiled WebAssembly.Module. Later
 * calls return the same promise.
 */
export function init(options = {}) {
  if (!compiling) {
    compiling = compileCore(options.wasm);
    compiling.catch(() => {
      compiling = undefined;  // a failed load may be tried again
    });
  }
  return running().then(() => undefined);
}

function running() {
  if (!compiling) return init().then(running);
  if (!starting) {
    starting = compiling.then(startCore).then((started) => (core = started));
    starting.catch(() => {
      starting = undefined;
    });
  }
  return starting;
}

function drop(instance) {
  if (core === instance) core = starting = undefined;
}

// Runs `body` with the module. The instance is dropped, and the next call
// starts a new one, when a trap inside it left its memory in no known state,
// and when a failed call grew the heap: memory never shrinks, and a file of a
// few bytes may claim a picture of a gigabyte before it turns out cut short.
async function withCore(body) {
  const current = await running();
  const heapBefore = current.HEAPU8.length;
  const scratch = [];
  try {
    return body(current, scratch);
  } catch (error) {
    const trapped = !(error instanceof TlgError) && !(error instanceof TypeError);
    if (trapped || current.HEAPU8.length > heapBefore) {
      drop(current);
      scratch.length = 0;
    }
    throw error;
  } finally {
    for (const pointer of scratch) current._free(pointer);
  }
}

function asBytes(bytes) {
  if (bytes instanceof Uint8Array) return bytes;
  if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  throw new TypeError("expected a Uint8Array or an ArrayBuffer");
}

// Memory in the module's heap, freed when the call ends.
function allocate(core, scratch, size) {
  const pointer = core._malloc(Math.max(size, 1));
  if (pointer === 0) throw new TlgError("out-of-memory");
  scratch.push(pointer);
  return pointer;
}

function copyIn(core, scratch, bytes) {
  if (bytes.length > MOST_INPUT_BYTES) throw new TlgError("too-large");
  const pointer = allocate(core, scratch, bytes.length);
  core.HEAPU8.set(bytes, pointer);
  return pointer;
}

// A block the library allocated, freed when the call ends.
function adopt(core, scratch, slot) {
  const pointer = core.HEAPU32[slot / WORD];
  if (pointer !== 0) scratch.push(pointer);
  return pointer;
}

function describe(core, infoPointer) {
  const words = core.HEAPU32.subarray(infoPointer / WORD, infoPointer / WORD + INFO_WORDS);
  return {
    kind: KIND_NAMES[words[0]],
    raster: KIND_NAMES[words[1]],
    colours: words[2],
    width: words[3],
    height: words[4],
    hasTags: words[5] !== 0,
  };
}

function readTags(core, scratch, input, size) {
  const slots = allocate(core, scratch, 2 * WORD);
  check(core._tlgw_read_tags(input, size, slots, slots + WORD));
  const block = adopt(core, scratch, slots);
  const count = core.HEAPU32[slots / WORD + 1];
  const tags = {};
  for (let i = 0; i < count; ++i) {
    const [key, keySize, value, valueSize] =
      core.HEAPU32.subarray((block / WORD) + i * TAG_WORDS, (block / WORD) + (i + 1) * TAG_WORDS);
    tags[decodeTagText(core.HEAPU8.subarray(key, key + keySize))] =
      decodeTagText(core.HEAPU8.subarray(value, value + valueSize));
  }
  return tags;
}

function withTags(core, scratch, info, input, size) {
  const { hasTags, ...rest } = info;
  return { ...rest, tags: hasTags ? readTags(core, scratch, input, size) : {} };
}

function maxPixelsOf(options) {
  const limit = options?.maxPixels;
  if (limit === undefined) return 0;
  if (typeof limit !== "number" || !(limit >= 1)) {
    throw new TlgError("invalid-argument", "maxPixels must be a number from 1 up");
  }
  return Math.floor(Math.min(limit, Number.MAX_SAFE_INTEGER));
}

/**
 * Describes a TLG picture from its headers (and a wrapper's tags) without
 * decoding its pixels: { kind, raster, colours, width, height, tags }.
 */
export async function readInfo(bytes) {
  const input = asBytes(bytes);
  return withCore((core, scratch) => {
    const pointer = copyIn(core, scratch, input);
    const info = allocate(core, scratch, INFO_WORDS * WORD);
    check(core._tlgw_read_info(pointer, input.length, info));
    return withTags(core, scratch, describe(core, info), pointer, input.length);
  });
}

/**
 * Decodes a TLG picture: { width, height, data, colours, kind, raster, tags },
 * where data holds RGBA rows, top first (three-colour pictures get alpha 255).
 * Pictures of more than maxPixels pixels (default DEFAULT_MAX_PIXELS) are
 * refused with "too-large" before their pixels take any memory.
 */
export async function decode(bytes, options) {
  const input = asBytes(bytes);
  const maxPixels = maxPixelsOf(options);
  return withCore((core, scratch) => {
    const pointer = copyIn(core, scratch, input);
    const info = allocate(core, scratch, INFO_WORDS * WORD);
    const slot = allocate(core, scratch, WORD);
    check(core._tlgw_decode(pointer, input.length, maxPixels, slot, info));
    const pixels = adopt(core, scratch, slot);
    const described = describe(core, info);
    const size = described.width * described.height * 4;
    // A copy: a later call may grow the heap, which detaches every view of it.
    const data = new Uint8ClampedArray(core.HEAPU8.slice(pixels, pixels + size).buffer);
    return { ...withTags(core, scratch, described, pointer, input.length), data };
  });
}

// Tag keys and values as tlg_tag records pointing into the heap.
function copyTagsIn(core, scratch, tags) {
  if (tags === undefined || tags === null) return { pointer: 0, count: 0 };
  if (typeof tags !== "object") throw new TypeError("tags must be an object of strings");
  const entries = Object.entries(tags);
  const records = allocate(core, scratch, entries.length * TAG_WORDS * WORD);
  entries.forEach(([key, value], i) => {
    if (typeof value !== "string") throw new TypeError(`the tag ${key} is not a string`);
    const parts = [encodeTagText(key), encodeTagText(value)];
    if (parts.includes(null)) {
      throw new TlgError("invalid-argument", `the tag ${key} holds a lone surrogate`);
    }
    const words = [];
    for (const part of parts) words.push(copyIn(core, scratch, part), part.length);
    core.HEAPU32.set(words, records / WORD + i * TAG_WORDS);
  });
  return { pointer: records, count: entries.length };
}

function checkImage(image) {
  const { width, height, data } = image ?? {};
  if (!Number.isInteger(width) || !Number.isInteger(height) || width < 0 || height < 0) {
    throw new TlgError("invalid-argument", "width and height must be whole numbers from 0 up");
  }
  if (!(data instanceof Uint8Array || data instanceof Uint8ClampedArray)) {
    throw new TypeError("data must be a Uint8ClampedArray or Uint8Array of RGBA rows");
  }
  if (data.length !== width * height * 4) {
    throw new TlgError("invalid-argument", `data holds ${data.length} bytes, not width * height * 4`);
  }
  if (width >= 2 ** 32 || height >= 2 ** 32) throw new TlgError("too-large");
  return { width, height, data: new Uint8Array(data.buffer, data.byteOffset, data.byteLength) };
}

/**
 * Encodes RGBA rows ({ width, height, data }, as an ImageData holds them) as
 * TLG: format "tlg6" (the default) or "tlg5". With tags, the picture goes into
 * a TLG0 wrapper with a "tags" chunk. Pictures whose every alpha is 255 are
 * stored with three colours.
 */
export async function encode(image, options = {}) {
  const { width, height, data } = checkImage(image);
  const format = options.format ?? "tlg6";
  const kind = FORMAT_KINDS[format];
  if (kind === undefined) {
    throw new TlgError("invalid-argument", `format must be "tlg5" or "tlg6", not ${format}`);
  }
  return withCore((core, scratch) => {
    const pixels = copyIn(core, scratch, data);
    const tags = copyTagsIn(core, scratch, options.tags);
    const slots = allocate(core, scratch, 2 * WORD);
    const wrap = options.tags !== undefined && options.tags !== null;
    check(core._tlgw_encode(pixels, width, height, kind, tags.pointer, tags.count, wrap ? 1 : 0,
                            slots, slots + WORD));
    const out = adopt(core, scratch, slots);
    const size = core.HEAPU32[slots / WORD + 1];
    return core.HEAPU8.slice(out, out + size);
  });
}

/**
 * The bytes of WebAssembly memory the module holds now; 0 before it is
 * loaded. That memory never shrinks, but is reused from call to call.
 */
export function heapSize() {
  return core?.HEAPU8.length ?? 0;
}
