// Finding, compiling and starting the WebAssembly module.
import createCore from "./tlg-core.js";

// A function of one instruction on 128-bit vectors (i32.const 0,
// i8x16.splat), which only engines with SIMD accept.
const SIMD_PROBE = new Uint8Array([
  0x00, 0x61, 0x73, 0x6d, 0x01, 0x00, 0x00, 0x00,  // header
  0x01, 0x05, 0x01, 0x60, 0x00, 0x01, 0x7b,        // type: () -> v128
  0x03, 0x02, 0x01, 0x00,                          // one function of it
  0x0a, 0x08, 0x01, 0x06, 0x00, 0x41, 0x00, 0xfd, 0x0f, 0x0b,  // its code
]);

export function hasSimd() {
  return WebAssembly.validate(SIMD_PROBE);
}

// Beside this file, in the form bundlers follow to copy files along: the
// SIMD build where the engine runs it, else the plain one.
function defaultWasm() {
  return hasSimd() ? new URL("./tlg-core-simd.wasm", import.meta.url)
                   : new URL("./tlg-core.wasm", import.meta.url);
}

// Hidden from bundlers, which need not resolve it: browsers never import it.
const NODE_FS = "node:fs/promises";

async function readUrl(url) {
  if (url.protocol === "file:") {
    const fs = await import(/* webpackIgnore: true */ /* @vite-ignore */ NODE_FS);
    return fs.readFile(url);
  }
  const response = await fetch(url, { credentials: "same-origin" });
  return compileResponse(response);
}

async function compileResponse(response) {
  if (!response.ok) throw new Error(`cannot load ${response.url}: HTTP ${response.status}`);
  if (typeof WebAssembly.compileStreaming === "function") {
    try {
      return await WebAssembly.compileStreaming(response.clone());
    } catch {
      // Served with another MIME type than application/wasm: compile the bytes.
    }
  }
  return response.arrayBuffer();
}

function baseUrl() {
  return globalThis.location?.href ?? import.meta.url;
}

/** A compiled module from a URL, a Response, bytes, or a module already compiled. */
export async function compileCore(source = defaultWasm()) {
  if (source instanceof WebAssembly.Module) return source;
  let found = source;
  if (typeof source === "string" || source instanceof URL) found = await readUrl(new URL(source, baseUrl()));
  else if (typeof Response === "function" && source instanceof Response) found = await compileResponse(source);
  if (found instanceof WebAssembly.Module) return found;
  if (found instanceof ArrayBuffer || ArrayBuffer.isView(found)) return WebAssembly.compile(found);
  throw new TypeError("wasm must be a URL, a Response, bytes or a WebAssembly.Module");
}

/** A fresh instance of a compiled module, with the glue around it. */
export function startCore(compiled) {
  return new Promise((resolve, reject) => {
    createCore({
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled), reject);
        return {};
      },
    }).then(resolve, reject);
  });
}
