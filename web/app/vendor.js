// The libraries the page uses, bundled by scripts/build-web.sh (esbuild) into
// one file of the built page, so that it runs offline.
export { decode as decodePng, encode as encodePng, convertIndexedToRgb } from "fast-png";
export { zipSync } from "fflate";
