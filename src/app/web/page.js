// SPDX-License-Identifier: MIT
// The control API's page. It watches the status with one long poll (status/wait answers as soon
// as anything it tells changes) and then fetches only what is new: pages, calls and findings after
// the last it has, the suite's cases, the timeline of the call it shows. Every control is a
// request to the API's own routes; an error the API answers is shown as its text. Text from the
// line is only ever set as text, never as markup.
"use strict";

const API = "/api/v1";
// Rows kept in each table; older ones are dropped from the page (the API keeps more).
const MaxRows = 300;
// After each answer of the long poll, at least this long before the next one.
const MinUpdateMs = 200;
// How long the long poll waits; while a call still on is shown, its timeline is drawn again at
// least this often even when nothing else changes (its clock goes on).
const WaitMs = 25000;
const LiveWaitMs = 1000;

const seen = { change: null, page: 0, call: 0, finding: 0, timelineAt: null };
const calls = []; // the call records shown, newest first
let live = []; // the lines with a call on them: {line, state, call}
let shown = null; // the call whose timeline is shown
let shownLive = false; // and whether it was still on when drawn
let draws = 0; // timelines asked for, to ask afresh each time
let planDirty = false;
const pending = new Set(); // fault boxes whose PUT has not been answered

const $ = (id) => document.getElementById(id);
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

class ApiError extends Error {}

// One request to the API; its JSON answer, or an ApiError with the API's own error text.
async function request(method, path, body) {
  const options = { method, cache: "no-store", headers: {} };
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
  }
  const answer = await fetch(API + path, options);
  let json = null;
  try {
    json = await answer.json();
  } catch (e) {
    json = null;
  }
  if (!answer.ok)
    throw new ApiError(json && json.error ? json.error : answer.status + " " + answer.statusText);
  return json;
}

// Control characters shown by name, so that CR, ETX and the like are seen.
const ControlNames = ["NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF",
  "VT", "FF", "CR", "SO", "SI", "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN",
  "EM", "SUB", "ESC", "FS", "GS", "RS", "US"];
function visible(text) {
  return String(text).replace(/[\x00-\x1f\x7f]/g, (c) => {
    const code = c.charCodeAt(0);
    return "<" + (code === 0x7f ? "DEL" : ControlNames[code]) + ">";
  });
}

function clock(iso) {
  if (!iso)
    return "";
  const time = new Date(iso);
  return isNaN(time) ? String(iso) : time.toLocaleTimeString();
}

function seconds(fromIso, toIso) {
  const ms = new Date(toIso) - new Date(fromIso);
  return isNaN(ms) ? "" : (ms / 1000).toFixed(1) + " s";
}

function cell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className)
    td.className = className;
  return td;
}

function showError(text) {
  $("control-error").textContent = text;
}

function setLink(up, why) {
  const link = $("link");
  link.className = up ? "link" : "link down";
  link.textContent = up ? "live" : "no answer" + (why ? ": " + why : "");
}

// --- Status ----------------------------------------------------------------------------------

function showStatus(status) {
  $("version").textContent = "version " + status.version;
  $("line-port").textContent = status.line_port;
  $("api-port").textContent = status.api_port;
  $("lines").textContent = status.lines + (status.lines === 1 ? " line, " : " lines, ")
    + status.busy_lines + " busy";
  $("state").textContent = status.state + (status.connected ? " (a caller is on)" : "");
  $("profiles").textContent = "modem " + status.profiles.modem + ", terminal "
    + status.profiles.terminal;
  const f = status.findings;
  $("finding-totals").textContent = f.error + " errors, " + f.warning + " warnings, "
    + f.note + " notes";
  showFaults(status.faults);
  showProfiles(status.profiles);
  if (!planDirty)
    showPlan(status.plan);
  live = status.busy.filter((b) => b.call > 0);
}

function faultLabel(key) {
  return key === "send_disconnect" ? "SEND DISCONNECT" : key.replace(/_/g, " ").toUpperCase();
}

function showFaults(faults) {
  const boxes = $("faults");
  for (const [key, on] of Object.entries(faults)) {
    let box = $("fault-" + key);
    if (!box) {
      const label = document.createElement("label");
      box = document.createElement("input");
      box.type = "checkbox";
      box.id = "fault-" + key;
      box.addEventListener("change", () => setFault(key, box));
      label.append(box, faultLabel(key));
      boxes.append(label);
    }
    if (!pending.has(key))
      box.checked = on;
  }
}

async function setFault(key, box) {
  const wanted = box.checked;
  pending.add(key);
  try {
    showFaults(await request("PUT", "/faults", { [key]: wanted }));
    showError("");
  } catch (e) {
    box.checked = !wanted;
    showError(e.message);
  } finally {
    pending.delete(key);
  }
}

function showProfiles(profiles) {
  for (const kind of ["modem", "terminal"]) {
    const choice = $(kind);
    if (document.activeElement !== choice)
      choice.value = profiles[kind];
  }
}

