// zkbatch's page: the live table of devices, the editor of one device, and
// the plan's dry run and apply. It uses the HTTP API and nothing else, and
// shows every text from a device through textContent, never as HTML.
"use strict";

const columns = ["mac", "ip", "netmask", "gateway", "dhcp", "mtu", "nameserver", "from",
                 "interface", "last_seen", "outcome"];
const settings = ["ip", "netmask", "gateway", "dhcp", "mtu", "nameserver"];
const devices = new Map();  // by key: {data, state, changed: Set, conflict, outcome, good, tr}
let sortKey = "mac";
let sortDown = false;
let selected = null;
let pending = false;
const $ = (id) => document.getElementById(id);

// Marks for the benchmark: when the first whole table was shown, and how
// long after it was seen (a watch event: its scan's end) each of the last
// thousand events came, and how many came in all.
window.zkLatencies = [];
window.zkEvents = 0;

function keyOf(d) {
  return d.mac ? d.mac.toLowerCase() : d.from + "%" + (d.interface || "");
}

function text(d, column) {
  const v = d.data[column];
  if (column === "outcome") return d.outcome || "";
  if (column === "dhcp") return v ? "on" : "off";
  return v === null || v === undefined ? "" : String(v);
}

function rowOf(d) {
  const tr = d.tr || document.createElement("tr");
  d.tr = tr;
  tr.replaceChildren();
  for (const c of columns) {
    const td = document.createElement("td");
    td.textContent = text(d, c);
    if (d.changed.has(c)) td.classList.add("changed");
    if (c === "outcome" && d.outcome) td.classList.add(d.good ? "good" : "bad");
    tr.appendChild(td);
  }
  tr.className = d.conflict && d.state !== "vanished" ? "conflict " + d.state : d.state;
  if (selected === d) tr.classList.add("selected");
  tr.onclick = () => edit(d);
  return tr;
}

function compare(a, b) {
  const x = text(a, sortKey), y = text(b, sortKey);
  const n = sortKey === "mtu" ? Number(x) - Number(y) : x.localeCompare(y, undefined, {numeric: true});
  return sortDown ? -n : n;
}

// The table again, sorted and filtered, at most once a frame.
function render() {
  if (pending) return;
  pending = true;
  requestAnimationFrame(() => {
    pending = false;
    const filter = $("filter").value.trim().toLowerCase();
    const shown = [...devices.values()].filter(
      (d) => !filter || columns.some((c) => text(d, c).toLowerCase().includes(filter)));
    shown.sort(compare);
    $("devices").tBodies[0].replaceChildren(...shown.map(rowOf));
    $("count").textContent = shown.length === devices.size
      ? devices.size + " devices" : shown.length + " of " + devices.size + " devices";
    for (const th of document.querySelectorAll("th[data-key]")) {
      th.classList.toggle("sorted", th.dataset.key === sortKey);
      th.classList.toggle("down", th.dataset.key === sortKey && sortDown);
    }
  });
}

function settingsOf(e) {
  const data = {};
  for (const c of columns) if (c in e) data[c] = e[c];
  return data;
}

function same(a, b) {
  return columns.every((c) => c === "last_seen" || c === "outcome" || a[c] === b[c]);
}

// One watch event, as the stream sends it.
function take(e) {
  if (e.event === "progress") {
    $("progress").textContent = e.text;
    return;
  }
  if (e.event === "conflict" || e.event === "resolved") {
    for (const d of devices.values())
      if (e.macs.includes(d.data.mac) && d.data.ip === e.ip) d.conflict = e.event === "conflict";
    render();
    return;
  }
  const key = keyOf(e);
  let d = devices.get(key);
  if (e.event === "appeared") {
    // On connect every known device comes again: one already shown keeps its mark.
    if (d && same(d.data, e) && d.state !== "vanished") return;
    d = d || {changed: new Set(), conflict: false};
    d.state = "new";
    d.changed = new Set();
  } else if (!d) {
    d = {changed: new Set(), conflict: false};
  }
  if (e.event === "changed") {
    d.state = "changed";
    d.changed = new Set(Object.keys(e.old || {}));
  }
  if (e.event === "vanished") d.state = "vanished";
  d.data = Object.assign(d.data || {}, settingsOf(e), {last_seen: e.time});
  devices.set(key, d);
  if (selected === d) fill(d);
  render();
}

