// The page: TLG files are decoded in a worker and shown with what their
// headers say; other pictures the browser reads can be saved as TLG.
const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
const waiting = new Map();
let lastId = 0;

worker.onmessage = ({ data }) => {
  const { resolve, reject } = waiting.get(data.id);
  waiting.delete(data.id);
  if (data.error) reject(Object.assign(new Error(data.error.message), { code: data.error.code }));
  else resolve(data.result);
};

// One request to the worker; `moved` buffers are handed over, not copied.
function ask(request, moved = []) {
  const id = ++lastId;
  return new Promise((resolve, reject) => {
    waiting.set(id, { resolve, reject });
    worker.postMessage({ ...request, id }, moved);
  });
}

const TLG_SIGNATURE = [0x54, 0x4c, 0x47];  // "TLG"

function looksLikeTlg(name, bytes) {
  return name.toLowerCase().endsWith(".tlg") || TLG_SIGNATURE.every((b, i) => bytes[i] === b);
}

function newCard(name) {
  const card = document.getElementById("card").content.firstElementChild.cloneNode(true);
  card.querySelector(".name").textContent = name;
  document.getElementById("pictures").append(card);
  return card;
}

function showError(card, error) {
  const reason = error.code ? `${error.message} (${error.code})` : error.message;
  card.querySelector(".error").textContent = reason;
  card.querySelector(".frame").remove();
}

function draw(card, image) {
  const canvas = card.querySelector("canvas");
  canvas.width = image.width;
  canvas.height = image.height;
  if (image.width > 0 && image.height > 0) {
    canvas.getContext("2d").putImageData(new ImageData(image.data, image.width, image.height), 0, 0);
  }
  return canvas;
}

function showTags(card, tags) {
  const list = card.querySelector(".tags");
  for (const [key, value] of Object.entries(tags)) {
    const term = document.createElement("dt");
    const detail = document.createElement("dd");
    term.textContent = key;
    detail.textContent = value;
    list.append(term, detail);
  }
}

function download(blob, name) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 0);
}

function addButton(card, label, action) {
  const button = document.createElement("button");
  button.type = "button";
  button.textContent = label;
  button.addEventListener("click", async () => {
    button.disabled = true;
    try {
      await action();
    } catch (error) {
      card.querySelector(".error").textContent = error.message;
    } finally {
      button.disabled = false;
    }
  });
  card.querySelector(".actions").append(button);
}

function stem(name) {
  return name.replace(/\.[^.]*$/, "") || name;
}

async function showTlg(card, file, bytes) {
  const image = await ask({ op: "decode", bytes }, [bytes.buffer]);
  const canvas = draw(card, image);
  const kind = image.kind === "wrapped" ? `${image.raster.toUpperCase()} in a TLG0 wrapper` : image.kind.toUpperCase();
  card.querySelector(".facts").textContent =
    `${kind}, ${image.width} × ${image.height}, ${image.colours} colours, decoded in ${image.milliseconds.toFixed(1)} ms`;
  showTags(card, image.tags);
  addButton(card, "Save as PNG", async () => {
    const blob = await new Promise((resolve) => canvas.toBlob(resolve, "image/png"));
    download(blob, `${stem(file.name)}.png`);
  });
}

async function showOther(card, file) {
  let bitmap;
  try {
    bitmap = await createImageBitmap(file, { premultiplyAlpha: "none", colorSpaceConversion: "none" });
  } catch {
    throw new Error("neither TLG nor a picture this browser reads");
  }
  const canvas = card.querySelector("canvas");
  canvas.width = bitmap.width;
  canvas.height = bitmap.height;
  const context = canvas.getContext("2d", { willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  card.querySelector(".facts").textContent = `${file.type || "picture"}, ${bitmap.width} × ${bitmap.height}`;
  for (const format of ["tlg6", "tlg5"]) {
    addButton(card, `Save as ${format.toUpperCase()}`, async () => {
      const { width, height, data } = context.getImageData(0, 0, bitmap.width, bitmap.height);
      const encoded = await ask({ op: "encode", image: { width, height, data }, options: { format } }, [data.buffer]);
      download(new Blob([encoded], { type: "image/x-tlg" }), `${stem(file.name)}.tlg`);
    });
  }
}

async function open(file) {
  const card = newCard(file.name);
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (looksLikeTlg(file.name, bytes)) await showTlg(card, file, bytes);
    else await showOther(card, file);
  } catch (error) {
    showError(card, error);
  }
}

async function openAll(files) {
  for (const file of files) await open(file);  // in order, one at a time
}

document.getElementById("files").addEventListener("change", (event) => {
  openAll([...event.target.files]);
  event.target.value = "";
});

// Files dropped anywhere on the page.
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  document.body.classList.add("dropping");
});
document.addEventListener("dragleave", (event) => {
  if (event.relatedTarget === null) document.body.classList.remove("dropping");
});
document.addEventListener("drop", (event) => {
  event.preventDefault();
  document.body.classList.remove("dropping");
  openAll([...event.dataTransfer.files]);
});
