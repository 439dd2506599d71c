// The round trip of a command through the bridge, as a movie sees it: from fscommand() in the page to the
// answer readable in the page, for 1,000 commands after 50 to warm up. Prints the median, p90, p99 and
// the longest.
//
//   node web/bench/roundtrip.mjs [COUNT] [--paced] [--driven] [--trace] [--flood]
//                                                                  (after building build/bin/quizhost)
//
// The page measures itself (web/bench/movie/) and logs its figures through TO_LOG, so Debian's Chromium
// runs headless as a cabinet's kiosk browser does, with nothing attached to it. --driven measures through
// Playwright instead, as the browser tests drive the page: Chromium then reports every WebSocket frame to
// the driver over the DevTools protocol, which costs about three times the round trip itself.
//
// Back to back by default: each command is raised as soon as the last one is answered. --paced raises one
// command per animation frame, as a movie does from its frame handler: the answer then waits for the
// frame the browser is drawing.
//
// --flood: while the page measures, another program knocks on the bridge without the secret, one
// connection after another (each refused at the upgrade), as a local attacker would; the round trip shows
// what the refusals cost the stage.
import { spawn } from "node:child_process";
import { connect } from "node:net";
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { loadavg, tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import {
  chromiumArgs,
  chromiumBin,
  launchBrowser,
  makeCabinet,
  startHost,
  waitFor,
  withCabinet,
} from "../test/support.mjs";

const here = dirname(fileURLToPath(import.meta.url));
const count = Number(process.argv.find((arg) => /^\d+$/.test(arg)) || 1000);
const paced = process.argv.includes("--paced");
const driven = process.argv.includes("--driven");
const trace = process.argv.includes("--trace");
const flood = process.argv.includes("--flood");
const warmUp = 50;

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

// One WebSocket upgrade to the bridge with the stage's Host and Origin and a wrong secret; whether the
// host refused it (403).
function refusedUpgrade(port) {
  return new Promise((done) => {
    let reply = "";
    const socket = connect(Number(port), "127.0.0.1", () =>
      socket.end(
        `GET /bridge?key=${"0".repeat(64)} HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nOrigin: http://127.0.0.1:${port}\r\n` +
          "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
      ),
    );
    socket.setEncoding("latin1");
    socket.on("data", (chunk) => (reply += chunk));
    socket.on("error", () => {});
    socket.on("close", () => done(reply.startsWith("HTTP/1.1 403")));
  });
}

// Knocks until stopped; how many were refused, and how many were not.
function startFlood(host) {
  const port = new URL(host.address).port;
  const tally = { refused: 0, other: 0, running: true };
  tally.done = (async () => {
    while (tally.running) {
      if (await refusedUpgrade(port)) tally.refused += 1;
      else tally.other += 1;
    }
  })();
  return tally;
}

// The page on its own: the cabinet's game movie is the measuring one, and its log line the result.
async function measureUndriven() {
  const cabinet = makeCabinet({ game: join(here, "movie") });
  writeFileSync(
    join(cabinet.root, "flash_game", "settings.js"),
    `window.roundTrip = ${JSON.stringify({ count, warmUp, paced })};\n`,
  );
  const profile = mkdtempSync(join(tmpdir(), "quizhost-roundtrip-"));
  let host = null;
  let browser = null;
  let knocks = null;
  try {
    host = await startHost(cabinet.root, { trace });
    if (flood) knocks = startFlood(host);
    // A process group of its own, so that its helper processes go with it.
    browser = spawn(
      chromiumBin,
      [...chromiumArgs, "--headless", `--user-data-dir=${profile}`, "--window-size=800,600", host.stageUrl],
      {
        stdio: "ignore",
        detached: true,
      },
    );
    const log = join(cabinet.root, "system", "logs", "log.txt");
    const line = await waitFor(
      () =>
        existsSync(log)
          ? readFileSync(log, "latin1")
              .split(/\r?\n/)
              .find((entry) => entry.includes("round trip: "))
          : null,
      120000,
      "the page's figures in the log",
    );
    const figures = line.slice(line.indexOf("round trip: ") + 12);
    if (!figures.startsWith("n=")) throw new Error(`the page says: ${figures}`);
    const result = Object.fromEntries(
      figures
        .split(" ")
        .map((pair) => pair.split("="))
        .map(([key, value]) => [key, Number(value)]),
    );
    if (knocks) {
      knocks.running = false;
      await knocks.done;
      result.flood = {
        refused: knocks.refused,
        other: knocks.other,
        lines: host.messages.filter((m) => m.includes("refused")).length,
      };
    }
    return result;
  } finally {
    if (knocks) knocks.running = false;
    if (browser) {
      const ended = new Promise((done) => browser.once("exit", done));
      if (browser.exitCode === null) process.kill(-browser.pid, "SIGKILL");
      await ended;
    }
    if (host) await host.stop();
    cabinet.remove();
    rmSync(profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 100 });
  }
}

// The page as the browser tests drive it, through Playwright.
async function measureDriven() {
  const browser = await launchBrowser();
  try {
    return await withCabinet(browser, { trace }, async ({ game }) => {
      const took = await game.evaluate(
        async ({ n, warmUp, paced }) => {
          const times = [];
          for (let i = 0; i < n + warmUp; i++) {
            if (paced) await new Promise((next) => requestAnimationFrame(next));
            window.movie.set("vb_show_local_scores", "");
            const raised = performance.now();
            await window.movie.fscommand("GET_SHOW_LOCAL_SCORES");
            if (window.movie.get("vb_show_local_scores") !== "1") throw new Error(`no answer to command ${i}`);
            if (i >= warmUp) times.push(performance.now() - raised);
          }
          return times;
        },
        { n: count, warmUp, paced },
      );
      took.sort((a, b) => a - b);
      return {
        n: took.length,
        median: percentile(took, 50),
        p90: percentile(took, 90),
        p99: percentile(took, 99),
        max: took.at(-1),
      };
    });
  } finally {
    await browser.close();
  }
}

const result = driven ? await measureDriven() : await measureUndriven();
const ms = (value) => `${value.toFixed(3)} ms`;
const how = [paced ? "one per frame" : "back to back", driven ? "driven by Playwright" : "no driver attached"];
if (trace) how.push("--trace on");
if (flood && !driven) how.push("under a flood of refused connections");
console.log(
  `round trip of GET_SHOW_LOCAL_SCORES, fscommand to answer in the page, ${result.n} commands (${how.join(", ")}):`,
);
console.log(`  median ${ms(result.median)}   p90 ${ms(result.p90)}   p99 ${ms(result.p99)}   max ${ms(result.max)}`);
if (result.flood) {
  console.log(
    `  flood: ${result.flood.refused} connections refused, ${result.flood.other} not refused; ${result.flood.lines} lines of refusals on the host's standard error`,
  );
}
// Three processes take part (the host, Chromium's network service, the page): a busy machine shows in the
// tail, so say how busy it was.
console.log(
  `  load average ${loadavg()
    .map((n) => n.toFixed(2))
    .join(" ")}`,
);
