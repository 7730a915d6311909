// Decodes and encodes off the page's thread, so that large pictures do not
// stop it. Messages: { id, op: "decode", bytes } and
// { id, op: "encode", image, options }; answers { id, result } or
// { id, error: { code, message } }.
import { decode, encode, init } from "./tlg/index.js";

async function run({ op, bytes, image, options }) {
  if (op === "decode") {
    await init();  // the first call loads the module, which is not the decode's time
    const started = performance.now();
    const decoded = await decode(bytes);
    return { result: { ...decoded, milliseconds: performance.now() - started }, moved: [decoded.data.buffer] };
  }
  if (op === "encode") {
    const encoded = await encode(image, options);
    return { result: encoded, moved: [encoded.buffer] };
  }
  throw new Error(`unknown operation ${op}`);
}

onmessage = async ({ data }) => {
  try {
    const { result, moved } = await run(data);
    postMessage({ id: data.id, result }, moved);
  } catch (error) {
    postMessage({ id: data.id, error: { code: error.code ?? null, message: String(error.message ?? error) } });
  }
};
