// The Flash movies' speed, in one run of one browser and one stage page: the cabinet's intro is an HTML5
// movie and its game the Flash probe (web/test/flash-movies.mjs), one after the other in the same stage.
//
//   round trip      a command raised on a movie's frame to its answer set in the movie (the host's done):
//                   GET_WRAPPER_VERSION from the Flash game, against the same command from the HTML5
//                   intro before it in the same page, raised on the page's frame clock; with the Flash round trip taken
//                   apart (the player's tick, the page held by the frame's drawing, the host's answer),
//                   the cost of one call into the player, and a bare WebSocket echo through the host's own
//                   server bounced from a frame in each phase: the floor the machine gives any round trip
//   first command   the page's start to the Flash intro's first fscommand (a page of its own), with the
//                   page's loads on the way
//   next frame      the host's SetVariable to the frame of the 30 fps game that reads it
//   power-on        `quizhost --kiosk` started to the Flash intro's first frame (the host hears its first
//                   fscommand), Debian's Chromium started by the host as on a cabinet
//
//   node web/bench/flash.mjs [COUNT] [--runs N] [--gpu-compositing]
//                                                  (after building quizhost, quizhost-swf and tccomm)
//
// Targets: the round trip at most 1.5 times the HTML5 one; the first fscommand within 1.5 s; SetVariable
// to the next frame p99 within two frames (66.7 ms at 30 fps); power-on under 3 s.
import { spawn } from "node:child_process";
import { writeFileSync } from "node:fs";
import { cpus, loadavg } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { makeFlashCabinet } from "../test/flash-movies.mjs";
import { chromium } from "playwright-core";
import {
  chromiumArgs,
  chromiumBin,
  launchBrowser,
  makeCabinet,
  openStage,
  quizhostBin,
  startHost,
} from "../test/support.mjs";

const here = dirname(fileURLToPath(import.meta.url));

const runsAt = process.argv.indexOf("--runs");
const runs = runsAt > 0 ? Number(process.argv[runsAt + 1]) : 3;
const count = Number(process.argv.slice(2).find((arg, i, all) => /^\d+$/.test(arg) && all[i - 1] !== "--runs") || 300);
const warmUp = 20;

const sortedOf = (list) => [...list].sort((a, b) => a - b);
const at = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.ceil(q * sorted.length) - 1)];
const median = (list) => at(sortedOf(list), 0.5);
const p99 = (list) => at(sortedOf(list), 0.99);
const figures = (list) => {
  const s = sortedOf(list);
  return `median ${at(s, 0.5).toFixed(2)} ms, p90 ${at(s, 0.9).toFixed(2)}, p99 ${at(s, 0.99).toFixed(2)}, max ${s.at(-1).toFixed(2)}`;
};
const verdict = (ok) => (ok ? "pass" : "MISS");

// An intro whose first frame raises a command, and whose second ends the intro.
const flashIntro = `movie version=8 rate=30\nactions\n  fscommand "TO_LOG" "first frame"\nend\nframe\nactions\n  fscommand "INTRO_END" ""\n  stop\nend\nframe\n`;

// An HTML5 intro that waits for the bench to end it.
const htmlIntro = `<!doctype html><meta charset="utf-8"><title>bench intro</title><script src="/runtime/movie.js"></script>\n`;

// Stamps the stage's first command to the host, and the tasks the page runs: set before the stage loads.
function watchPage() {
  const send = WebSocket.prototype.send;
  WebSocket.prototype.send = function (data) {
    if (window.firstCommandAt === undefined && String(data).includes('"type":"fs"')) {
      window.firstCommandAt = performance.now();
    }
    return send.call(this, data);
  };
}