async function setProfile(kind) {
  try {
    showProfiles(await request("PUT", "/profiles", { [kind]: $(kind).value }));
    showError("");
  } catch (e) {
    showError(e.message);
  }
}

// --- The fault plan ----------------------------------------------------------------------------

const words = (text) => text.split(/[\s,]+/).filter((w) => w.length > 0);

// "5550001=busy 1234=rej" as {"5550001": "busy", "1234": "rej"}; a word without "=" is sent as
// it is, for the API to name.
function assignments(text) {
  const out = {};
  for (const item of text.split(/\s+/).filter((w) => w.length > 0)) {
    const at = item.indexOf("=");
    if (at < 0)
      out[item] = "";
    else
      out[item.slice(0, at)] = item.slice(at + 1);
  }
  return out;
}

function showPlan(plan) {
  $("plan-dial").value = plan.dial.join(", ");
  $("plan-block").value = plan.block.join(", ");
  $("plan-numbers").value = Object.entries(plan.numbers).map(([k, v]) => k + "=" + v).join(" ");
  $("plan-pagers").value = Object.entries(plan.pagers).map(([k, v]) => k + "=" + v).join(" ");
}

async function changePlan(method, body) {
  try {
    showPlan(await request(method, "/plan", body));
    planDirty = false;
    $("plan-note").textContent = method === "DELETE" ? "cleared" : "in force";
    showError("");
  } catch (e) {
    $("plan-note").textContent = "not applied: the plan in force is unchanged";
    showError(e.message);
  }
}

function applyPlan(event) {
  event.preventDefault();
  const plan = {};
  const dial = words($("plan-dial").value);
  const block = words($("plan-block").value);
  if (dial.length > 0)
    plan.dial = dial;
  if (block.length > 0)
    plan.block = block;
  const numbers = assignments($("plan-numbers").value);
  const pagers = assignments($("plan-pagers").value);
  if (Object.keys(numbers).length > 0)
    plan.numbers = numbers;
  if (Object.keys(pagers).length > 0)
    plan.pagers = pagers;
  changePlan("PUT", plan);
}

// --- Records ---------------------------------------------------------------------------------

function keepRows(body) {
  while (body.rows.length > MaxRows)
    body.deleteRow(body.rows.length - 1);
}

function addPage(page) {
  const row = $("pages").tBodies[0].insertRow(0);
  cell(row, page.seq);
  cell(row, clock(page.time));
  cell(row, page.call);
  cell(row, visible(page.pager), "text");
  cell(row, visible(page.message), "text");
  cell(row, page.reply + (page.reason ? " (" + page.reason + ")" : ""), "reply-" + page.reply);
}

function addFinding(finding) {
  const row = $("findings").tBodies[0].insertRow(0);
  cell(row, clock(finding.time));
  cell(row, finding.call);
  cell(row, finding.level, "level-" + finding.level);
  cell(row, finding.rule);
  cell(row, finding.text);
  row.title = finding.evidence ? "evidence: " + visible(finding.evidence) : "";
}

function pagesText(pages) {
  const parts = [];
  for (const reply of ["ACK", "NAK", "RS", "none"]) {
    if (pages[reply] > 0)
      parts.push(pages[reply] + " " + reply);
  }
  return parts.join(", ") || "none";
}

function findingsText(counts) {
  const parts = [];
  for (const level of ["error", "warning", "note"]) {
    if (counts[level] > 0)
      parts.push(counts[level] + " " + level + (counts[level] === 1 ? "" : "s"));
  }
  return parts.join(", ");
}

function pick(row, id) {
  row.className += " pick";
  row.addEventListener("click", () => {
    $("follow").checked = false;
    showTimeline(id, true);
  });
}

// The calls on the lines now, then the recorded calls, newest first.
function showCalls() {
  const body = $("calls").tBodies[0];
  body.replaceChildren();
  for (const b of live) {
    if (calls.some((c) => c.id === b.call))
      continue;
    const row = body.insertRow();
    row.className = "live";
    row.dataset.call = b.call;
    cell(row, b.call);
    cell(row, b.line);
    cell(row, "on now");
    cell(row, "");
    cell(row, "");
    cell(row, "");
    cell(row, b.state);
    cell(row, "");
    pick(row, b.call);
  }
  for (const c of calls) {
    const row = body.insertRow();
    row.dataset.call = c.id;
    cell(row, c.id);
    cell(row, c.line || 1); // the one line without a bank is line 1, as in the status
    cell(row, clock(c.start));
    cell(row, seconds(c.start, c.end));
    cell(row, c.dials.map((d) => visible(d.number) + " " + d.outcome).join(", "));
    cell(row, pagesText(c.pages));
    cell(row, c.ended);
    cell(row, findingsText(c.findings));
    pick(row, c.id);
  }
  for (const row of body.rows)
    row.classList.toggle("chosen", Number(row.dataset.call) === shown);
}

