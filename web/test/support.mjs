// Shared by the browser tests and the round-trip measurement: a cabinet folder with the test movies, a
// quizhost running the browser player on it, and Debian's Chromium (headless, fresh profile) on its stage.
import { spawn } from "node:child_process";
import { cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync, existsSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { after, before } from "node:test";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const here = dirname(fileURLToPath(import.meta.url));
export const sourceDir = resolve(here, "..", "..");
export const quizhostBin = process.env.QUIZHOST_BIN || join(sourceDir, "build", "bin", "quizhost");
export const chromiumBin = process.env.QUIZHOST_CHROMIUM || "/usr/bin/chromium";

export const chromiumArgs = [
  "--no-sandbox",
  "--disable-gpu",
  "--disable-background-networking",
  "--disable-component-update",
  "--disable-sync",
  "--no-first-run",
  // More switches for an experiment, space-separated (QUIZHOST_CHROMIUM_ARGS="--single-process").
  ...(process.env.QUIZHOST_CHROMIUM_ARGS || "").split(" ").filter(Boolean),
];

// A keyed record file (the meter file, the credit state) as a map from key, and from key and index
// ("M2,3"), to the rest of the line's fields; numberAt reads the first of them as a number.
export function records(path) {
  const map = new Map();
  for (const line of readFileSync(path, "latin1").split(/\r?\n/)) {
    if (!line) continue;
    const fields = line.split(",");
    map.set(fields[0], fields.slice(1));
    if (fields.length > 2) map.set(`${fields[0]},${fields[1]}`, fields.slice(2));
  }
  return map;
}
export const numberAt = (map, key) => Number(map.get(key)?.[0]);

// A temporary cabinet holding the test movies (or the given movie folders); `demo` adds the demo marker.
export function makeCabinet({
  intro = join(here, "movies", "intro"),
  game = join(here, "movies", "game"),
  demo = false,
} = {}) {
  const root = mkdtempSync(join(tmpdir(), "quizhost-web-"));
  cpSync(intro, join(root, "intro"), { recursive: true });
  cpSync(game, join(root, "flash_game"), { recursive: true });
  for (const folder of ["system/logs", "variable", "data"]) mkdirSync(join(root, folder), { recursive: true });
  if (demo) writeFileSync(join(root, "demo_mode.txt"), "");
  return { root, remove: () => rmSync(root, { recursive: true, force: true }) };
}

// A temporary copy of the demo cabinet on the library platform: the stand-in credit library beside it and
// `credit` credits in its state file.
export const demoCabinetDir = join(sourceDir, "demo", "cabinet");
export function makeDemoCabinet({ credit = 500 } = {}) {
  const root = mkdtempSync(join(tmpdir(), "quizhost-demo-"));
  cpSync(demoCabinetDir, root, { recursive: true });
  cpSync(join(dirname(quizhostBin), "libtccomm.so"), join(root, "libtccomm.so"));
  writeFileSync(join(root, "credit_state.txt"), `credit,${credit}\r\nbank,0\r\n`);
  return { root, remove: () => rmSync(root, { recursive: true, force: true }) };
}

// Starts quizhost on `root` with the browser player on a free port. Resolves once it prints its address.
// The host keeps the stage's address in a private folder of its own here (XDG_RUNTIME_DIR), removed
// when it ends.
export function startHost(root, { trace = true } = {}) {
  if (!existsSync(quizhostBin)) throw new Error(`${quizhostBin} is missing: build first`);
  const args = ["--root", root, "--http-port", "0", "--display", "none"];
  if (trace) args.push("--trace");
  const runtimeDir = mkdtempSync(join(tmpdir(), "quizhost-run-"));
  const child = spawn(quizhostBin, args, {
    stdio: ["ignore", "pipe", "pipe"],
    env: { ...process.env, XDG_RUNTIME_DIR: runtimeDir },
  });
  const host = {
    child,
    runtimeDir,
    events: [], // the transcript events (TAB-separated) from standard error
    messages: [], // the other lines of standard error
    address: null, // "http://127.0.0.1:PORT/", without the secret: a stage opened there is not admitted
    stageUrl: null, // the address with this start's secret, "http://127.0.0.1:PORT/#key=..."
    addressFile: null, // the private file the host named, holding stageUrl
    // The stage's address with `query` ("?quiz_pace=2") and the secret.
    stageAt: (query = "") => host.address + query + host.stageUrl.slice(host.address.length),
    exited: new Promise((done) =>
      child.on("exit", (code, signal) => {
        rmSync(runtimeDir, { recursive: true, force: true });
        done(code ?? 128 + (signal === "SIGKILL" ? 9 : 15));
      }),
    ),
    stop() {
      if (child.exitCode === null && child.signalCode === null) child.kill("SIGKILL");
      return host.exited;
    },
    // Waits until the transcript holds a line that starts with `prefix`; that line.
    event(prefix, timeout = 10000) {
      return waitFor(() => host.events.find((line) => line.startsWith(prefix)), timeout, `the event "${prefix}"`);
    },
  };
  let errText = "";
  child.stderr.setEncoding("utf8");
  child.stderr.on("data", (chunk) => {
    errText += chunk;
    const lines = errText.split("\n");
    errText = lines.pop();
    for (const line of lines) (line.startsWith("quizhost: ") ? host.messages : host.events).push(line);
  });
  return new Promise((ready, fail) => {
    let outText = "";
    child.stdout.setEncoding("utf8");
    child.stdout.on("data", (chunk) => {
      outText += chunk;
      // The host never prints the secret (its output may go to a journal): it names the private file.
      const found = outText.match(
        /the stage is at (http:\/\/127\.0\.0\.1:\d+\/) and admits only the address kept for this user in (.+?); open/,
      );
      if (/#key=/.test(outText)) fail(new Error(`quizhost printed the stage's secret: ${outText}`));
      if (found && !host.address) {
        host.address = found[1];
        host.addressFile = found[2];
        host.stageUrl = readFileSync(host.addressFile, "utf8").trim();
        ready(host);
      }
    });
    child.on("exit", (code) =>
      fail(new Error(`quizhost ended (${code}) before it served: ${host.messages.join(" | ")}`)),
    );
  });
}

// Debian's Chromium, headless, on a fresh profile of its own (Playwright gives each launch a new
// --user-data-dir). Each test opens a context of its own in it: no cookies or storage carried over.
export function launchBrowser() {
  return chromium.launch({ executablePath: chromiumBin, headless: true, args: chromiumArgs });
}

// One browser for the tests of a file: launched before the first and closed after the last. Answers a
// function that gives it to the tests.
export function browserForTests() {
  let browser = null;
  before(async () => {
    browser = await launchBrowser();
  });
  after(async () => {
    await browser?.close();
  });
  return () => browser;
}

// A fresh context of `browser` and its page, at 800 by 600.
export async function openStage(browser) {
  const context = await browser.newContext({ viewport: { width: 800, height: 600 } });
  const page = await context.newPage();
  return { context, page, close: () => context.close() };
}

export async function waitFor(probe, timeout = 10000, what = "a condition") {
  const deadline = Date.now() + timeout;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((wake) => setTimeout(wake, 20));
  }
}

// The frame of the layer's current movie ("intro" or "flash_game"), other than `previous`.
export async function movieFrame(page, folder, { previous = null, timeout = 10000 } = {}) {
  const current = (frame) =>
    frame !== previous && !frame.isDetached() && new URL(frame.url(), "http://x").pathname === `/${folder}/`;
  return waitFor(() => page.frames().filter(current).pop(), timeout, `the ${folder} movie`);
}

// quizhost on `cabinet` (from makeCabinet, makeDemoCabinet, ...) with its stage open in `browser`; `run`
// gets { cabinet, host, page }, and all of it is stopped and the cabinet removed however `run` ends.
export async function onStage(browser, cabinet, run, hostOptions = {}) {
  let host = null;
  let stage = null;
  try {
    host = await startHost(cabinet.root, hostOptions);
    stage = await openStage(browser);
    await stage.page.goto(host.stageUrl);
    return await run({ cabinet, host, page: stage.page });
  } finally {
    if (stage) await stage.close();
    if (host) await host.stop();
    cabinet.remove();
  }
}

// A running cabinet with the test movies, its stage open in `browser` and the game movie loaded; `run`
// gets everything, and all of it is stopped and removed afterwards however `run` ends.
export function withCabinet(browser, options, run) {
  return onStage(
    browser,
    makeCabinet(options),
    async (context) => {
      if (options.untilGame !== false) {
        if (options.trace !== false) await context.host.event("fs\tintro\tINTRO_END", 15000);
        context.game = await movieFrame(context.page, "flash_game");
        await context.game.waitForFunction(() => window.probe && window.movie.frame > 0);
      }
      return run(context);
    },
    options,
  );
}
