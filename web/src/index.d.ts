/** libtlg's errors, by name. */
export type TlgErrorCode =
  | "not-tlg"
  | "truncated"
  | "corrupt"
  | "too-large"
  | "out-of-memory"
  | "io"
  | "stopped"
  | "invalid-argument";

/** Why a call failed: data that is not a readable TLG picture, pixels that cannot be encoded. */
export class TlgError extends Error {
  constructor(code: TlgErrorCode, message?: string);
  readonly name: "TlgError";
  readonly code: TlgErrorCode;
}

/** Pictures of more pixels (2^28) are refused unless decode() is given maxPixels. */
export const DEFAULT_MAX_PIXELS: number;

export type TlgKind = "tlg5" | "tlg6" | "wrapped";

/** What a picture's headers say. */
export interface TlgInfo {
  /** "wrapped" for a TLG0 wrapper; raster tells what it holds. */
  kind: TlgKind;
  raster: "tlg5" | "tlg6";
  /** 3 or 4; TLG6 may also hold 1 (blue only). */
  colours: number;
  width: number;
  height: number;
  /** A wrapper's tags, decoded from UTF-8; bytes that are not UTF-8 come back as
   * lone surrogates U+DC80 to U+DCFF, which encode() writes back as those bytes. */
  tags: Record<string, string>;
}

/** A decoded picture: RGBA rows, top first, ready for new ImageData(data, width, height).
 * data has a buffer of its own (typed with TypeScript 5.7's typed-array generics). */
export interface TlgImage extends TlgInfo {
  data: Uint8ClampedArray<ArrayBuffer>;
}

export interface DecodeOptions {
  /** Refuse pictures of more pixels (a picture of width 0 counts 1 per row). */
  maxPixels?: number;
}

export interface EncodeOptions {
  /** "tlg6" unless told otherwise. */
  format?: "tlg5" | "tlg6";
  /** Given, the picture goes into a TLG0 wrapper with these tags. */
  tags?: Record<string, string>;
}

/** Pixels to encode: RGBA rows, as an ImageData holds them. */
export interface RgbaImage {
  width: number;
  height: number;
  data: Uint8ClampedArray | Uint8Array;
}

/** Where the WebAssembly module comes from, when not from beside the package's JavaScript. */
export interface InitOptions {
  wasm?: string | URL | Response | ArrayBuffer | ArrayBufferView | WebAssembly.Module;
}

export type TlgBytes = Uint8Array | ArrayBuffer;

export function init(options?: InitOptions): Promise<void>;
export function readInfo(bytes: TlgBytes): Promise<TlgInfo>;
export function decode(bytes: TlgBytes, options?: DecodeOptions): Promise<TlgImage>;
export function encode(image: RgbaImage, options?: EncodeOptions): Promise<Uint8Array<ArrayBuffer>>;
/** Bytes of WebAssembly memory the module holds now (0 before it loads); it never shrinks. */
export function heapSize(): number;
