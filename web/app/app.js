// The page: files become rows, decoded by a small pool of workers (worker.js)
// so that the page stays responsive with hundreds of them. Pixels are kept
// only for the picture on view; the rest is read again from the File.
import { zipSync } from "./vendor.js";

const $ = (id) => document.getElementById(id);

// The pool: each worker takes one request at a time, in the order asked.
const poolSize = Math.max(1, Math.min(4, navigator.hardwareConcurrency || 2));
const workers = [];
const queue = [];
let lastId = 0;

function startWorker() {
  const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
  const slot = { worker, job: null };
  worker.onmessage = ({ data }) => {
    const { job } = slot;
    slot.job = null;
    if (data.error) job.reject(Object.assign(new Error(data.error.message), { code: data.error.code }));
    else job.resolve(data.result);
    dispatch();
  };
  worker.onerror = (event) => {
    event.preventDefault();
    const { job } = slot;
    slot.job = null;
    job?.reject(new Error(event.message || "the decoder stopped"));
    dispatch();
  };
  return slot;
}

function dispatch() {
  for (const slot of workers) {
    if (queue.length === 0) return;
    if (slot.job) continue;
    slot.job = queue.shift();
    slot.worker.postMessage(slot.job.request);
  }
}

function ask(op, file, extra = {}) {
  if (workers.length === 0) for (let i = 0; i < poolSize; ++i) workers.push(startWorker());
  return new Promise((resolve, reject) => {
    // What the user waits on (the viewer, a save) goes ahead of the opening.
    const job = { request: { id: ++lastId, op, file, ...extra }, resolve, reject };
    if (op === "open") queue.push(job);
    else queue.unshift(job);
    dispatch();
  });
}

const entries = [];  // { file, row, facts?, error? }
let pending = 0;

function stem(name) {
  return name.replace(/\.[^./]*$/, "") || name;  // a folder's dot is not an extension
}

function download(blob, name) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
}

function status() {
  const done = entries.filter((e) => e.facts).length;
  const failed = entries.filter((e) => e.error).length;
  $("status").textContent = entries.length === 0 ? "" :
    `${done} opened, ${failed} failed${pending ? `, ${pending} to go` : ""}`;
  $("save-all").disabled = !entries.some((e) => e.facts?.type === "tlg");
}

function kindText(facts) {
  if (facts.kind === "png") return "PNG";
  if (facts.kind === "wrapped") return `${facts.raster.toUpperCase()}, wrapped`;
  return facts.kind.toUpperCase();
}

function tagsText(tags) {
  return Object.entries(tags).map(([key, value]) => `${key}=${value}`).join(", ");
}

function paint(canvas, { width, height, data }) {
  canvas.width = width;
  canvas.height = height;
  if (width > 0 && height > 0) canvas.getContext("2d").putImageData(new ImageData(data, width, height), 0, 0);
}

function button(label, action) {
  const element = document.createElement("button");
  element.type = "button";
  element.textContent = label;
  element.addEventListener("click", async (event) => {
    event.stopPropagation();  // not a click on the row
    element.disabled = true;
    try {
      await action();
    } catch (error) {
      alert(`${label}: ${error.message}`);
    } finally {
      element.disabled = false;
    }
  });
  return element;
}

async function savePng(entry) {
  const png = await ask("png", entry.file);
  download(new Blob([png], { type: "image/png" }), `${stem(entry.file.name)}.png`);
}

async function saveTlg(entry) {
  const format = $("format").value;
  const tlg = await ask("tlg", entry.file, { format });
  download(new Blob([tlg], { type: "image/x-tlg" }), `${stem(entry.file.name)}.tlg`);
}

function show(entry, facts) {
  const { row } = entry;
  row.dataset.state = "done";
  paint(row.querySelector(".thumb canvas"), facts.thumbnail);
  row.querySelector(".kind").textContent = kindText(facts);
  row.querySelector(".colours").textContent = facts.colours;
  row.querySelector(".pixels").textContent = `${facts.width} × ${facts.height}`;
  row.querySelector(".bytes").textContent = facts.bytes.toLocaleString("en");
  const tags = tagsText(facts.tags);
  row.querySelector(".tags-cell").textContent = tags;
  row.querySelector(".tags-cell").title = tags;
  if (facts.milliseconds !== undefined) row.querySelector(".time").textContent = `${facts.milliseconds.toFixed(1)} ms`;
  const actions = row.querySelector(".actions");
  if (facts.type === "tlg") actions.append(button("Save as PNG", () => savePng(entry)));
  else actions.append(button("Save as TLG", () => saveTlg(entry)));
}

