// What a TypeScript user writes; checked with tsc --noEmit.
import { TlgError, decode, encode, init, readInfo, type TlgErrorCode, type TlgImage } from "tlg";

export async function show(bytes: ArrayBuffer, canvas: HTMLCanvasElement): Promise<Uint8Array> {
  await init({ wasm: new URL("/assets/tlg-core-simd.wasm", location.href) });
  const info = await readInfo(bytes);
  const limit: number = info.width * info.height;
  const image: TlgImage = await decode(new Uint8Array(bytes), { maxPixels: limit });
  const kind: "tlg5" | "tlg6" | "wrapped" = image.kind;
  const title: string | undefined = image.tags["title"];
  canvas.getContext("2d")?.putImageData(new ImageData(image.data, image.width, image.height), 0, 0);
  try {
    return await encode(image, { format: kind === "tlg5" ? "tlg5" : "tlg6", tags: { title: title ?? "" } });
  } catch (error) {
    if (error instanceof TlgError) {
      const code: TlgErrorCode = error.code;
      throw new Error(code);
    }
    throw error;
  }
}
