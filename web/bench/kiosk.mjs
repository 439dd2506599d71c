// The kiosk cabinet's speed, as the operator sees it, with `quizhost --kiosk` starting Debian's Chromium
// itself and the page measuring itself (nothing attached to the browser), as roundtrip.mjs does:
//   power-on   from starting quizhost to the intro movie's first frame (browser start included)
//   recovery   from the browser's SIGKILL to the restarted browser's game movie first frame
//   round trip p99 of a command through the bridge against a bare WebSocket echo with the host's own
//              server, in the same page and run
//
//   node web/bench/kiosk.mjs [RUNS] [--count N]     (after building build/bin/quizhost)
//
// Without DISPLAY the browser runs headless (--headless); with one it draws on that X server.
import { spawn } from "node:child_process";
import { existsSync, readFileSync, writeFileSync } from "node:fs";
import { cpus, loadavg } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromiumBin, makeCabinet, quizhostBin, waitFor } from "../test/support.mjs";

const here = dirname(fileURLToPath(import.meta.url));
const runs = Number(process.argv.slice(2).find((arg, i, all) => /^\d+$/.test(arg) && all[i - 1] !== "--count") || 3);
const countAt = process.argv.indexOf("--count");
const count = countAt > 0 ? Number(process.argv[countAt + 1]) : 500;
const warmUp = 50;

function logLines(root) {
  const log = join(root, "system", "logs", "log.txt");
  return existsSync(log) ? readFileSync(log, "latin1").split(/\r?\n/) : [];
}

function found(root, prefix) {
  const line = logLines(root).find((entry) => entry.includes(prefix));
  return line ? line.slice(line.indexOf(prefix) + prefix.length) : null;
}

function pairs(text) {
  return Object.fromEntries(
    text
      .split(" ")
      .filter((pair) => pair.includes("="))
      .map((pair) => pair.split("="))
      .map(([k, v]) => [k, Number(v)]),
  );
}

async function oneRun() {
  const cabinet = makeCabinet({ intro: join(here, "kiosk", "intro"), game: join(here, "kiosk", "game") });
  writeFileSync(
    join(cabinet.root, "flash_game", "settings.js"),
    `window.kioskBench = ${JSON.stringify({ count, warmUp })};\n`,
  );
  const args = ["--root", cabinet.root, "--http-port", "0", "--display", "none", "--kiosk", "--browser", chromiumBin];
  if (process.getuid && process.getuid() === 0) args.push("--browser-arg=--no-sandbox");
  if (!process.env.DISPLAY) args.push("--browser-arg=--headless", "--browser-arg=--window-size=800,600");
  const poweredOn = Date.now();
  const host = spawn(quizhostBin, args, { stdio: ["ignore", "pipe", "pipe"] });
  let said = "";
  host.stdout.setEncoding("utf8");
  host.stdout.on("data", (chunk) => (said += chunk));
  host.stderr.resume();
  const exited = new Promise((done) => host.once("exit", (code, signal) => done(code ?? signal)));
  try {
    const powerOn = pairs(
      await waitFor(() => found(cabinet.root, "kiosk bench: power-on "), 60000, "the power-on line"),
    );
    const roundTrip = await waitFor(() => found(cabinet.root, "kiosk bench: n="), 120000, "the round-trip line");
    const [, commandText, echoText] = roundTrip.match(/command (.*) echo (.*)$/);
    const browser = Number(said.match(/\(process (\d+)\)/)[1]);
    const killed = Date.now();
    process.kill(browser, "SIGKILL");
    const recovered = pairs(
      await waitFor(() => found(cabinet.root, "kiosk bench: recovered "), 60000, "the recovery line"),
    );
    return {
      powerOn: powerOn.intro - poweredOn,
      gameAfterPowerOn: powerOn.game - poweredOn,
      recovery: recovered.game - killed,
      command: { ...pairs(commandText), n: Number(roundTrip.split(" ")[0]) },
      echo: pairs(echoText),
    };
  } finally {
    if (host.exitCode === null) host.kill("SIGTERM");
    const status = await exited;
    if (status !== 130 && status !== 0) console.error(`quizhost ended with ${status}`);
    cabinet.remove();
  }
}

const results = [];
for (let i = 0; i < runs; i++) results.push(await oneRun());
const sorted = (values) => [...values].sort((a, b) => a - b);
const summary = (values) => {
  const s = sorted(values);
  return `median ${s[Math.floor(s.length / 2)].toFixed(0)} ms (min ${s[0].toFixed(0)}, max ${s.at(-1).toFixed(0)})`;
};
console.log(
  `quizhost --kiosk with ${chromiumBin}${process.env.DISPLAY ? "" : " --headless"}, ${runs} runs, ${cpus().length} cores (${cpus()[0].model}):`,
);
console.log(`  power-on to the intro's first frame   ${summary(results.map((r) => r.powerOn))}   (target < 3000 ms)`);
console.log(`  power-on to the game's first frame    ${summary(results.map((r) => r.gameAfterPowerOn))}`);
console.log(`  SIGKILL to the game's first frame     ${summary(results.map((r) => r.recovery))}   (target < 3000 ms)`);
for (const [i, r] of results.entries()) {
  console.log(
    `  run ${i + 1}: ${r.command.n} commands  command p99 ${r.command.p99.toFixed(3)} ms (median ${r.command.median.toFixed(3)})` +
      `  echo p99 ${r.echo.p99.toFixed(3)} ms (median ${r.echo.median.toFixed(3)})  ratio ${(r.command.p99 / r.echo.p99).toFixed(2)}  (target <= 1.5)`,
  );
}
console.log(
  `  load average ${loadavg()
    .map((n) => n.toFixed(2))
    .join(" ")}`,
);