function fail(entry, error) {
  entry.row.dataset.state = "failed";
  entry.row.classList.add("failed");
  const reason = error.code ? `${error.message} (${error.code})` : error.message;
  entry.row.querySelector(".tags-cell").textContent = reason;
}

function add(file, path) {
  const row = $("row").content.firstElementChild.cloneNode(true);
  row.querySelector(".name").textContent = path || file.name;
  row.dataset.state = "waiting";
  const entry = { file, path: path || file.name, row };
  row.addEventListener("click", () => view(entry));
  entries.push(entry);
  $("rows").append(row);
  ++pending;
  ask("open", file)
    .then((facts) => { entry.facts = facts; show(entry, facts); },
      (error) => { entry.error = error; fail(entry, error); })
    .finally(() => { --pending; status(); });
}

function openFiles(files) {
  for (const { file, path } of files) add(file, path);
  status();
}

let viewing = null;

async function view(entry) {
  for (const row of document.querySelectorAll("tr.selected")) row.classList.remove("selected");
  entry.row.classList.add("selected");
  viewing = entry;
  $("viewer").hidden = false;
  $("viewer-name").textContent = entry.path;
  $("viewer-error").textContent = "";
  $("viewer-tags").replaceChildren();
  $("viewer-save").hidden = entry.facts?.type !== "tlg";
  const canvas = $("picture");
  canvas.dataset.state = "loading";
  paint(canvas, { width: 0, height: 0 });
  try {
    const image = await ask("pixels", entry.file);
    if (viewing !== entry) return;
    paint(canvas, image);
    for (const [key, value] of Object.entries(image.tags)) {
      const term = document.createElement("dt");
      const detail = document.createElement("dd");
      term.textContent = key;
      detail.textContent = value;
      $("viewer-tags").append(term, detail);
    }
    canvas.dataset.state = "done";
  } catch (error) {
    if (viewing !== entry) return;
    $("viewer-error").textContent = error.code ? `${error.message} (${error.code})` : error.message;
    canvas.dataset.state = "failed";
  }
}

$("viewer-save").addEventListener("click", () => viewing && savePng(viewing).catch((e) => alert(e.message)));
$("viewer-close").addEventListener("click", () => {
  $("viewer").hidden = true;
  viewing?.row.classList.remove("selected");
  viewing = null;
});
$("fit").addEventListener("change", (event) => {
  document.querySelector(".frame").classList.toggle("fit", event.target.checked);
});
document.querySelector(".frame").classList.toggle("fit", $("fit").checked);

// Every decoded TLG as PNG in one zip; PNGs are compressed already, so the
// zip only stores them. Names are kept unique.
$("save-all").addEventListener("click", async () => {
  const saveAll = $("save-all");
  saveAll.disabled = true;
  try {
    const files = {};
    const tlgs = entries.filter((e) => e.facts?.type === "tlg");
    let done = 0;
    await Promise.all(tlgs.map(async (entry) => {
      const png = await ask("png", entry.file);
      let name = `${stem(entry.path)}.png`;
      for (let n = 2; name in files; ++n) name = `${stem(entry.path)} (${n}).png`;
      files[name] = [png, { level: 0 }];
      $("status").textContent = `saving: ${++done} of ${tlgs.length}`;
    }));
    download(new Blob([zipSync(files)], { type: "application/zip" }), "pictures.zip");
    status();
  } catch (error) {
    $("status").textContent = `Save all failed: ${error.message}`;
  } finally {
    saveAll.disabled = false;
  }
});

$("clear").addEventListener("click", () => {
  entries.length = 0;
  $("rows").replaceChildren();
  $("viewer").hidden = true;
  viewing = null;
  status();
});

for (const id of ["files", "folder"]) {
  $(id).addEventListener("change", (event) => {
    openFiles([...event.target.files].map((file) => ({ file, path: file.webkitRelativePath || file.name })));
    event.target.value = "";
  });
}

// Everything in a dropped folder, however deep.
async function walk(entry, into) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    into.push({ file, path: entry.fullPath.replace(/^\//, "") });
  } else if (entry.isDirectory) {
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (batch.length === 0) break;
      for (const child of batch) await walk(child, into);
    }
  }
}

document.addEventListener("dragover", (event) => {
  event.preventDefault();
  document.body.classList.add("dropping");
});
document.addEventListener("dragleave", (event) => {
  if (event.relatedTarget === null) document.body.classList.remove("dropping");
});
document.addEventListener("drop", async (event) => {
  event.preventDefault();
  document.body.classList.remove("dropping");
  const items = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
  if (items.length === 0) {
    openFiles([...event.dataTransfer.files].map((file) => ({ file, path: file.name })));
    return;
  }
  const found = [];
  for (const item of items) await walk(item, found);
  openFiles(found.sort((a, b) => a.path.localeCompare(b.path)));
});
