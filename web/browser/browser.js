// Headless Chromium (Debian's, through puppeteer-core) on the built page,
// served from 127.0.0.1. Shared by the page's tests and its benchmark.
import { createReadStream, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join, normalize, sep } from "node:path";
import puppeteer from "puppeteer-core";

const TYPES = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".mjs": "text/javascript",
  ".css": "text/css", ".wasm": "application/wasm", ".json": "application/json",
  ".png": "image/png", ".webp": "image/webp", ".tlg": "application/octet-stream",
};

// Files under `root`, plus `extra` ({ "/path": [type, body] }) made up by a test.
export async function serve(root, extra = {}) {
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, "http://x").pathname);
    if (extra[path]) {
      response.writeHead(200, { "content-type": extra[path][0] });
      response.end(extra[path][1]);
      return;
    }
    const file = normalize(join(root, path.endsWith("/") ? `${path}index.html` : path));
    let found = false;
    try {
      found = (file + sep).startsWith(normalize(root + sep)) && statSync(file).isFile();
    } catch {}
    if (!found) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "content-type": TYPES[extname(file)] ?? "application/octet-stream" });
    createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return { url: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

export function launch() {
  // Containers often give /dev/shm too little room for the renderer.
  const args = ["--headless=new", "--disable-gpu", "--no-first-run", "--disable-extensions", "--disable-dev-shm-usage"];
  if (process.getuid?.() === 0) args.push("--no-sandbox");  // Chromium's sandbox refuses root
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    args,
  });
}