function connect() {
  const events = new EventSource("/api/events");
  events.onopen = () => { $("live").textContent = "live"; $("live").classList.add("on"); };
  events.onerror = () => { $("live").textContent = "reconnecting"; $("live").classList.remove("on"); };
  events.onmessage = (m) => {
    const e = JSON.parse(m.data);
    if (e.event !== "progress" && m.lastEventId) {
      window.zkEvents++;
      window.zkLatencies.push(Date.now() - Number(m.lastEventId));
      if (window.zkLatencies.length > 1000) window.zkLatencies.shift();
    }
    take(e);
  };
}

async function load() {
  const answer = await fetch("/api/devices");
  for (const d of await answer.json()) {
    devices.set(keyOf(d), {
      data: settingsOf(d), state: d.state === "conflict" ? "new" : d.state,
      changed: new Set(d.changed), conflict: d.state === "conflict",
    });
  }
  render();
  requestAnimationFrame(() => {
    performance.mark("table-shown");
    document.body.dataset.shown = String(devices.size);
  });
  connect();
}

// The editor.
function fill(d) {
  const form = $("edit-form");
  $("edit-mac").textContent = d.data.mac;
  for (const s of settings) form.elements[s].value = s === "dhcp" ? (d.data.dhcp ? "1" : "0") : text(d, s);
}

function edit(d) {
  selected = d;
  $("editor").hidden = false;
  for (const e of document.querySelectorAll(".error")) e.textContent = "";
  result("", true);
  fill(d);
  render();
}

function result(message, good) {
  const p = $("edit-result");
  p.textContent = message;
  p.className = "result " + (message ? (good ? "good" : "bad") : "");
}

// A report row's outcome as the table shows it.
function outcomeOf(row) {
  return row.outcome + (row.detail ? " (" + row.detail + ")" : "");
}

async function post(url, body, type) {
  const answer = await fetch(url, {method: "POST", body, headers: {"Content-Type": type}});
  let doc = {};
  try { doc = await answer.json(); } catch (e) { doc = {error: "HTTP " + answer.status}; }
  return {status: answer.status, doc};
}

async function change(url, body) {
  const d = selected;
  for (const e of document.querySelectorAll(".error")) e.textContent = "";
  result("sending...", true);
  for (const b of document.querySelectorAll("#editor button")) b.disabled = true;
  try {
    const {status, doc} = await post(url, body, "application/json");
    if (status === 200) {
      const good = doc.outcome === "verified" || doc.outcome === "saved" || doc.outcome === "unchanged";
      d.outcome = outcomeOf(doc);
      d.good = good;
      result(d.outcome, good);
    } else {
      const where = doc.field && document.querySelector('.error[data-for="' + doc.field + '"]');
      if (where) where.textContent = doc.error;
      d.outcome = (status === 409 ? "refused before sending: " : "refused: ") + doc.error;
      d.good = false;
      result(d.outcome, false);
    }
  } finally {
    for (const b of document.querySelectorAll("#editor button")) b.disabled = false;
    render();
  }
}

function save(event) {
  event.preventDefault();
  const form = $("edit-form");
  const body = {};
  for (const s of settings) {
    const now = form.elements[s].value.trim();
    const was = s === "dhcp" ? (selected.data.dhcp ? "1" : "0") : text(selected, s);
    if (now !== was) body[s] = s === "dhcp" ? now === "1" : now;
  }
  change("/api/devices/" + encodeURIComponent(selected.data.mac), JSON.stringify(body));
}