// The HTML5 round trips, in the page, from the intro: each raised from a callback of the page's frame
// clock, as a movie raises its commands from its frames; then the intro ends.
async function htmlTrips({ n, warmUp }) {
  const html = document.querySelector('.layer[data-form="intro"] iframe').contentWindow.movie;
  // A bare WebSocket echo through the host's own server (/echo), bounced from the same point of the frame:
  // the floor the machine gives any round trip at that moment.
  const key = sessionStorage.getItem("quizhost.key") ?? "";
  const echo = new WebSocket(`ws://${location.host}/echo?key=${encodeURIComponent(key)}`);
  await new Promise((opened, failed) => {
    echo.onopen = opened;
    echo.onerror = () => failed(new Error("the echo did not open"));
  });
  const bounce = () =>
    new Promise((back) => {
      const began = performance.now();
      echo.onmessage = () => back(performance.now() - began);
      echo.send('{"type":"fs","form":"main","load":1,"id":1,"command":"GET_WRAPPER_VERSION","args":""}');
    });
  const echoes = [];
  const times = [];
  for (let i = 0; i < n + warmUp; i += 1) {
    await new Promise((next) => requestAnimationFrame(next));
    const began = performance.now();
    await html.fscommand("GET_WRAPPER_VERSION", "");
    if (i >= warmUp) times.push(performance.now() - began);
    await new Promise((next) => requestAnimationFrame(next));
    const took = await bounce();
    if (i >= warmUp) echoes.push(took);
  }
  echo.close();
  html.fscommand("INTRO_END", "");
  return { times, echoes };
}

// The Flash round trips, in the same page, from the game.
async function flashTrips({ n, warmUp }) {
  const movie = window.quizhostStage.layers.main.flash;
  // A bare WebSocket echo through the host's own server (/echo), bounced from the same point of the frame:
  // the floor the machine gives any round trip at that moment.
  const key = sessionStorage.getItem("quizhost.key") ?? "";
  const echo = new WebSocket(`ws://${location.host}/echo?key=${encodeURIComponent(key)}`);
  await new Promise((opened, failed) => {
    echo.onopen = opened;
    echo.onerror = () => failed(new Error("the echo did not open"));
  });
  const bounce = () =>
    new Promise((back) => {
      const began = performance.now();
      echo.onmessage = () => back(performance.now() - began);
      echo.send('{"type":"fs","form":"main","load":1,"id":1,"command":"GET_WRAPPER_VERSION","args":""}');
    });
  const echoes = [];
  const wake = new MessageChannel();
  let woke = null;
  wake.port1.onmessage = () => woke && woke(performance.now());

  // Flash: the probe raises the command on its next frame; the round trip is from the raise (inside the
  // player's tick) to the host's done, by which the answer is set in the movie.
  const flash = { total: [], tick: [], free: [] };
  let current = null;
  const raise = movie.raise;
  movie.raise = (command, args) => {
    const id = raise(command, args);
    if (command === "GET_WRAPPER_VERSION") {
      current = { id, raised: performance.now() };
      // The first moment the page runs a task of its own after the raise: what held it till then is
      // the player's tick and the browser's drawing of the frame, not the host.
      woke = (now) => current && current.free === undefined && (current.free = now - current.raised);
      wake.port2.postMessage(null);
      queueMicrotask(() => current && (current.tick = performance.now() - current.raised));
    }
    return id;
  };
  const done = movie.done.bind(movie);
  movie.done = (id) => {
    done(id);
    if (current && current.id === id) current.total = performance.now() - current.raised;
  };

  for (let i = 0; i < n + warmUp; i += 1) {
    current = null;
    movie.setVariable("ask_variable", "vb_wrapper_version");
    movie.setVariable("ask_command", "GET_WRAPPER_VERSION");
    const before = movie.getVariable("read_on");
    const deadline = performance.now() + 10000;
    while (!(current && current.total !== undefined && current.free !== undefined)) {
      if (performance.now() > deadline) throw new Error(`the Flash game never raised command ${i}`);
      await new Promise((later) => setTimeout(later, 1));
    }
    while (movie.getVariable("read_on") === before) await new Promise((later) => setTimeout(later, 1));
    await new Promise((next) => requestAnimationFrame(next));
    const took = await bounce();
    if (i >= warmUp) echoes.push(took);
    if (i >= warmUp) {
      flash.total.push(current.total);
      flash.tick.push(current.tick);
      flash.free.push(current.free);
    }
  }

  // One call into the player, outside its frames: the shim's state callback, and GetVariable.
  const player = movie.player;
  // The page's clock has a resolution of 0.1 ms: each figure is a batch of 50 calls, divided.
  const callCost = (call) => {
    const times = [];
    for (let i = 0; i < 40; i += 1) {
      const began = performance.now();
      for (let j = 0; j < 50; j += 1) call();
      times.push((performance.now() - began) / 50);
    }
    return times;
  };
  echo.close();
  return {
    flash,
    echoes,
    stateCall: callCost(() => player.qhState()),
    getCall: callCost(() => player.qhGetVariable("frame_no")),
  };
}

