// Tags are byte strings. They come back as strings decoded from UTF-8; each
// byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80 to
// U+DCFF (0x80 to 0xFF), so that encoding the string again gives the same
// bytes.
const ESCAPE_BASE = 0xdc00;

// Length and smallest code point of a sequence by its lead byte; 0: no lead.
function sequenceLength(lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}
const SMALLEST = [0, 0, 0x80, 0x800, 0x10000];

// The code point of the valid sequence at i, or -1.
function codePointAt(bytes, i) {
  const length = sequenceLength(bytes[i]);
  if (length === 0 || i + length > bytes.length) return -1;
  if (length === 1) return bytes[i];
  let point = bytes[i] & (0x7f >> length);
  for (let k = 1; k < length; ++k) {
    const next = bytes[i + k];
    if ((next & 0xc0) !== 0x80) return -1;
    point = (point << 6) | (next & 0x3f);
  }
  const surrogate = point >= 0xd800 && point <= 0xdfff;
  if (point < SMALLEST[length] || point > 0x10ffff || surrogate) return -1;
  return point;
}

export function decodeTagText(bytes) {
  let text = "";
  for (let i = 0; i < bytes.length;) {
    const point = codePointAt(bytes, i);
    if (point < 0) {
      text += String.fromCharCode(ESCAPE_BASE + bytes[i]);
      i += 1;
    } else {
      text += String.fromCodePoint(point);
      i += sequenceLength(bytes[i]);
    }
  }
  return text;
}

const encoder = new TextEncoder();

// The bytes of a tag string, or null for a lone surrogate that no byte gave.
export function encodeTagText(text) {
  if (!/[\ud800-\udfff]/.test(text)) return encoder.encode(text);
  const parts = [];
  for (const char of text) {  // by code point: pairs stay together
    const unit = char.charCodeAt(0);
    if (char.length === 1 && unit >= 0xdc80 && unit <= 0xdcff) parts.push(unit - ESCAPE_BASE);
    else if (char.length === 1 && unit >= 0xd800 && unit <= 0xdfff) return null;
    else parts.push(...encoder.encode(char));
  }
  return Uint8Array.from(parts);
}