// The plan: dry run, then apply.
let planText = "";

function download(id, content, type) {
  const a = $(id);
  if (a.href) URL.revokeObjectURL(a.href);
  a.href = URL.createObjectURL(new Blob([content], {type}));
}

function showPlan(doc) {
  const body = $("dry-run").tBodies[0];
  const errors = new Map();
  for (const e of doc.errors || []) errors.set(e.line, e.message);
  body.replaceChildren(...doc.rows.map((r) => {
    const tr = document.createElement("tr");
    const changes = [];
    if (r.before && r.after)
      for (const s of settings)
        if (JSON.stringify(r.before[s]) !== JSON.stringify(r.after[s]))
          changes.push(s + " " + (r.before[s] ?? "") + " \u2192 " + (r.after[s] ?? ""));
    const probe = r.probe ? (r.probe.probed ? "probed (" + r.probe.by + ")" : "not probed: " + r.probe.why_not) : "";
    const conflict = errors.get(r.line);
    const cells = [r.line, r.mac, conflict ? "conflict" : r.outcome, changes.join(", "), probe,
                   conflict || r.detail || ""];
    for (const c of cells) {
      const td = document.createElement("td");
      td.textContent = String(c);
      tr.appendChild(td);
    }
    if (conflict || r.outcome === "invalid" || r.outcome === "not found") tr.className = "conflict";
    return tr;
  }));
  $("dry-run").hidden = false;
}

async function dryRun(file) {
  planText = await file.text();
  $("apply").hidden = true;
  $("downloads").hidden = true;
  $("plan-message").textContent = "checking...";
  const {status, doc} = await post("/api/plan?dry_run=1", planText, "text/csv");
  if (status !== 200) {
    $("plan-message").textContent = doc.error;
    $("dry-run").hidden = true;
    return;
  }
  showPlan(doc);
  const blocked = (doc.errors || []).length > 0;
  $("plan-message").textContent = blocked
    ? "Nothing can be sent: " + doc.errors.map((e) => "line " + e.line + ": " + e.message).join("; ")
    : (doc.warnings || []).join("; ");
  const n = doc.apply.devices, moved = doc.apply.new_addresses;
  if (!blocked && n > 0) {
    $("apply").textContent = "Apply: change " + n + " device" + (n === 1 ? "" : "s") + " (" +
      moved + " new address" + (moved === 1 ? "" : "es") + ")";
    $("apply").hidden = false;
  }
}

async function apply() {
  $("apply").disabled = true;
  try {
    const {status, doc} = await post("/api/plan", planText, "text/csv");
    if (status !== 200) {
      $("plan-message").textContent = doc.error;
      return;
    }
    showPlan(doc);
    $("apply").hidden = true;
    const counts = Object.entries(doc.counts).map(([k, v]) => v + " " + k).join(", ");
    $("plan-message").textContent = "Done: " + counts;
    download("report-csv", doc.report_csv, "text/csv");
    download("report-json", JSON.stringify({rows: doc.rows, counts: doc.counts}, null, 2), "application/json");
    download("undo-csv", doc.undo, "text/csv");
    $("downloads").hidden = false;
  } finally {
    $("apply").disabled = false;
  }
}

document.addEventListener("DOMContentLoaded", () => {
  for (const th of document.querySelectorAll("th[data-key]")) {
    th.onclick = () => {
      sortDown = th.dataset.key === sortKey ? !sortDown : false;
      sortKey = th.dataset.key;
      render();
    };
  }
  $("filter").oninput = render;
  $("edit-form").onsubmit = save;
  $("undo").onclick = () => change("/api/undo/" + encodeURIComponent(selected.data.mac), "");
  $("close").onclick = () => { selected = null; $("editor").hidden = true; render(); };
  $("plan-file").onchange = (e) => { if (e.target.files[0]) dryRun(e.target.files[0]); };
  $("apply").onclick = apply;
  load();
});
