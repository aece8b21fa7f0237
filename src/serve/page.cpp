#include "serve/serve.h"

namespace talmora {

// Plain HTML, CSS and script: nothing to build, nothing fetched from elsewhere.
const char* const kPreviewPage = R"PAGE(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<title>talmora プレビュー</title>
<style>
  body { font: 14px system-ui, sans-serif; margin: 0; background: #1d1f23; color: #ddd; }
  header { padding: 6px 12px; background: #2a2d33; display: flex; gap: 12px; align-items: baseline; }
  header b { color: #fff; }
  main { display: grid; grid-template-columns: minmax(0, 3fr) minmax(260px, 1fr); gap: 12px; padding: 12px; }
  #stage { background: #000; display: flex; justify-content: center; align-items: center; min-height: 200px; }
  #frame { max-width: 100%; max-height: 55vh; image-rendering: auto; }
  #controls { display: flex; gap: 6px; align-items: center; margin: 8px 0; flex-wrap: wrap; }
  #slider { flex: 1; min-width: 200px; }
  button { background: #3a3f47; color: #eee; border: 1px solid #555; border-radius: 3px; padding: 3px 9px; cursor: pointer; }
  button:hover { background: #4a505a; }
  #time { font-variant-numeric: tabular-nums; min-width: 150px; }
  #playinfo { color: #fc6; min-height: 1.2em; margin-bottom: 4px; }
  #error { display: none; white-space: pre-wrap; background: #5a1e1e; color: #fdd; padding: 6px 10px; margin-bottom: 8px; }
  #timeline { position: relative; background: #25282d; overflow-y: auto; max-height: 30vh; }
  .row { position: relative; height: 20px; border-bottom: 1px solid #2f333a; cursor: pointer; }
  .row .name { position: absolute; left: 4px; top: 2px; width: 170px; overflow: hidden; white-space: nowrap; color: #aaa; font-size: 12px; }
  .row .bar { position: absolute; top: 3px; height: 14px; border-radius: 2px; background: #4c7bd9; }
  .row.sound .bar { background: #3aa676; }
  .row.chosen { background: #343a44; }
  #cursor { position: absolute; top: 0; bottom: 0; width: 1px; background: #f55; pointer-events: none; }
  #track { position: absolute; left: 180px; right: 6px; top: 0; bottom: 0; pointer-events: none; }
  #line { font-family: monospace; white-space: pre-wrap; background: #25282d; padding: 4px 8px; min-height: 1.3em; margin-bottom: 6px; }
  #problems { list-style: none; padding: 0; margin: 0; }
  #problems li { padding: 4px 6px; border-bottom: 1px solid #333; cursor: pointer; }
  #problems li:hover { background: #2e3238; }
  #problems .ln { color: #fc6; margin-right: 6px; }
  h2 { font-size: 13px; margin: 0 0 6px; color: #bbb; }
  audio { width: 100%; margin-top: 8px; }
</style>
</head>
<body>
<header><b>talmora</b><span id="size"></span><span id="status"></span></header>
<main>
  <section>
    <div id="error"></div>
    <div id="stage"><img id="frame" alt=""></div>
    <div id="controls">
      <button id="first" title="先頭へ">|◀◀</button>
      <button id="back" title="1フレーム戻る">◀|</button>
      <button id="play" title="再生 / 停止">▶</button>
      <button id="forward" title="1フレーム進む">|▶</button>
      <input id="slider" type="range" min="0" max="0" step="1" value="0">
      <span id="time"></span>
    </div>
    <div id="playinfo"></div>
    <div id="line"></div>
    <div id="timeline"><div id="rows"></div><div id="track"><div id="cursor"></div></div></div>
  </section>
  <aside>
    <h2>問題 (<span id="count">0</span>)</h2>
    <ul id="problems"></ul>
    <h2 style="margin-top:14px">音</h2>
    <button id="listen">この前後 5 秒を聞く</button>
    <audio id="audio" controls></audio>
  </aside>
</main>
<script>
"use strict";
const $ = (id) => document.getElementById(id);
const state = { timeline: null, index: 0, version: -1, source: [], playing: false, wanted: 0, shown: 0 };
// What a test or a measurement reads: the version and time of the frame on screen.
window.talmora = { shownVersion: -1, shownIndex: -1, shownAt: 0, dropped: 0, played: 0 };

function fps() { return state.timeline && state.timeline.fps > 0 ? state.timeline.fps : 30; }
function frames() { return state.timeline && state.timeline.frames > 0 ? state.timeline.frames : 1; }
function seconds(index) { return index / fps(); }

// The newest frame asked for is the one shown: an older answer arriving late is dropped.
let asked = 0;
async function showFrame(index, size, format) {
  const ticket = ++asked;
  const version = state.version;
  const t = seconds(index);
  let response;
  try {
    response = await fetch(`/frame?t=${t}&size=${size}&format=${format}&v=${version}`);
  } catch (e) { return false; }
  if (!response.ok || ticket !== asked) return false;
  const blob = await response.blob();
  if (ticket !== asked) return false;
  const img = $("frame");
  const old = img.src;
  await new Promise((done) => { img.onload = done; img.onerror = done; img.src = URL.createObjectURL(blob); });
  if (old.startsWith("blob:")) URL.revokeObjectURL(old);
  Object.assign(window.talmora, { shownVersion: version, shownIndex: index, shownAt: Date.now() });
  return true;
}

function setIndex(index, draw = true) {
  state.index = Math.max(0, Math.min(frames() - 1, index));
  $("slider").value = state.index;
  const t = seconds(state.index);
  $("time").textContent = `${t.toFixed(3)} s / ${state.timeline ? state.timeline.length : 0} s  (#${state.index})`;
  const track = $("track");
  const length = state.timeline && state.timeline.length > 0 ? state.timeline.length : 1;
  $("cursor").style.left = `${(t / length) * 100}%`;
  if (draw) showFrame(state.index, "view", "png");
}

function showLine(line) {
  const text = state.source[line - 1];
  $("line").textContent = line > 0 ? `${line}: ${text === undefined ? "" : text.trim().replace(/\s+/g, " ")}` : "";
}

function drawTimeline() {
  const rows = $("rows");
  rows.textContent = "";
  const t = state.timeline;
  if (!t || !t.elements) return;
  const length = t.length > 0 ? t.length : 1;
  // Top of the picture first, then the sounds.
  const elements = t.elements.slice().sort((a, b) =>
    (a.depth === null) - (b.depth === null) || (b.depth ?? 0) - (a.depth ?? 0) || a.line - b.line);
  for (const e of elements) {
    const row = document.createElement("div");
    row.className = "row" + (e.depth === null ? " sound" : "");
    const name = document.createElement("div");
    name.className = "name";
    name.textContent = `${e.line}: <${e.tag}> ${e.label}`;
    const bar = document.createElement("div");
    bar.className = "bar";
    const start = Math.max(0, e.start), end = Math.min(length, e.end ?? length);
    bar.style.left = `calc(180px + (100% - 186px) * ${start / length})`;
    bar.style.width = `max(2px, calc((100% - 186px) * ${Math.max(0, end - start) / length}))`;
    bar.title = `${e.start} – ${e.end} s, z ${e.depth ?? "-"}`;
    row.append(name, bar);
    row.onclick = () => {
      for (const r of rows.children) r.classList.remove("chosen");
      row.classList.add("chosen");
      stop();
      setIndex(Math.ceil(Math.max(0, e.start) * fps() - 1e-9));
      showLine(e.line);
    };
    rows.append(row);
  }
}

function drawProblems(p) {
  const list = $("problems");
  list.textContent = "";
  const items = p.problems || [];
  $("count").textContent = items.length;
  for (const item of items) {
    const li = document.createElement("li");
    const ln = document.createElement("span");
    ln.className = "ln";
    ln.textContent = `行 ${item.line}`;
    li.append(ln, document.createTextNode(item.text));
    li.onclick = () => showLine(item.line);
    list.append(li);
  }
}

// Everything again after a change on disk, or at the start: a new reading's frame is asked for
// at once, alongside its timeline; the problems come on their own, once checked.
async function refresh(version) {
  const changed = version !== state.version;
  if (changed && state.timeline && !state.playing) {
    state.version = version;
    showFrame(state.index, "view", "png");
  }
  const [timeline, problems, source] = await Promise.all([
    changed ? fetch("/timeline").then((r) => r.json()) : null, fetch("/problems").then((r) => r.json()),
    fetch("/source").then((r) => r.text())]);
  state.source = source.split("\n");
  drawProblems(problems);
  if (!timeline) return;
  const error = $("error");
  error.style.display = timeline.error ? "block" : "none";
  error.textContent = timeline.error ? `スクリプトを読み込めません (前に読めたものを表示しています)\n${timeline.error}` : "";
  if (timeline.elements) {
    const first = !state.timeline;
    state.timeline = timeline;
    state.version = timeline.version;
    $("slider").max = frames() - 1;
    $("size").textContent = `${timeline.width}×${timeline.height}, ${timeline.fps} fps, ${timeline.length} s`;
    drawTimeline();
    // A shorter movie may have left the time past its end.
    const index = Math.min(state.index, frames() - 1);
    if (!state.playing) setIndex(index, first || index !== state.index);
  }
}

// Play: the movie's clock runs in real time and each frame drawn shows the time it has reached;
// frames that would come late are never asked for.
let clock = null;
async function playLoop() {
  while (state.playing) {
    const index = Math.floor(clock.from + ((performance.now() - clock.start) / 1000) * fps());
    if (index >= frames()) { stop(); setIndex(frames() - 1); break; }
    if (index > state.wanted + 1) window.talmora.dropped += index - state.wanted - 1;
    state.wanted = index;
    setIndex(index, false);
    if (await showFrame(index, "half", "jpeg")) window.talmora.played++;
    const spent = (performance.now() - clock.start) / 1000;
    const rate = spent > 0 ? window.talmora.played / spent : 0;
    $("playinfo").textContent = window.talmora.dropped > 0
      ? `半分の大きさで再生中 : ${rate.toFixed(1)} fps、描画が追いつかず ${window.talmora.dropped} フレームを飛ばしました`
      : `半分の大きさで再生中 : ${rate.toFixed(1)} fps`;
    await new Promise((r) => requestAnimationFrame(r));
  }
}
function play() {
  if (state.playing) return stop();
  if (state.index >= frames() - 1) setIndex(0, false);
  state.playing = true;
  clock = { from: state.index, start: performance.now() };
  Object.assign(window.talmora, { dropped: 0, played: 0 });
  state.wanted = state.index - 1;
  $("play").textContent = "■";
  const t = seconds(state.index);
  const audio = $("audio");
  audio.src = `/sound?from=${t}&to=${Math.min(t + 10, state.timeline.length)}`;
  audio.play().catch(() => {});
  playLoop();
}
function stop() {
  if (!state.playing) return;
  state.playing = false;
  $("play").textContent = "▶";
  $("audio").pause();
  setIndex(state.index);
}

$("slider").oninput = () => { stop(); setIndex(Number($("slider").value)); };
$("first").onclick = () => { stop(); setIndex(0); };
$("back").onclick = () => { stop(); setIndex(state.index - 1); };
$("forward").onclick = () => { stop(); setIndex(state.index + 1); };
$("play").onclick = play;
$("listen").onclick = () => {
  if (!state.timeline) return;
  const t = seconds(state.index);
  const from = Math.max(0, t - 2.5), to = Math.min(state.timeline.length, from + 5);
  const audio = $("audio");
  audio.src = `/sound?from=${from}&to=${to}`;
  audio.play().catch(() => {});
};
document.addEventListener("keydown", (e) => {
  if (e.target.tagName === "INPUT" && e.key !== " ") return;
  if (e.key === "ArrowLeft") { stop(); setIndex(state.index - 1); }
  else if (e.key === "ArrowRight") { stop(); setIndex(state.index + 1); }
  else if (e.key === " ") { e.preventDefault(); play(); }
});

const events = new EventSource("/events");
events.onmessage = (event) => refresh(Number(event.data));
events.onerror = () => { $("status").textContent = "サーバーとの接続が切れました"; };
events.onopen = () => { $("status").textContent = ""; };
</script>
</body>
</html>
)PAGE";

}  // namespace talmora
