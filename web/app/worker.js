// One of the page's decoders. Each request names a File; the worker reads it
// itself, so that the page's thread never holds the bytes. Messages:
// { id, op, file, format? }; answers { id, result } or
// { id, error: { code, message } }.
//   open:   what the file holds and a thumbnail (TLG: decode time too)
//   pixels: its RGBA pixels and tags
//   png:    a TLG file as PNG bytes
//   tlg:    a PNG file as TLG bytes (format "tlg5" or "tlg6")
import { decode, encode, init } from "./tlg/index.js";
import { decodePng, encodePng, convertIndexedToRgb } from "./vendor.js";

const THUMBNAIL = 64;
const PNG_SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];

function looksLikeTlg(name, bytes) {
  return name.toLowerCase().endsWith(".tlg") || (bytes[0] === 0x54 && bytes[1] === 0x4c && bytes[2] === 0x47);
}

function looksLikePng(bytes) {
  return PNG_SIGNATURE.every((b, i) => bytes[i] === b);
}

class PageError extends Error {}

// A PNG's samples as 8-bit RGBA, exactly as stored (16-bit rounded to 8);
// no gamma or colour conversion.
function pngToRgba(bytes) {
  let png;
  try {
    png = decodePng(bytes);
  } catch (error) {
    throw new PageError(`damaged PNG: ${error.message}`);
  }
  const { width, height, depth } = png;
  let { data, channels } = png;
  if (png.palette) {
    data = convertIndexedToRgb(png);
    channels = data.length / (width * height);
  } else if (depth < 8) {
    // Grey below 8 bits comes packed, each row starting on a byte.
    const rowBytes = Math.ceil((width * depth) / 8);
    const max = (1 << depth) - 1;
    const unpacked = new Uint8Array(width * height);
    for (let y = 0; y < height; ++y) {
      for (let x = 0; x < width; ++x) {
        const bit = x * depth;
        const byte = data[y * rowBytes + (bit >> 3)];
        const value = (byte >> (8 - depth - (bit & 7))) & max;
        unpacked[y * width + x] = Math.round((value * 255) / max);
      }
    }
    data = unpacked;
  }
  const to8 = depth === 16 && !png.palette ? (v) => Math.round((v * 255) / 65535) : (v) => v;
  const rgba = new Uint8ClampedArray(width * height * 4);
  for (let p = 0, s = 0; p < width * height; ++p, s += channels) {
    const o = p * 4;
    if (channels <= 2) {
      rgba[o] = rgba[o + 1] = rgba[o + 2] = to8(data[s]);
      rgba[o + 3] = channels === 2 ? to8(data[s + 1]) : 255;
    } else {
      rgba[o] = to8(data[s]);
      rgba[o + 1] = to8(data[s + 1]);
      rgba[o + 2] = to8(data[s + 2]);
      rgba[o + 3] = channels === 4 ? to8(data[s + 3]) : 255;
    }
  }
  return { width, height, data: rgba, colours: png.palette ? channels : channels };
}

// Nearest pixels, no larger than THUMBNAIL on either side.
function thumbnail({ width, height, data }) {
  const scale = Math.min(1, THUMBNAIL / Math.max(width, height, 1));
  const w = Math.max(1, Math.round(width * scale));
  const h = Math.max(1, Math.round(height * scale));
  const out = new Uint8ClampedArray(w * h * 4);
  if (width > 0 && height > 0) {
    for (let y = 0; y < h; ++y) {
      const sy = Math.min(height - 1, Math.floor(y / scale));
      for (let x = 0; x < w; ++x) {
        const sx = Math.min(width - 1, Math.floor(x / scale));
        out.set(data.subarray((sy * width + sx) * 4, (sy * width + sx) * 4 + 4), (y * w + x) * 4);
      }
    }
  }
  return { width: w, height: h, data: out };
}

function opaque(data) {
  for (let i = 3; i < data.length; i += 4) if (data[i] !== 255) return false;
  return true;
}

// PNG from RGBA, losslessly; RGB when every pixel is opaque.
function rgbaToPng({ width, height, data }) {
  if (!opaque(data)) return encodePng({ width, height, data: new Uint8Array(data.buffer), depth: 8, channels: 4 });
  const rgb = new Uint8Array(width * height * 3);
  for (let p = 0; p < width * height; ++p) rgb.set(data.subarray(p * 4, p * 4 + 3), p * 3);
  return encodePng({ width, height, data: rgb, depth: 8, channels: 3 });
}

async function read(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (looksLikeTlg(file.name, bytes)) return { type: "tlg", bytes };
  if (looksLikePng(bytes)) return { type: "png", bytes };
  throw new PageError("neither TLG nor PNG");
}

async function run({ op, file, format }) {
  const { type, bytes } = await read(file);
  if (op === "open") {
    if (type === "tlg") {
      await init();  // loading the module is not the decode's time
      const started = performance.now();
      const image = await decode(bytes);
      const milliseconds = performance.now() - started;
      const { data, ...facts } = image;
      return { type, ...facts, bytes: bytes.length, milliseconds, thumbnail: thumbnail(image) };
    }
    const image = pngToRgba(bytes);
    return {
      type, kind: "png", width: image.width, height: image.height, colours: image.colours,
      tags: {}, bytes: bytes.length, thumbnail: thumbnail(image),
    };
  }
  if (op === "pixels") {
    const image = type === "tlg" ? await decode(bytes) : { ...pngToRgba(bytes), tags: {} };
    return { width: image.width, height: image.height, data: image.data, tags: image.tags };
  }
  if (op === "png") {
    if (type !== "tlg") throw new PageError("not a TLG file");
    return rgbaToPng(await decode(bytes));
  }
  if (op === "tlg") {
    if (type !== "png") throw new PageError("not a PNG file");
    return encode(pngToRgba(bytes), { format });
  }
  throw new PageError(`unknown operation ${op}`);
}

// Buffers in an answer are handed over, not copied.
function buffersOf(result) {
  if (ArrayBuffer.isView(result)) return [result.buffer];
  return [result.data?.buffer, result.thumbnail?.data.buffer].filter(Boolean);
}

onmessage = async ({ data }) => {
  try {
    const result = await run(data);
    postMessage({ id: data.id, result }, buffersOf(result));
  } catch (error) {
    postMessage({ id: data.id, error: { code: error.code ?? null, message: String(error.message ?? error) } });
  }
};