async function fetchRecords(records) {
  if (records.last_page > seen.page) {
    const { pages } = await request("GET", "/pages?since=" + seen.page);
    for (const page of pages)
      addPage(page);
    seen.page = records.last_page;
    keepRows($("pages").tBodies[0]);
  }
  if (records.last_finding > seen.finding) {
    const { findings } = await request("GET", "/findings?since=" + seen.finding);
    for (const finding of findings)
      addFinding(finding);
    seen.finding = records.last_finding;
    keepRows($("findings").tBodies[0]);
  }
  if (records.last_call > seen.call) {
    const got = (await request("GET", "/calls?since=" + seen.call)).calls;
    calls.unshift(...got.reverse());
    calls.length = Math.min(calls.length, MaxRows);
    seen.call = records.last_call;
  }
}

// --- The timeline ----------------------------------------------------------------------------

// Shows call `id`'s timeline; a call still on is drawn again as it grows (`again`).
function showTimeline(id, again) {
  const picture = $("timeline");
  if (id === null) {
    picture.hidden = true;
    $("timeline-none").hidden = false;
    return;
  }
  const on = live.some((b) => b.call === id);
  // A call drawn while it was on is drawn once more when it has ended.
  if (id === shown && !again && !on && !shownLive)
    return;
  shown = id;
  shownLive = on;
  $("timeline-title").textContent = "Timeline of call " + id + (on ? " (on now)" : "");
  picture.alt = "the timeline of call " + id;
  picture.src = API + "/calls/" + id + "/timeline.svg?draw=" + ++draws;
  picture.hidden = false;
  $("timeline-none").hidden = true;
  for (const row of $("calls").tBodies[0].rows)
    row.classList.toggle("chosen", Number(row.dataset.call) === shown);
}

function followTimeline() {
  if ($("follow").checked) {
    const newest = live.length > 0 ? live[live.length - 1].call
      : calls.length > 0 ? calls[0].id : null;
    showTimeline(newest, live.some((b) => b.call === newest));
  } else if (shown !== null && live.some((b) => b.call === shown)) {
    showTimeline(shown, true);
  }
}

// --- The suite -------------------------------------------------------------------------------

let suiteRuns = null; // unknown until asked

async function fetchSuite() {
  if (suiteRuns === false)
    return;
  let suite;
  try {
    suite = await request("GET", "/suite");
  } catch (e) {
    if (e instanceof ApiError) {
      suiteRuns = false;
      return;
    }
    throw e;
  }
  suiteRuns = true;
  $("suite-panel").hidden = false;
  const t = suite.totals;
  $("suite-totals").textContent = t.cases + " cases, " + t.decided + " decided: " + t.pass
    + " pass, " + t.non_strict + " non-strict, " + t.info + " info, " + t.fail + " fail, "
    + t.no_show + " no-show" + (suite.current ? "; now playing " + suite.current : "; done");
  const body = $("cases").tBodies[0];
  body.replaceChildren();
  for (const c of suite.cases) {
    const row = body.insertRow();
    cell(row, c.id + " " + c.title).title = c.does + "\nExpects: " + c.expects;
    cell(row, c.verdict, "verdict-" + c.verdict);
    cell(row, c.reason);
    if (c.calls.length > 0)
      pick(row, c.calls[c.calls.length - 1]);
    if (c.id === suite.current)
      row.classList.add("chosen");
  }
}

// --- The watch -------------------------------------------------------------------------------

async function update(status) {
  showStatus(status);
  await fetchRecords(status.records);
  showCalls();
  await fetchSuite();
  followTimeline();
  seen.change = status.change;
}

async function watch() {
  let lost = false;
  for (;;) {
    try {
      const wait = shownLive ? LiveWaitMs : WaitMs;
      const path = seen.change === null ? "/status"
        : "/status/wait?since=" + seen.change + "&timeout=" + wait;
      const status = await request("GET", path);
      // Once the simulator has been out of reach it may be another run, numbered afresh: the
      // page starts again from what that one has.
      if (lost) {
        location.reload();
        return;
      }
      await update(status);
      setLink(true);
    } catch (e) {
      setLink(false, e.message);
      lost = !(e instanceof ApiError);
      await sleep(2000);
    }
    await sleep(MinUpdateMs);
  }
}

function start() {
  $("modem").addEventListener("change", () => setProfile("modem"));
  $("terminal").addEventListener("change", () => setProfile("terminal"));
  const form = $("plan-form");
  form.addEventListener("submit", applyPlan);
  form.addEventListener("input", () => {
    planDirty = true;
    $("plan-note").textContent = "not applied yet";
  });
  $("plan-clear").addEventListener("click", () => changePlan("DELETE"));
  $("suite-restart").addEventListener("click", async () => {
    try {
      await request("POST", "/suite/restart", {});
      showError("");
    } catch (e) {
      showError(e.message);
    }
  });
  $("follow").addEventListener("change", followTimeline);
  watch();
}

start();