// SetVariable, at times unrelated to the frames, to the end of the player's tick in which the probe's next
// frame has read the value.
async function nextFrames({ n }) {
  const movie = window.quizhostStage.layers.main.flash;
  let waiting = null;
  const request = window.requestAnimationFrame;
  window.requestAnimationFrame = (callback) =>
    request((now) => {
      callback(now);
      if (waiting && movie.getVariable("seen") === waiting.value) {
        waiting.took = performance.now() - waiting.set;
        const resolve = waiting.resolve;
        waiting = null;
        resolve();
      }
    });
  const times = [];
  for (let i = 0; i < n; i += 1) {
    await new Promise((later) => setTimeout(later, Math.random() * 40));
    const value = `v${i}`;
    const sample = { value, set: performance.now() };
    const read = new Promise((resolve) => (sample.resolve = resolve));
    waiting = sample;
    movie.setVariable("probe_in", value);
    movie.setVariable("pending", "probe_in"); // the probe's next frame copies it into "seen"
    await read;
    times.push(sample.took);
  }
  window.requestAnimationFrame = request;
  return times;
}

// The page's start to its first fscommand, and the page's loads on the way.
async function firstCommand(browser) {
  const cabinet = makeFlashCabinet({ intro: { version: 8, source: flashIntro } });
  const host = await startHost(cabinet.root, { trace: false });
  const stage = await openStage(browser);
  try {
    await stage.page.addInitScript(watchPage);
    await stage.page.goto(host.stageUrl);
    await stage.page.waitForFunction(() => window.firstCommandAt !== undefined, null, { timeout: 30000 });
    return await stage.page.evaluate(() => {
      const loads = performance
        .getEntriesByType("resource")
        .filter((entry) => /\/(ruffle|shim|swf)\//.test(entry.name) || entry.name.endsWith(".wasm"))
        .map((entry) => ({
          name: new URL(entry.name).pathname.replace(/^\/ruffle\//, ""),
          start: entry.startTime,
          end: entry.responseEnd,
        }));
      return { first: window.firstCommandAt, loads };
    });
  } finally {
    await stage.close();
    await host.stop();
    cabinet.remove();
  }
}

// `quizhost --kiosk`, as kiosk.mjs starts it, with a Flash intro or kiosk.mjs's HTML5 one: the time from
// its start to the intro's first fscommand reaching the host (its transcript line).
async function powerOn(kind) {
  const cabinet =
    kind === "flash"
      ? makeFlashCabinet({ intro: { version: 8, source: flashIntro } })
      : makeCabinet({ intro: join(here, "kiosk", "intro"), game: join(here, "kiosk", "game") });
  if (kind !== "flash") {
    writeFileSync(join(cabinet.root, "flash_game", "settings.js"), "window.kioskBench = { count: 0, warmUp: 0 };\n");
  }
  const args = [
    "--root",
    cabinet.root,
    "--http-port",
    "0",
    "--display",
    "none",
    "--trace",
    "--kiosk",
    "--browser",
    chromiumBin,
  ];
  if (process.getuid && process.getuid() === 0) args.push("--browser-arg=--no-sandbox");
  if (!process.env.DISPLAY) args.push("--browser-arg=--headless", "--browser-arg=--window-size=800,600");
  const started = Date.now();
  const host = spawn(quizhostBin, args, { stdio: ["ignore", "ignore", "pipe"] });
  const exited = new Promise((done) => host.once("exit", done));
  try {
    return await new Promise((heard, failed) => {
      let text = "";
      const timer = setTimeout(() => failed(new Error("no fscommand from the Flash intro within 30 s")), 30000);
      host.stderr.setEncoding("utf8");
      host.stderr.on("data", (chunk) => {
        text += chunk;
        if (/^fs\tintro\t/m.test(text)) {
          clearTimeout(timer);
          heard(Date.now() - started);
        }
      });
    });
  } finally {
    if (host.exitCode === null) host.kill("SIGTERM");
    await exited;
    cabinet.remove();
  }
}

// --gpu-compositing: Chromium composites on its GPU process (SwiftShader here, a real GPU on a cabinet)
// instead of in software, so the page no longer reads the player's canvas back at each drawn frame.
const gpuCompositing = process.argv.includes("--gpu-compositing");
const browser = gpuCompositing
  ? await chromium.launch({
      executablePath: chromiumBin,
      headless: true,
      args: [
        ...chromiumArgs.filter((arg) => arg !== "--disable-gpu"),
        "--use-angle=swiftshader",
        "--enable-unsafe-swiftshader",
      ],
    })
  : await launchBrowser();
let same;
let frames;
let first;
try {
  const cabinet = makeFlashCabinet({ intro: "html", game: { version: 8 } });
  writeFileSync(join(cabinet.root, "intro", "index.html"), htmlIntro);
  const host = await startHost(cabinet.root, { trace: false });
  const stage = await openStage(browser);
  try {
    await stage.page.goto(host.stageUrl);
    await stage.page.waitForFunction(
      () => document.querySelector('.layer[data-form="intro"] iframe')?.contentWindow?.movie?.frame > 5,
      null,
      { timeout: 30000, polling: 50 },
    );
    const { times: html, echoes: htmlEchoes } = await stage.page.evaluate(htmlTrips, { n: count, warmUp });
    await stage.page.waitForFunction(
      () =>
        window.quizhostStage.layers.main.flash?.ready &&
        window.quizhostStage.layers.main.flash.getVariable("frame_no") > 5,
      null,
      { timeout: 30000, polling: 50 },
    );
    same = { html, htmlEchoes, ...(await stage.page.evaluate(flashTrips, { n: count, warmUp })) };
    frames = await stage.page.evaluate(nextFrames, { n: count });
  } finally {
    await stage.close();
    await host.stop();
    cabinet.remove();
  }
  first = [];
  for (let i = 0; i < runs; i++) first.push(await firstCommand(browser));
} finally {
  await browser.close();
}
const power = [];
const htmlPower = [];
for (let i = 0; i < runs; i++) {
  power.push(await powerOn("flash"));
  htmlPower.push(await powerOn("html"));
}

const ratio = median(same.flash.total) / median(same.html);
const ratio99 = p99(same.flash.total) / p99(same.html);
console.log(
  `Flash movies, one stage page: an HTML5 intro, then a 30 fps Flash game, ${count} commands each${gpuCompositing ? " (GPU compositing on SwiftShader)" : ""}:`,
);
console.log(`  HTML5 round trip         ${figures(same.html)}`);
console.log(`  Flash round trip         ${figures(same.flash.total)}`);
console.log(
  `  Flash / HTML5            medians ${ratio.toFixed(2)}, p99s ${ratio99.toFixed(2)}   (target <= 1.5)   ${verdict(ratio <= 1.5)}`,
);
console.log(`    a bare echo through the host from a frame, HTML5 intro playing   ${figures(same.htmlEchoes)}`);
console.log(`    the same, Flash game playing                                 ${figures(same.echoes)}`);
console.log(`    raise to the tick's end (the player's own frame)           ${figures(same.flash.tick)}`);
console.log(`    raise to the page's first free moment (tick and drawing)   ${figures(same.flash.free)}`);
console.log(`    one call into the player (qhState)                         ${figures(same.stateCall)}`);
console.log(`    one call into the player (qhGetVariable)                   ${figures(same.getCall)}`);
console.log(
  `  SetVariable to the next frame that reads it (30 fps)   ${figures(frames)}   (target p99 <= 66.7)   ${verdict(p99(frames) <= 66.7)}`,
);
const firsts = first.map((f) => f.first);
console.log(
  `  page to the Flash intro's first fscommand   median ${median(firsts).toFixed(0)} ms of ${runs} (${firsts.map((f) => f.toFixed(0)).join(", ")})   (target < 1500)   ${verdict(median(firsts) < 1500)}`,
);
const last = first.at(-1);
console.log(
  `    on the way (last run): ${last.loads.map((l) => `${l.name} ${l.start.toFixed(0)}-${l.end.toFixed(0)}`).join(", ")}, first fscommand ${last.first.toFixed(0)} ms`,
);
console.log(
  `  --kiosk power-on to the Flash intro's first frame   median ${median(power).toFixed(0)} ms of ${runs} (${power.join(", ")})   (target < 3000)   ${verdict(median(power) < 3000)}`,
);
console.log(
  `    the same with kiosk.mjs's HTML5 intro, interleaved   median ${median(htmlPower).toFixed(0)} ms (${htmlPower.join(", ")})`,
);
console.log(
  `  ${cpus().length} cores (${cpus()[0].model}), load average ${loadavg()
    .map((l) => l.toFixed(2))
    .join(" ")}`,
);
